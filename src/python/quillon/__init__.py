"""Count the pages of TIFF and PDF files, with the engine of ``quillon-count``.

``count(path)`` counts one file; ``scan(*paths)`` walks folders and yields a
:class:`Result` for each file as it is counted, then an :class:`Unsearched`
for each folder or file that could not be searched, and keeps the
:class:`Totals`.  The results are those of ``quillon-count --format jsonl``
(Brastel for PDF, the TIFF counter on libtiff).  Counting releases the GIL,
so threads count in parallel; Ctrl-C stops a scan cleanly.

``quillon.dask`` counts a tree across a Dask cluster.

Example::

    import quillon
    s = quillon.scan("/srv/archive", kinds=("pdf",))
    for r in s:
        if isinstance(r, quillon.Result) and r.pages is None:
            print(r.path, r.reason)
    print(s.totals())
"""

from __future__ import annotations

import collections
import datetime
import os
import stat
from typing import Iterable, Iterator, Optional, Sequence, Tuple, Union

from . import _quillon
from ._sizes import SizeTally, file_fields, rounded
from ._types import PathArg, PathOut, Result, Totals, Unsearched, path_out

__all__ = ["count", "scan", "Scan", "Result", "Unsearched", "Totals", "__version__"]
__version__: str = _quillon.__version__

_DATE_FIELDS = {"modified": 1, "created": 2, "accessed": 3}
#: A date window: the date field ("modified", "created" or "accessed") and
#: the two bound days, both inclusive, in either order.
DateWindow = Tuple[str, datetime.date, datetime.date]


def _raw(path: PathArg) -> bytes:
    """The path's bytes, as the file system has them."""
    raw = os.fsencode(path)
    if not raw:
        raise ValueError("an empty path names no file")
    if b"\0" in raw:
        raise ValueError("a path cannot hold a NUL byte")
    return raw


def _kind_flags(kinds: Iterable[str]) -> Tuple[bool, bool]:
    if isinstance(kinds, (str, bytes)):
        kinds = (kinds,)
    chosen = {str(k).lower() for k in kinds}
    unknown = chosen - {"pdf", "tif"}
    if unknown:
        raise ValueError(f"unknown kinds {sorted(unknown)}: choose from 'pdf' and 'tif'")
    if not chosen:
        raise ValueError("no kind chosen: give 'pdf', 'tif' or both")
    return "tif" in chosen, "pdf" in chosen


def _date_args(date: Optional[DateWindow]) -> Tuple[int, tuple, tuple]:
    if date is None:
        return 0, (), ()
    try:
        field, start, end = date
    except (TypeError, ValueError):
        raise ValueError("date is (field, from, to), e.g. ('modified', date(2024, 1, 1), date(2024, 12, 31))") from None
    if field not in _DATE_FIELDS:
        raise ValueError(f"date field {field!r}: choose from {sorted(_DATE_FIELDS)}")
    for d in (start, end):
        if not isinstance(d, datetime.date):
            raise TypeError("the date window's bounds are datetime.date values")
    return _DATE_FIELDS[field], (start.year, start.month, start.day), (end.year, end.month, end.day)


def _check_jobs(jobs: Optional[int]) -> int:
    if jobs is None:
        return 0
    if not isinstance(jobs, int) or jobs < 1:
        raise ValueError("jobs is a number of threads, 1 or more (None: the engine's default)")
    return jobs


def _kind_of_name(raw: bytes) -> Optional[str]:
    """TIF or PDF from the name's last extension, as the engine decides it."""
    name = raw.rsplit(b"/", 1)[-1]
    if b"." not in name:
        return None
    ext = name.rsplit(b".", 1)[1][:3].upper()
    return {b"TIF": "TIF", b"PDF": "PDF"}.get(ext)


def _os_error(code: int, raw: bytes) -> OSError:
    return OSError(code, os.strerror(code), os.fsdecode(raw))


