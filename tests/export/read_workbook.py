#!/usr/bin/env python3
"""Reads an exported workbook back and compares every cell with the table.

usage: read_workbook.py xls|xlsx|soffice WORKBOOK EXPECTED.json

EXPECTED.json holds {"rowsPerSheet": N, "rows": [[cell, ...], ...]}, row 0
the header, and optionally "sheets": [{"name": NAME, "rows": [...]}, ...],
the sheets that must follow the list's, by name, each read like the list.  A cell that reads as a number (blanks around it allowed, an
optional sign, digits with an optional decimal point, an optional exponent)
must be a number cell of that value; an empty cell must be empty; any other
cell must be a text cell with exactly that text.  A data cell of a column
headed "Size" that reads "N KB" (blanks before N allowed) must be a number
cell of value N whose number format shows it followed by " KB".  Sheet k holds the header
and the k-th share of the data rows.  Bytes of EXPECTED.json that are not
UTF-8 stand for replacement characters, as the writers must show them; in
.xlsx text, "_xHHHH_" is read as character HHHH, as Excel reads it.

Exit status: 0 all match, 1 mismatch, 77 the reader is not available.
"""
import json
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import xml.etree.ElementTree as ET

NUMBER = re.compile(r"^ *[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)? *$")
KILOBYTES = re.compile(r"^ *(\d+) KB$")
NS = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main",
      "r": "http://schemas.openxmlformats.org/officeDocument/2006/relationships",
      "rel": "http://schemas.openxmlformats.org/package/2006/relationships"}


def expected_kind(text, size_cell=False):
    if size_cell and KILOBYTES.match(text):
        return ("kb", float(KILOBYTES.match(text).group(1)))
    if text == "":
        return ("empty", None)
    if NUMBER.match(text):
        value = float(text)
        if math.isfinite(value):
            return ("number", value)
    return ("text", text)


