#!/usr/bin/env python3
"""Extraction benchmark: pellora-arc against bsdtar and the other archivers on
large LZH, ZIP, CAB, tar.gz, tar.xz and 7z archives, output on tmpfs and disk.

Run by hand (it is not part of ctest):

    python3 bench/extract_bench.py [--work DIR] [--reps N] [--tool PATH]
                                   [--formats lzh,zip,cab,tar.gz,tar.xz,7z]
                                   [--outputs tmpfs,disk] [--size-mb N]
                                   [--pin [CPU]] [--baseline-json FILE]
                                   [--save-json FILE]

It generates a deterministic tree of files (seeded pseudo-random text and
incompressible random data), packs it with real archivers (jlha, zip, gcab, tar, 7z)
and caches tree and archives under the work folder.  Then for each format and
each output folder (one on tmpfs, one in the work folder) it extracts the
archive with pellora-arc, bsdtar and the other archivers that read the format
(7z, unzip, lhasa, cabextract) into fresh empty folders, taking turns going
first, and reports the median wall time of each, the ratio pellora/bsdtar
against its goal, the peak resident memory of each child (from wait4), and
pellora-arc's peak memory on a small archive versus the large one.  With --pin
every tool runs on one core, and with --baseline-json the ratios are compared
with an earlier run's.

Only the Python standard library is used.
"""

from __future__ import annotations

import argparse
import hashlib
import json
import os
import random
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
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

# Goals for the ratio pellora/bsdtar of the median wall times, output on tmpfs:
# there the file system's own cost does not hide the extractor's.
TMPFS_GOALS = {"lzh": 0.60, "zip": 0.40, "cab": 0.50}
# Everywhere else (the disk output, the other formats): not slower than bsdtar.
RATIO_GOAL = 1.10
# Pinned to one core, the ratio may be at most this factor of the baseline's.
PINNED_FACTOR_GOAL = 1.05
# Goals are judged on a median of at least this many runs.
MIN_REPS_FOR_GOALS = 5
# pellora-arc's peak memory on the large archive, at most.
RSS_CAP_KIB = 32 * 1024
# pellora-arc's peak memory counts as flat when the large archive needs at most
# this much more than the small one (relative or absolute, whichever is larger).
FLAT_REL = 0.20
FLAT_ABS_KIB = 8 * 1024

# Above this (max - min) / median of the wall times, the run is called noisy.
NOISY_SPREAD = 0.15

FORMATS = ("lzh", "zip", "cab", "tar.gz", "tar.xz", "7z")
DEFAULT_FORMATS = ("lzh", "zip", "cab")
OUTPUTS = ("tmpfs", "disk")

# How pellora-arc is asked to extract each format: (library name, command line).
PELLORA_CALLS = {
    "lzh": ("UNLHA32.DLL", 'x -a1 -jp1 -n -c "{archive}" "{outdir}/" "*.*"'),
    "zip": ("UNZIP32.DLL", '-x -i --i -o "{archive}" "{outdir}/" "*.*"'),
    "cab": ("CAB32.DLL", '-x -k -n -i -o "{archive}" "{outdir}/" "*.*"'),
    "tar.gz": ("LIBARCHIVE.DLL", '-x -i --i -o "{archive}" "{outdir}/" "*.*"'),
    "tar.xz": ("LIBARCHIVE.DLL", '-x -i --i -o "{archive}" "{outdir}/" "*.*"'),
    "7z": ("LIBARCHIVE.DLL", '-x -i --i -o "{archive}" "{outdir}/" "*.*"'),
}

# The peers: the formats each one reads and its quiet extraction into an
# existing folder.  bsdtar is the reference of every ratio.  7z is left out
# for tar.gz and tar.xz, where `7z x` only takes off the compression and
# leaves the .tar.
PEERS = {
    "bsdtar": (FORMATS, ["bsdtar", "-xf", "{archive}", "-C", "{outdir}"]),
    "7z": (("lzh", "zip", "cab", "7z"), ["7z", "x", "-y", "-bd", "-o{outdir}", "{archive}"]),
    "unzip": (("zip",), ["unzip", "-q", "-o", "{archive}", "-d", "{outdir}"]),
    "lhasa": (("lzh",), ["lhasa", "xq2fw={outdir}", "{archive}"]),
    "cabextract": (("cab",), ["cabextract", "-q", "-d", "{outdir}", "{archive}"]),
}
TOOLS = ("pellora", *PEERS)
# lhasa writes a name stored all in capitals, as old MS-DOS archivers did,
# in small letters (README becomes readme); its trees are compared without
# regard to case, their contents still byte for byte.
FOLDS_CASE = ("lhasa",)

