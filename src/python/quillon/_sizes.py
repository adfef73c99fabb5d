"""Page sizes as quillon-count writes them with --sizes: a file's sizes
from the engine's tuple, and their totals by size name."""

from __future__ import annotations

from typing import Dict, List, Optional, Tuple

#: One size of a file: name, width and height in mm (None for "unknown
#: size"), pages.
SizeEntry = Tuple[str, Optional[float], Optional[float], int]


def decimal_text(value: float) -> str:
    """A number as quillon-count writes it: at most three decimals, no
    trailing zeros."""
    text = "%.3f" % value
    if "." in text:
        text = text.rstrip("0").rstrip(".")
    return "0" if text == "-0" else text


def rounded(value: Optional[float]) -> Optional[float]:
    """The value quillon-count's json holds for it (three decimals)."""
    return None if value is None else float(decimal_text(value))


def file_fields(raw: Optional[tuple]) -> Tuple[Optional[List[SizeEntry]], Optional[int], Optional[float],
                                               Optional[int]]:
    """A Result's sizes, a4_equivalents, area_m2 and unknown_size_pages from
    the engine's tuple (None: the file was not counted)."""
    if raw is None:
        return None, None, None, None
    groups, a4, area, unknown = raw
    return [(g[0], rounded(g[1]), rounded(g[2]), g[3]) for g in groups], a4, rounded(area), unknown


class SizeTally:
    """Totals by size name over many files, in the order the names first
    come, as quillon-count's totals line has them.  Fed with the engine's
    unrounded numbers, so the sums are those quillon-count writes."""

    def __init__(self) -> None:
        # name -> [width_mm, height_mm, files, pages, a4_equivalents, area_m2]
        self.lines: Dict[str, list] = {}
        self.a4 = 0
        self.area = 0.0
        self.unknown = 0

    def add(self, raw: Optional[tuple]) -> None:
        """A file's sizes, the engine's tuple (None: not counted, nothing to add)."""
        if raw is None:
            return
        groups, a4, area, unknown = raw
        for name, w, h, pages, g_a4, g_area in groups:
            line = self.lines.setdefault(name, [w, h, 0, 0, 0, 0.0])
            line[2] += 1
            line[3] += pages
            line[4] += g_a4
            line[5] += g_area
        self.a4 += a4
        self.area += area
        self.unknown += unknown

    def merge(self, other: "SizeTally") -> None:
        """Another tally's files after this one's."""
        for name, (w, h, files, pages, a4, area) in other.lines.items():
            line = self.lines.setdefault(name, [w, h, 0, 0, 0, 0.0])
            line[2] += files
            line[3] += pages
            line[4] += a4
            line[5] += area
        self.a4 += other.a4
        self.area += other.area
        self.unknown += other.unknown

    def jsonl_line(self, quote) -> str:
        """The totals line of quillon-count --sizes --format jsonl; `quote`
        makes a JSON string of bytes."""
        def mm(v: Optional[float]) -> str:
            return "null" if v is None else decimal_text(v)

        sizes = ",".join(
            '{"name":%s,"width_mm":%s,"height_mm":%s,"files":%d,"pages":%d,"a4_equivalents":%d,"area_m2":%s}'
            % (quote(name.encode()), mm(w), mm(h), files, pages, a4, decimal_text(area))
            for name, (w, h, files, pages, a4, area) in self.lines.items())
        return '{"totals":{"sizes":[%s],"a4_equivalents":%d,"area_m2":%s,"unknown_size_pages":%d}}\n' % (
            sizes, self.a4, decimal_text(self.area), self.unknown)