def expected_sheets(rows, per_sheet):
    header, data = rows[0], rows[1:]
    share = per_sheet - 1
    count = max(1, -(-len(data) // share))
    return [[header] + data[k * share:(k + 1) * share] for k in range(count)]


STRUCTURE = []  # problems found in the file's structure, beside the cells


def check_records(path):
    """Every BIFF record of the Workbook stream stays within the format's
    8224-byte limit (longer data belongs in CONTINUE records)."""
    from xlrd import compdoc
    with open(path, "rb") as f:
        doc = compdoc.CompDoc(f.read(), logfile=open(os.devnull, "w"))
    stream = doc.get_named_stream("Workbook")
    pos = 0
    while pos + 4 <= len(stream):
        rtype, length = struct.unpack_from("<HH", stream, pos)
        if rtype == 0 and length == 0:
            break  # padding after the last sheet
        if length > 8224:
            STRUCTURE.append("record 0x%04x at %d is %d bytes long" % (rtype, pos, length))
        pos += 4 + length


def read_xls(path):
    try:
        import xlrd
    except ImportError:
        sys.exit(77)
    check_records(path)
    book = xlrd.open_workbook(path, formatting_info=True)
    sheets = []
    for sheet in book.sheets():
        cells = {}
        for r in range(sheet.nrows):
            for c in range(sheet.ncols):
                cell = sheet.cell(r, c)
                if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                    continue
                if cell.ctype == xlrd.XL_CELL_NUMBER:
                    fmt = book.format_map[book.xf_list[cell.xf_index].format_key].format_str
                    cells[(r, c)] = ("number", cell.value, fmt)
                elif cell.ctype == xlrd.XL_CELL_TEXT:
                    cells[(r, c)] = ("text", cell.value)
                else:
                    cells[(r, c)] = ("other %d" % cell.ctype, cell.value)
        sheets.append((sheet.name, cells))
    return sheets


XSTRING_ESCAPE = re.compile(r"_x([0-9A-Fa-f]{4})_")


def xstring(text):
    """The text of an .xlsx string: each _xHHHH_ is character HHHH."""
    return XSTRING_ESCAPE.sub(lambda m: chr(int(m.group(1), 16)), text or "")


def column_number(letters):
    n = 0
    for ch in letters:
        n = n * 26 + ord(ch) - 64
    return n - 1


def read_xlsx(path):
    with zipfile.ZipFile(path) as z:
        shared = []
        if "xl/sharedStrings.xml" in z.namelist():
            root = ET.fromstring(z.read("xl/sharedStrings.xml"))
            for si in root.findall("m:si", NS):
                shared.append("".join(xstring(t.text) for t in si.iter("{%s}t" % NS["m"])))
        # Style index -> number format code.
        formats = []
        if "xl/styles.xml" in z.namelist():
            styles = ET.fromstring(z.read("xl/styles.xml"))
            codes = {}
            num_fmts = styles.find("m:numFmts", NS)
            if num_fmts is not None:
                for f in num_fmts.findall("m:numFmt", NS):
                    codes[int(f.get("numFmtId"))] = f.get("formatCode")
            xfs = styles.find("m:cellXfs", NS)
            if xfs is not None:
                for xf in xfs.findall("m:xf", NS):
                    fid = int(xf.get("numFmtId", "0"))
                    formats.append(codes.get(fid, "General" if fid == 0 else str(fid)))
        rels = ET.fromstring(z.read("xl/_rels/workbook.xml.rels"))
        target = {r.get("Id"): r.get("Target") for r in rels.findall("rel:Relationship", NS)}
        book = ET.fromstring(z.read("xl/workbook.xml"))
        sheets = []
        for s in book.find("m:sheets", NS).findall("m:sheet", NS):
            name = s.get("name")
            part = target[s.get("{%s}id" % NS["r"])].lstrip("/")
            if not part.startswith("xl/"):
                part = "xl/" + part
            cells = {}
            with z.open(part) as f:
                for _, el in ET.iterparse(f):
                    if el.tag != "{%s}c" % NS["m"]:
                        continue
                    ref = re.match(r"([A-Z]+)(\d+)", el.get("r"))
                    key = (int(ref.group(2)) - 1, column_number(ref.group(1)))
                    kind = el.get("t")
                    v = el.find("m:v", NS)
                    if kind == "inlineStr":
                        cells[key] = ("text", "".join(xstring(t.text) for t in el.iter("{%s}t" % NS["m"])))
                    elif kind == "s":
                        cells[key] = ("text", shared[int(v.text)])
                    elif kind == "str":
                        cells[key] = ("text", xstring(v.text))
                    elif v is not None:
                        style = int(el.get("s", "0"))
                        fmt = formats[style] if style < len(formats) else "General"
                        cells[key] = ("number", float(v.text), fmt)
                    el.clear()
            sheets.append((name, cells))
    return sheets


def read_via_soffice(path):
    soffice = shutil.which("soffice") or shutil.which("libreoffice")
    if not soffice:
        sys.exit(77)
    with tempfile.TemporaryDirectory() as out:
        profile = "file://" + os.path.join(out, "profile")
        # What LibreOffice read, saved as .xls: its .xlsx export writes a
        # literal "_x0041_" unescaped, which would read back as "A".
        subprocess.run([soffice, "-env:UserInstallation=" + profile, "--headless",
                        "--convert-to", "xls", "--outdir", out, path],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        converted = os.path.join(out, os.path.splitext(os.path.basename(path))[0] + ".xls")
        return read_xls(converted)


def same_number(a, b):
    return a == b or abs(a - b) <= 1e-15 * max(abs(a), abs(b))


def main():
    mode, path, expected_path = sys.argv[1:4]
    with open(expected_path, encoding="utf-8", errors="replace") as f:
        expected = json.load(f)
    reader = {"xls": read_xls, "xlsx": read_xlsx, "soffice": read_via_soffice}[mode]
    sheets = reader(path)
    want = [("Sheet%d" % (k + 1), rows, True)
            for k, rows in enumerate(expected_sheets(expected["rows"], expected["rowsPerSheet"]))]
    want += [(s["name"], s["rows"], False) for s in expected.get("sheets", [])]
    problems = list(STRUCTURE)
    if len(sheets) != len(want):
        problems.append("%d sheets, expected %d" % (len(sheets), len(want)))
    for k, ((want_name, rows, is_list), (name, cells)) in enumerate(zip(want, sheets)):
        if name != want_name:
            problems.append("sheet %d is named %r, expected %r" % (k + 1, name, want_name))
        seen = 0
        for r, row in enumerate(rows):
            for c, text in enumerate(row):
                kind, value = expected_kind(text, is_list and r > 0 and rows[0][c] == "Size")
                got = cells.get((r, c))
                if kind == "kb":
                    seen += 1
                    # 0 "KB", or as a reader re-spells it: 0\ "KB", 0" KB"
                    shows_kb = (got is not None and len(got) > 2
                                and got[2].replace("\\", "").replace('"', "") == "0 KB")
                    if not (got is not None and got[0] == "number" and same_number(got[1], value) and shows_kb):
                        problems.append("sheet %d cell (%d,%d): %r, expected %r shown as KB" % (k + 1, r, c, got, value))
                    continue
                if kind == "empty":
                    if got is not None:
                        problems.append("sheet %d cell (%d,%d): %r, expected empty" % (k + 1, r, c, got))
                    continue
                seen += 1
                ok = got is not None and got[0] == kind and (
                    same_number(got[1], value) if kind == "number" else got[1] == value)
                if not ok:
                    problems.append("sheet %d cell (%d,%d): %r, expected %r" % (k + 1, r, c, got, (kind, value)))
        if len(cells) != seen:
            problems.append("sheet %d holds %d cells, expected %d" % (k + 1, len(cells), seen))
        if len(problems) > 20:
            break
    for p in problems[:20]:
        print(p, file=sys.stderr)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
