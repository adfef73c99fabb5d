"""How a tree is cut into Dask tasks, and what one task does.

A part is one of
  ("tree", folder)         walk the folder and everything below it
  ("own", folder, entries) walk the folder alone (its subfolders are parts of their own)
  ("list", folder, names)  a slice of a huge folder's files, by name
  ("files", paths)         files given by name, counted by their kind
in the order a single walk would meet their files, so the concatenated
parts read as quillon-count's output.  Paths are bytes throughout.
"""

from __future__ import annotations

import os
from typing import List, Optional, Sequence, Tuple

from . import _quillon
from ._sizes import SizeTally, decimal_text, file_fields
from ._types import path_out

Part = tuple

# Columns as quillon-count's jsonl lines: a file's path, kind, size, pages
# (null when it could not be counted), reason, and warning (a count that may
# leave pages out); an entry that could not be
# searched has skipped=True, folder and reason.
COLUMNS = ["path", "kind", "size", "pages", "reason", "warning", "skipped", "folder"]
# With sizes, a counted file's sizes as the jsonl has them with --sizes
# (null for a file not counted and for an entry not searched).
SIZE_COLUMNS = ["sizes", "a4_equivalents", "area_m2", "unknown_size_pages"]


def _slash(folder: bytes) -> bytes:
    return folder if folder.endswith(b"/") else folder + b"/"


def _expand(folder: bytes, tif: bool, pdf: bool, chunk: int) -> List[Part]:
    """One level of a tree part: the folder's own files, then its subfolders
    as trees, in the walker's order.  A folder that cannot be listed here
    stays one part, whose walk on a worker reports it as the engine does."""
    try:
        with os.scandir(folder) as it:
            entries = list(it)
        subfolders = [e.name for e in entries
                      if b"RECYCLE" not in e.name and e.is_dir(follow_symlinks=False)]
    except OSError:
        return [("tree", folder)]
    base = _slash(folder)
    parts: List[Part] = []
    if len(entries) > chunk:
        names = _quillon.candidates([e.name for e in entries], tif, pdf)
        # Each name is tested on the worker as the walk tests it (a
        # regular file, the date window; one it cannot examine is reported).
        parts += [("list", base, names[i:i + chunk]) for i in range(0, len(names), chunk)]
    else:
        parts.append(("own", folder, len(entries)))
    parts += [("tree", base + name) for name in subfolders]
    return parts


