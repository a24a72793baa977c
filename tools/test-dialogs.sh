#!/bin/sh
# Builds leafsweep and its tests against each version of the dialog library
# named as an argument (e.g. 1.3-20200327, DragonFly's base system's) and runs
# the suite against it, one version after the other.
#
# Each version's static libdialog is built from its source archive,
# dialog-VERSION.tgz, kept with the project's test equipment
# (LEAFSWEEP_DIALOG_SOURCE, by default ../shared/vendor/dialog beside the
# source tree), into build-dialogs/VERSION/inst/, once: a later run finds
# it there and builds only the program and the tests again, which CMake does
# incrementally in build-dialogs/VERSION/build/.
#
# The build must have read that version's dialog.h, not the system's, and
# linked that version's libdialog.a: configure's report and the compiler's
# dependency files are checked for both.

set -eu

top=$(cd "$(dirname "$0")/.." && pwd)
source_dir=${LEAFSWEEP_DIALOG_SOURCE:-$top/../shared/vendor/dialog}
builds=$top/build-dialogs
jobs=${JOBS:-2}

if [ $# -eq 0 ]; then
  echo "usage: $0 VERSION..." >&2
  exit 2
fi

fail() {
  echo "test-dialogs: $*" >&2
  exit 1
}

# build_library VERSION DIR: libdialog.a and its headers in DIR/inst, built
# from the archive unless they are there already.
build_library() {
  version=$1 dir=$2
  if [ -f "$dir/inst/lib/libdialog.a" ] && [ -f "$dir/inst/include/dialog.h" ]; then
    echo "== dialog $version: reusing $dir/inst"
    return
  fi
  archive=$source_dir/dialog-$version.tgz
  [ -f "$archive" ] ||
    fail "$archive is missing; set LEAFSWEEP_DIALOG_SOURCE to the directory that holds dialog-$version.tgz."
  echo "== dialog $version: building libdialog.a in $dir"
  rm -rf "$dir/src" "$dir/inst"
  mkdir -p "$dir/src"
  (
    cd "$dir/src"
    gzip -dc "$archive" | tar -xf -
    cd "dialog-$version"
    ./configure --prefix="$dir/inst" --with-ncursesw --enable-widec --disable-nls
    make -j "$jobs" libdialog.a
    make install-lib
  ) >"$dir/library.log" 2>&1 || {
    tail -n 40 "$dir/library.log" >&2
    fail "building dialog $version failed; its log is $dir/library.log"
  }
  [ -f "$dir/inst/lib/libdialog.a" ] || fail "building dialog $version gave no $dir/inst/lib/libdialog.a"
}

# check_dialog_headers BUILD INCLUDE: every dialog header the compiler read,
# by the dependency files it wrote, lies in INCLUDE, and dialog.h is among
# them.
check_dialog_headers() {
  build=$1 include=$2
  read_headers=$(find "$build" -name '*.o.d' -exec cat {} + | tr ' \\' '\n\n' | grep / | sort -u)
  seen_dialog_h=no
  for path in $read_headers; do
    case ${path##*/} in
      dialog.h|dlg_*.h) ;;
      *) continue ;;
    esac
    case $path in
      "$include"/*) ;;
      *) fail "the build read $path, not the header in $include" ;;
    esac
    [ "${path##*/}" = dialog.h ] && seen_dialog_h=yes
  done
  [ "$seen_dialog_h" = yes ] ||
    fail "no dependency file in $build shows dialog.h; cannot tell which one was read"
}

for version in "$@"; do
  dir=$builds/$version
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  build_library "$version" "$dir"
  include=$dir/inst/include
  library=$dir/inst/lib/libdialog.a

  echo "== dialog $version: configuring and building $dir/build"
  cmake -S "$top" -B "$dir/build" -DDIALOG_INCLUDE_DIR="$include" -DDIALOG_LIBRARY="$library" \
    >"$dir/configure.log" || { cat "$dir/configure.log"; fail "configure failed"; }
  grep -Fx -e "--   DIALOG_INCLUDE_DIR: $include" -e "--   DIALOG_LIBRARY: $library" "$dir/configure.log"
  [ "$(grep -cFx -e "--   DIALOG_INCLUDE_DIR: $include" -e "--   DIALOG_LIBRARY: $library" "$dir/configure.log")" -eq 2 ] ||
    fail "configure did not take dialog $version's header directory and library; see $dir/configure.log"
  cmake --build "$dir/build" -j "$jobs"
  check_dialog_headers "$dir/build" "$include"

  echo "== dialog $version: the suite"
  (cd "$dir/build" && ctest -j "$jobs" --output-on-failure)
done
