# Run-time options for the test suite of a sanitizer build
# (-DLEAFSWEEP_SANITIZE=ON). Source it from bash before ctest:
#   . tests/sanitizer/env.sh
# The end-to-end fixture passes these three variables on to the program it
# starts, so the program under test runs with them too.
#
# Every finding stops the process with a failure status, and a leak report
# lands on the program's standard error, which the end-to-end tests compare
# byte for byte; only the allocations named in lsan.supp are let through.
#
# verify_asan_link_order=0: two end-to-end tests preload a small library
# (LD_PRELOAD) that replaces hcreate or vfork; it then comes before the
# AddressSanitizer run time in the library list, which is harmless for
# those two functions but would otherwise stop the program at start.
#
# The program runs the stand-in package tool with an empty environment, so
# there it runs with the sanitizers' defaults, which still check for leaks
# and, in this build, still stop at the first finding.
leafsweep_sanitizer_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:verify_asan_link_order=0:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
# print_suppressions=0: a leak report that found only suppressed leaks would
# still list them on standard error.
export LSAN_OPTIONS="suppressions=$leafsweep_sanitizer_dir/lsan.supp:print_suppressions=0"
unset leafsweep_sanitizer_dir
