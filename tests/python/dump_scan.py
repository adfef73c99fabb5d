"""Runs quillon.scan (or count) in a process of its own, for tests that
change the user or send signals: one JSON line per item, paths in hex,
then the totals.   dump_scan.py scan|count PATH... [--slow DIR] [--jobs N]"""

import json
import os
import sys

args = sys.argv[1:]
mode = args.pop(0)
jobs = None
if "--jobs" in args:
    i = args.index("--jobs")
    jobs = int(args[i + 1])
    del args[i:i + 2]
if "--slow" in args:
    i = args.index("--slow")
    from quillon import _quillon
    _quillon._use_counter_folder(args[i + 1])
    del args[i:i + 2]

import quillon  # noqa: E402


def out(d):
    print(json.dumps(d), flush=True)


paths = [os.fsencode(a) for a in args]
if mode == "count":
    for p in paths:
        r = quillon.count(p)
        out({"t": "file", "path": r.path.hex(), "kind": r.kind, "size": r.size, "pages": r.pages, "reason": r.reason,
             "warning": r.warning})
    sys.exit(0)
s = quillon.scan(*paths, jobs=jobs)
if os.environ.get("DUMP_SCAN_STARTED"):
    out({"t": "started"})
try:
    with s:  # leaving the block (Ctrl-C included) stops the scan
        for r in s:
            if isinstance(r, quillon.Result):
                out({"t": "file", "path": r.path.hex(), "kind": r.kind, "size": r.size, "pages": r.pages,
                     "reason": r.reason, "warning": r.warning})
            else:
                out({"t": "unsearched", "path": r.path.hex(), "folder": r.folder, "reason": r.reason})
except KeyboardInterrupt:
    out({"t": "interrupted"})
out({"t": "totals", **s.totals()._asdict(), "text": s.totals_text()})
