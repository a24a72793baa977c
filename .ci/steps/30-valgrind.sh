#!/usr/bin/env bash
# Runs one whole end-to-end run (two passes, Help, a failed delete) under
# valgrind's memcheck, in a plain build of its own: tests/e2e/valgrind_test.cc.
# The test skips where valgrind is missing, so a skip fails this step.
set -euo pipefail
sh tools/deps.sh valgrind
cmake -S . -B build-valgrind
cmake --build build-valgrind -j2 --target valgrind_test
cd build-valgrind
report=$(ctest -R '^under_valgrind\.' --no-tests=error --output-on-failure) || {
  echo "$report"
  exit 1
}
echo "$report"
if grep -q 'Skipped' <<<"$report"; then
  echo "the memory check did not run" >&2
  exit 1
fi
