#!/bin/sh
# Starts leafsweep over a simulated package set. The program is a copy built
# to run the stand-in package tool, which keeps its database in the working
# directory: every start begins from a fresh copy of demo/pkgdb.
set -e
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
program=$(cd "$build" && pwd)/leafsweep-demo
scratch=$(cd "$build" && pwd)/demo-run

if [ ! -t 0 ] || [ ! -t 1 ]; then
  echo "make demo needs a terminal: run it from an interactive shell." >&2
  exit 1
fi

rm -rf "$scratch"
mkdir -p "$scratch"
cp "$here/pkgdb" "$scratch/pkgdb"
cd "$scratch"
status=0
"$program" || status=$?
echo
echo "leafsweep exited with status $status."
echo "The simulated system is in $scratch/pkgdb; every call of the package tool"
echo "is logged in $scratch/pkg-calls.log. Run make demo again to start afresh."