def count(path: PathArg, sizes: bool = False) -> Result:
    """Count the pages of one TIFF or PDF file.

    sizes: also read the page sizes (see :class:`Result`).

    The kind comes from the name (``.tif``/``.tiff``, ``.pdf``).  A file that
    cannot be counted gives a Result whose ``pages`` is None and whose
    ``reason`` says why; a path that does not exist raises
    FileNotFoundError, a folder IsADirectoryError, a name of neither kind
    ValueError.  The GIL is released while the file is read.
    """
    raw = _raw(path)
    code, row = _quillon.count(raw, bool(sizes))
    if code == -1:
        raise IsADirectoryError(21, "Is a folder: count() takes one file, scan() walks folders", os.fsdecode(raw))
    if code == -2:
        raise FileNotFoundError(2, "it is gone or no longer a file", os.fsdecode(raw))
    if code:
        raise _os_error(code, raw)
    p, kind, size, pages, reason, warning = row[:6]
    if not kind:
        raise ValueError(f"{os.fsdecode(raw)}: neither a TIFF nor a PDF file name")
    return Result(path_out(p, isinstance(path, bytes)), kind, size, pages, reason, warning,
                  *(file_fields(row[6]) if sizes else ()))


class Scan(Iterator[Union[Result, Unsearched]]):
    """A running scan: iterate it for the results, then ask :meth:`totals`.

    Files are yielded as they are counted, in the order the walk finds them
    (the order of ``quillon-count``); then come the entries that could not be
    searched.  :meth:`stop` (or leaving a ``with`` block, or Ctrl-C during
    the iteration) ends the scan; the totals are those of the items yielded.
    """

    def __init__(self, engine: "_quillon.Scan", want_bytes: bool, kinds: Tuple[bool, bool],
                 sizes: bool = False) -> None:
        self._engine = engine
        # The sizes of the files yielded (None: sizes were not asked for).
        self._sizes: Optional[SizeTally] = SizeTally() if sizes else None
        self._bytes = want_bytes
        self._tif, self._pdf = kinds
        # Items taken from the engine, not yet yielded: taken a few hundred
        # at a time, a result costs one trip through the GIL per batch.
        self._ready: "collections.deque[tuple]" = collections.deque()
        self._stopped = False

    def __iter__(self) -> "Scan":
        return self

    def __next__(self) -> Union[Result, Unsearched]:
        if self._stopped:
            raise StopIteration
        if not self._ready:
            self._ready.extend(self._engine.batch(256))
            if not self._ready:
                raise StopIteration
        item = self._ready.popleft()
        if item[0] == "file":
            _, p, kind, size, pages, reason, warning = item[:7]
            if self._sizes is None:
                return Result(path_out(p, self._bytes), kind, size, pages, reason, warning)
            self._sizes.add(item[7])
            return Result(path_out(p, self._bytes), kind, size, pages, reason, warning, *file_fields(item[7]))
        _, p, folder, reason = item
        return Unsearched(path_out(p, self._bytes), folder, reason)

    def stop(self) -> None:
        """End the scan now; counts under way are finished and dropped."""
        self._engine.stop()
        self._stopped = True

    def totals(self) -> Totals:
        """Totals of what was yielded so far (all of it once the iteration ended)."""
        t = self._engine.totals()
        files, errors, tif_pages, pdf_pages, skipped = (t["files"], t["errors"], t["tif_pages"], t["pdf_pages"],
                                                        t["skipped"])
        for item in self._ready:  # taken from the engine, not yet yielded
            if item[0] != "file":
                skipped -= 1
                continue
            files -= 1
            if item[4] is None:
                errors -= 1
            elif item[2] == "TIF":
                tif_pages -= item[4]
            else:
                pdf_pages -= item[4]
        sized: tuple = ()
        if self._sizes is not None:
            sized = (self._sizes.a4, rounded(self._sizes.area), self._sizes.unknown)
        return Totals(files, errors, tif_pages, pdf_pages, skipped, t["undated"], t["stopped"], t["duplicates"],
                      *sized)

    def totals_text(self) -> str:
        """The totals line as quillon-count prints it ("Total Pages TIFs = n PDFs = n")."""
        t = self._engine.totals()
        return _quillon.total_pages_text(self._tif or t["saw_tif"], self._pdf or t["saw_pdf"],
                                         t["tif_pages"], t["pdf_pages"])

    def __enter__(self) -> "Scan":
        return self

    def __exit__(self, *exc: object) -> None:
        self.stop()

    def __del__(self) -> None:
        engine = getattr(self, "_engine", None)
        if engine is not None:
            engine.stop()


