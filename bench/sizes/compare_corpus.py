#!/usr/bin/python3
"""Holds the page sizes Quillon reads against independent readers over the
reference corpus: PyMuPDF (python3-fitz: page.rect, the crop box turned by
/Rotate) or, without it, pdfinfo, for PDFs; tiffinfo for TIFFs.  Prints each
disagreement and a summary; exits 0 when it has nothing to compare (no
corpus, no reader).

usage: compare_corpus.py DUMP_PAGE_SIZES [CORPUS]
"""
import os
import re
import subprocess
import sys

TOLERANCE = 0.01  # points


def quillon_sizes(dump, paths):
    out = subprocess.run([dump], input="\n".join(paths) + "\n", capture_output=True, text=True).stdout
    sizes = {}
    for line in out.splitlines():
        f = line.split("\t")
        if f[1] == "error":
            sizes[f[0]] = None
            continue
        page = int(f[1])
        if f[2] == "unknown":
            v = "unknown"
        elif f[2] == "pixels":
            v = ("pixels", float(f[3]), float(f[4]))
        else:
            v = (float(f[2]), float(f[3]))
        sizes.setdefault(f[0], []).append(v)
    return sizes


def fitz_sizes(path):
    import fitz
    fitz.TOOLS.mupdf_display_errors(False)
    try:
        with fitz.open(path) as doc:
            return [(p.rect.width, p.rect.height) for p in doc]
    except Exception:
        return None


def pdfinfo_sizes(path, pages):
    r = subprocess.run(["pdfinfo", "-f", "1", "-l", str(pages), path], capture_output=True, text=True)
    if r.returncode != 0:
        return None
    size = {int(m[0]): (float(m[1]), float(m[2]))
            for m in re.findall(r"Page\s+(\d+) size:\s+([\d.]+) x ([\d.]+) pts", r.stdout)}
    rot = {int(m[0]): int(m[1]) for m in re.findall(r"Page\s+(\d+) rot:\s+(-?\d+)", r.stdout)}
    out = []
    for n in range(1, pages + 1):
        if n not in size:
            return None
        w, h = size[n]
        out.append((h, w) if rot.get(n, 0) % 180 == 90 else (w, h))
    return out


def tiffinfo_sizes(path):
    r = subprocess.run(["tiffinfo", path], capture_output=True, text=True, errors="replace")
    out = []
    for block in r.stdout.split("TIFF Directory at offset")[1:]:
        m = re.search(r"Image Width: (\d+) Image Length: (\d+)", block)
        # No unit shown: the tag is absent, and TIFF's default unit is the inch.
        res = re.search(r"Resolution: ([\d.e+-]+), ([\d.e+-]+)(?: (pixels/inch|pixels/cm|\(unitless\)))?", block)
        if not m:
            out.append("unknown")
            continue
        w, h = float(m[1]), float(m[2])
        if not res or res[3] == "(unitless)" or float(res[1]) <= 0 or float(res[2]) <= 0:
            out.append(("pixels", w, h))
            continue
        per = 72.0 / 2.54 if res[3] == "pixels/cm" else 72.0
        out.append((w / float(res[1]) * per, h / float(res[2]) * per))
    return out


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    dump = sys.argv[1]
    corpus = sys.argv[2] if len(sys.argv) > 2 else os.path.join(os.path.dirname(__file__), "../../../shared/corpus")
    if not os.path.isdir(corpus):
        print("no corpus at", corpus, "- skipped")
        return 0
    try:
        import fitz  # noqa: F401
        pdf_reader = "PyMuPDF"
    except ImportError:
        pdf_reader = "pdfinfo" if subprocess.run(["which", "pdfinfo"], capture_output=True).returncode == 0 else None
    paths = []
    for folder, _, names in os.walk(corpus):
        paths += [os.path.join(folder, n) for n in sorted(names) if n.lower().endswith((".pdf", ".tif", ".tiff"))]
    ours = quillon_sizes(dump, paths)
    compared = agreed = 0
    for path in paths:
        mine = ours.get(path)
        if not mine:
            continue
        if path.lower().endswith(".pdf"):
            if not pdf_reader:
                continue
            theirs = fitz_sizes(path) if pdf_reader == "PyMuPDF" else pdfinfo_sizes(path, len(mine))
            reader = pdf_reader
        else:
            theirs = tiffinfo_sizes(path)
            reader = "tiffinfo"
        if theirs is None or len(theirs) != len(mine):
            continue  # the readers disagree on the pages; the count is judged elsewhere
        compared += 1
        bad = []
        for n, (a, b) in enumerate(zip(mine, theirs), 1):
            if isinstance(a, tuple) and isinstance(b, tuple) and len(a) == len(b) and \
                    all(abs(x - y) <= TOLERANCE for x, y in zip(a[-2:], b[-2:])) and type(a[0]) == type(b[0]):
                continue
            if a == b:
                continue
            bad.append((n, a, b))
        if bad:
            n, a, b = bad[0]
            print(f"{os.path.relpath(path, corpus)}: {len(bad)} of {len(mine)} pages differ "
                  f"(page {n}: Quillon {a}, {reader} {b})")
        else:
            agreed += 1
    print(f"{agreed} of {compared} files compared agree within {TOLERANCE} pt (PDF reader: {pdf_reader})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
