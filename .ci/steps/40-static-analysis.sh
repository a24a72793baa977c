#!/usr/bin/env bash
# Static analysis of the program (run/, pkgtool/), the tests and the stand-in
# package tool: clang-tidy with the checks in .clang-tidy, where every
# warning is an error, then cppcheck through tools/cppcheck.sh. Any finding
# of either fails the step; both run, so that one log shows every finding.
set -euo pipefail
sh tools/deps.sh clang-tidy cppcheck libsqlite3-dev

# clang-tidy takes each file's flags from the compile commands; nothing is
# built, so the real-tool tests are included with a path for a package tool
# that need not exist.
cmake -S . -B build-tidy -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DLEAFSWEEP_REAL_PKG=/usr/local/sbin/pkg >/dev/null
sed -n 's/^ *"file": "\(.*\)"$/\1/p' build-tidy/compile_commands.json |
  grep -E "^$PWD/(run|pkgtool|tests)/" | sort -u >build-tidy/tidy-files

status=0
echo "== clang-tidy over $(wc -l <build-tidy/tidy-files) files"
xargs -P 2 -n 1 clang-tidy -p build-tidy --quiet <build-tidy/tidy-files >build-tidy/tidy.log 2>&1 || status=1
# Each file's count of warnings from system headers is only noise here.
grep -Ev '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' build-tidy/tidy.log || true

echo "== cppcheck"
sh tools/cppcheck.sh || status=1

[ "$status" -eq 0 ] && echo "static analysis: no findings"
exit "$status"
