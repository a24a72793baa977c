#!/usr/bin/env bash
# Builds the program, the stand-in package tool and every test with
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs the whole suite.
# Any sanitizer finding fails the test it happens in: the process stops, and
# its report reaches the standard error the end-to-end tests compare.
set -euo pipefail
sh tools/deps.sh libasan8 libubsan1
cmake -S . -B build-asan -DLEAFSWEEP_SANITIZE=ON
cmake --build build-asan -j2
. tests/sanitizer/env.sh
cd build-asan
ctest -j2 --output-on-failure