# Debian package providing each external program, for error messages.
PACKAGES = {"bsdtar": "libarchive-tools", "jlha": "jlha-utils", "zip": "zip", "gcab": "gcab",
            "tar": "tar xz-utils", "7z": "p7zip-full", "unzip": "unzip", "lhasa": "lhasa",
            "cabextract": "cabextract", "taskset": "util-linux"}
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


def verify(outdir: Path, manifest: dict, full: bool, fold_case: bool = False) -> str:
    """Compare an extracted tree with the manifest.  Sizes of every file are
    checked; content hashes of every file when `full`, else of a sample.
    With `fold_case`, names are compared without regard to case (the tree has
    no two names that differ only in case).  Returns "" when equal, else a
    short description of the difference."""
    def key(path: str) -> str:
        return path.lower() if fold_case else path

    want = {key(f["path"]): f for f in manifest["files"]}
    have: dict[str, int] = {}
    where: dict[str, str] = {}  # key -> the name as extracted
    for dirpath, _dirs, names in os.walk(outdir):
        for name in names:
            p = Path(dirpath, name)
            rel = p.relative_to(outdir).as_posix()
            have[key(rel)] = p.stat().st_size
            where[key(rel)] = rel
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
        with open(outdir / where[p], "rb") as f:
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


# --------------------------------------------------------------------------
# Output folders
# --------------------------------------------------------------------------

TMPFS_TYPES = ("tmpfs", "ramfs")


def decode_mount_field(text: str) -> str:
    """/proc/mounts writes blanks, tabs and backslashes in paths as octal escapes."""
    return re.sub(r"\\([0-7]{3})", lambda m: chr(int(m.group(1), 8)), text)


def mount_of(path: Path) -> tuple[str, str]:
    """(mount point, file-system type) of the mount holding `path`, from
    /proc/mounts; the last of several mounts on one point is the visible one."""
    try:
        text = Path("/proc/mounts").read_text()
    except OSError:
        return "", "unknown"
    target = os.path.realpath(path)
    best, fstype = "", "unknown"
    for line in text.splitlines():
        fields = line.split()
        if len(fields) < 3:
            continue
        mnt = decode_mount_field(fields[1])
        inside = target == mnt or target.startswith(mnt.rstrip("/") + "/")
        if inside and len(mnt) >= len(best):
            best, fstype = mnt, fields[2]
    return best, fstype


@dataclass
class Output:
    name: str  # "tmpfs" | "disk"
    root: Path  # the extracted trees go into folders under it
    mount: str
    fstype: str
    owned: bool  # made by this run and removed at its end


def pick_outputs(names: list[str], work: Path, tmpfs_dir: Path, need_bytes: int) -> list[Output]:
    """The output folders asked for that can be used; the others are skipped with a note."""
    outputs = []
    for name in names:
        if name == "disk":
            root = work / "scratch"
            root.mkdir(parents=True, exist_ok=True)
            mnt, fstype = mount_of(root)
            if fstype in TMPFS_TYPES:
                log(f"NOTE: the disk output {root} is on {fstype} ({mnt}); its figures are not a disk's.")
            outputs.append(Output("disk", root, mnt, fstype, False))
            continue
        if not tmpfs_dir.is_dir():
            log(f"NOTE: {tmpfs_dir} does not exist: no tmpfs output, skipped.")
            continue
        mnt, fstype = mount_of(tmpfs_dir)
        if fstype not in TMPFS_TYPES:
            log(f"NOTE: {tmpfs_dir} is on {fstype} ({mnt or '?'}), not tmpfs: no tmpfs output, skipped.")
            continue
        st = os.statvfs(tmpfs_dir)
        free = st.f_bavail * st.f_frsize
        if free < need_bytes:
            log(f"NOTE: {tmpfs_dir} has {free / MIB:.0f} MiB free, an extraction needs about "
                f"{need_bytes / MIB:.0f} MiB: no tmpfs output, skipped.")
            continue
        root = Path(tempfile.mkdtemp(prefix="pellora-bench-", dir=tmpfs_dir))
        outputs.append(Output("tmpfs", root, mnt, fstype, True))
    return outputs


