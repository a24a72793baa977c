#!/usr/bin/env bash
# The manual page passes every mandoc check, down to style notes, and
# "make install" of a build without the tests puts exactly the files of the
# ports tree's package list, with their modes, inside DESTDIR: under the
# default prefix, a port's (the page in /usr/local/share/man/man8), under
# the base system's, /usr (the page in /usr/share/man/man8), and under
# another one.
set -euo pipefail
sh tools/deps.sh mandoc

# The page refers to manuals of the systems leafsweep runs on, which a
# Debian build host does not have; mandoc notes each one it cannot find.
# Only these are let through, so a misspelt reference still fails.
target_pages='ncurses 3|cron 8|pkg 8|pkg-delete 8|pkg-query 8|pkg.conf 5'

echo "== mandoc -Tlint -W style leafsweep.8"
lint=$(mandoc -Tlint -W style leafsweep.8 2>&1 | grep '^mandoc: leafsweep\.8:' |
  grep -Ev ": STYLE: referenced manual not found: Xr ($target_pages)( \([0-9]+ times\))?\$") || true
if [ -n "$lint" ]; then
  echo "$lint" >&2
  exit 1
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
build=$scratch/build

echo "== make install DESTDIR=..."
make install BUILD="$build" CMAKE_FLAGS=-DLEAFSWEEP_TESTS=OFF DESTDIR="$scratch/default"
sh tests/install/check_tree.sh "$scratch/default" /usr/local . "$build/leafsweep"
ls -l "$scratch/default/usr/local/share/man/man8/leafsweep.8.gz"

echo "== DESTDIR=... make install PREFIX=/usr"
DESTDIR="$scratch/base" make install BUILD="$build" CMAKE_FLAGS=-DLEAFSWEEP_TESTS=OFF PREFIX=/usr
sh tests/install/check_tree.sh "$scratch/base" /usr . "$build/leafsweep"
ls -l "$scratch/base/usr/share/man/man8/leafsweep.8.gz"

echo "== DESTDIR=... make install PREFIX=/opt/leafsweep"
DESTDIR="$scratch/other" make install BUILD="$build" CMAKE_FLAGS=-DLEAFSWEEP_TESTS=OFF PREFIX=/opt/leafsweep
sh tests/install/check_tree.sh "$scratch/other" /opt/leafsweep . "$build/leafsweep"
