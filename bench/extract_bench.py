#!/usr/bin/env python3
"""Extraction benchmark: pellora-arc against bsdtar on large LZH, ZIP, CAB,
tar.gz, tar.xz and 7z archives.

Run by hand (it is not part of ctest):

    python3 bench/extract_bench.py [--work DIR] [--reps N] [--tool PATH]
                                   [--formats lzh,zip,cab,tar.gz,tar.xz,7z]
                                   [--size-mb N]

It generates a deterministic tree of files (seeded pseudo-random text and
incompressible random data), packs it with real archivers (jlha, zip, gcab, tar, 7z)
and caches tree and archives under the work folder.  Then for each format it
extracts the archive with pellora-arc and with bsdtar into fresh empty folders,
alternating which goes first, and reports the median wall time, the ratio
pellora/bsdtar, the peak resident memory of each child (from wait4), and
pellora-arc's peak memory on a small archive versus the large one.

Only the Python standard library is used.
"""

from __future__ import annotations

import argparse
import hashlib
import json
import os
import random
import shutil
import signal
import statistics
import subprocess
import sys
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path

REPO_ROOT = Path(__file__).resolve().parent.parent
DEFAULT_WORK = REPO_ROOT / "build" / "bench-data"
DEFAULT_TOOL = REPO_ROOT / "build" / "src" / "tools" / "pellora-arc"

# Bump when the tree layout or the archiver options change: cached data made
# by another version is regenerated.
GENERATOR_VERSION = 2
SEED = 20240607

RATIO_GOAL = 1.10
# pellora-arc's peak memory counts as flat when the large archive needs at most
# this much more than the small one (relative or absolute, whichever is larger).
FLAT_REL = 0.20
FLAT_ABS_KIB = 8 * 1024

# Above this (max - min) / median of the wall times, the run is called noisy.
NOISY_SPREAD = 0.15

FORMATS = ("lzh", "zip", "cab", "tar.gz", "tar.xz", "7z")

# How pellora-arc is asked to extract each format: (library name, command line).
PELLORA_CALLS = {
    "lzh": ("UNLHA32.DLL", 'x -a1 -jp1 -n -c "{archive}" "{outdir}/" "*.*"'),
    "zip": ("UNZIP32.DLL", '-x -i --i -o "{archive}" "{outdir}/" "*.*"'),
    "cab": ("CAB32.DLL", '-x -k -n -i -o "{archive}" "{outdir}/" "*.*"'),
    "tar.gz": ("LIBARCHIVE.DLL", '-x -i --i -o "{archive}" "{outdir}/" "*.*"'),
    "tar.xz": ("LIBARCHIVE.DLL", '-x -i --i -o "{archive}" "{outdir}/" "*.*"'),
    "7z": ("LIBARCHIVE.DLL", '-x -i --i -o "{archive}" "{outdir}/" "*.*"'),
}

# Debian package providing each external program, for error messages.
PACKAGES = {"bsdtar": "libarchive-tools", "jlha": "jlha-utils", "zip": "zip", "gcab": "gcab",
            "tar": "tar xz-utils", "7z": "p7zip-full"}
ARCHIVER = {"lzh": "jlha", "zip": "zip", "cab": "gcab", "tar.gz": "tar", "tar.xz": "tar", "7z": "7z"}

MIB = 1024 * 1024


def log(msg: str = "") -> None:
    print(msg, flush=True)


def fmt_mib(kib: int | None) -> str:
    return "    n/a" if kib is None else f"{kib / 1024:7.1f}"


def fmt_s(seconds: float | None) -> str:
    return "    n/a" if seconds is None else f"{seconds:7.3f}"


# --------------------------------------------------------------------------
# Tree generation
# --------------------------------------------------------------------------

