# AddressSanitizer and UndefinedBehaviorSanitizer for every target: the
# program, the stand-in package tool, the preloaded libraries and the tests.
# Any finding ends the process at once, so that no test can pass over one.
# The run-time options the test suite needs are in tests/sanitizer/env.sh.
set(LEAFSWEEP_SANITIZER_FLAGS
  -fsanitize=address,undefined
  -fno-omit-frame-pointer
  -fno-sanitize-recover=all
)
add_compile_options(${LEAFSWEEP_SANITIZER_FLAGS})
add_link_options(${LEAFSWEEP_SANITIZER_FLAGS})
