#!/usr/bin/env bash
# Checks an installed tree (a staging folder or an unpacked package) as it
# would stand on a user's machine: every file a user needs is there, nothing
# names the build machine, and the programs run finding their parts only in
# the tree itself.
#   check_tree.sh ROOT SOURCE_DIR     (ROOT holds usr/...)
set -euo pipefail
root=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
prefix=$root/usr
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
id=org.example.quillon

for f in bin/Quillon bin/quillon-count \
         lib/quillon/libBrastel.so lib/quillon/libTiffPageCounter.so lib/quillon/libQuillonWorkbooks.so \
         share/quillon/help.htm \
         share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/icons/hicolor/scalable/apps/$id.svg \
         share/icons/hicolor/48x48/apps/$id.png share/icons/hicolor/256x256/apps/$id.png \
         share/man/man1/Quillon.1.gz share/man/man1/quillon-count.1.gz \
         share/doc/quillon/copyright share/doc/quillon/changelog.gz; do
  [ -e "$prefix/$f" ] || fail "$f is not installed"
done
[ -z "$(find "$root" -path '*/bin/help.htm')" ] || fail "help.htm installed in a binary folder"

# No RPATH/RUNPATH, and no file that names the source or build folders
# (debug information aside: a package strips it).
while IFS= read -r -d '' f; do
  text=$f
  if [ "$(head -c4 "$f" | tr -d '\0')" = $'\x7fELF' ]; then
    if readelf -d "$f" | grep -Eq '\((RPATH|RUNPATH)\)'; then fail "$f has an RPATH or RUNPATH"; fi
    objcopy --strip-debug "$f" "$work/elf"
    text=$work/elf
  elif [[ $f == *.gz ]]; then
    zcat "$f" >"$work/unzipped"
    text=$work/unzipped
  fi
  if grep -qF "$src" "$text"; then fail "$f names the build machine's $src"; fi
done < <(find "$root" -type f -print0)

desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >/dev/null \
  || appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"

# The programs, from a clean environment and another working folder.
sample=$work/Documents
python3 "$src/scripts/sample_tree.py" "$sample" --manifest | sort >"$work/expected"
run() { (cd / && env -i PATH=/usr/bin:/bin HOME="$work/home" LANG=C.UTF-8 "$@"); }

status=0
run "$prefix/bin/quillon-count" --no-progress "$sample" >"$work/rows" 2>"$work/err" || status=$?
[ "$status" = 1 ] || { cat "$work/err" >&2; fail "quillon-count exited $status, not 1 (one damaged file)"; }
sed "s|^$sample/||" "$work/rows" | cut -f1,4 | sort >"$work/got"
diff -u "$work/expected" "$work/got" || fail "quillon-count's page counts differ from the sample's"
run "$prefix/bin/quillon-count" --help | grep -q -- '--format' || fail "quillon-count --help"
# The workbook writers are loaded from the tree's library folder when asked for.
for kind in xls xlsx; do
  run "$prefix/bin/quillon-count" --no-progress --export "$work/list.$kind" "$sample" >/dev/null 2>&1 || true
  [ -s "$work/list.$kind" ] || fail "quillon-count --export wrote no .$kind workbook"
done
[ "$(head -c2 "$work/list.xlsx")" = PK ] || fail "the .xlsx workbook is no zip package"
[ "$(od -An -tx1 -N4 "$work/list.xls" | tr -d ' ')" = d0cf11e0 ] || fail "the .xls workbook is no compound file"

# Without the tree's own component folder nothing else may count for it.
mv "$prefix/lib/quillon" "$prefix/lib/quillon.aside"
status=0
run "$prefix/bin/quillon-count" --no-progress "$sample" >"$work/rows" 2>/dev/null || status=$?
exported=0
run "$prefix/bin/quillon-count" --no-progress --export "$work/none.xlsx" "$sample" >/dev/null 2>"$work/err" || exported=$?
mv "$prefix/lib/quillon.aside" "$prefix/lib/quillon"
if [ "$status" != 1 ] || cut -f4 "$work/rows" | grep -qv '^Error$'; then
  fail "quillon-count counted pages without the tree's component folder"
fi
[ "$exported" = 2 ] && grep -q 'workbook writers cannot be loaded' "$work/err" && [ ! -e "$work/none.xlsx" ] \
  || fail "a workbook asked for without its writers' library did not fail clearly (exit $exported)"

# The window, offscreen: it searches the sample and reports its totals.
run "$prefix/bin/Quillon" --version | grep -qx 'Quillon [0-9.]*' || fail "Quillon --version"
run env QT_QPA_PLATFORM=offscreen QUILLON_SCREENSHOT="$work/window.png" \
    QUILLON_SCREENSHOT_FOLDER="$sample" "$prefix/bin/Quillon" >"$work/window" 2>"$work/window.err" \
  || { cat "$work/window.err" >&2; fail "Quillon did not finish its search"; }
if ! grep -qx 'Total Files : 12' "$work/window" || ! grep -qx 'Total Pages TIFs = 16 PDFs = 51' "$work/window"; then
  cat "$work/window" >&2
  fail "Quillon's totals differ from the sample's"
fi
[ -s "$work/window.png" ] || fail "Quillon saved no picture of its window"
echo "installed tree is complete and works on its own"
