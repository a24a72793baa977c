#!/bin/sh
# Builds leafsweep against fake system roots that lay out the dialog library
# and ncursesw as DragonFly BSD's base system and FreeBSD with the cdialog
# port do, made from this Debian system's own files, with CMake's searches
# confined to the fake root. For each root, configure must choose the
# expected layout, the build must read only that layout's headers, and
# "make install" into a DESTDIR must install what the port's package list
# names, a program that can load every library it needs on the target. A
# root lacking a library must fail configure, naming the layout and the
# cache variable to set. The base system's layout is installed as the base
# system would install it, under the prefix /usr, the others as a port,
# under /usr/local.
#
# Each root is configured as the system it mocks (CMAKE_SYSTEM_NAME), so the
# build also chooses the package tool's path as for that system: configure
# must report it and the installed program must hold it, and neither other
# system's path. One root names its own tool with -DLEAFSWEEP_PKG_TOOL, and
# a build directory configured again must keep a path named so until it is
# named empty.
#
# Usage: layouts_test.sh SOURCE_DIR SCRATCH
# Needs cmake, make, a C++ compiler, readelf, strings and patchelf.
set -eu
LC_ALL=C
export LC_ALL
source_dir=$(cd "$1" && pwd)
scratch=$2
cxx=${CXX:-c++}
failed=0

dialog_headers="dialog.h dlg_colors.h dlg_config.h dlg_keys.h"
curses_headers="curses.h ncurses.h ncurses_dll.h unctrl.h term.h termcap.h"

fail() {
  echo "FAIL $case_name: $*" >&2
  failed=1
}

# The Debian file the compiler would link for a library file name.
debian_library() {
  path=$("$cxx" -print-file-name="$1")
  if [ ! -f "$path" ]; then
    echo "layouts_test: $1 is not on this system" >&2
    exit 2
  fi
  echo "$path"
}

# copy_headers DIR HEADER...: Debian's headers, as files, into DIR.
copy_headers() {
  dir=$1
  shift
  mkdir -p "$dir"
  for header in "$@"; do
    cp -L "/usr/include/$header" "$dir/"
  done
}

# copy_library FROM DIR NAME: Debian's shared library FROM as DIR/NAME.6,
# with that soname, and DIR/NAME for the linker. The BSDs build the terminfo
# part into ncursesw, but on Debian stdscr and the other terminfo symbols
# live in libtinfo. So Debian's libtinfo goes beside the copy, under its own
# name, which the copy's symbol versions are bound to, and DIR/NAME is a GNU
# ld script, as Debian's own libncursesw.so is, naming both: a program
# linked with ncursesw alone then finds every curses symbol, and needs
# libtinfo from the same directory.
copy_library() {
  from=$1 dir=$2 name=$3
  mkdir -p "$dir"
  cp "$(debian_library "$from")" "$dir/$name.6"
  patchelf --set-soname "$name.6" "$dir/$name.6"
  cp "$(debian_library libtinfo.so.6)" "$dir/libtinfo.so.6"
  echo "INPUT($dir/$name.6 $dir/libtinfo.so.6)" >"$dir/$name"
}

# The parts a fake root is made of. Debian ships only a static libdialog.
base_dialog() {
  copy_headers "$root/usr/include" $dialog_headers
  cp "$(debian_library libdialog.a)" "$root/usr/lib/libdialog.a"
}

cdialog_port() {
  copy_headers "$root/usr/local/include/cdialog" $dialog_headers
  mkdir -p "$root/usr/local/lib"
  cp "$(debian_library libdialog.a)" "$root/usr/local/lib/libcdialog.a"
}

# DragonFly's base system keeps ncursesw, and the narrow ncurses beside it,
# as private libraries with private headers.
private_ncursesw() {
  copy_headers "$root/usr/include/priv/ncurses" $curses_headers
  copy_library libncursesw.so.6 "$root/usr/lib/priv" libprivate_ncursesw.so
  copy_library libncurses.so.6 "$root/usr/lib/priv" libprivate_ncurses.so
}

public_ncursesw() {
  copy_headers "$root/usr/include" $curses_headers
  copy_library libncursesw.so.6 "$root/usr/lib" libncursesw.so
}