# --------------------------------------------------------------------------
# Running the tools
# --------------------------------------------------------------------------

def tool_command(tool: str, fmt: str, archive: Path, outdir: Path, pellora: Path) -> list[str]:
    if tool == "pellora":
        lib, args = PELLORA_CALLS[fmt]
        return [str(pellora), "run", lib, args.format(archive=archive, outdir=outdir)]
    return [a.format(archive=archive, outdir=outdir) for a in PEERS[tool][1]]


def extract_once(tool: str, fmt: str, archive: Path, manifest: dict, out: Output, logdir: Path,
                 pellora: Path, full_check: bool, timeout: float, pin: int | None) -> RunResult:
    outdir = out.root / f"out-{tool}-{fmt}"
    if outdir.exists():
        shutil.rmtree(outdir)
    outdir.mkdir(parents=True)
    cmd = tool_command(tool, fmt, archive, outdir, pellora)
    if pin is not None:
        cmd = ["taskset", "-c", str(pin), *cmd]
    logfile = logdir / f"{tool}-{fmt}-{archive.stem}-{out.name}.log"
    os.sync()  # let the previous run's writes settle before timing this one
    wall, rss, cpu, code = run_measured(cmd, logfile, timeout)
    problem = ""
    if code != 0:
        problem = f"exit {code}" if code > 0 else f"killed by signal {-code}"
    diff = verify(outdir, manifest, full_check, fold_case=tool in FOLDS_CASE)
    if diff:
        problem = f"{problem}; {diff}" if problem else diff
    shutil.rmtree(outdir)
    return RunResult(wall, rss, cpu, code, not problem, problem)


@dataclass
class Summary:
    fmt: str
    label: str
    output: str = ""
    runs: dict = field(default_factory=dict)  # tool -> [RunResult]
    load: list = field(default_factory=list)  # 1-minute load average before and after

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

    def pair_ratio(self, tool: str, reference: str) -> float | None:
        """Median over the repetitions of tool's wall time / reference's in the
        same repetition: the two ran seconds apart, so a load that
        changes during the run moves this less than the ratio of the medians."""
        a, b = self.runs.get(tool), self.runs.get(reference)
        if not a or not b:
            return None
        return statistics.median(x.wall / y.wall for x, y in zip(a, b) if y.wall > 0)

    def figures(self, tool: str) -> dict:
        return {"median_s": self.median(tool), "peak_rss_kib": self.peak(tool),
                "median_cpu_s": self.cpu(tool), "problems": self.problems(tool),
                "walls": [r.wall for r in self.runs[tool]],
                "rss_kib": [r.maxrss_kib for r in self.runs[tool]]}


def bench_set(ds: DataSet, fmt: str, reps: int, tools: list[str], out: Output, logdir: Path,
              pellora: Path, timeout: float, pin: int | None) -> Summary:
    s = Summary(fmt, ds.label, out.name, {t: [] for t in tools}, [os.getloadavg()[0]])
    archive = ds.archives[fmt]
    warm(archive)
    for i in range(reps):
        # Each tool goes first in turn, so none always runs after the same other.
        k = i % len(tools)
        order = tools[k:] + tools[:k]
        for tool in order:
            r = extract_once(tool, fmt, archive, ds.manifest, out, logdir, pellora,
                             full_check=(i == 0), timeout=timeout, pin=pin)
            s.runs[tool].append(r)
            status = "ok" if r.ok else f"PROBLEM: {r.problem}"
            log(f"    {out.name:5s} {ds.label:5s} {fmt:6s} {tool:10s} rep {i + 1}: {r.wall:7.3f} s  "
                f"{r.maxrss_kib / 1024:6.1f} MiB  cpu {r.cpu:6.2f} s  {status}")
    s.load.append(os.getloadavg()[0])
    return s


# --------------------------------------------------------------------------
# Goals and the baseline
# --------------------------------------------------------------------------

