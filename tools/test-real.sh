#!/bin/sh
# Runs the real-tool suite against each release of pkg named as an argument
# (e.g. 2.8.4 1.19.2), one after the other, each in a build directory of its
# own: build-real/VERSION/, with pkg VERSION built once into
# build-pkg/VERSION/ by tools/build-pkg.sh. Every release is tried, also
# after one has failed; the exit status is 1 when any failed, and the last
# lines name them.
#
# With LEAFSWEEP_REAL_PKG set (a BSD host's pkg), the suite runs once,
# against that tool, in build-real/host/.

set -eu

top=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-2}
cd "$top"

if [ -n "${LEAFSWEEP_REAL_PKG:-}" ]; then
  set -- host
fi
if [ $# -eq 0 ]; then
  echo "usage: $0 VERSION..." >&2
  exit 2
fi

failed=""
for version in "$@"; do
  echo "== pkg $version"
  build=build-real/$version
  if pkg=$(sh tools/build-pkg.sh build-pkg "$version") &&
    cmake -S . -B "$build" ${CMAKE_FLAGS:-} -DLEAFSWEEP_REAL_PKG="$pkg" &&
    cmake --build "$build" -j "$jobs" --target real_tests &&
    (cd "$build" && ctest -j "$jobs" -L real --output-on-failure); then
    echo "== pkg $version: passed"
  else
    echo "== pkg $version: FAILED"
    failed="$failed $version"
  fi
done

if [ -n "$failed" ]; then
  echo "The real-tool suite failed against pkg$failed." >&2
  exit 1
fi
echo "The real-tool suite passed against pkg $*."