def scan(*paths: PathArg, kinds: Sequence[str] = ("pdf", "tif"), subfolders: bool = True,
         date: Optional[DateWindow] = None, jobs: Optional[int] = None, sizes: bool = False,
         files_from: Optional[PathArg] = None, null: bool = False) -> Scan:
    """Walk folders and count their TIFF and PDF files, as quillon-count does.

    paths: folders (walked) and files (counted by their kind, whatever
    ``kinds`` says), str, bytes or os.PathLike.  A file reached more than once
    is counted once.
    kinds: the kinds a folder walk looks for: "pdf", "tif" or both.
    subfolders: walk below the given folders too.
    date: ("modified" | "created" | "accessed", from, to): only files whose
    date lies in the window, both days included.
    jobs: counting threads (None: two a core, at most 16).
    sizes: also read each counted file's page sizes: each Result then has
    ``sizes``, ``a4_equivalents``, ``area_m2`` and ``unknown_size_pages``
    as quillon-count --sizes --format jsonl writes them, and the totals the
    A4 equivalents and square metres; without it nothing is read and these
    are None.
    files_from: a file listing more paths, one a line (with ``null``: each
    ended by NUL, as ``find -print0`` writes them), as quillon-count's
    --files-from; a list that cannot be read (a folder, say) raises
    ValueError.

    Returns a :class:`Scan`, which yields a :class:`Result` per file as it is
    counted, then an :class:`Unsearched` per folder or file that could not be
    searched.  A path that does not exist raises FileNotFoundError before
    anything is counted; a file whose name is of neither kind, ValueError.
    """
    raws = [_raw(p) for p in paths]
    if files_from is not None:
        listed = _raw(files_from)
        try:
            raws += _quillon.read_path_list(listed, null)
        except ValueError as e:
            raise ValueError(f"{os.fsdecode(listed)}: {e}") from None
    if not raws:
        raise TypeError("scan() needs at least one path")
    tif, pdf = _kind_flags(kinds)
    field, start, end = _date_args(date)
    for raw in raws:
        try:
            folder = stat.S_ISDIR(os.stat(raw).st_mode)
        except OSError as e:
            raise type(e)(e.errno, e.strerror, os.fsdecode(raw)) from None
        if not folder and _kind_of_name(raw) is None:
            raise ValueError(f"{os.fsdecode(raw)}: neither a TIFF nor a PDF file name")
    engine = _quillon.Scan(raws, b"", [], tif, pdf, subfolders, field, start, end, _check_jobs(jobs), bool(sizes))
    return Scan(engine, all(isinstance(p, bytes) for p in paths), (tif, pdf), bool(sizes))


def _scan_listed(folder: bytes, names: Sequence[bytes], kinds: Tuple[bool, bool], date: Optional[DateWindow],
                 jobs: Optional[int]) -> Scan:
    """Count files of one folder given by name, each tested as a walk of the
    folder tests it (for parts of a folder too large for one task)."""
    field, start, end = _date_args(date)
    engine = _quillon.Scan([], folder, list(names), kinds[0], kinds[1], False, field, start, end, _check_jobs(jobs))
    return Scan(engine, True, kinds)
