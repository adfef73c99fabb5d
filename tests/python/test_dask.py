"""quillon.dask on a LocalCluster of two worker processes, against
quillon-count: the whole tree, a worker killed in the middle, the command
line, and a scheduler that does not answer."""

import io
import os
import signal
import socket
import subprocess
import sys
import time

import pytest

distributed = pytest.importorskip("distributed")
pytest.importorskip("dask.dataframe")

import fixtures as fx  # noqa: E402
import quillon.dask as qd  # noqa: E402


@pytest.fixture(scope="module")
def tree():
    """About 4,000 small files: nested folders, a flat folder of 1,200
    (split into lists), damaged files and a name that is not UTF-8."""
    root = os.path.join(fx.open_dir(), "t")
    pdf, tif = fx.pdf_bytes(2), fx.tiff_bytes(3)
    for d in range(8):
        for e in range(4):
            for i in range(80):
                data = b"damaged" if i % 37 == 0 else (pdf if i % 2 else tif)
                fx.write(os.path.join(root, f"d{d}", f"e{e}", f"f{i}.{'pdf' if i % 2 else 'tif'}"), data)
    for i in range(1200):
        fx.write(os.path.join(root, "flat", f"x{i}.pdf" if i % 3 else f"x{i}.tif"), pdf if i % 3 else tif)
    fx.write(os.path.join(os.fsencode(root), b"top\xe9.pdf"), fx.pdf_bytes(4))
    fx.write(os.path.join(root, "notes.txt"), b"x")
    fx.write(os.path.join(root, "d3", "after.tif"), fx.tiff_bytes(3, last_next=0x7FFFFF00))
    p = fx.run([fx.QUILLON_COUNT, "--format", "jsonl", root])
    return root, p.stdout.decode("utf-8"), p.stderr.decode("utf-8"), p.returncode


@pytest.fixture(scope="module")
def client():
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                       dashboard_address=None, host="127.0.0.1")
    c = distributed.Client(cluster)
    yield c
    c.close()
    cluster.close()


def totals_lines(stderr):
    return [line for line in stderr.splitlines() if line.split(" :")[0] in ("Total Files", "Errors", "Not searched")
            or line.startswith("Total Pages")]


def test_count_tree_equals_quillon_count(tree, client):
    root, expected, _, _ = tree
    df = qd.count_tree(root, client, tasks=16, chunk=500)
    assert df.npartitions >= 16, "the tree is cut into at least as many tasks as asked"
    parts = client.submit(qd._split.plan, [os.fsencode(root)], True, True, True, 16, 500).result()
    assert all(p[0] != "tree" for p in parts), "a tree this small is opened to its leaves"
    assert all(sum(qd._split.weight(p, 500) for p in g) <= 500 for g in qd._split.group(parts, 16, 500))
    assert sum(1 for p in parts if p[0] == "list") == 3, "the flat folder of 1,200 files goes in lists of 500"
    out = io.StringIO()
    files, errors, tif_pages, pdf_pages, skipped, _, _, _ = qd._write(client, df, out)
    assert out.getvalue() == expected
    frame = df.compute()
    assert list(frame.columns) == ["path", "kind", "size", "pages", "reason", "warning", "skipped", "folder"]
    assert '"warning":' in expected and frame["warning"].notna().sum() == 1
    assert len(frame) == files == expected.count("\n")
    assert frame["pages"].sum() == tif_pages + pdf_pages
    assert frame["pages"].isna().sum() == errors > 0


def test_kinds_and_no_subfolders_on_a_split_folder(tree, client):
    """A folder cut into lists of files keeps the walk's kinds and order."""
    root = tree[0]
    flat = os.path.join(root, "flat")
    expected = fx.run([fx.QUILLON_COUNT, "--format", "jsonl", "--tif", "--no-subfolders", flat]).stdout.decode()
    out = io.StringIO()
    df = qd.count_tree(flat, client, kinds=("tif",), subfolders=False, chunk=150, tasks=3)
    assert df.npartitions == 3
    qd._write(client, df, out)
    assert out.getvalue() == expected and expected.count("\n") == 400


