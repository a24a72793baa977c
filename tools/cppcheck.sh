#!/bin/sh
# Runs cppcheck over the program (run/, pkgtool/), the tests and the stand-in
# package tool. It exits non-zero on any finding that
# tools/cppcheck-suppressions.txt does not accept. Run it from anywhere; it
# works from the repository's root.
#
# The system's headers (the dialog library, curses, GoogleTest) are not
# parsed: cppcheck's posix and googletest libraries describe what it needs
# of them. The package tool's path is given so that pkgtool/tool_path.cc is
# checked as it is built.
set -eu
cd "$(dirname "$0")/.."
exec cppcheck \
  --std=c++17 \
  --enable=warning,style,performance,portability \
  --library=posix --library=googletest \
  --inline-suppr --suppressions-list=tools/cppcheck-suppressions.txt \
  -I . -I tests/pty -I tests/standin -I tests/e2e \
  -DLEAFSWEEP_PKG_TOOL='"/usr/sbin/pkg"' \
  --error-exitcode=1 --quiet -j 2 \
  --template='{file}:{line}:{column}: {severity}: {message} [{id}]' \
  run pkgtool tests