def make_vocabulary(rng: random.Random, count: int = 4000) -> tuple[list[str], list[float]]:
    """Pseudo-words with Zipf-like frequencies, so text compresses like prose."""
    letters = "etaoinshrdlcumwfgypbvkjxqz"
    letter_weights = [12, 9, 8, 8, 7, 7, 6, 6, 6, 4, 4, 3, 3, 2, 2, 2, 2, 2, 2, 1.5, 1, 0.8, 0.2, 0.2, 0.1, 0.1]
    words: set[str] = set()
    while len(words) < count:
        n = rng.choice((2, 3, 3, 4, 4, 5, 5, 6, 7, 8, 9, 11))
        words.add("".join(rng.choices(letters, letter_weights, k=n)))
    vocab = sorted(words)
    rng.shuffle(vocab)
    cum, total = [], 0.0
    for rank in range(1, len(vocab) + 1):
        total += 1.0 / rank
        cum.append(total)
    return vocab, cum


def text_bytes(rng: random.Random, vocab: list[str], cum: list[float], size: int) -> bytes:
    """`size` bytes of lines of pseudo-random words."""
    parts: list[bytes] = []
    have = 0
    while have < size:
        words = rng.choices(vocab, cum_weights=cum, k=min(120_000, (size - have) // 5 + 16))
        per_line = rng.randint(8, 14)
        chunk = "\n".join(" ".join(words[i:i + per_line]) for i in range(0, len(words), per_line))
        data = (chunk + "\n").encode("ascii")
        parts.append(data)
        have += len(data)
    return b"".join(parts)[:size]


def mixed_bytes(rng: random.Random, vocab: list[str], cum: list[float], size: int) -> bytes:
    """Alternating runs of text and random data, like a resource pack."""
    parts: list[bytes] = []
    have = 0
    while have < size:
        n = min(size - have, rng.randint(64 * 1024, 1024 * 1024))
        if rng.random() < 0.5:
            parts.append(text_bytes(rng, vocab, cum, n))
        else:
            parts.append(rng.randbytes(n))
        have += n
    return b"".join(parts)


@dataclass
class FilePlan:
    path: str
    kind: str  # text | random | mixed | empty
    size: int


# Folders of the large files; a few levels of nesting.
BIG_DIRS = [
    "",
    "docs",
    "docs/reports/2023",
    "data",
    "data/raw/blobs",
    "media/assets/deep/nested",
    "logs",
]
BIG_KINDS = {  # kind -> (extensions, share of the large-file bytes)
    "text": ((".txt", ".log", ".csv", ".xml"), 0.55),
    "random": ((".bin", ".dat", ".jpg"), 0.35),
    "mixed": ((".pak",), 0.10),
}
BIG_FILES = 36
SMALL_FILES = 300
SMALL_DIRS = 12


def plan_tree(total_bytes: int, seed: int) -> list[FilePlan]:
    """Decide names, kinds and sizes.  The same seed gives the same plan for
    any size; only the byte counts scale, so small and large trees have the
    same number of files."""
    rng = random.Random(seed)
    plans: list[FilePlan] = []

    # A few hundred small files, 0..48 KiB (a couple empty), about 3% of the total at most.
    small_sizes = [int(rng.paretovariate(1.3) * 900) for _ in range(SMALL_FILES)]
    small_sizes = [min(s, 48 * 1024) for s in small_sizes]
    small_sizes[7] = 0
    small_sizes[123] = 0
    budget_small = max(1, total_bytes * 3 // 100)
    scale = min(1.0, budget_small / max(1, sum(small_sizes)))
    for i, s in enumerate(small_sizes):
        d = f"small/part{i % SMALL_DIRS:02d}"
        if i % 10 == 3:
            ext, kind = ".dat", "random"
        else:
            ext, kind = rng.choice((".txt", ".ini", ".htm", ".c", ".h")), "text"
        size = int(s * scale)
        plans.append(FilePlan(f"{d}/item{i:04d}{ext}", "empty" if size == 0 else kind, size))

    # Two big files (a quarter of the bytes), so that a tool holding a whole
    # entry in memory shows up as peak memory growing with the archive.
    remaining = total_bytes - sum(p.size for p in plans)
    plans.append(FilePlan("media/assets/video-master.bin", "random", remaining // 10))
    plans.append(FilePlan("data/export/full-dump.txt", "text", remaining * 15 // 100))
    remaining -= remaining // 10 + remaining * 15 // 100

    # A few dozen more files of very different sizes.
    kinds: list[str] = []
    for kind, (_, share) in BIG_KINDS.items():
        kinds += [kind] * max(1, round(BIG_FILES * share))
    kinds = kinds[:BIG_FILES]
    rng.shuffle(kinds)
    weights = [rng.lognormvariate(0.0, 1.1) for _ in kinds]
    # Distribute bytes so each kind gets its share, then by weight inside the kind.
    for kind, (exts, share) in BIG_KINDS.items():
        idx = [i for i, k in enumerate(kinds) if k == kind]
        kind_bytes = int(remaining * share)
        wsum = sum(weights[i] for i in idx)
        for n, i in enumerate(idx):
            size = int(kind_bytes * weights[i] / wsum)
            folder = BIG_DIRS[i % len(BIG_DIRS)]
            name = f"{kind}{i:02d}{exts[n % len(exts)]}"
            plans.append(FilePlan(f"{folder}/{name}" if folder else name, kind, size))
    # A file without an extension at the top, as real trees have.
    plans.append(FilePlan("README", "text", 4096))
    plans.sort(key=lambda p: p.path)
    return plans


def generate_tree(root: Path, total_bytes: int, seed: int) -> dict:
    """Write the tree under `root` and return its manifest."""
    if root.exists():
        shutil.rmtree(root)
    root.mkdir(parents=True)
    vocab, cum = make_vocabulary(random.Random(seed + 1))
    files = []
    for n, p in enumerate(plan_tree(total_bytes, seed)):
        rng = random.Random(seed * 1000 + n)
        if p.kind == "text":
            data = text_bytes(rng, vocab, cum, p.size)
        elif p.kind == "random":
            data = rng.randbytes(p.size)
        elif p.kind == "mixed":
            data = mixed_bytes(rng, vocab, cum, p.size)
        else:
            data = b""
        dest = root / p.path
        dest.parent.mkdir(parents=True, exist_ok=True)
        dest.write_bytes(data)
        files.append({"path": p.path, "size": len(data), "sha256": hashlib.sha256(data).hexdigest()})
    return {
        "version": GENERATOR_VERSION,
        "seed": seed,
        "bytes": sum(f["size"] for f in files),
        "files": files,
    }


# --------------------------------------------------------------------------
# Archive creation
# --------------------------------------------------------------------------

def archiver_command(fmt: str, archive: Path, entries: list[str]) -> list[str]:
    if fmt == "lzh":
        # jlha: options glued to the command letter; o5 = -lh5- method.
        return ["jlha", "ao5", str(archive), *entries]
    if fmt == "zip":
        return ["zip", "-q", "-r", "-6", str(archive), *entries]
    if fmt == "cab":
        return ["gcab", "-c", "-z", str(archive), *entries]  # -z: MSZIP
    if fmt == "tar.gz":
        return ["tar", "-czf", str(archive), *entries]
    if fmt == "tar.xz":
        return ["tar", "-cJf", str(archive), *entries]
    if fmt == "7z":
        return ["7z", "a", "-bd", "-mx=5", str(archive), *entries]
    raise ValueError(fmt)


def make_archive(fmt: str, tree: Path, archive: Path, logfile: Path) -> float:
    """Pack the tree; returns the wall time in seconds."""
    entries = sorted(os.listdir(tree))
    tmp = archive.with_name(archive.name + ".part" + archive.suffix)
    if tmp.exists():
        tmp.unlink()
    env = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")
    cmd = archiver_command(fmt, tmp, entries)
    t0 = time.perf_counter()
    with open(logfile, "wb") as out:
        rc = subprocess.run(cmd, cwd=tree, env=env, stdout=out, stderr=subprocess.STDOUT).returncode
    elapsed = time.perf_counter() - t0
    if rc != 0 or not tmp.exists():
        raise RuntimeError(f"{' '.join(cmd[:2])} failed (exit {rc}); see {logfile}")
    tmp.replace(archive)
    return elapsed


# --------------------------------------------------------------------------
# Work folder and cache
# --------------------------------------------------------------------------

@dataclass
class DataSet:
    label: str  # "large" | "small"
    size_mb: int
    tree: Path
    manifest: dict = field(default_factory=dict)
    archives: dict = field(default_factory=dict)  # fmt -> Path


def load_json(path: Path) -> dict | None:
    try:
        return json.loads(path.read_text())
    except (OSError, ValueError):
        return None


def free_bytes(path: Path) -> int:
    p = path
    while not p.exists():
        p = p.parent
    return shutil.disk_usage(p).free


def require_space(work: Path, needed: int, what: str) -> None:
    free = free_bytes(work)
    if free < needed:
        sys.exit(f"extract_bench: not enough free disk space under {work} for {what}: "
                 f"need about {needed / MIB:.0f} MiB, have {free / MIB:.0f} MiB")


def prepare(work: Path, size_mb: int, formats: list[str]) -> tuple[list[DataSet], dict]:
    """Make (or reuse) both trees and their archives.  Returns the data sets and
    the generation times recorded for every archive (this run's or earlier)."""
    work.mkdir(parents=True, exist_ok=True)
    small_mb = max(1, size_mb // 4)
    sets = [
        DataSet("large", size_mb, work / f"tree-{size_mb}mb"),
        DataSet("small", small_mb, work / f"tree-{small_mb}mb"),
    ]
    times_path = work / "generation-times.json"
    gen_times = load_json(times_path) or {}

    # What must be made, and how much disk it will take.
    todo_trees, todo_archives = [], []
    for ds in sets:
        marker = ds.tree.with_suffix(".manifest.json")
        m = load_json(marker)
        ok = m is not None and m.get("version") == GENERATOR_VERSION and m.get("seed") == SEED \
            and m.get("size_mb") == ds.size_mb and ds.tree.is_dir()
        if ok:
            ds.manifest = m
        else:
            todo_trees.append(ds)
        for fmt in formats:
            arc = work / f"{ds.tree.name}.{fmt}"
            ds.archives[fmt] = arc
            stamp = load_json(arc.with_name(arc.name + ".json"))
            if not (ok and arc.is_file() and stamp and stamp.get("tree_bytes") == m.get("bytes")
                    and stamp.get("version") == GENERATOR_VERSION):
                todo_archives.append((ds, fmt))

    needed = 0
    for ds in todo_trees:
        needed += ds.size_mb * MIB
    for ds, _fmt in todo_archives:
        needed += int(ds.size_mb * MIB * 1.05)  # worst case: nothing compresses
    needed += int(size_mb * MIB * 1.2) + 256 * MIB  # one extraction at a time, plus headroom
    require_space(work, needed, "test data and extraction")

    if todo_archives:
        missing = sorted({ARCHIVER[f] for _, f in todo_archives if shutil.which(ARCHIVER[f]) is None})
        if missing:
            pk = " ".join(PACKAGES[m] for m in missing)
            sys.exit(f"extract_bench: {', '.join(missing)} not found; install with "
                     f"apt-get install -y --no-install-recommends {pk}")

    for ds in todo_trees:
        log(f"generating {ds.label} tree ({ds.size_mb} MB) in {ds.tree} ...")
        for fmt in formats:  # any archive made from an older tree is stale
            arc = ds.archives[fmt]
            for p in (arc, arc.with_name(arc.name + ".json")):
                if p.exists():
                    p.unlink()
        t0 = time.perf_counter()
        m = generate_tree(ds.tree, ds.size_mb * 1000 * 1000, SEED)
        m["size_mb"] = ds.size_mb
        ds.tree.with_suffix(".manifest.json").write_text(json.dumps(m, indent=1))
        ds.manifest = m
        log(f"  {len(m['files'])} files, {m['bytes'] / MIB:.1f} MiB in {time.perf_counter() - t0:.1f} s")

    for ds, fmt in todo_archives:
        arc = ds.archives[fmt]
        log(f"packing {arc.name} with {ARCHIVER[fmt]} ...")
        seconds = make_archive(fmt, ds.tree, arc, work / f"{arc.name}.log")
        stamp = {"version": GENERATOR_VERSION, "tree_bytes": ds.manifest["bytes"],
                 "seconds": round(seconds, 2), "archive_bytes": arc.stat().st_size}
        arc.with_name(arc.name + ".json").write_text(json.dumps(stamp))
        gen_times[arc.name] = stamp
        times_path.write_text(json.dumps(gen_times, indent=1))
        log(f"  {arc.stat().st_size / MIB:.1f} MiB in {seconds:.1f} s")
    return sets, gen_times


# --------------------------------------------------------------------------
# Measurement
# --------------------------------------------------------------------------

@dataclass
class RunResult:
    wall: float
    maxrss_kib: int
    cpu: float
    exit_code: int
    ok: bool
    problem: str = ""


# Peak memory.  ru_maxrss from wait4 is not the child's own peak when the child
# was started straight from this script: the kernel records the high-water mark
# of the address space a process had when it called execve, and a child forked
# (or vforked) from Python execs out of a copy of Python's heap, so every child
# would report at least this script's own peak (tens to hundreds of MiB after
# generating the trees).  So the measured program is forked by a small `sh`
# that exits at once; this script has made itself the child subreaper, adopts
# the orphan and reaps it with wait4, whose ru_maxrss is then the program's own
# peak (under 1 MiB for /bin/true).  The orphan waits on a pipe before it
# execs, so that sh cannot reap it first and so that the clock starts only
# when the program is released.

_subreaper_ready = False


def become_subreaper() -> None:
    global _subreaper_ready
    if _subreaper_ready:
        return
    import ctypes
    libc = ctypes.CDLL(None, use_errno=True)
    PR_SET_CHILD_SUBREAPER = 36
    if libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        raise OSError(ctypes.get_errno(), "prctl(PR_SET_CHILD_SUBREAPER) failed")
    _subreaper_ready = True


# $1 = log file, the rest = the command.  stdin is the gate pipe.
LAUNCHER = ('log=$1; shift; exec 3<&0 0</dev/null; '
            '{ read _ <&3 && exec "$@" 3<&-; } >"$log" 2>&1 & echo $!')


def run_measured(cmd: list[str], logfile: Path, timeout: float) -> tuple[float, int, float, int]:
    """Run `cmd` with stdout and stderr to `logfile`; returns (wall seconds,
    peak RSS in KiB, user+sys CPU seconds, exit code)."""
    become_subreaper()
    env = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")
    gate_r, gate_w = os.pipe()
    try:
        sh = subprocess.Popen(["sh", "-c", LAUNCHER, "sh", str(logfile), *cmd],
                              stdin=gate_r, stdout=subprocess.PIPE, env=env)
    finally:
        os.close(gate_r)
    out, _ = sh.communicate()  # sh has exited; its child is now ours, waiting on the gate
    pid = int(out.decode().strip())
    timer = threading.Timer(timeout, lambda: os.kill(pid, signal.SIGKILL))
    try:
        t0 = time.perf_counter()
        os.write(gate_w, b"go\n")
        os.close(gate_w)
        gate_w = -1
        timer.start()
        _pid, status, ru = os.wait4(pid, 0)
        wall = time.perf_counter() - t0
    except BaseException:
        try:
            os.kill(pid, signal.SIGKILL)
            os.waitpid(pid, 0)
        except OSError:
            pass
        raise
    finally:
        timer.cancel()
        if gate_w >= 0:
            os.close(gate_w)
    return wall, ru.ru_maxrss, ru.ru_utime + ru.ru_stime, os.waitstatus_to_exitcode(status)


def launcher_floor(scratch: Path) -> int:
    """Peak RSS reported for /bin/true started the same way: the floor below
    which no figure means anything."""
    return min(run_measured(["/bin/true"], scratch / "true.log", 30)[1] for _ in range(3))


def verify(outdir: Path, manifest: dict, full: bool) -> str:
    """Compare an extracted tree with the manifest.  Sizes of every file are
    checked; content hashes of every file when `full`, else of a sample.
    Returns "" when equal, else a short description of the difference."""
    want = {f["path"]: f for f in manifest["files"]}
    have: dict[str, int] = {}
    for dirpath, _dirs, names in os.walk(outdir):
        for name in names:
            p = Path(dirpath, name)
            have[p.relative_to(outdir).as_posix()] = p.stat().st_size
    missing = sorted(set(want) - set(have))
    extra = sorted(set(have) - set(want))
    problems = []
    if missing:
        problems.append(f"{len(missing)} missing (e.g. {missing[0]})")
    if extra:
        problems.append(f"{len(extra)} unexpected (e.g. {extra[0]})")
    wrong_size = sorted(p for p in set(want) & set(have) if want[p]["size"] != have[p])
    if wrong_size:
        p = wrong_size[0]
        problems.append(f"{len(wrong_size)} of wrong size (e.g. {p}: {have[p]} != {want[p]['size']})")
    common = sorted(set(want) & set(have) - set(wrong_size))
    if not full:
        # A sample: the largest files of each kind and every 25th small one.
        biggest = sorted(common, key=lambda p: -want[p]["size"])[:4]
        common = sorted(set(biggest) | set(common[::25]))
    bad_hash = []
    for p in common:
        h = hashlib.sha256()
        with open(outdir / p, "rb") as f:
            while chunk := f.read(4 * MIB):
                h.update(chunk)
        if h.hexdigest() != want[p]["sha256"]:
            bad_hash.append(p)
    if bad_hash:
        problems.append(f"{len(bad_hash)} with wrong content (e.g. {bad_hash[0]})")
    return "; ".join(problems)


def warm(path: Path) -> None:
    """Read the archive once so every timed run starts with it in the page cache."""
    with open(path, "rb") as f:
        while f.read(8 * MIB):
            pass


def extract_once(tool: str, fmt: str, archive: Path, manifest: dict, scratch: Path,
                 pellora: Path, full_check: bool, timeout: float) -> RunResult:
    outdir = scratch / f"out-{tool}-{fmt}"
    if outdir.exists():
        shutil.rmtree(outdir)
    outdir.mkdir(parents=True)
    if tool == "pellora":
        lib, args = PELLORA_CALLS[fmt]
        cmd = [str(pellora), "run", lib, args.format(archive=archive, outdir=outdir)]
    else:
        cmd = ["bsdtar", "-xf", str(archive), "-C", str(outdir)]
    logfile = scratch / f"{tool}-{fmt}-{archive.stem}.log"
    os.sync()  # let the previous run's writes settle before timing this one
    wall, rss, cpu, code = run_measured(cmd, logfile, timeout)
    problem = ""
    if code != 0:
        problem = f"exit {code}" if code > 0 else f"killed by signal {-code}"
    diff = verify(outdir, manifest, full_check)
    if diff:
        problem = f"{problem}; {diff}" if problem else diff
    shutil.rmtree(outdir)
    return RunResult(wall, rss, cpu, code, not problem, problem)


@dataclass
class Summary:
    fmt: str
    label: str
    runs: dict = field(default_factory=dict)  # tool -> [RunResult]

    def median(self, tool: str) -> float | None:
        r = self.runs.get(tool)
        return statistics.median(x.wall for x in r) if r else None

    def peak(self, tool: str) -> int | None:
        r = self.runs.get(tool)
        return max(x.maxrss_kib for x in r) if r else None

    def spread(self, tool: str) -> float:
        """(max - min) / median of the wall times: how noisy the median is."""
        r = self.runs.get(tool)
        if not r or len(r) < 2:
            return 0.0
        w = [x.wall for x in r]
        return (max(w) - min(w)) / statistics.median(w)

    def cpu(self, tool: str) -> float | None:
        r = self.runs.get(tool)
        return statistics.median(x.cpu for x in r) if r else None

    def problems(self, tool: str) -> list[str]:
        return sorted({x.problem for x in self.runs.get(tool, []) if x.problem})


def bench_set(ds: DataSet, fmt: str, reps: int, tools: list[str], scratch: Path,
              pellora: Path, timeout: float) -> Summary:
    s = Summary(fmt, ds.label, {t: [] for t in tools})
    archive = ds.archives[fmt]
    warm(archive)
    for i in range(reps):
        order = tools if i % 2 == 0 else list(reversed(tools))
        for tool in order:
            r = extract_once(tool, fmt, archive, ds.manifest, scratch, pellora,
                             full_check=(i == 0), timeout=timeout)
            s.runs[tool].append(r)
            status = "ok" if r.ok else f"PROBLEM: {r.problem}"
            log(f"    {ds.label:5s} {fmt} {tool:7s} rep {i + 1}: {r.wall:7.3f} s  "
                f"{r.maxrss_kib / 1024:6.1f} MiB  cpu {r.cpu:6.2f} s  {status}")
    return s


# --------------------------------------------------------------------------
# Main
# --------------------------------------------------------------------------

def parse_args(argv: list[str]) -> argparse.Namespace:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--work", type=Path, default=DEFAULT_WORK,
                    help=f"folder for generated trees, archives and scratch output (default {DEFAULT_WORK})")
    ap.add_argument("--reps", type=int, default=3, help="timed repetitions per tool and archive (default 3)")
    ap.add_argument("--tool", type=Path, default=DEFAULT_TOOL, help=f"pellora-arc binary (default {DEFAULT_TOOL})")
    ap.add_argument("--formats", default=",".join(FORMATS), help="comma-separated subset of " + ",".join(FORMATS))
    ap.add_argument("--size-mb", type=int, default=100,
                    help="size of the large tree in MB (default 100); the small tree is a quarter of it")
    ap.add_argument("--timeout", type=float, default=600.0, help="seconds before one extraction is killed (default 600)")
    ap.add_argument("--json", type=Path, help="also write all measurements to this file")
    args = ap.parse_args(argv)
    args.formats = [f.strip().lower() for f in args.formats.split(",") if f.strip()]
    bad = [f for f in args.formats if f not in FORMATS]
    if bad or not args.formats:
        ap.error(f"unknown format(s): {', '.join(bad) or '(none)'}; choose from {', '.join(FORMATS)}")
    if args.reps < 1:
        ap.error("--reps must be at least 1")
    if not 4 <= args.size_mb <= 1500:
        ap.error("--size-mb must be between 4 and 1500 (a CAB folder holds at most 2 GB)")
    return args


def main(argv: list[str]) -> int:
    args = parse_args(argv)
    work = args.work.resolve()
    if shutil.which("bsdtar") is None:
        sys.exit("extract_bench: bsdtar not found; install with "
                 "apt-get install -y --no-install-recommends libarchive-tools")
    pellora = args.tool.resolve()
    have_pellora = pellora.is_file() and os.access(pellora, os.X_OK)

    t_start = time.perf_counter()
    sets, gen_times = prepare(work, args.size_mb, args.formats)
    large, small = sets

    log("")
    log("archive generation (wall time of the archiver, from the run that made it):")
    for ds in sets:
        for fmt in args.formats:
            name = ds.archives[fmt].name
            g = gen_times.get(name)
            if g:
                log(f"  {name:22s} {g['archive_bytes'] / MIB:7.1f} MiB from {g['tree_bytes'] / MIB:6.1f} MiB"
                    f"  in {g['seconds']:6.1f} s  ({ARCHIVER[fmt]})")
    log("")

    tools = ["pellora", "bsdtar"] if have_pellora else ["bsdtar"]
    if not have_pellora:
        log(f"NOTE: {pellora} not found or not executable: measuring bsdtar only.")
        log("      Build it first: cmake -S . -B build -G Ninja && cmake --build build")
        log("")

    scratch = work / "scratch"
    scratch.mkdir(exist_ok=True)
    floor = launcher_floor(scratch)
    log(f"peak RSS floor of the launcher (/bin/true): {floor / 1024:.1f} MiB")
    results: dict[str, dict[str, Summary]] = {}
    for fmt in args.formats:
        log(f"{fmt}:")
        results[fmt] = {}
        for ds in (large, small):
            results[fmt][ds.label] = bench_set(ds, fmt, args.reps, tools, scratch, pellora, args.timeout)

    # ------------------------------------------------------------------ report
    log("")
    log(f"results: median of {args.reps} wall time(s) on the {large.size_mb} MB tree; "
        f"peak RSS = max over runs; goal ratio <= {RATIO_GOAL:.2f}, memory flat small->large")
    log(f"{'fmt':4s} {'pellora s':>9s} {'bsdtar s':>9s} {'ratio':>6s} {'':5s} "
        f"{'pel MiB':>8s} {'bsd MiB':>8s}   {'pel MiB ' + str(small.size_mb) + 'MB->' + str(large.size_mb) + 'MB':>22s}  checks")
    exit_code = 0
    summary_json: dict = {"rss_floor_kib": floor, "size_mb": large.size_mb, "small_mb": small.size_mb, "reps": args.reps,
                          "tool": str(pellora) if have_pellora else None, "formats": {}}
    for fmt in args.formats:
        L, S = results[fmt]["large"], results[fmt]["small"]
        tp, tb = L.median("pellora"), L.median("bsdtar")
        ratio = tp / tb if tp is not None and tb else None
        verdict = "" if ratio is None else ("ok" if ratio <= RATIO_GOAL else "SLOW")
        rp_l, rp_s = L.peak("pellora"), S.peak("pellora")
        if rp_l is not None and rp_s is not None:
            grow = rp_l - rp_s
            flat = grow <= max(FLAT_ABS_KIB, rp_s * FLAT_REL)
            mem = f"{rp_s / 1024:7.1f} -> {rp_l / 1024:7.1f} {'flat' if flat else 'GROWS'}"
        else:
            flat, mem = None, f"{'n/a':>22s}"
        probs = []
        for tool in tools:
            for ds_sum in (L, S):
                for p in ds_sum.problems(tool):
                    probs.append(f"{tool}/{ds_sum.label}: {p}")
        checks = "same tree" if not probs else "DIFFERENT: " + " | ".join(probs)
        log(f"{fmt:4s} {fmt_s(tp):>9s} {fmt_s(tb):>9s} "
            f"{('%6.2f' % ratio) if ratio is not None else '   n/a'} {verdict:5s} "
            f"{fmt_mib(rp_l):>8s} {fmt_mib(L.peak('bsdtar')):>8s}   {mem:>22s}  {checks}")
        if probs or verdict == "SLOW" or flat is False:
            exit_code = 1
        summary_json["formats"][fmt] = {
            ds_sum.label: {
                tool: {"median_s": ds_sum.median(tool), "peak_rss_kib": ds_sum.peak(tool),
                       "median_cpu_s": ds_sum.cpu(tool), "problems": ds_sum.problems(tool),
                       "walls": [r.wall for r in ds_sum.runs[tool]],
                       "rss_kib": [r.maxrss_kib for r in ds_sum.runs[tool]]}
                for tool in tools
            } for ds_sum in (L, S)
        }
        summary_json["formats"][fmt]["ratio"] = ratio
    noisy = [f"{fmt} {t}" for fmt in args.formats for t in tools
             if results[fmt]["large"].spread(t) > NOISY_SPREAD]
    if noisy:
        log(f"note: wall times spread more than {NOISY_SPREAD:.0%} around the median for "
            f"{', '.join(noisy)}; a ratio near the goal is not conclusive: "
            + ("rerun with --reps 9" if args.reps < 9 else "is the machine busy? (see the cpu line)"))
    log("")
    log("cpu (user+sys, median, large tree): " + ", ".join(
        f"{fmt} " + " / ".join(f"{t} {results[fmt]['large'].cpu(t):.2f} s" for t in tools)
        for fmt in args.formats))
    log(f"last outputs of each tool are in {scratch}/*.log; total time {time.perf_counter() - t_start:.0f} s")
    if args.json:
        args.json.write_text(json.dumps(summary_json, indent=1))
    if not have_pellora:
        return 2
    return exit_code


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