def weight(part: Part, chunk: int) -> int:
    """About how many files a part holds: known for a folder that was
    opened, unknown for a tree that was not (taken as half a task)."""
    if part[0] == "own":
        return part[2]
    if part[0] == "list":
        return len(part[2])
    if part[0] == "files":
        return len(part[1])
    return max(1, chunk // 2)


def plan(roots: Sequence[bytes], tif: bool, pdf: bool, subfolders: bool, target: int, chunk: int,
         max_depth: int = 8, open_limit: int = 1024) -> List[Part]:
    """The parts of a count: folders are opened level by level until there
    are at least `target` trees and about `open_limit` parts (or nothing
    left to open), so big subtrees are cut, small ones stay whole, and most
    parts' sizes are known.  Runs on a worker: the walk starts where the
    files are."""
    parts: List[Part] = []
    for root in roots:
        if not os.path.isdir(root):
            if parts and parts[-1][0] == "files":
                parts[-1][1].append(root)
            else:
                parts.append(("files", [root]))
        elif subfolders:
            parts.append(("tree", root))
        else:
            # The folder's own files only; one that cannot be listed here is
            # walked (alone) on a worker, which reports it.
            for p in _expand(root, tif, pdf, chunk):
                if p[0] != "tree":
                    parts.append(p)
                elif p[1] == root:
                    parts.append(("own", root, 0))
    for _ in range(max_depth):
        trees = sum(1 for p in parts if p[0] == "tree")
        if trees == 0 or (trees >= target and len(parts) >= open_limit):
            break
        opened: List[Part] = []
        for p in parts:
            opened += _expand(p[1], tif, pdf, chunk) if p[0] == "tree" else [p]
        if opened == parts:  # only folders that cannot be listed are left
            break
        parts = opened
    return parts


def _engine(run: Part, tif: bool, pdf: bool, date: Tuple[int, tuple, tuple], jobs: int, sizes: bool):
    """The engine's scan of a run of parts: ("tree"|"own", [folders]),
    ("list", folder, names) or ("files", paths)."""
    field, start, end = date
    kind = run[0]
    if kind in ("tree", "own"):
        return _quillon.Scan(list(run[1]), b"", [], tif, pdf, kind == "tree", field, start, end, jobs, sizes)
    if kind == "list":
        return _quillon.Scan([], run[1], list(run[2]), tif, pdf, False, field, start, end, jobs, sizes)
    return _quillon.Scan(list(run[1]), b"", [], tif, pdf, False, field, start, end, jobs, sizes)


def _runs(parts: Sequence[Part]) -> List[Part]:
    """Consecutive folders walked alike become one scan of several inputs:
    a scan costs a thread and a start, a leaf folder of a few files far less."""
    runs: List[Part] = []
    for p in parts:
        if p[0] in ("tree", "own"):
            if runs and runs[-1][0] == p[0]:
                runs[-1][1].append(p[1])
            else:
                runs.append((p[0], [p[1]]))
        else:
            runs.append(p)
    return runs


def run_parts(parts: Sequence[Part], tif: bool, pdf: bool, date: Tuple[int, tuple, tuple], jobs: int,
              sizes: bool = False):
    """Counts a task's parts, one after the other, with the C++ engine; a
    pandas DataFrame of their rows (attrs["undated"]: files without the
    chosen date; with sizes, attrs["size_totals"]: their SizeTally)."""
    cols: dict = {c: [] for c in COLUMNS + (SIZE_COLUMNS if sizes else [])}
    path, kind, size, pages, reason, warning, skipped, folder = (cols[c] for c in COLUMNS)
    tally = SizeTally() if sizes else None
    undated = 0
    for run in _runs(parts):
        engine = _engine(run, tif, pdf, date, jobs, sizes)
        while True:
            items = engine.batch(4096)
            if not items:
                break
            for item in items:
                if item[0] == "file":
                    path.append(path_out(item[1], False))
                    kind.append(item[2])
                    size.append(item[3])
                    pages.append(item[4])
                    reason.append(item[5] or None)
                    warning.append(item[6] or None)
                    skipped.append(False)
                    folder.append(None)
                    if tally is not None:
                        tally.add(item[7])
                        for c, v in zip(SIZE_COLUMNS, file_fields(item[7])):
                            cols[c].append(v)
                else:
                    path.append(path_out(item[1], False))
                    kind.append(None)
                    size.append(None)
                    pages.append(None)
                    reason.append(item[3])
                    warning.append(None)
                    skipped.append(True)
                    folder.append(item[2])
                    if tally is not None:
                        for c in SIZE_COLUMNS:
                            cols[c].append(None)
        undated += engine.totals()["undated"]
    return frame(cols, undated, tally)


def group(parts: Sequence[Part], tasks: int, chunk: int) -> List[List[Part]]:
    """Consecutive parts gathered into tasks, in order: at least about
    `tasks` of them, each of about `chunk` files at most where the sizes are
    known.  A task costs the scheduler a round trip, a small subtree far
    less; and a task's rows are what a worker, and the client writing them,
    hold at once."""
    weights = [weight(p, chunk) for p in parts]
    budget = max(1, min(chunk, -(-sum(weights) // max(1, tasks))))
    groups: List[List[Part]] = []
    current: List[Part] = []
    held = 0
    for p, w in zip(parts, weights):
        if current and held + w > budget:
            groups.append(current)
            current, held = [], 0
        current.append(p)
        held += w
    if current:
        groups.append(current)
    return groups


def frame(cols: dict, undated: int = 0, tally: Optional[SizeTally] = None):
    """The rows as a DataFrame with the columns' fixed types (the size
    columns when `cols` holds them)."""
    import pandas as pd

    df = pd.DataFrame({
        "path": pd.Series(cols["path"], dtype=object),
        "kind": pd.Series(cols["kind"], dtype=object),
        "size": pd.Series(cols["size"], dtype="Int64"),
        "pages": pd.Series(cols["pages"], dtype="Int64"),
        "reason": pd.Series(cols["reason"], dtype=object),
        "warning": pd.Series(cols["warning"], dtype=object),
        "skipped": pd.Series(cols["skipped"], dtype=bool),
        "folder": pd.Series(cols["folder"], dtype=object),
    })
    if "sizes" in cols:
        df["sizes"] = pd.Series(cols["sizes"], dtype=object)
        df["a4_equivalents"] = pd.Series(cols["a4_equivalents"], dtype="Int64")
        df["area_m2"] = pd.Series(cols["area_m2"], dtype="Float64")
        df["unknown_size_pages"] = pd.Series(cols["unknown_size_pages"], dtype="Int64")
        df.attrs["size_totals"] = tally if tally is not None else SizeTally()
    df.attrs["undated"] = undated
    return df


def empty_frame(sizes: bool = False):
    return frame({c: [] for c in COLUMNS + (SIZE_COLUMNS if sizes else [])}, tally=SizeTally() if sizes else None)


def _sizes_json(sizes, a4, area, unknown, quote) -> str:
    """A counted file's size fields of quillon-count --sizes --format jsonl."""
    def mm(v) -> str:
        return "null" if v is None or v != v else decimal_text(v)

    groups = ",".join('{"name":%s,"width_mm":%s,"height_mm":%s,"pages":%d}' % (quote(n.encode()), mm(w), mm(h), p)
                      for n, w, h, p in sizes)
    return ',"sizes":[%s],"a4_equivalents":%d,"area_m2":%s,"unknown_size_pages":%d' % (
        groups, a4, decimal_text(area), unknown)


def raw_path(path) -> bytes:
    """The bytes of a path of the path column."""
    return path if isinstance(path, bytes) else path.encode("utf-8")


def jsonl_lines(df, with_files: bool = True, with_skipped: bool = True) -> List[str]:
    """The rows as quillon-count writes them with --format jsonl."""
    q = _quillon.json_string
    out: List[str] = []
    cols = [df[c].tolist() for c in COLUMNS]
    sized = "sizes" in df.columns
    extra = [df[c].tolist() for c in SIZE_COLUMNS] if sized else [[None] * len(df)]
    for path, kind, size, pages, reason, warning, skipped, folder, *more in zip(*cols, *extra):
        if skipped:
            if with_skipped:
                out.append('{"path":%s,"skipped":true,"folder":%s,"reason":%s}\n'
                           % (q(raw_path(path)), "true" if folder else "false", q(reason.encode())))
        elif with_files:
            if pages is not None and pages is not _NA:
                tail = "%d" % pages + (',"warning":' + q(warning.encode()) if warning else "")
                if sized:
                    tail += _sizes_json(*more, q)
            else:
                tail = 'null,"reason":' + q(reason.encode())
            out.append('{"path":%s,"kind":"%s","size":%d,"pages":%s}\n' % (q(raw_path(path)), kind, size, tail))
    return out


def jsonl_part(df) -> Tuple[str, str, Tuple[int, int, int, int, int, bool, bool], Optional[SizeTally]]:
    """One partition as quillon-count's jsonl (its files, its unsearched
    entries), its totals and its size totals (None without sizes): made on
    the worker, so the client only writes."""
    files = df[~df["skipped"]]
    counted = files["pages"].notna()
    tif = files["kind"] == "TIF"
    pdf = files["kind"] == "PDF"
    totals = (len(files), int((~counted).sum()), int(files.loc[counted & tif, "pages"].sum()),
              int(files.loc[counted & pdf, "pages"].sum()), int(df.attrs.get("undated", 0)),
              bool(tif.any()), bool(pdf.any()))
    return ("".join(jsonl_lines(df, with_skipped=False)), "".join(jsonl_lines(df, with_files=False)), totals,
            df.attrs.get("size_totals"))


try:
    import pandas as _pd
    _NA = _pd.NA
except ImportError:  # pandas comes with dask; jsonl_lines is only used beside it
    _NA = None
