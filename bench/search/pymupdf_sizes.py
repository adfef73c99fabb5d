#!/usr/bin/python3
"""The PyMuPDF baseline of bench_search --sizes: every PDF and TIFF below a
folder opened with fitz (python3-fitz) and every page's size read (page.rect:
the crop box turned by /Rotate), as a Python user would measure pages.
Prints the number of files, pages and the pages' total area in square points."""
import os
import sys

import fitz


def main():
    fitz.TOOLS.mupdf_display_errors(False)
    files = pages = 0
    area = 0.0
    for folder, _, names in os.walk(sys.argv[1]):
        for name in names:
            if not name.endswith((".pdf", ".tif")):
                continue
            files += 1
            try:
                with fitz.open(os.path.join(folder, name)) as doc:
                    for page in doc:
                        r = page.rect
                        area += r.width * r.height
                        pages += 1
            except Exception:  # a file PyMuPDF cannot open counts no pages
                pass
    print(files, pages, int(area))


if __name__ == "__main__":
    main()