def load_baseline(path: Path) -> tuple[dict, dict]:
    """The ratios of an earlier run's --save-json file, keyed by (output, format),
    and that run's settings.  A file of this script's older layout (one output,
    in the work folder) counts as the disk output."""
    data = load_json(path)
    if not isinstance(data, dict):
        sys.exit(f"extract_bench: {path} is not a JSON file this script wrote")
    ratios: dict[tuple[str, str], float] = {}
    outputs = data.get("outputs")
    if not isinstance(outputs, dict):
        outputs = {"disk": {"formats": data.get("formats", {})}}
    for out, o in outputs.items():
        formats = o.get("formats", {}) if isinstance(o, dict) else {}
        for fmt, f in formats.items():
            r = f.get("ratio") if isinstance(f, dict) else None
            if isinstance(r, (int, float)) and r > 0:
                ratios[(out, fmt)] = float(r)
    if not ratios:
        sys.exit(f"extract_bench: {path} holds no ratio")
    return ratios, {"pinned": data.get("pinned", False), "reps": data.get("reps"),
                    "when": data.get("when"), "commit": data.get("commit")}


def ratio_goal(fmt: str, output: str) -> float:
    return TMPFS_GOALS.get(fmt, RATIO_GOAL) if output == "tmpfs" else RATIO_GOAL


def memory_verdict(small_kib: int | None, large_kib: int | None) -> tuple[str, bool | None]:
    """Text and verdict of pellora-arc's peak memory: at most the cap on the
    large archive, and flat from the small archive to the large one."""
    if small_kib is None or large_kib is None:
        return "n/a", None
    flat = large_kib - small_kib <= max(FLAT_ABS_KIB, small_kib * FLAT_REL)
    capped = large_kib <= RSS_CAP_KIB
    words = ["flat" if flat else "GROWS", "capped" if capped else "OVER CAP"]
    return f"{'PASS' if flat and capped else 'MISS'} ({', '.join(words)})", flat and capped


def git_commit() -> str | None:
    try:
        r = subprocess.run(["git", "-C", str(REPO_ROOT), "rev-parse", "--short", "HEAD"],
                           capture_output=True, text=True, timeout=10)
    except (OSError, subprocess.SubprocessError):
        return None
    return (r.stdout.strip() or None) if r.returncode == 0 else None


# --------------------------------------------------------------------------
# Main
# --------------------------------------------------------------------------

def parse_args(argv: list[str]) -> argparse.Namespace:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--work", type=Path, default=DEFAULT_WORK,
                    help=f"folder for generated trees, archives, logs and the disk output (default {DEFAULT_WORK})")
    ap.add_argument("--reps", type=int, default=7,
                    help=f"timed repetitions per tool and archive (default 7; goals need {MIN_REPS_FOR_GOALS})")
    ap.add_argument("--tool", type=Path, default=DEFAULT_TOOL, help=f"pellora-arc binary (default {DEFAULT_TOOL})")
    ap.add_argument("--formats", default=",".join(DEFAULT_FORMATS),
                    help=f"comma-separated subset of {','.join(FORMATS)} (default {','.join(DEFAULT_FORMATS)})")
    ap.add_argument("--outputs", default=",".join(OUTPUTS),
                    help="where the trees are extracted: tmpfs, disk or both (default tmpfs,disk)")
    ap.add_argument("--tmpfs-dir", type=Path, default=Path("/dev/shm"),
                    help="a tmpfs folder for the tmpfs output (default /dev/shm)")
    ap.add_argument("--size-mb", type=int, default=100,
                    help="size of the large tree in MB (default 100); the small tree is a quarter of it")
    ap.add_argument("--pin", type=int, nargs="?", const=0, default=None, metavar="CPU",
                    help="run every tool under taskset -c CPU (default CPU 0)")
    ap.add_argument("--baseline-json", type=Path,
                    help="an earlier run's --save-json file: print each ratio's factor against it")
    ap.add_argument("--timeout", type=float, default=600.0, help="seconds before one extraction is killed (default 600)")
    ap.add_argument("--save-json", "--json", dest="save_json", type=Path,
                    help="also write this run's figures and every measurement to this file")
    args = ap.parse_args(argv)
    args.formats = [f.strip().lower() for f in args.formats.split(",") if f.strip()]
    bad = [f for f in args.formats if f not in FORMATS]
    if bad or not args.formats:
        ap.error(f"unknown format(s): {', '.join(bad) or '(none)'}; choose from {', '.join(FORMATS)}")
    args.outputs = list(dict.fromkeys(o.strip().lower() for o in args.outputs.split(",") if o.strip()))
    bad = [o for o in args.outputs if o not in OUTPUTS]
    if bad or not args.outputs:
        ap.error(f"unknown output(s): {', '.join(bad) or '(none)'}; choose from {', '.join(OUTPUTS)}")
    if args.reps < 1:
        ap.error("--reps must be at least 1")
    if args.pin is not None and args.pin < 0:
        ap.error("--pin takes a CPU number")
    if not 4 <= args.size_mb <= 1500:
        ap.error("--size-mb must be between 4 and 1500 (a CAB folder holds at most 2 GB)")
    return args


