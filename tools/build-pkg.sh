#!/bin/sh
# Prints the path of the real package tool that the real-tool tests and the
# benchmarks run, building it first when needed.
#
# With LEAFSWEEP_REAL_PKG set (on a BSD host, e.g. /usr/local/sbin/pkg), that
# tool is used as it is. Otherwise pkg 2.8.4 is built from the source kept
# with the project's test equipment (LEAFSWEEP_PKG_SOURCE, by default
# ../shared/vendor/pkg beside the source tree) into the directory given as
# the first argument (default build-pkg), once: a later call finds
# BUILDDIR/dest/sbin/pkg and builds nothing. Build output goes to standard
# error; standard output gets only the tool's absolute path.

set -eu

top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build-pkg}
source_dir=${LEAFSWEEP_PKG_SOURCE:-$top/../shared/vendor/pkg}
version=pkg-2.8.4

if [ -n "${LEAFSWEEP_REAL_PKG:-}" ]; then
  if [ ! -x "$LEAFSWEEP_REAL_PKG" ]; then
    echo "LEAFSWEEP_REAL_PKG=$LEAFSWEEP_REAL_PKG is not an executable file." >&2
    exit 1
  fi
  echo "$LEAFSWEEP_REAL_PKG"
  exit 0
fi

mkdir -p "$build"
build=$(cd "$build" && pwd)
tool=$build/dest/sbin/pkg
if [ -x "$tool" ]; then
  echo "$tool"
  exit 0
fi

if [ ! -f "$source_dir/$version.tar.xz" ] || [ ! -f "$source_dir/system-sqlite.patch" ]; then
  cat >&2 <<MSG
The real-tool tests need the package tool pkg, and there is none to use:
  - either name an installed pkg: LEAFSWEEP_REAL_PKG=/usr/local/sbin/pkg make test-real
  - or provide the source to build it from: $version.tar.xz and system-sqlite.patch
    in $source_dir (or set LEAFSWEEP_PKG_SOURCE to their directory).
MSG
  exit 1
fi

# What pkg's configure and make need on Debian; m4 is not checked by
# configure, but the bundled libelf needs it.
sh "$top/tools/deps.sh" build-essential patch m4 pkg-config libarchive-dev libbsd-dev \
  libsqlite3-dev libssl-dev liblzma-dev libbz2-dev zlib1g-dev >&2

echo "Building $version in $build (a few minutes)" >&2
rm -rf "$build/src" "$build/obj" "$build/dest"
mkdir -p "$build/src" "$build/obj"
(
  cd "$build/src"
  xz -dc "$source_dir/$version.tar.xz" | tar -xf -
  cd "$version"
  patch -s -p1 < "$source_dir/system-sqlite.patch"
  cd "$build/obj"
  "$build/src/$version/configure" --prefix="$build/dest"
  make -j "${JOBS:-2}"
  make install
) >&2
if [ ! -x "$tool" ]; then
  echo "Building $version did not give $tool." >&2
  exit 1
fi
echo "$tool"
