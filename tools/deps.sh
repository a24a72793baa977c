#!/bin/sh
# Installs the Debian packages that building and testing leafsweep need,
# plus any further packages named as arguments (for the extra CI checks).
# As root it installs what is missing; otherwise it says what to install.
# Where there is no dpkg (a BSD system has the dialog library and ncurses in
# its base), it does nothing.

packages="cmake make g++ pkg-config dialog libncurses-dev libgtest-dev libvterm-dev ncurses-term $*"

command -v dpkg-query >/dev/null 2>&1 || exit 0

missing=""
for p in $packages; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)
  case "$status" in
    *"install ok installed"*) ;;
    *) missing="$missing $p" ;;
  esac
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "leafsweep needs these Debian packages:$missing" >&2
  echo "Install them with: sudo apt-get install$missing" >&2
  exit 1
fi

echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq && apt-get install -y -qq $missing
