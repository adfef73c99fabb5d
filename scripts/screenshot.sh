#!/usr/bin/env bash
# Takes docs/screenshot.png: the main window after a search, under Xvfb.
# Builds nothing; run it after a build.  Usage: scripts/screenshot.sh [build-folder]
#
# The program has one hook for this (see src/app/main.cpp): with
# QUILLON_SCREENSHOT=<png> and QUILLON_SCREENSHOT_FOLDER=<folder> it skips the
# splash, searches the folder for TIFF and PDF files, saves the window and exits.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
exe="$build/bin/Quillon"
[ -x "$exe" ] || { echo "no $exe; build first" >&2; exit 1; }

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
python3 - "$tree" <<'PY'
import os, struct, sys
root = sys.argv[1]

def pdf(path, pages, pad=0):
    out = bytearray(b"%PDF-1.4\n")
    while pad > 0:
        n = min(pad, 1000); out += b"%" + b"x" * (n - 2) + b"\n"; pad -= n
    offs = []
    def obj(n, body):
        offs.append(len(out)); out.extend(b"%d 0 obj\n%s\nendobj\n" % (n, body))
    obj(1, b"<< /Type /Catalog /Pages 2 0 R >>")
    kids = b" ".join(b"%d 0 R" % (3 + i) for i in range(pages))
    obj(2, b"<< /Type /Pages /Kids [%s] /Count %d >>" % (kids, pages))
    for i in range(pages):
        obj(3 + i, b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>")
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (3 + pages)
    for o in offs: out += b"%010d 00000 n \n" % o
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (3 + pages, xref)
    open(path, "wb").write(out)

def tif(path, pages, pad=0):
    out = bytearray(b"II*\0\0\0\0\0")
    ptr = 4
    for p in range(pages):
        pix = len(out); out += b"\x80\0" + b"\0" * (pad if p == 0 else 0)
        if len(out) % 2: out += b"\0"
        struct.pack_into("<I", out, ptr, len(out))
        entries = [(256,3,1),(257,3,1),(258,3,8),(259,3,1),(262,3,1),(273,4,pix),(277,3,1),(278,3,1),(279,4,1)]
        out += struct.pack("<H", len(entries))
        for tag, typ, val in entries:
            out += struct.pack("<HHI", tag, typ, 1) + (struct.pack("<HH", val, 0) if typ == 3 else struct.pack("<I", val))
        ptr = len(out); out += b"\0\0\0\0"
    open(path, "wb").write(out)

for d in ("Invoices/2025", "Invoices/2026", "Scans", "Contracts"):
    os.makedirs(os.path.join(root, d), exist_ok=True)
pdf(f"{root}/Invoices/2025/invoice-0412.pdf", 2, 48_000)
pdf(f"{root}/Invoices/2025/invoice-0413.pdf", 1, 31_000)
pdf(f"{root}/Invoices/2026/invoice-0007.pdf", 3, 77_000)
pdf(f"{root}/Contracts/lease-agreement.pdf", 14, 412_000)
pdf(f"{root}/Contracts/supplier-terms.pdf", 6, 158_000)
tif(f"{root}/Scans/receipt-march.tif", 4, 220_000)
tif(f"{root}/Scans/floor-plan.tif", 1, 1_450_000)
tif(f"{root}/Scans/delivery-notes.tiff", 9, 640_000)
open(f"{root}/Scans/damaged.pdf", "wb").write(b"%PDF-1.4\nthis file was cut short")
PY

out="$PWD/docs/screenshot.png"
mkdir -p docs
QUILLON_SCREENSHOT="$out" QUILLON_SCREENSHOT_FOLDER="$tree" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1280x800x24" "$exe"
echo "wrote $out"
