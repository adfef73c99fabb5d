"""Count a tree across a Dask cluster with the quillon engine.

``count_tree(paths)`` returns a ``dask.dataframe.DataFrame`` with the
columns of ``quillon-count --format jsonl``: path, kind, size, pages (null
when a file could not be counted), reason, and for the entries that could
not be searched skipped=True with folder and reason; with sizes=True the
size columns sizes, a4_equivalents, area_m2 and unknown_size_pages (as
``quillon-count --sizes``).  The tree is cut into
parts by subtrees (a huge folder by lists of its files); each part is walked
and counted on a worker by the C++ engine, and the client only gathers.

From a shell::

    python3 -m quillon.dask PATH... [--scheduler tcp://HOST:8786] [--out FILE.jsonl] [--sizes]

prints the totals as quillon-count does.  Without --scheduler a
``distributed.LocalCluster`` is started, one worker process a core.
"""

from __future__ import annotations

import argparse
import atexit
import os
import sys
from typing import Iterable, List, Optional, Sequence, Tuple, Union

import dask
import dask.dataframe as dd
import distributed

from . import _quillon, _split
from . import _check_jobs, _date_args, _kind_flags, _kind_of_name, _raw
from ._sizes import SizeTally
from ._types import PathArg

__all__ = ["count_tree", "local_client", "main"]

#: Files of one folder per task when a folder is too large to be one.
DEFAULT_CHUNK = 5000

_local: Optional[distributed.Client] = None


def local_client(workers: Optional[int] = None) -> distributed.Client:
    """The process's own LocalCluster client (started once): one worker
    process a core, one thread each (the engine counts on threads inside)."""
    global _local
    if _local is None:
        n = workers or os.cpu_count() or 1
        cluster = distributed.LocalCluster(n_workers=n, threads_per_worker=1, processes=True,
                                           dashboard_address=None, host="127.0.0.1")
        _local = distributed.Client(cluster)
        atexit.register(_close_local)
    return _local


def _close_local() -> None:
    global _local
    if _local is not None:
        cluster = _local.cluster
        _local.close()
        cluster.close()
        _local = None


def _client(client: Optional[distributed.Client]) -> distributed.Client:
    if client is not None:
        return client
    try:
        return distributed.get_client()
    except ValueError:
        return local_client()


def count_tree(paths: Union[PathArg, Sequence[PathArg]], client: Optional[distributed.Client] = None, *,
               kinds: Sequence[str] = ("pdf", "tif"), subfolders: bool = True, date=None,
               jobs: Optional[int] = None, sizes: bool = False, tasks: Optional[int] = None,
               chunk: int = DEFAULT_CHUNK) -> dd.DataFrame:
    """Count the TIFF and PDF files below `paths` on a Dask cluster.

    paths: a folder or file, or a list of them (as ``quillon.scan`` takes them).
    client: the cluster to use; None takes the current client, else starts a
    LocalCluster (one worker a core).
    kinds, subfolders, date: as ``quillon.scan``.
    jobs: counting threads in each task (default 1: the workers, one a core,
    are the parallelism; more helps where reads wait, as on a network share).
    sizes: also read the page sizes: the DataFrame gains the columns sizes
    (a list of (name, width_mm, height_mm, pages)), a4_equivalents,
    area_m2 and unknown_size_pages, as quillon-count --sizes --format jsonl
    has them (null for a file not counted and an entry not searched).
    tasks: the fewest tasks to aim for (default four per worker thread).
    chunk: the most files a task is given where the sizes are known (a
    folder of more entries is cut into lists of this many files).

    The cut is planned on a worker before this returns: folders are opened
    level by level until there are enough subtrees and about a thousand
    parts, whose consecutive runs become the tasks.  The DataFrame is lazy,
    one partition per task, in the order quillon-count writes the files.
    Overlapping paths are not merged: give each file once.
    """
    if isinstance(paths, (str, bytes, os.PathLike)):
        paths = [paths]
    raws = [_raw(p) for p in paths]
    if not raws:
        raise ValueError("count_tree() needs at least one path")
    for raw in raws:
        st = os.stat(raw)  # FileNotFoundError names a path that does not exist
        if not os.path.isdir(raw) and _kind_of_name(raw) is None:
            raise ValueError(f"{os.fsdecode(raw)}: neither a TIFF nor a PDF file name")
        del st
    tif, pdf = _kind_flags(kinds)
    date_args = _date_args(date)
    # The workers are the parallelism (one process a core): a task counts on
    # one thread unless asked for more (a network share, where reads wait).
    threads = _check_jobs(jobs) if jobs is not None else 1
    if chunk < 1:
        raise ValueError("chunk is a number of files, 1 or more")
    c = _client(client)
    target = tasks or 4 * max(1, sum(c.nthreads().values()))
    parts = c.submit(_split.plan, raws, tif, pdf, subfolders, target, chunk, pure=False).result()
    sizes = bool(sizes)
    token = dask.base.tokenize(raws, tif, pdf, subfolders, date_args, threads, sizes, target, chunk, os.getpid(),
                               os.urandom(8))
    run = dask.delayed(_split.run_parts, pure=True)
    pieces = [run(g, tif, pdf, date_args, threads, sizes, dask_key_name=f"quillon-part-{token}-{i}")
              for i, g in enumerate(_split.group(parts, target, chunk))]
    return dd.from_delayed(pieces, meta=_split.empty_frame(sizes), verify_meta=False)