# make_root ROOT PART...: a fake root of the given parts, with libm, which
# both systems keep as a library of its own.
make_root() {
  root=$1
  shift
  rm -rf "$root"
  mkdir -p "$root/usr/lib"
  cp "$(debian_library libm.so.6)" "$root/usr/lib/libm.so"
  for part in "$@"; do
    $part
  done
}

# configure_flags ROOT SYSTEM: CMake confined to ROOT, building for SYSTEM.
configure_flags() {
  echo "-DLEAFSWEEP_TESTS=OFF -DCMAKE_SYSTEM_NAME=$2 -DCMAKE_FIND_ROOT_PATH=$1" \
       "-DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY"
}

# The package tool's path on each target system.
dragonfly_pkg=/usr/local/sbin/pkg
freebsd_pkg=/usr/sbin/pkg

# check_tool_report LOG TOOL ORIGIN: configure's report, in LOG, names TOOL
# as the package tool, followed by ORIGIN, the start of what it says of
# where the path came from.
check_tool_report() {
  grep -qF -- "-- Package tool: $2 ($3" "$1" ||
    fail "configure did not report \"Package tool: $2 ($3\"; it reported: $(grep -F -- '-- Package tool:' "$1" || echo nothing)"
}

# check_tool_built PROGRAM TOOL: the program holds TOOL as a whole string,
# and neither target system's path unless it is TOOL.
check_tool_built() {
  program_strings=$(strings -a "$1")
  echo "$program_strings" | grep -qFx "$2" || fail "the program does not hold its package tool $2"
  for path in $dragonfly_pkg $freebsd_pkg; do
    if [ "$path" != "$2" ] && echo "$program_strings" | grep -qFx "$path"; then
      fail "the program holds $path besides its package tool $2"
    fi
  done
}

# check_headers BUILD DIALOG_DIR CURSES_DIR: every dialog and curses header
# the compiler read, by the dependency files it wrote, lies in the layout's
# directory for it; none is Debian's own or another layout's.
check_headers() {
  build=$1 dialog_dir=$2 curses_dir=$3
  read_headers=$(find "$build" -name '*.o.d' -exec cat {} + | tr ' \\' '\n\n' | grep / | sort -u)
  seen=""
  for path in $read_headers; do
    header=${path##*/}
    case " $dialog_headers " in
      *" $header "*) want=$dialog_dir ;;
      *) case " $curses_headers " in
           *" $header "*) want=$curses_dir ;;
           *) continue ;;
         esac ;;
    esac
    seen="$seen $header"
    [ "${path%/*}" = "$want" ] || fail "the build read $path instead of the one in $want"
  done
  case "$seen " in
    *" dialog.h "*) ;;
    *) fail "no dependency file shows dialog.h; cannot tell which headers were read" ;;
  esac
  case "$seen " in
    *" curses.h "*) ;;
    *) fail "no dependency file shows curses.h; cannot tell which headers were read" ;;
  esac
}

