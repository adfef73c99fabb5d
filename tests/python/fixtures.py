"""Fixture files and trees for the Python module's tests: small PDFs and
TIFFs written byte by byte, damaged and encrypted files, odd names."""

from __future__ import annotations

import atexit
import os
import shutil
import struct
import subprocess
import sys
import tempfile

QUILLON_COUNT = os.environ["QUILLON_COUNT"]
BIN_DIR = os.path.dirname(QUILLON_COUNT)
PYTHON_DIR = os.environ["QUILLON_PYTHON_DIR"]
SLOW_COUNTER_DIR = os.environ["QUILLON_SLOW_COUNTER_DIR"]
NOBODY = 65534


def pdf_bytes(pages: int, encrypted: bool = False, boxes=None) -> bytes:
    """A classic PDF of `pages` pages with a correct cross-reference table;
    `boxes`: each page's (width, height) in points (default US Letter)."""
    boxes = boxes or [(612, 792)] * pages
    assert len(boxes) == pages
    objs = [b"<< /Type /Catalog /Pages 2 0 R >>",
            b"<< /Type /Pages /Kids [" + b" ".join(b"%d 0 R" % (3 + i) for i in range(pages))
            + b"] /Count %d >>" % pages]
    objs += [b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %s %s] >>" % (str(w).encode(), str(h).encode())
             for w, h in boxes]
    if encrypted:
        objs.append(b"<< /Filter /Standard /V 1 /R 2 /O <" + b"11" * 32 + b"> /U <" + b"22" * 32
                    + b"> /P -44 >>")
    out = bytearray(b"%PDF-1.4\n")
    offsets = []
    for i, body in enumerate(objs):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % (i + 1) + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objs) + 1)
    for off in offsets:
        out += b"%010d 00000 n \n" % off
    trailer = b"/Size %d /Root 1 0 R" % (len(objs) + 1)
    if encrypted:
        trailer += b" /Encrypt %d 0 R /ID [<00112233445566778899aabbccddeeff><00112233445566778899aabbccddeeff>]" % len(objs)
    out += b"trailer\n<< " + trailer + b" >>\nstartxref\n%d\n%%%%EOF\n" % xref
    return bytes(out)


def tiff_bytes(pages: int, last_next: int = 0) -> bytes:
    """A little-endian TIFF of `pages` one-pixel grey images; `last_next`
    is the last directory's link (past the end of the file: damage after
    the pages)."""
    out = bytearray(b"II*\x00" + struct.pack("<I", 8))
    for i in range(pages):
        ifd = len(out)
        pixel = ifd + 2 + 8 * 12 + 4
        nxt = pixel + 2 if i + 1 < pages else last_next
        entries = [(256, 3, 1), (257, 3, 1), (258, 3, 8), (259, 3, 1), (262, 3, 1), (273, 4, pixel),
                   (278, 3, 1), (279, 4, 1)]
        out += struct.pack("<H", len(entries))
        for tag, typ, value in entries:
            out += struct.pack("<HHIHH", tag, 3, 1, value, 0) if typ == 3 else struct.pack("<HHII", tag, 4, 1, value)
        out += struct.pack("<I", nxt) + b"\x80\x00"
    return bytes(out)


def write(path, data: bytes) -> None:
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def _remove(d: str) -> None:
    # Folders a test closed (mode 0) are opened again to be emptied; the
    # walk goes top down, so each is opened before it is entered.
    for dirpath, dirs, _ in os.walk(d):
        for n in dirs:
            p = os.path.join(dirpath, n)
            if not os.path.islink(p):
                os.chmod(p, 0o755)
    shutil.rmtree(d, ignore_errors=True)


def open_dir() -> str:
    """A temporary folder anyone may enter (tests may run as nobody),
    removed when the test run ends."""
    d = tempfile.mkdtemp(prefix="quillon-py-")
    os.chmod(d, 0o755)
    atexit.register(_remove, d)
    return d


