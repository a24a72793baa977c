#!/usr/bin/env bash
# The manual page passes mandoc's checks without a single warning, and
# "make install" of a build without the tests puts exactly the files of the
# ports tree's package list, with their modes, under the default prefix and
# under another one, inside DESTDIR.
set -euo pipefail
sh tools/deps.sh mandoc

echo "== mandoc -Tlint -W warning leafsweep.8"
lint=$(mandoc -Tlint -W warning leafsweep.8 2>&1) || true
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

echo "== DESTDIR=... make install PREFIX=/opt/leafsweep"
DESTDIR="$scratch/other" make install BUILD="$build" CMAKE_FLAGS=-DLEAFSWEEP_TESTS=OFF PREFIX=/opt/leafsweep
sh tests/install/check_tree.sh "$scratch/other" /opt/leafsweep . "$build/leafsweep"
