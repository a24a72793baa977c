#!/bin/sh
# Prints the path of the real package tool that the real-tool tests and the
# benchmarks run, building it first when needed.
#
#   tools/build-pkg.sh [BUILDDIR [VERSION]]
#
# With LEAFSWEEP_REAL_PKG set (on a BSD host, e.g. /usr/local/sbin/pkg), that
# tool is used as it is, whatever VERSION says. Otherwise pkg VERSION (by
# default 2.8.4; also 2.0.6, 1.21.3 and 1.19.2, the releases the target
# systems still run) is built from the source kept with the project's test
# equipment (LEAFSWEEP_PKG_SOURCE, by default ../shared/vendor/pkg beside the
# source tree) into BUILDDIR/VERSION (BUILDDIR by default build-pkg), once: a
# later call finds BUILDDIR/VERSION/dest/sbin/pkg and builds nothing. Build
# output goes to standard error; standard output gets only the tool's
# absolute path.

set -eu

top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build-pkg}
release=${2:-2.8.4}
source_dir=${LEAFSWEEP_PKG_SOURCE:-$top/../shared/vendor/pkg}
version=pkg-$release
# 2.8.4's patch came first and has no version in its name.
case $release in
  2.8.4) patch_file=system-sqlite.patch ;;
  *) patch_file=system-sqlite-$release.patch ;;
esac

if [ -n "${LEAFSWEEP_REAL_PKG:-}" ]; then
  if [ ! -x "$LEAFSWEEP_REAL_PKG" ]; then
    echo "LEAFSWEEP_REAL_PKG=$LEAFSWEEP_REAL_PKG is not an executable file." >&2
    exit 1
  fi
  echo "$LEAFSWEEP_REAL_PKG"
  exit 0
fi

mkdir -p "$build/$release"
build=$(cd "$build/$release" && pwd)
tool=$build/dest/sbin/pkg
if [ -x "$tool" ]; then
  echo "$tool"
  exit 0
fi

if [ ! -f "$source_dir/$version.tar.xz" ] || [ ! -f "$source_dir/$patch_file" ]; then
  cat >&2 <<MSG
The real-tool tests need the package tool pkg $release, and there is none to use:
  - either name an installed pkg: LEAFSWEEP_REAL_PKG=/usr/local/sbin/pkg make test-real
  - or provide the source to build it from: $version.tar.xz and $patch_file
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
  patch -s -p1 < "$source_dir/$patch_file"
  cd "$build/obj"
  "$build/src/$version/configure" --prefix="$build/dest"
  make -j "${JOBS:-2}"
  # Some releases fail to install their documentation after the tool is in
  # place; the tool is all the tests need, and it is checked below.
  make install || [ -x "$tool" ]
) >&2
if [ ! -x "$tool" ]; then
  echo "Building $version did not give $tool." >&2
  exit 1
fi
echo "$tool"
