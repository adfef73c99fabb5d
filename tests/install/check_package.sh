#!/usr/bin/env bash
# Makes the Debian package from the existing build (nothing is rebuilt),
# checks its control data, unpacks it with dpkg-deb -x and checks the tree;
# then lintian, where it is installed, must report no error.
#   check_package.sh BUILD_DIR SOURCE_DIR WORK_DIR
set -euo pipefail
build=$1 src=$2 work=$3
rm -rf "$work"
mkdir -p "$work"
(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log") || { cat "$work/cpack.log" >&2; exit 1; }
deb=$(ls "$work"/out/quillon_*.deb)
fields=$(dpkg-deb -f "$deb" Package Depends)
echo "$fields"
for dep in libqt6widgets6 libqpdf libtiff6 libc6; do
  grep -q "$dep" <<<"$fields" || { echo "FAIL: Depends lacks $dep" >&2; exit 1; }
done
dpkg-deb -x "$deb" "$work/root"
"$src/tests/install/check_tree.sh" "$work/root" "$src"
if command -v lintian >/dev/null; then
  lintian --fail-on error --no-tag-display-limit "$deb"
else
  echo "lintian is not installed: its check is skipped"
fi
rm -rf "$work"