def test_killed_worker_leaves_totals_exact(tree, client):
    """A worker process killed while it holds finished parts and runs
    others: Dask reruns what was lost and the rows come out the same."""
    root, expected, _, _ = tree
    df = qd.count_tree(root, client, tasks=16, chunk=300)
    futures = client.compute(df.to_delayed())
    distributed.wait(futures[0])
    holder = next(iter(client.who_has([futures[0]]).values()))[0]
    pid = client.run(os.getpid, workers=[holder])[holder]
    os.kill(pid, signal.SIGKILL)
    parts = client.gather(futures)
    out = "".join(line for p in parts for line in qd._split.jsonl_lines(p))
    assert out == expected
    client.wait_for_workers(2, timeout=60)


def test_command_line_prints_totals_as_quillon_count(tree, client, tmp_path):
    root, expected, stderr, status = tree
    out = tmp_path / "rows.jsonl"
    p = fx.run([sys.executable, "-m", "quillon.dask", root, "--scheduler", client.scheduler.address,
                "--out", str(out)])
    assert p.returncode == status == 1, p.stderr.decode()
    assert out.read_text(encoding="utf-8") == expected
    assert totals_lines(p.stderr.decode()) == totals_lines(stderr)


def test_count_tree_with_sizes_equals_quillon_count_sizes(tree, client, tmp_path):
    """The size columns, and the command line's jsonl with --sizes (rows,
    totals line by size, unsearched entries) byte for byte as quillon-count's."""
    root = tree[0]
    expected = fx.run([fx.QUILLON_COUNT, "--format", "jsonl", "--sizes", root]).stdout.decode("utf-8")
    assert '"name":"Letter"' in expected and '"name":"unknown size"' in expected
    df = qd.count_tree(root, client, tasks=8, chunk=500, sizes=True)
    frame = df.compute()
    assert list(frame.columns)[8:] == ["sizes", "a4_equivalents", "area_m2", "unknown_size_pages"]
    counted = frame[frame["pages"].notna()]
    assert counted["a4_equivalents"].notna().all() and frame.loc[frame["pages"].isna(), "sizes"].isna().all()
    assert counted["unknown_size_pages"].sum() == frame.loc[frame["kind"] == "TIF", "pages"].sum()
    out = tmp_path / "rows.jsonl"
    p = fx.run([sys.executable, "-m", "quillon.dask", root, "--scheduler", client.scheduler.address,
                "--out", str(out), "--sizes", "--tasks", "8"])
    assert p.returncode == 1, p.stderr.decode()
    assert out.read_text(encoding="utf-8") == expected


def test_scheduler_that_does_not_answer(tmp_path):
    """A closed loopback port: a clear error, within the timeout asked for."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    fx.write(tmp_path / "a.pdf", fx.pdf_bytes(1))
    start = time.monotonic()
    p = fx.run([sys.executable, "-m", "quillon.dask", str(tmp_path), "--scheduler", f"tcp://127.0.0.1:{port}",
                "--timeout", "3"])
    assert p.returncode == 2
    assert f"cannot reach the scheduler at tcp://127.0.0.1:{port}" in p.stderr.decode()
    assert time.monotonic() - start < 30


def test_bad_input(tmp_path, client):
    with pytest.raises(FileNotFoundError):
        qd.count_tree(tmp_path / "missing", client)
    fx.write(tmp_path / "list.txt", b"a.pdf\n")
    with pytest.raises(ValueError, match="neither a TIFF nor a PDF"):
        qd.count_tree(tmp_path / "list.txt", client)
    p = fx.run([sys.executable, "-m", "quillon.dask", str(tmp_path / "missing")])
    assert p.returncode == 2 and b"cannot be read" in p.stderr
