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
debs=("$deb")
# The Python module's own package, where this build made the module.
if [ -e "$build/python/quillon/__init__.py" ]; then
  pydeb=$(ls "$work"/out/python3-quillon_*.deb)
  pyfields=$(dpkg-deb -f "$pydeb" Package Depends Suggests)
  echo "$pyfields"
  for dep in "quillon (= " python3 libc6 python3-distributed; do
    grep -qF "$dep" <<<"$pyfields" || { echo "FAIL: python3-quillon lacks $dep" >&2; exit 1; }
  done
  if dpkg-deb -c "$deb" | grep -q dist-packages; then echo "FAIL: quillon holds the Python module" >&2; exit 1; fi
  dpkg-deb -x "$pydeb" "$work/root"
  "$src/tests/install/check_python.sh" "$work/root" "$src"
  debs+=("$pydeb")
fi
if command -v lintian >/dev/null; then
  lintian --fail-on error --no-tag-display-limit "${debs[@]}"
else
  echo "lintian is not installed: its check is skipped"
fi
rm -rf "$work"
