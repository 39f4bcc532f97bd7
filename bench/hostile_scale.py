#!/usr/bin/env python3
"""Scaling benchmark: pellora-arc on archives built to make the cost explode.

Run by hand (it is not part of ctest):

    python3 bench/hostile_scale.py [--tool PATH] [--work DIR] [--links N]
                                   [--depth N] [--steps K] [--keep]

Two ZIP archives are built with Python's zipfile, each at several sizes (the
full size and fractions 1/K .. K/K of it):

* links: N symbolic-link entries (each refused) followed by N plain files,
  each file in a folder named like one of the links but not under it, so
  every file is checked against the refused links;
* chain: N folder entries, each one folder deeper than the one before
  ("d/", "d/d/", ...), each with a folder time to restore at the end.

Each archive is extracted once with pellora-arc into a fresh folder; the wall
time and the child's peak resident memory (from wait4) are printed per size,
with the time per entry. A linear extractor keeps the time per entry flat
from row to row; a quadratic one doubles it when the size doubles. The chain
archive's own size grows with the square of its depth (every entry repeats
the whole path), so there the time per name byte is the figure to watch.

Only the Python standard library is used.
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time
import zipfile
from pathlib import Path

REPO_ROOT = Path(__file__).resolve().parent.parent
DEFAULT_TOOL = REPO_ROOT / "build" / "src" / "tools" / "pellora-arc"
STAMP = (2020, 1, 2, 3, 4, 6)


def link_info(name, mode):
    info = zipfile.ZipInfo(name, STAMP)
    info.create_system = 3  # Unix: the mode in the upper half is honoured
    info.external_attr = mode << 16
    return info


def make_links(path, count):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        for i in range(count):
            z.writestr(link_info("l%06d" % i, 0o120777), "/tmp")
        for i in range(count):
            # "l000123x/f": shares a leading part with a link's name but is
            # not under it, so it must be extracted.
            z.writestr(link_info("l%06dx/f" % i, 0o100644), b"x")
    return 2 * count, os.path.getsize(path)


def make_chain(path, depth):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        name = ""
        for _ in range(depth):
            name += "d/"
            info = link_info(name, 0o40755)
            info.external_attr |= 0x10
            z.writestr(info, b"")
    return depth, os.path.getsize(path)


def remove(path):
    # shutil.rmtree recurses once per folder level and fails on the chain.
    subprocess.run(["rm", "-rf", "--", str(path)], check=False)


def run(tool, archive, out):
    line = '-x -i --i "%s" "%s/" "*.*"' % (archive, out)
    start = time.monotonic()
    proc = subprocess.Popen([str(tool), "run", "UNZIP32.DLL", line],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    return wall, usage.ru_maxrss, proc.returncode


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--tool", default=str(DEFAULT_TOOL))
    ap.add_argument("--work", default=None,
                    help="where to build and extract (default: the system's "
                         "temporary folder); a tmpfs such as /dev/shm keeps "
                         "the file system's own cost out of the figures")
    ap.add_argument("--links", type=int, default=60000,
                    help="link entries (and as many files) at full size")
    ap.add_argument("--depth", type=int, default=10000,
                    help="nested folder entries at full size")
    ap.add_argument("--steps", type=int, default=4,
                    help="sizes measured: full/steps .. full")
    ap.add_argument("--keep", action="store_true", help="keep the scratch folder")
    args = ap.parse_args()
    tool = Path(args.tool)
    if not os.access(tool, os.X_OK):
        sys.exit("no pellora-arc at %s (build it, or pass --tool)" % tool)

    scratch = Path(tempfile.mkdtemp(prefix="pellora-scale-", dir=args.work))
    print("scratch folder %s" % scratch)
    print("%-6s %8s %10s %9s %10s %10s %4s" % ("case", "entries", "zip MB", "wall s",
                                              "us/entry", "peak MB", "rc"))
    try:
        for case, full, maker in (("links", args.links, make_links),
                                  ("chain", args.depth, make_chain)):
            for step in range(1, args.steps + 1):
                n = max(1, full * step // args.steps)
                archive = scratch / ("%s-%d.zip" % (case, n))
                entries, size = maker(archive, n)
                out = scratch / ("out-%s-%d" % (case, n))
                wall, peak_kib, rc = run(tool, archive, out)
                print("%-6s %8d %10.1f %9.2f %10.1f %10.1f %4d" % (
                    case, entries, size / 1e6, wall, wall * 1e6 / entries,
                    peak_kib / 1024, rc), flush=True)
                remove(out)
                archive.unlink()
    finally:
        if args.keep:
            print("kept %s" % scratch)
        else:
            remove(scratch)


if __name__ == "__main__":
    main()
