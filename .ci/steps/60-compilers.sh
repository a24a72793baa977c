#!/usr/bin/env bash
# Builds the whole tree (program, tests, stand-in tool) with clang and with
# gcc, warnings as errors: a BSD base system compiles with one or the other.
# A third build uses clang with LLVM's C++ library, libc++, as FreeBSD's base
# system does, so that a standard header which libstdc++ happens to pull in
# and libc++ does not fails the build. The suite then runs on both clang
# builds; `make test` has run it on gcc.
set -euo pipefail
sh tools/deps.sh clang libc++-dev libc++abi-dev googletest
for build in clang gcc libcxx; do
  # Debian's valgrind cannot read clang 14's default DWARF 5, and the suite
  # runs the program under valgrind.
  extra=()
  case $build in
    clang) cc=clang cxx=clang++ cflags="-Werror -gdwarf-4" cxxflags=$cflags ;;
    gcc) cc=gcc cxx=g++ cflags="-Werror" cxxflags=$cflags ;;
    # Debian's GoogleTest is built for libstdc++ and cannot be linked with
    # libc++: this build compiles GoogleTest from its source.
    libcxx) cc=clang cxx=clang++ cflags="-Werror -gdwarf-4" cxxflags="-stdlib=libc++ $cflags"
            extra=(-DLEAFSWEEP_GTEST_SOURCE=/usr/src/googletest) ;;
  esac
  echo "== $cxx $cxxflags"
  cmake -S . -B "build-$build" -DCMAKE_C_COMPILER=$cc -DCMAKE_CXX_COMPILER=$cxx \
        -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" "${extra[@]}"
  cmake --build "build-$build" -j2
done
for build in clang libcxx; do
  echo "== the suite on build-$build"
  (cd "build-$build" && ctest -j2 --output-on-failure)
done
