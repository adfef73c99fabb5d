#!/usr/bin/env bash
# Checks the installed Python module (a staging folder or the unpacked
# packages): it imports from the tree's dist-packages alone, loads the
# counters from the tree's library folder, and counts the sample tree as
# the tree's quillon-count does.
#   check_python.sh ROOT SOURCE_DIR     (ROOT holds usr/...)
set -euo pipefail
root=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
prefix=$root/usr
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

pkg=$(find "$prefix/lib" -path '*/dist-packages/quillon/__init__.py' -print -quit)
[ -n "$pkg" ] || fail "the quillon package is not installed below $prefix/lib"
site=$(dirname "$(dirname "$pkg")")
ls "$site"/quillon/_quillon*.so >/dev/null || fail "the extension is not installed beside the package"
for f in dask.py _split.py _types.py py.typed; do
  [ -e "$site/quillon/$f" ] || fail "quillon/$f is not installed"
done

sample=$work/Documents
python3 "$src/scripts/sample_tree.py" "$sample" >/dev/null
run() { (cd / && env -i PATH=/usr/bin:/bin HOME="$work/home" LANG=C.UTF-8 PYTHONPATH="$site" \
  PYTHONDONTWRITEBYTECODE=1 "$@"); }
"$prefix/bin/quillon-count" --format jsonl --no-progress "$sample" >"$work/expected" 2>/dev/null || true
run /usr/bin/python3 - "$sample" "$prefix/lib/quillon" >"$work/got" <<'PY' || fail "the installed module failed"
import json, os, sys
import quillon
from quillon import _quillon
folder = os.path.realpath(_quillon.counter_folder())
if folder != os.path.realpath(sys.argv[2]):
    sys.exit(f"counters taken from {folder}, not {sys.argv[2]}")
for r in quillon.scan(sys.argv[1]):
    if isinstance(r, quillon.Result):
        line = {"path": r.path, "kind": r.kind, "size": r.size, "pages": r.pages}
        if r.pages is None:
            line["reason"] = r.reason
        elif r.warning:
            line["warning"] = r.warning
    else:
        line = {"path": r.path, "skipped": True, "folder": r.folder, "reason": r.reason}
    print(json.dumps(line, ensure_ascii=False, separators=(",", ":")))
PY
diff -u "$work/expected" "$work/got" || fail "the installed module's rows differ from quillon-count's"
echo "python module: ok"
