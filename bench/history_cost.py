#!/usr/bin/env python3
"""What recording a run in the history adds to an extraction.

Run by hand (it is not part of ctest):

    python3 bench/history_cost.py [--work DIR] [--reps N] [--tool PATH]
                                  [--formats lzh,zip,cab] [--size-mb N]

It uses the trees and archives of extract_bench.py (made on the first run,
cached in the work folder) and extracts the large archive with
`pellora-arc run` and with `pellora-arc run --history`, which records the run
as the program does: every file written, the old version of every replaced
file kept (a hard link, as history and output share a file system here), the
manifest, retention.  Two cases per format:

  fresh    into an empty folder: every file is created
  replace  over the tree a previous run left: every file is replaced

The two sides take turns going first; each pair gives one ratio
recorded/plain.  The figure is the median of those ratios (goal: 1.05 or
less), with the ratio of the medians and the spread beside it.

Only the Python standard library is used.
"""

from __future__ import annotations

import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import extract_bench as eb  # noqa: E402  (the data and its checks)

GOAL = 1.05
CASES = ("fresh", "replace")


def run_tool(cmd: list[str], logfile: Path, timeout: float) -> tuple[float, int]:
    """Wall time and exit code of one run."""
    with open(logfile, "wb") as out:
        t0 = time.perf_counter()
        proc = subprocess.Popen(cmd, stdout=out, stderr=subprocess.STDOUT)
        try:
            proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
        wall = time.perf_counter() - t0
    # wait() above reaped the child; its usage is in the children's total.
    return wall, proc.returncode


def children_cpu() -> float:
    import resource
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def newest_run(history: Path) -> dict | None:
    runs = sorted(p for p in history.iterdir() if p.is_dir()) if history.is_dir() else []
    if not runs:
        return None
    try:
        return json.loads((runs[-1] / "manifest.json").read_text())
    except (OSError, ValueError):
        return None


def check_recording(history: Path, before: dict | None, case: str, files: int) -> str:
    """A recording that did nothing would look cheap: the run must be in the history."""
    run = newest_run(history)
    if run is None or (before is not None and run.get("id") == before.get("id")):
        return "no run recorded"
    kinds: dict[str, int] = {}
    for e in run.get("entries", []):
        kinds[e.get("kind")] = kinds.get(e.get("kind"), 0) + 1
    want = "replaced" if case == "replace" else "file"
    if kinds.get(want, 0) != files:
        return f"{kinds.get(want, 0)} of {files} files recorded as {want}"
    if case == "replace":
        folder = history / run["id"]
        kept = [e for e in run["entries"] if e.get("kind") == "replaced"]
        missing = [e["path"] for e in kept if not (folder / e["kept"]).is_file()]
        if missing:
            return f"{len(missing)} replaced files not kept (e.g. {missing[0]})"
    return ""


def measure(fmt: str, archive: Path, manifest: dict, scratch: Path, tool: Path, reps: int,
            timeout: float) -> dict:
    lib, args = eb.PELLORA_CALLS[fmt]
    history = scratch / "history"
    files = len(manifest["files"])
    results: dict = {}
    for case in CASES:
        walls: dict[str, list[float]] = {"plain": [], "recorded": []}
        cpus: dict[str, list[float]] = {"plain": [], "recorded": []}
        problems: list[str] = []
        for rep in range(reps + 1):  # the first pair warms up and is not counted
            order = ("plain", "recorded") if rep % 2 == 0 else ("recorded", "plain")
            for side in order:
                out = scratch / f"out-{fmt}"
                command = args.format(archive=archive, outdir=out)
                cmd = [str(tool), "run", lib, command]
                if side == "recorded":
                    cmd = [str(tool), "run", "--history", str(history), str(out), lib, command]
                if case == "fresh" and out.exists():
                    shutil.rmtree(out)
                if case == "replace" and not out.exists():
                    subprocess.run([str(tool), "run", lib, command], stdout=subprocess.DEVNULL, check=True)
                out.mkdir(exist_ok=True)
                before = newest_run(history)
                os.sync()
                cpu0 = children_cpu()
                wall, code = run_tool(cmd, scratch / f"{fmt}-{case}-{side}.log", timeout)
                cpu = children_cpu() - cpu0
                problem = f"exit {code}" if code != 0 else eb.verify(out, manifest, False)
                if not problem and side == "recorded":
                    problem = check_recording(history, before, case, files)
                if problem:
                    problems.append(f"{side}: {problem}")
                if rep > 0:
                    walls[side].append(wall)
                    cpus[side].append(cpu)
        pairs = [r / p for r, p in zip(walls["recorded"], walls["plain"])]
        results[case] = {"walls": walls, "cpus": cpus, "pair_ratios": pairs, "problems": problems}
        shutil.rmtree(scratch / f"out-{fmt}", ignore_errors=True)
    return results


