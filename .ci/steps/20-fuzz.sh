#!/usr/bin/env bash
# Runs each libFuzzer target (fuzz/) for a bounded time, starting from a copy
# of its corpus in the repo, so the repo's corpus stays as it is. Any crash,
# sanitizer report, broken invariant, leak or slow input fails the step; its
# log and the input that caused it are printed. The number of executions
# each target reached is printed either way.
set -euo pipefail
seconds_per_target=30
sh tools/deps.sh clang libclang-rt-14-dev
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DLEAFSWEEP_FUZZ=ON -DLEAFSWEEP_TESTS=OFF
cmake --build build-fuzz -j2 --target leaf_lines_fuzzer description_fuzzer dry_run_fuzzer

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for target in leaf_lines description dry_run; do
  mkdir -p "$work/$target/corpus" "$work/$target/findings"
  cp fuzz/corpus/$target/* "$work/$target/corpus/"
  log="$work/$target/log"
  echo "== ${target}_fuzzer for ${seconds_per_target} s"
  if build-fuzz/fuzz/${target}_fuzzer -max_total_time=$seconds_per_target -timeout=10 \
       -print_final_stats=1 -artifact_prefix="$work/$target/findings/" \
       "$work/$target/corpus" >"$log" 2>&1; then
    result=passed
  else
    result=FAILED
    status=1
    tail -n 80 "$log"
    for finding in "$work/$target/findings"/*; do
      [ -e "$finding" ] || continue
      echo "-- ${finding##*/}, byte by byte:"
      od -A d -c "$finding" | head -n 40
    done
  fi
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "${target}_fuzzer: $result, ${executions:-unknown} executions"
done
exit $status