# check_loads PROGRAM ROOT DIRS: every library the program needs, other than
# the C and C++ runtime that comes with the toolchain, lies in one of the
# target's default directories DIRS or in a directory of the program's run
# path, both taken under ROOT. A run path must name the target's
# directories, never the build machine's.
check_loads() {
  program=$1 root=$2 default_dirs=$3
  dynamic=$(readelf -d "$program")
  run_path=$(echo "$dynamic" | sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]$/\2/p' | tr ':' ' ')
  for dir in $run_path; do
    case $dir in
      "$scratch"*|"$source_dir"*) fail "the run path names $dir, a directory of the build machine" ;;
      /*) ;;
      *) fail "the run path names $dir, not an absolute directory of the target" ;;
    esac
  done
  for library in $(echo "$dynamic" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p'); do
    case $library in
      libc.so.*|libm.so.*|libstdc++.so.*|libgcc_s.so.*|ld-linux*) continue ;;
    esac
    where=""
    for dir in $default_dirs; do
      [ -e "$root$dir/$library" ] && where="$dir" && break
    done
    if [ -z "$where" ]; then
      for dir in $run_path; do
        [ -e "$root$dir/$library" ] && where="$dir (run path)" && break
      done
    fi
    if [ -n "$where" ]; then
      echo "  needs $library: found in $where"
    else
      fail "the program needs $library, which is neither in $default_dirs nor on its run path (${run_path:-none})"
    fi
  done
}

# Roots that must build. Each line: name | system built for | parts | layout
# configure must report | directory of the dialog headers | directory of the
# curses headers | the ncursesw the program must need | the target's default
# library directories | the prefix it is installed under | the package tool
# the program must run: the system's own, or one named on the command line
# as -DLEAFSWEEP_PKG_TOOL=PATH.
builds="dragonfly | DragonFly | base_dialog private_ncursesw | DragonFly BSD base | /usr/include | /usr/include/priv/ncurses | libprivate_ncursesw.so.6 | /lib /usr/lib | /usr | $dragonfly_pkg
dragonfly-with-cdialog-port | DragonFly | base_dialog private_ncursesw cdialog_port | DragonFly BSD base | /usr/include | /usr/include/priv/ncurses | libprivate_ncursesw.so.6 | /lib /usr/lib | /usr/local | $dragonfly_pkg
dragonfly-with-pkg-static | DragonFly | base_dialog private_ncursesw | DragonFly BSD base | /usr/include | /usr/include/priv/ncurses | libprivate_ncursesw.so.6 | /lib /usr/lib | /usr/local | -DLEAFSWEEP_PKG_TOOL=/usr/local/sbin/pkg-static
freebsd | FreeBSD | public_ncursesw cdialog_port | FreeBSD cdialog port | /usr/local/include/cdialog | /usr/include | libncursesw.so.6 | /lib /usr/lib /usr/local/lib | /usr/local | $freebsd_pkg
freebsd-with-base-dialog | FreeBSD | public_ncursesw base_dialog cdialog_port | FreeBSD cdialog port | /usr/local/include/cdialog | /usr/include | libncursesw.so.6 | /lib /usr/lib /usr/local/lib | /usr/local | $freebsd_pkg"

# Roots that must not configure. Each line: name | system built for | parts |
# files removed (under the root) | layout the error must name | cache
# variable it must name.
failures='dragonfly-without-private-ncursesw | DragonFly | base_dialog private_ncursesw | usr/lib/priv/libprivate_ncursesw.* | DragonFly BSD base | CURSES_LIBRARY
dragonfly-without-dialog | DragonFly | base_dialog private_ncursesw | usr/lib/libdialog.a | DragonFly BSD base | DIALOG_LIBRARY
freebsd-without-cdialog | FreeBSD | public_ncursesw cdialog_port | usr/local/lib/libcdialog.a | FreeBSD cdialog port | DIALOG_LIBRARY
freebsd-without-ncursesw | FreeBSD | public_ncursesw cdialog_port | usr/lib/libncursesw.* | FreeBSD cdialog port | CURSES_LIBRARY'

trim() {
  echo "$1" | sed 's/^ *//; s/ *$//'
}

mkdir -p "$scratch"
scratch=$(cd "$scratch" && pwd)

