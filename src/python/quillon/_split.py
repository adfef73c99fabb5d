"""How a tree is cut into Dask tasks, and what one task does.

A part is one of
  ("tree", folder)         walk the folder and everything below it
  ("own", folder)          walk the folder alone (its subfolders are parts of their own)
  ("list", folder, names)  a slice of a huge folder's files, by name
  ("files", paths)         files given by name, counted by their kind
in the order a single walk would meet their files, so the concatenated
parts read as quillon-count's output.  Paths are bytes throughout.
"""

from __future__ import annotations

import os
from typing import List, Optional, Sequence, Tuple

from . import _quillon
from ._types import path_out

Part = tuple

# Columns as quillon-count's jsonl lines: a file's path, kind, size, pages
# (null when it could not be counted) and reason; an entry that could not be
# searched has skipped=True, folder and reason.
COLUMNS = ["path", "kind", "size", "pages", "reason", "skipped", "folder"]


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
        parts.append(("own", folder))
    parts += [("tree", base + name) for name in subfolders]
    return parts


def plan(roots: Sequence[bytes], tif: bool, pdf: bool, subfolders: bool, target: int, chunk: int,
         max_depth: int = 8) -> List[Part]:
    """The parts of a count, about `target` trees where the tree allows:
    folders are opened level by level until there are enough, so big
    subtrees are cut and small ones stay whole.  Runs on a worker: the walk
    starts where the files are."""
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
                    parts.append(("own", root))
    for _ in range(max_depth):
        trees = sum(1 for p in parts if p[0] == "tree")
        if trees == 0 or trees >= target:
            break
        opened: List[Part] = []
        for p in parts:
            opened += _expand(p[1], tif, pdf, chunk) if p[0] == "tree" else [p]
        if len(opened) == len(parts):
            break
        parts = opened
    return parts


def run_part(part: Part, tif: bool, pdf: bool, date: Tuple[int, tuple, tuple], jobs: int):
    """Counts one part with the C++ engine; a pandas DataFrame of its rows."""
    import pandas as pd

    field, start, end = date
    kind = part[0]
    if kind == "tree":
        engine = _quillon.Scan([part[1]], b"", [], tif, pdf, True, field, start, end, jobs)
    elif kind == "own":
        engine = _quillon.Scan([part[1]], b"", [], tif, pdf, False, field, start, end, jobs)
    elif kind == "list":
        engine = _quillon.Scan([], part[1], list(part[2]), tif, pdf, False, field, start, end, jobs)
    else:
        engine = _quillon.Scan(list(part[1]), b"", [], tif, pdf, False, field, start, end, jobs)
    cols: dict = {c: [] for c in COLUMNS}
    while True:
        try:
            item = engine.next()
        except StopIteration:
            break
        if item[0] == "file":
            _, p, k, size, pages, reason = item
            row = (path_out(p, False), k, size, pages, reason or None, False, None)
        else:
            _, p, folder, reason = item
            row = (path_out(p, False), None, None, None, reason, True, folder)
        for c, v in zip(COLUMNS, row):
            cols[c].append(v)
    return frame(cols, engine.totals()["undated"])


def frame(cols: dict, undated: int = 0):
    """The rows as a DataFrame with the columns' fixed types."""
    import pandas as pd

    df = pd.DataFrame({
        "path": pd.Series(cols["path"], dtype=object),
        "kind": pd.Series(cols["kind"], dtype=object),
        "size": pd.Series(cols["size"], dtype="Int64"),
        "pages": pd.Series(cols["pages"], dtype="Int64"),
        "reason": pd.Series(cols["reason"], dtype=object),
        "skipped": pd.Series(cols["skipped"], dtype=bool),
        "folder": pd.Series(cols["folder"], dtype=object),
    })
    df.attrs["undated"] = undated
    return df


def empty_frame():
    return frame({c: [] for c in COLUMNS})


def raw_path(path) -> bytes:
    """The bytes of a path of the path column."""
    return path if isinstance(path, bytes) else path.encode("utf-8")


def jsonl_lines(df, with_files: bool = True, with_skipped: bool = True) -> List[str]:
    """The rows as quillon-count writes them with --format jsonl."""
    q = _quillon.json_string
    out: List[str] = []
    for path, kind, size, pages, reason, skipped, folder in df[COLUMNS].itertuples(index=False, name=None):
        if skipped:
            if with_skipped:
                out.append('{"path":%s,"skipped":true,"folder":%s,"reason":%s}\n'
                           % (q(raw_path(path)), "true" if folder else "false", q(reason.encode())))
        elif with_files:
            tail = ("%d" % pages) if pages is not None and pages is not _NA else "null,\"reason\":" + q(reason.encode())
            out.append('{"path":%s,"kind":%s,"size":%d,"pages":%s}\n' % (q(raw_path(path)), q(kind.encode()), size, tail))
    return out


try:
    import pandas as _pd
    _NA = _pd.NA
except ImportError:  # pandas comes with dask; jsonl_lines is only used beside it
    _NA = None
