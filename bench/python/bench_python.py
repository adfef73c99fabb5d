#!/usr/bin/env python3
"""The Python module against quillon-count over bench_search's tree, with the
loops users would otherwise write (pypdf, PyMuPDF) as baselines.

    bench_python.py BUILD_DIR [--tree DIR] [--reps N]

Without --tree, bench_search (of BUILD_DIR) builds its tree and keeps it
(QUILLON_BENCH_KEEP) for the length of this run.  Each figure is the best of
N runs; ratios are against quillon-count's time in the same run."""

import argparse
import glob
import io
import os
import shutil
import subprocess
import sys
import tempfile
import time


def best(reps, f):
    times = []
    for _ in range(reps):
        t0 = time.perf_counter()
        f()
        times.append(time.perf_counter() - t0)
    return min(times)


def files_of(tree, exts):
    out = []
    for dirpath, _, names in os.walk(tree):
        out += [os.path.join(dirpath, n) for n in names if n.lower().endswith(exts)]
    return sorted(out)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--tree")
    ap.add_argument("--reps", type=int, default=5)
    a = ap.parse_args()
    build = os.path.abspath(a.build)
    sys.path.insert(0, os.path.join(build, "python"))
    import quillon
    import quillon.dask as qd

    count_bin = os.path.join(build, "bin", "quillon-count")
    made = None
    tree = a.tree
    if not tree:
        made = tempfile.mkdtemp(prefix="quillon-bench-py-")
        tree = made
        print("building bench_search's tree (bench_search runs too):", flush=True)
        subprocess.run([os.path.join(build, "bin", "bench_search")], check=True,
                       env=dict(os.environ, QUILLON_BENCH_KEEP=tree))
    try:
        pdfs, tifs = files_of(tree, (".pdf",)), files_of(tree, (".tif", ".tiff"))
        n = len(pdfs) + len(tifs)
        print(f"\ntree: {n} files ({len(pdfs)} PDF, {len(tifs)} TIFF) in {tree}")

        def cli():
            subprocess.run([count_bin, "--format", "jsonl", "--no-progress", tree], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)

        def scan():
            pages = 0
            for r in quillon.scan(tree):
                if isinstance(r, quillon.Result) and r.pages:
                    pages += r.pages
            return pages

        t_cli = best(a.reps, cli)
        t_scan = best(a.reps, scan)
        print(f"quillon-count --format jsonl  {t_cli:8.3f} s  {n / t_cli:9.0f} files/s")
        print(f"quillon.scan                  {t_scan:8.3f} s  {n / t_scan:9.0f} files/s   "
              f"ratio to quillon-count {t_scan / t_cli:5.2f} (goal <= 1.2)")

        t0 = time.perf_counter()
        import distributed
        cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                           dashboard_address=None, host="127.0.0.1")
        client = distributed.Client(cluster)
        client.submit(lambda: 0).result()
        t_start = time.perf_counter() - t0
        parts = []

        def dask_count():
            df = qd.count_tree(tree, client)
            parts.append(df.npartitions)
            qd._write(client, df, io.StringIO())

        dask_count()  # workers import the module and load the counters once
        t_dask = best(a.reps, dask_count)
        print(f"LocalCluster start (2 workers) {t_start:7.3f} s   (not counted below)")
        print(f"count_tree, 2 workers         {t_dask:8.3f} s  {n / t_dask:9.0f} files/s   "
              f"ratio to quillon-count {t_dask / t_cli:5.2f} (goal <= 2)   {parts[-1]} parts, "
              f"{t_dask / parts[-1] * 2 * 1000:.0f} ms a part on a worker")
        client.close()
        cluster.close()

        import fitz
        import pypdf
        fitz.TOOLS.mupdf_display_errors(False)

        def pypdf_loop():
            pages = 0
            for p in pdfs:
                try:
                    pages += len(pypdf.PdfReader(p).pages)
                except Exception:
                    pass
            for p in tifs:  # pypdf reads no TIFF: PyMuPDF counts those
                try:
                    with fitz.open(p) as d:
                        pages += d.page_count
                except Exception:
                    pass
            return pages

        def fitz_loop():
            pages = 0
            for p in pdfs + tifs:
                try:
                    with fitz.open(p) as d:
                        pages += d.page_count
                except Exception:
                    pass
            return pages

        t_pypdf = best(1, pypdf_loop)
        t_fitz = best(1, fitz_loop)
        print(f"pypdf loop (TIFFs by PyMuPDF) {t_pypdf:8.3f} s  {n / t_pypdf:9.0f} files/s   "
              f"quillon.scan is {t_pypdf / t_scan:5.1f}x faster")
        print(f"PyMuPDF loop                  {t_fitz:8.3f} s  {n / t_fitz:9.0f} files/s   "
              f"quillon.scan is {t_fitz / t_scan:5.1f}x faster")
        ok = t_scan <= 1.2 * t_cli and t_dask <= 2 * t_cli
        return 0 if ok else 1
    finally:
        if made:
            shutil.rmtree(made, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