# The cases are read from descriptor 3, so that nothing run for a case can
# take them from standard input.
while IFS='|' read -r case_name system parts layout dialog_dir curses_dir curses_needed default_dirs prefix tool <&3; do
  case_name=$(trim "$case_name") system=$(trim "$system") parts=$(trim "$parts") layout=$(trim "$layout")
  dialog_dir=$(trim "$dialog_dir") curses_dir=$(trim "$curses_dir") curses_needed=$(trim "$curses_needed")
  default_dirs=$(trim "$default_dirs") prefix=$(trim "$prefix") tool=$(trim "$tool")
  case $tool in
    -DLEAFSWEEP_PKG_TOOL=*) tool_flag=$tool tool=${tool#*=} tool_origin="set with LEAFSWEEP_PKG_TOOL" ;;
    *) tool_flag="" tool_origin="the default for $system)" ;;
  esac
  echo "== $case_name: $system, $parts, PREFIX=$prefix${tool_flag:+, $tool_flag}"
  work=$scratch/$case_name
  root=$work/root
  make_root "$root" $parts
  log=$work/log
  if ! make -C "$source_dir" install BUILD="$work/build" JOBS=2 PREFIX="$prefix" \
         CMAKE_FLAGS="$(configure_flags "$root" "$system") $tool_flag" DESTDIR="$work/destdir" >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    fail "configure, build or make install failed"
    continue
  fi
  sed -n 's/^-- \(Dialog library and ncursesw in.*\)/  \1/p; s/^--   /    /p; s/^-- \(Package tool: .*\)/  \1/p' "$log"
  grep -qF -- "-- Dialog library and ncursesw in the $layout layout:" "$log" ||
    fail "configure did not report the $layout layout"
  check_tool_report "$log" "$tool" "$tool_origin"
  check_headers "$work/build" "$root$dialog_dir" "$root$curses_dir"
  sh "$source_dir/tests/install/check_tree.sh" "$work/destdir" "$prefix" "$source_dir" "$work/build/leafsweep" ||
    fail "make install did not install what pkg-plist names under $prefix"
  page=$prefix/share/man/man8/leafsweep.8.gz
  if [ -f "$work/destdir$page" ]; then
    echo "  manual page: $page"
  else
    fail "the manual page is not $page"
  fi
  program=$work/destdir$prefix/sbin/leafsweep
  readelf -d "$program" | grep -q "(NEEDED).*\[$curses_needed\]" ||
    fail "the program does not need $curses_needed"
  check_loads "$program" "$root" "$default_dirs"
  check_tool_built "$program" "$tool"
done 3<<EOF
$builds
EOF

# reconfigure WHAT TOOL ORIGIN FLAG...: configures $work/build again, with
# FLAG..., and configure must report the package tool TOOL, from ORIGIN.
reconfigure() {
  what=$1 tool=$2 origin=$3
  shift 3
  echo "  configured $what"
  if cmake -S "$source_dir" -B "$work/build" "$@" >"$work/log" 2>&1; then
    sed -n 's/^-- \(Package tool: .*\)/    \1/p' "$work/log"
    check_tool_report "$work/log" "$tool" "$origin"
  else
    tail -n 40 "$work/log" >&2
    fail "configure failed when configured $what"
  fi
}

case_name=dragonfly-configured-again
echo "== $case_name: DragonFly, base_dialog private_ncursesw"
work=$scratch/$case_name
rm -rf "$work"
make_root "$work/root" base_dialog private_ncursesw
reconfigure "afresh, naming FreeBSD's path" $freebsd_pkg "set with LEAFSWEEP_PKG_TOOL" \
  $(configure_flags "$work/root" DragonFly) -DLEAFSWEEP_PKG_TOOL=$freebsd_pkg
reconfigure "again, naming nothing" $freebsd_pkg "set with LEAFSWEEP_PKG_TOOL"
reconfigure "again, naming the empty path" $dragonfly_pkg "the default for DragonFly)" -DLEAFSWEEP_PKG_TOOL=

while IFS='|' read -r case_name system parts removed layout variable <&3; do
  case_name=$(trim "$case_name") system=$(trim "$system") parts=$(trim "$parts") removed=$(trim "$removed")
  layout=$(trim "$layout") variable=$(trim "$variable")
  echo "== $case_name: $system, $parts, without $removed"
  work=$scratch/$case_name
  root=$work/root
  make_root "$root" $parts
  (cd "$root" && rm -f $removed)
  log=$work/log
  if cmake -S "$source_dir" -B "$work/build" $(configure_flags "$root" "$system") >"$log" 2>&1; then
    fail "configure succeeded without $removed"
  else
    sed -n '/^CMake Error/,/^-- Configuring incomplete/p' "$log" | sed 's/^/  /'
    grep -qF "$layout layout" "$log" || fail "the error does not name the $layout layout"
    grep -qF -- "-D$variable=" "$log" || fail "the error does not name the cache variable $variable"
  fi
done 3<<EOF
$failures
EOF
[ "$failed" = 0 ] && echo "layouts: every fake root behaved as its system would"
exit "$failed"