def cell(seconds: float | None, bad: bool) -> str:
    if seconds is None:
        return f"{'-':>11s}"
    return f"{seconds:10.3f}{'!' if bad else ' '}"


def rss_cell(kib: int | None) -> str:
    return f"{'-':>11s}" if kib is None else f"{kib / 1024:10.1f} "


def main(argv: list[str]) -> int:
    args = parse_args(argv)
    work = args.work.resolve()
    if shutil.which("bsdtar") is None:
        sys.exit("extract_bench: bsdtar not found; install with "
                 "apt-get install -y --no-install-recommends libarchive-tools")
    if args.pin is not None:
        if shutil.which("taskset") is None:
            sys.exit("extract_bench: taskset not found; install with apt-get install -y util-linux")
        if args.pin not in os.sched_getaffinity(0):
            sys.exit(f"extract_bench: CPU {args.pin} is not available to this process "
                     f"(available: {sorted(os.sched_getaffinity(0))})")
    baseline, baseline_info = ({}, {})
    if args.baseline_json:
        baseline, baseline_info = load_baseline(args.baseline_json)
    pellora = args.tool.resolve()
    have_pellora = pellora.is_file() and os.access(pellora, os.X_OK)

    t_start = time.perf_counter()
    load_before = os.getloadavg()
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

    if not have_pellora:
        log(f"NOTE: {pellora} not found or not executable: measuring the peers only.")
        log("      Build it first: cmake -S . -B build -G Ninja && cmake --build build --target pellora-arc")
    peers = []
    for peer, (formats, cmd) in PEERS.items():
        if not set(formats) & set(args.formats):
            continue
        if shutil.which(cmd[0]) is None:
            log(f"NOTE: {cmd[0]} not found, skipped (Debian package {PACKAGES[peer]}).")
        else:
            peers.append(peer)
    tools_of = {fmt: (["pellora"] if have_pellora else []) + [p for p in peers if fmt in PEERS[p][0]]
                for fmt in args.formats}
    columns = [t for t in TOOLS if any(t in tools_of[f] for f in args.formats)]

    logdir = work / "scratch"
    logdir.mkdir(parents=True, exist_ok=True)
    outputs = pick_outputs(args.outputs, work, args.tmpfs_dir, int(large.size_mb * MIB * 1.2) + 64 * MIB)
    if not outputs:
        sys.exit("extract_bench: no output folder left to measure")
    for out in outputs:
        log(f"output {out.name:5s}: {out.root} ({out.fstype} on {out.mount})")
    pin_text = f"every tool pinned to CPU {args.pin} (taskset)" if args.pin is not None else "not pinned"
    log(f"{pin_text}; {os.cpu_count()} CPUs; load average before: "
        + " ".join(f"{x:.2f}" for x in load_before))
    if args.reps < MIN_REPS_FOR_GOALS:
        log(f"NOTE: {args.reps} repetition(s): the goals are judged on a median of at least "
            f"{MIN_REPS_FOR_GOALS}; the verdicts of this run are marked '?'.")

    results: dict[tuple[str, str], dict[str, Summary]] = {}
    try:
        floor = launcher_floor(logdir)
        log(f"peak RSS floor of the launcher (/bin/true): {floor / 1024:.1f} MiB")
        for fmt in args.formats:
            log(f"{fmt}:")
            for out in outputs:
                big = bench_set(large, fmt, args.reps, tools_of[fmt], out, logdir, pellora,
                                args.timeout, args.pin)
                # Only pellora-arc's memory on the small archive is asked for; it
                # hardly varies, so a few runs suffice.
                little = (bench_set(small, fmt, min(args.reps, 3), ["pellora"], out, logdir, pellora,
                                    args.timeout, args.pin) if have_pellora else None)
                results[(fmt, out.name)] = {"large": big, "small": little}
    finally:
        for out in outputs:
            if out.owned:
                shutil.rmtree(out.root, ignore_errors=True)
    load_after = os.getloadavg()

    # ------------------------------------------------------------------ report
    exit_code = 0
    unsure = "?" if args.reps < MIN_REPS_FOR_GOALS else ""
    summary_json: dict = {
        "when": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime()), "commit": git_commit(),
        "tool": str(pellora) if have_pellora else None, "pinned": args.pin is not None, "pin_cpu": args.pin,
        "reps": args.reps, "size_mb": large.size_mb, "small_mb": small.size_mb, "cpus": os.cpu_count(),
        "load_before": list(load_before), "load_after": list(load_after), "rss_floor_kib": floor,
        "baseline": {"file": str(args.baseline_json), **baseline_info} if args.baseline_json else None,
        "outputs": {out.name: {"path": str(out.root), "fstype": out.fstype, "mount": out.mount, "formats": {}}
                    for out in outputs},
    }

    log("")
    log(f"wall time: median of {args.reps} run(s) in seconds on the {large.size_mb} MB tree, {pin_text}; "
        f"ratio = pellora/bsdtar; pair r = median of the ratios within each repetition, cpu r = ratio of "
        f"the median user+sys times (both steadier on a busy machine, but no goal); "
        f"'!' = that tool's tree or exit status was wrong")
    if args.pin is not None:
        log(f"goal pinned: ratio at most {PINNED_FACTOR_GOAL:.2f} x the baseline's"
            + ("" if baseline else " (no --baseline-json: no verdict)"))
    else:
        log("goals: on tmpfs " + ", ".join(f"{f} <= {g:.2f}" for f, g in TMPFS_GOALS.items())
            + f"; otherwise <= {RATIO_GOAL:.2f}")
    if baseline:
        log(f"baseline {args.baseline_json}: {'pinned' if baseline_info['pinned'] else 'not pinned'}, "
            f"{baseline_info['reps']} reps, {baseline_info['when']}, commit {baseline_info['commit']}")
        if baseline_info["pinned"] != (args.pin is not None):
            log("NOTE: the baseline was " + ("" if baseline_info["pinned"] else "not ")
                + "pinned and this run is " + ("" if args.pin is not None else "not ") + "pinned.")
    header = f"{'fmt':6s} {'output':6s} " + "".join(f"{t:>11s}" for t in columns) + \
        f" {'ratio':>6s} {'goal':>6s} {'verdict':7s} {'pair r':>6s} {'cpu r':>6s}"
    if baseline:
        header += f" {'base':>6s} {'factor':>6s}"
    header += f" {'load':>9s}"
    log(header)
    for fmt in args.formats:
        for out in outputs:
            L = results[(fmt, out.name)]["large"]
            tp, tb = L.median("pellora"), L.median("bsdtar")
            ratio = tp / tb if tp is not None and tb else None
            cp, cb = L.cpu("pellora"), L.cpu("bsdtar")
            cpu_ratio = cp / cb if cp is not None and cb else None
            pair_ratio = L.pair_ratio("pellora", "bsdtar")
            base = baseline.get((out.name, fmt))
            factor = ratio / base if ratio is not None and base else None
            if args.pin is not None:
                goal_text = f"x{PINNED_FACTOR_GOAL:.2f}" if base else "-"
                met = None if factor is None else factor <= PINNED_FACTOR_GOAL
            else:
                goal = ratio_goal(fmt, out.name)
                goal_text = f"{goal:.2f}"
                met = None if ratio is None else ratio <= goal
            verdict = "n/a" if met is None else ("PASS" if met else "MISS") + unsure
            if met is False:
                exit_code = 1
            line = f"{fmt:6s} {out.name:6s} " + "".join(
                cell(L.median(t), bool(L.problems(t))) if t in L.runs else cell(None, False) for t in columns)
            line += f" {'%6.2f' % ratio if ratio is not None else '   n/a'} {goal_text:>6s} {verdict:7s}"
            line += "".join(f" {'%6.2f' % r if r is not None else '   n/a'}" for r in (pair_ratio, cpu_ratio))
            if baseline:
                line += f" {'%6.2f' % base if base else '   n/a'} {'%6.2f' % factor if factor else '   n/a'}"
            line += f" {L.load[0]:4.2f}-{L.load[-1]:4.2f}"
            log(line)
            summary_json["outputs"][out.name]["formats"][fmt] = {
                "ratio": ratio, "goal": None if args.pin is not None else ratio_goal(fmt, out.name),
                "met": met, "pair_ratio": pair_ratio, "cpu_ratio": cpu_ratio, "baseline_ratio": base, "factor": factor, "load": L.load,
            }

    log("")
    log(f"peak RSS in MiB (max over the runs, {large.size_mb} MB tree; the launcher alone: {floor / 1024:.1f}); "
        f"pellora-arc on {small.size_mb} MB -> {large.size_mb} MB, goal <= {RSS_CAP_KIB // 1024} MiB and flat")
    log(f"{'fmt':6s} {'output':6s} " + "".join(f"{t:>11s}" for t in columns) + f"   {'pellora small -> large':22s}  verdict")
    for fmt in args.formats:
        for out in outputs:
            L, S = results[(fmt, out.name)]["large"], results[(fmt, out.name)]["small"]
            rp_s = S.peak("pellora") if S else None
            rp_l = L.peak("pellora")
            mem_text, mem_ok = memory_verdict(rp_s, rp_l)
            if mem_ok is False:
                exit_code = 1
            span = f"{fmt_mib(rp_s)} -> {fmt_mib(rp_l)}" if rp_s is not None and rp_l is not None else "n/a"
            log(f"{fmt:6s} {out.name:6s} " + "".join(rss_cell(L.peak(t)) for t in columns)
                + f"   {span:22s}  {mem_text}")
            entry = summary_json["outputs"][out.name]["formats"][fmt]
            entry["pellora_rss_small_kib"], entry["pellora_rss_large_kib"] = rp_s, rp_l
            entry["memory_met"] = mem_ok
            entry["large"] = {t: L.figures(t) for t in L.runs}
            entry["small"] = {t: S.figures(t) for t in S.runs} if S else {}

    log("")
    any_problem = False
    for fmt in args.formats:
        for out in outputs:
            sums = [s for s in results[(fmt, out.name)].values() if s]
            for tool in columns:
                for s in sums:
                    for p in s.problems(tool):
                        any_problem = True
                        counts = "" if tool in ("pellora", "bsdtar") else " (a peer: not counted in the exit status)"
                        log(f"DIFFERENT {fmt} {out.name} {s.label} {tool}: {p}{counts}")
                        if tool in ("pellora", "bsdtar"):
                            exit_code = 1
    if not any_problem:
        log("checks: every tool's tree matched the source (names and sizes every run, SHA-256 of every file "
            "on each tool's first run per format and output, a sample later)")
    noisy = [f"{fmt} {out.name} {t}" for fmt in args.formats for out in outputs
             for t in results[(fmt, out.name)]["large"].runs
             if results[(fmt, out.name)]["large"].spread(t) > NOISY_SPREAD]
    if noisy:
        log(f"note: wall times spread more than {NOISY_SPREAD:.0%} around the median for "
            f"{', '.join(noisy)}; a ratio near the goal is not conclusive: "
            + ("rerun with --reps 9" if args.reps < 9 else "is the machine busy? (see the load and cpu lines)"))
    for out in outputs:
        log(f"cpu (user+sys, median, large tree, {out.name}): " + "; ".join(
            f"{fmt} " + " / ".join(f"{t} {results[(fmt, out.name)]['large'].cpu(t):.2f}"
                                   for t in results[(fmt, out.name)]["large"].runs)
            for fmt in args.formats))
    log("load average after: " + " ".join(f"{x:.2f}" for x in load_after))
    log(f"last outputs of each tool are in {logdir}/*.log; total time {time.perf_counter() - t_start:.0f} s")
    if args.save_json:
        args.save_json.write_text(json.dumps(summary_json, indent=1))
        log(f"figures written to {args.save_json}")
    if not have_pellora:
        return 2
    return exit_code


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
