#!/bin/sh
# Installs a build into a scratch DESTDIR under PREFIX and checks the tree
# with check_tree.sh.
# Usage: install_test.sh CMAKE BINARY_DIR SCRATCH SOURCE_DIR PROGRAM PREFIX
set -eu
cmake=$1 binary_dir=$2 scratch=$3 source_dir=$4 program=$5 prefix=$6
rm -rf "$scratch"
mkdir -p "$scratch"
# The modes must come from the install rules, not from the installer's umask.
umask 077
DESTDIR=$scratch "$cmake" --install "$binary_dir" --prefix "$prefix" >/dev/null
sh "$source_dir/tests/install/check_tree.sh" "$scratch" "$prefix" "$source_dir" "$program"
