#!/usr/bin/python3
"""The PyMuPDF baseline of bench_search: every PDF and TIFF below a folder
opened with fitz (python3-fitz) and its page_count summed, as a Python user
would count pages.  Prints the number of files and the page total."""
import os
import sys

import fitz


def main():
    fitz.TOOLS.mupdf_display_errors(False)
    files = pages = 0
    for folder, _, names in os.walk(sys.argv[1]):
        for name in names:
            if not name.endswith((".pdf", ".tif")):
                continue
            files += 1
            try:
                with fitz.open(os.path.join(folder, name)) as doc:
                    pages += doc.page_count
            except Exception:  # a file PyMuPDF cannot open counts no pages
                pass
    print(files, pages)


if __name__ == "__main__":
    main()
