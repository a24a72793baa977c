#!/bin/sh
# Checks an installed tree: usage: check_tree.sh ROOT PREFIX SOURCE_DIR PROGRAM
# ROOT is the DESTDIR the installation went into, PREFIX the prefix it used,
# SOURCE_DIR the source tree and PROGRAM the built program. Under ROOT there
# must be exactly the program and its manual page, with their modes; the
# ports tree's package list must name exactly these files; and they must be
# the built program and the source tree's manual page.
set -eu
LC_ALL=C
export LC_ALL
root=$1 prefix=${2%/} source_dir=$3 program=$4
plist=$source_dir/packaging/pkg-plist
failed=0

fail() {
  echo "check_tree: $*" >&2
  failed=1
}

mode_of() {
  stat -c %a "$1" 2>/dev/null || stat -f %Lp "$1"
}

# Every file under ROOT as "MODE PATH", the path relative to the prefix, or
# whole when it lies outside it; anything but a regular file shows its kind.
installed() {
  (cd "$root" && find . ! -type d) | sed 's|^\./|/|' | while read -r path; do
    if [ -h "$root$path" ]; then
      kind=link
    elif [ -f "$root$path" ]; then
      kind=$(mode_of "$root$path")
    else
      kind=other
    fi
    case $path in
      "$prefix"/*) path=${path#"$prefix"/} ;;
    esac
    echo "$kind $path"
  done | sort
}

actual=$(installed)
expected="644 share/man/man8/leafsweep.8.gz
755 sbin/leafsweep"
if [ "$actual" != "$expected" ]; then
  fail "files installed under $prefix:"
  printf 'expected:\n%s\ninstalled:\n%s\n' "$expected" "$actual" >&2
fi

listed=$(sort "$plist")
files=$(echo "$actual" | sed 's/^[^ ]* //' | sort)
if [ "$listed" != "$files" ]; then
  fail "$plist does not name the installed files:"
  printf 'pkg-plist:\n%s\ninstalled:\n%s\n' "$listed" "$files" >&2
fi

if [ -f "$root$prefix/sbin/leafsweep" ] && ! cmp -s "$program" "$root$prefix/sbin/leafsweep"; then
  fail "sbin/leafsweep is not $program"
fi
page=$root$prefix/share/man/man8/leafsweep.8.gz
if [ -f "$page" ] && ! gzip -dc "$page" | cmp -s - "$source_dir/leafsweep.8"; then
  fail "share/man/man8/leafsweep.8.gz is not $source_dir/leafsweep.8"
fi
exit $failed
