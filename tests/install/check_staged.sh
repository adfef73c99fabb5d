#!/usr/bin/env bash
# Installs the build into a staging folder, as `cmake --install` would on a
# user's machine, and checks the installed tree.
#   check_staged.sh BUILD_DIR SOURCE_DIR WORK_DIR
set -euo pipefail
build=$1 src=$2 work=$3
rm -rf "$work"
DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
"$src/tests/install/check_tree.sh" "$work/root" "$src"
# The Python module, where this build made it.
if [ -e "$build/python/quillon/__init__.py" ]; then
  "$src/tests/install/check_python.sh" "$work/root" "$src"
fi
rm -rf "$work"
