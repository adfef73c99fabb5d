"""Result types of the quillon package."""

import os
from typing import List, NamedTuple, Optional, Tuple, Union

#: A path as the package takes it.
PathArg = Union[str, bytes, os.PathLike]
#: A path as the package gives it: ``str`` when the name is UTF-8, else ``bytes``.
PathOut = Union[str, bytes]


def path_out(raw: bytes, want_bytes: bool) -> PathOut:
    """The name as given back: bytes when asked for or not UTF-8, else str."""
    if want_bytes:
        return raw
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        return raw


class Result(NamedTuple):
    """One counted file, as a line of ``quillon-count --format jsonl``.

    ``pages`` is None when the file could not be counted; ``reason`` then says
    why ("Not a PDF file", "Needs a password", ...) and is empty otherwise.
    ``warning`` is not empty for a count that may leave pages out (a TIFF
    damaged after its pages: "Damaged after page 3").
    ``path`` is a ``str``, or ``bytes`` for a name that is not UTF-8 (or when
    the path was given as bytes).

    With ``sizes=True`` a counted file also has, as quillon-count's jsonl
    with --sizes: ``sizes``, its pages by size name in the order the names
    first come, each (name, width_mm, height_mm, pages) with the size of the
    first such page (the millimetres None for "unknown size");
    ``a4_equivalents``; ``area_m2``; ``unknown_size_pages`` (pages whose
    size could not be read: one A4 equivalent each, no area).  Numbers are
    rounded to three decimals as the jsonl writes them.  These four are None
    without ``sizes=True`` and for a file that could not be counted.
    """

    path: PathOut
    kind: str  #: "TIF" or "PDF"
    size: int  #: bytes
    pages: Optional[int]
    reason: str
    warning: str = ""
    sizes: Optional[List[Tuple[str, Optional[float], Optional[float], int]]] = None
    a4_equivalents: Optional[int] = None
    area_m2: Optional[float] = None
    unknown_size_pages: Optional[int] = None

    @property
    def ok(self) -> bool:
        """True when the file was counted."""
        return self.pages is not None


class Unsearched(NamedTuple):
    """A folder or file that could not be searched, with the system's reason.

    Its files are missing from the totals, so a scan names it rather than
    leave it out in silence (``quillon-count`` writes it as a
    ``"skipped":true`` line).  A folder's path ends in "/".
    """

    path: PathOut
    folder: bool
    reason: str


class Totals(NamedTuple):
    """What a scan counted: files, files that gave an error, pages per kind,
    entries that could not be searched, files without the chosen date,
    whether the scan was stopped before its end, and files reached more than
    once (counted once).  With ``sizes=True``, also the A4 equivalents, the
    square metres (three decimals) and the pages of unknown size of the
    counted files, as quillon-count's totals line; else these are None."""

    files: int
    errors: int
    tif_pages: int
    pdf_pages: int
    skipped: int
    undated: int
    stopped: bool
    duplicates: int = 0
    a4_equivalents: Optional[int] = None
    area_m2: Optional[float] = None
    unknown_size_pages: Optional[int] = None

    @property
    def pages(self) -> int:
        """TIFF and PDF pages together."""
        return self.tif_pages + self.pdf_pages
