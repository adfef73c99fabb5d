#!/usr/bin/env python3
"""Writes a Documents-like sample folder of scans and contracts (PDF and TIFF
files with known page counts, one damaged PDF, one text file), for the
screenshot and the install checks.

    scripts/sample_tree.py FOLDER [--manifest]

With --manifest, prints one line per TIFF/PDF file: its path relative to
FOLDER, a tab, and its page count (or Error).
"""
import os
import struct
import sys


def pdf(pages, pad=0):
    out = bytearray(b"%PDF-1.4\n")
    while pad > 0:
        n = min(pad, 1000)
        out += b"%" + b"x" * (n - 2) + b"\n"
        pad -= n
    offs = []

    def obj(n, body):
        offs.append(len(out))
        out.extend(b"%d 0 obj\n%s\nendobj\n" % (n, body))

    obj(1, b"<< /Type /Catalog /Pages 2 0 R >>")
    kids = b" ".join(b"%d 0 R" % (3 + i) for i in range(pages))
    obj(2, b"<< /Type /Pages /Kids [%s] /Count %d >>" % (kids, pages))
    for i in range(pages):
        obj(3 + i, b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>")
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (3 + pages)
    for o in offs:
        out += b"%010d 00000 n \n" % o
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (3 + pages, xref)
    return bytes(out)


def tif(pages, pad=0):
    out = bytearray(b"II*\0\0\0\0\0")
    ptr = 4
    for p in range(pages):
        pix = len(out)
        out += b"\x80\0" + b"\0" * (pad if p == 0 else 0)
        if len(out) % 2:
            out += b"\0"
        struct.pack_into("<I", out, ptr, len(out))
        entries = [(256, 3, 1), (257, 3, 1), (258, 3, 8), (259, 3, 1), (262, 3, 1),
                   (273, 4, pix), (277, 3, 1), (278, 3, 1), (279, 4, 1)]
        out += struct.pack("<H", len(entries))
        for tag, typ, val in entries:
            out += struct.pack("<HHI", tag, typ, 1)
            out += struct.pack("<HH", val, 0) if typ == 3 else struct.pack("<I", val)
        ptr = len(out)
        out += b"\0\0\0\0"
    return bytes(out)


# (relative path, page count or None for a damaged file, contents)
FILES = [
    ("Contracts/lease-agreement-2024.pdf", 14, pdf(14, 412_000)),
    ("Contracts/supplier-terms.pdf", 6, pdf(6, 158_000)),
    ("Contracts/nda-signed.pdf", 3, pdf(3, 96_000)),
    ("Invoices/2025/invoice-0412.pdf", 2, pdf(2, 48_000)),
    ("Invoices/2025/invoice-0413.pdf", 1, pdf(1, 31_000)),
    ("Invoices/2026/invoice-0007.pdf", 3, pdf(3, 77_000)),
    ("Scans/receipts-march.tif", 4, tif(4, 220_000)),
    ("Scans/floor-plan.tif", 1, tif(1, 1_450_000)),
    ("Scans/delivery-notes.tiff", 9, tif(9, 640_000)),
    ("Scans/Letters/bank-letter-2025-11.tif", 2, tif(2, 310_000)),
    ("Scans/fax-incomplete.pdf", None, b"%PDF-1.4\nthis transmission was cut short"),
    ("Tax/tax-return-2025.pdf", 22, pdf(22, 540_000)),
]


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    root = sys.argv[1]
    for rel, _, data in FILES:
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    with open(os.path.join(root, "Contracts", "renewal-notes.txt"), "w") as f:
        f.write("Call the landlord before March.\n")
    if "--manifest" in sys.argv[2:]:
        for rel, pages, _ in FILES:
            print(f"{rel}\t{'Error' if pages is None else pages}")


if __name__ == "__main__":
    main()