def _parse(argv: Optional[Sequence[str]]) -> argparse.Namespace:
    p = argparse.ArgumentParser(
        prog="python3 -m quillon.dask",
        description="Count the pages of the TIFF and PDF files below PATH on a Dask cluster; "
                    "rows as quillon-count --format jsonl, totals on standard error.")
    p.add_argument("paths", nargs="+", metavar="PATH")
    p.add_argument("--scheduler", metavar="ADDRESS",
                   help="a running scheduler, e.g. tcp://HOST:8786 (default: a LocalCluster here)")
    p.add_argument("--workers", type=int, help="LocalCluster worker processes (default: one a core)")
    p.add_argument("--out", metavar="FILE.jsonl", help="write the rows here (default: standard output)")
    p.add_argument("--tif", action="store_true", help="search for TIFF files")
    p.add_argument("--pdf", action="store_true", help="search for PDF files (neither: both)")
    p.add_argument("--no-subfolders", action="store_true")
    p.add_argument("--jobs", type=int, help="counting threads in each task")
    p.add_argument("--tasks", type=int, help="subtrees to aim for")
    p.add_argument("--sizes", action="store_true",
                   help="add each file's page sizes and a totals line by size, as quillon-count --sizes")
    p.add_argument("--timeout", type=float, default=10.0, help="seconds to reach the scheduler (default 10)")
    return p.parse_args(argv)


def main(argv: Optional[Sequence[str]] = None) -> int:
    """The command line; returns quillon-count's exit status (0 all counted,
    1 some error or something not searched, 2 bad usage or unreachable input)."""
    a = _parse(argv)
    kinds = tuple(k for k, on in (("tif", a.tif), ("pdf", a.pdf)) if on) or ("pdf", "tif")
    tif, pdf = _kind_flags(kinds)

    def complain(text: str) -> None:
        print(f"quillon.dask: {text}", file=sys.stderr)

    for path in a.paths:
        if not os.path.exists(path):
            complain(f"{path}: cannot be read: {os.strerror(2)}")
            return 2
    try:
        if a.scheduler:
            client = distributed.Client(a.scheduler, timeout=a.timeout)
        else:
            client = local_client(a.workers)
    except (OSError, TimeoutError) as e:
        complain(f"cannot reach the scheduler at {a.scheduler}: {e}")
        return 2
    try:
        df = count_tree(a.paths, client, kinds=kinds, subfolders=not a.no_subfolders, jobs=a.jobs, tasks=a.tasks,
                        sizes=a.sizes)
        out = open(a.out, "w", encoding="utf-8") if a.out else sys.stdout
        try:
            totals = _write(client, df, out, a.sizes)
        finally:
            if a.out:
                out.close()
    except ValueError as e:
        complain(str(e))
        return 2
    finally:
        if a.scheduler:
            client.close()
    files, errors, tif_pages, pdf_pages, skipped, undated, saw_tif, saw_pdf = totals
    print(f"Total Files : {files}", file=sys.stderr)
    print(_quillon.total_pages_text(tif or saw_tif, pdf or saw_pdf, tif_pages, pdf_pages), file=sys.stderr)
    if errors:
        print(f"Errors : {errors}", file=sys.stderr)
    if skipped:
        print(f"Not searched : {skipped}", file=sys.stderr)
    return 1 if errors or skipped or undated else 0


def _write(client: distributed.Client, df: dd.DataFrame, out, with_sizes: bool = False) -> Tuple[int, ...]:
    """Writes the rows in order as the tasks finish.  Each partition is
    turned into jsonl text and totals on its worker; the client holds one
    partition's text at a time (and the entries that could not be searched,
    written last, as quillon-count writes them, after the totals by size
    when sizes were read)."""
    to_text = dask.delayed(_split.jsonl_part, pure=True)
    futures = client.compute([to_text(p) for p in df.to_delayed()])
    files = errors = tif_pages = pdf_pages = undated = 0
    saw_tif = saw_pdf = False
    skipped: List[str] = []
    sizes: Optional[SizeTally] = SizeTally() if with_sizes else None
    for i, f in enumerate(futures):
        text, unsearched, t, part_sizes = f.result()
        futures[i] = None
        f.release()
        files += t[0]
        errors += t[1]
        tif_pages += t[2]
        pdf_pages += t[3]
        undated += t[4]
        saw_tif, saw_pdf = saw_tif or t[5], saw_pdf or t[6]
        if sizes is not None and part_sizes is not None:
            sizes.merge(part_sizes)
        out.write(text)
        out.flush()
        if unsearched:
            skipped.append(unsearched)
    if sizes is not None:
        out.write(sizes.jsonl_line(_quillon.json_string))
    text = "".join(skipped)
    out.write(text)
    out.flush()
    return files, errors, tif_pages, pdf_pages, text.count("\n"), undated, saw_tif, saw_pdf


if __name__ == "__main__":
    sys.exit(main())