def quartiles(values: list[float]) -> tuple[float, float]:
    if len(values) < 4:
        return min(values), max(values)
    q = statistics.quantiles(values, n=4)
    return q[0], q[2]


def main(argv: list[str]) -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--work", type=Path, default=eb.DEFAULT_WORK)
    ap.add_argument("--reps", type=int, default=7, help="timed pairs per case (default 7)")
    ap.add_argument("--tool", type=Path, default=eb.DEFAULT_TOOL)
    ap.add_argument("--formats", default="zip,lzh,cab")
    ap.add_argument("--size-mb", type=int, default=100)
    ap.add_argument("--timeout", type=float, default=600.0)
    ap.add_argument("--json", type=Path)
    a = ap.parse_args(argv)
    formats = [f.strip().lower() for f in a.formats.split(",") if f.strip()]
    if not formats or any(f not in eb.FORMATS for f in formats) or a.reps < 1:
        ap.error("--formats is a subset of lzh,zip,cab and --reps at least 1")
    tool = a.tool.resolve()
    if not (tool.is_file() and os.access(tool, os.X_OK)):
        print(f"history_cost: {tool} is not there; build pellora-arc first", file=sys.stderr)
        return 2
    work = a.work.resolve()
    (large, _), _ = eb.prepare(work, a.size_mb, formats)
    scratch = work / "scratch" / "history-cost"
    shutil.rmtree(scratch, ignore_errors=True)
    (scratch / "history").mkdir(parents=True)
    same_fs = os.stat(scratch / "history").st_dev == os.stat(scratch).st_dev
    print(f"output and history in {scratch} (same file system: {'yes' if same_fs else 'NO'})")
    print(f"{a.reps} timed pairs per case after one untimed pair; ratio = recorded / plain")
    print()
    print(f"{'fmt':4s} {'case':8s} {'plain s':>8s} {'rec s':>8s} {'pair ratio':>10s} "
          f"{'IQR':>13s} {'min..max':>13s} {'med ratio':>9s} {'cpu ratio':>9s}  verdict")
    code = 0
    report: dict = {}
    for fmt in formats:
        archive = large.archives[fmt]
        eb.warm(archive)
        res = measure(fmt, archive, large.manifest, scratch, tool, a.reps, a.timeout)
        report[fmt] = res
        for case in CASES:
            r = res[case]
            plain, rec = statistics.median(r["walls"]["plain"]), statistics.median(r["walls"]["recorded"])
            pair = statistics.median(r["pair_ratios"])
            q1, q3 = quartiles(r["pair_ratios"])
            cpu = statistics.median(r["cpus"]["recorded"]) / max(statistics.median(r["cpus"]["plain"]), 1e-9)
            verdict = "ok" if pair <= GOAL else "OVER"
            if r["problems"]:
                verdict = "FAILED: " + "; ".join(r["problems"][:3])
            if verdict != "ok":
                code = 1
            print(f"{fmt:4s} {case:8s} {plain:8.2f} {rec:8.2f} {pair:10.3f} {q1:6.3f}-{q3:6.3f} "
                  f"{min(r['pair_ratios']):6.3f}-{max(r['pair_ratios']):6.3f} {rec / plain:9.3f} {cpu:9.3f}  {verdict}")
    print()
    print(f"goal: median pair ratio <= {GOAL:.2f}; logs in {scratch}")
    if a.json:
        a.json.write_text(json.dumps(report, indent=1))
    return code


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