def odd_tree(root: str) -> None:
    """Counted, damaged and encrypted files, names that are not UTF-8 or
    hold a tab, links, a file of neither kind, and a folder closed to
    everyone but the superuser."""
    r = os.fsencode(root)
    write(r + b"/a.pdf", pdf_bytes(3))
    write(r + b"/b.tif", tiff_bytes(2))
    write(r + b"/c.TIFF", tiff_bytes(4))
    write(r + b"/caf\xe9.pdf", pdf_bytes(1))
    write(r + b"/tab\tname.pdf", pdf_bytes(2))
    write(r + b"/damaged.pdf", b"this is no PDF at all\n" * 40)
    write(r + b"/truncated.pdf", pdf_bytes(5)[:150])
    write(r + b"/secret.pdf", pdf_bytes(2, encrypted=True))
    write(r + b"/empty.pdf", b"")
    write(r + b"/broken.tif", b"II*\x00" + b"\xff" * 40)
    write(r + b"/after.tif", tiff_bytes(3, last_next=0x7FFFFF00))
    write(r + b"/notes.txt", b"not counted")
    write(r + b"/sub/d.pdf", pdf_bytes(7))
    write(r + b"/sub/deeper/e.tif", tiff_bytes(1))
    write(r + b"/bad\xff dir/g.pdf", pdf_bytes(2))
    write(r + b"/locked/f.pdf", pdf_bytes(9))
    os.symlink(b"a.pdf", r + b"/link.pdf")
    os.symlink(b"nowhere.pdf", r + b"/dangling.pdf")
    for d in (r, r + b"/sub", r + b"/sub/deeper", r + b"/bad\xff dir"):
        os.chmod(d, 0o755)
    for dirpath, _, names in os.walk(r):
        for n in names:
            if not os.path.islink(os.path.join(dirpath, n)):
                os.chmod(os.path.join(dirpath, n), 0o644)
    os.chmod(r + b"/locked", 0)


def as_nobody() -> None:
    """preexec_fn: file permissions bind in the child (it drops root)."""
    if os.getuid() == 0:
        os.setgroups([])
        os.setresgid(NOBODY, NOBODY, NOBODY)
        os.setresuid(NOBODY, NOBODY, NOBODY)


def open_copies() -> str:
    """The package, the counter libraries and quillon-count copied where
    nobody may read them, in the build's layout (python/quillon beside bin/)."""
    d = open_dir()
    shutil.copytree(os.path.join(PYTHON_DIR, "quillon"), os.path.join(d, "python", "quillon"),
                    ignore=shutil.ignore_patterns("__pycache__"))
    # The helper script too: a checkout in a closed folder (mktemp -d, /root)
    # is out of nobody's reach.
    shutil.copy2(os.path.join(os.path.dirname(__file__), "dump_scan.py"), os.path.join(d, "dump_scan.py"))
    os.makedirs(os.path.join(d, "bin"))
    for name in ("libBrastel.so", "libTiffPageCounter.so", "quillon-count"):
        shutil.copy2(os.path.realpath(os.path.join(BIN_DIR, name)), os.path.join(d, "bin", name))
    for dirpath, dirs, files in os.walk(d):
        for n in dirs:
            os.chmod(os.path.join(dirpath, n), 0o755)
        for n in files:
            os.chmod(os.path.join(dirpath, n), 0o755)
    return d


def run(args, nobody=False, env=None, **kw) -> subprocess.CompletedProcess:
    return subprocess.run(args, capture_output=True, preexec_fn=as_nobody if nobody else None, env=env,
                          timeout=120, **kw)


def count_jsonl(*args, program=QUILLON_COUNT, nobody=False):
    """quillon-count --format jsonl: (parsed lines, standard error, status)."""
    import json
    p = run([program, "--format", "jsonl", *args], nobody=nobody)
    return [json.loads(line) for line in p.stdout.splitlines()], p.stderr.decode("utf-8", "replace"), p.returncode


def sized_jsonl_of(item) -> dict:
    """A result of a scan with sizes=True as quillon-count --sizes writes it."""
    d = jsonl_of(item)
    if item.sizes is not None:
        d["sizes"] = [{"name": n, "width_mm": w, "height_mm": h, "pages": p} for n, w, h, p in item.sizes]
        d["a4_equivalents"] = item.a4_equivalents
        d["area_m2"] = item.area_m2
        d["unknown_size_pages"] = item.unknown_size_pages
    return d


def jsonl_of(item) -> dict:
    """A module result as quillon-count's jsonl line reads once parsed."""
    import quillon
    path = os.fsencode(item.path).decode("utf-8", "replace") if isinstance(item.path, bytes) else item.path
    if isinstance(item, quillon.Unsearched):
        return {"path": path, "skipped": True, "folder": item.folder, "reason": item.reason}
    d = {"path": path, "kind": item.kind, "size": item.size, "pages": item.pages}
    if item.pages is None:
        d["reason"] = item.reason
    elif item.warning:
        d["warning"] = item.warning
    return d
