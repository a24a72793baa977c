#!/usr/bin/env bash
# Builds and installs the program against fake DragonFly BSD and FreeBSD
# system roots made from Debian's own files, and checks the layout configure
# chose, the headers the build read and that the installed program can load
# every library it needs on its target; a root lacking a library must fail
# configure (tests/layouts/layouts_test.sh).
set -euo pipefail
sh tools/deps.sh patchelf
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
sh tests/layouts/layouts_test.sh . "$scratch"
