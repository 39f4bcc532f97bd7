#!/usr/bin/env python3
"""Start-up benchmark: how long `pellora ARCHIVE` takes, next to a peer measured in the same run.

Run by hand (it is not part of ctest):

    python3 bench/startup_bench.py [--pellora PATH] [--bare PATH] [--reps N]
                                   [--format zip|lzh|cab] [--json FILE] [--keep]

Two measurements, each the wall time of whole runs (median of N, the two
sides taking turns going first):

1. Start-up matching: ITEM.DAT with 100,000 items against ITEM.DAT with 10
   items. In both the archive matches exactly one item, the last one, so every
   pattern is tested. Goal: the large list adds less than 100 ms.
2. One match end to end: pellora extracting a small archive (no result
   window, no progress window, nothing done with the archive afterwards)
   against a bare Qt Widgets program that creates its QApplication and quits.
   Goal: pellora takes at most 1.2 times as long.

Every run is isolated: its own copy of the executable with its own ITEM.DAT
beside it (a portable copy), XDG_CONFIG_HOME, XDG_DATA_HOME and
XDG_RUNTIME_DIR inside a scratch folder, QT_QPA_PLATFORM=offscreen, and an
empty target folder. Each pellora run must exit 0 and leave exactly the
archive's files, with the right contents, in the target folder.

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
import sys
import tempfile
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path

REPO_ROOT = Path(__file__).resolve().parent.parent
DEFAULT_PELLORA = REPO_ROOT / "build" / "src" / "pellora"
DEFAULT_BARE = REPO_ROOT / "build" / "bench" / "pellora-bench-bare"
FIXTURES = REPO_ROOT / "tests" / "data"

LARGE_ITEMS = 100_000
SMALL_ITEMS = 10
MATCHING_GOAL_S = 0.100  # the large list may add less than this
RATIO_GOAL = 1.2  # pellora / bare Qt program, at most
NOISY_SPREAD = 0.10  # interquartile range / median above this: say the figure is noisy
RUN_TIMEOUT_S = 30.0  # a run that shows a window waits for ever; kill it then
WARMUP_RUNS = 2
# Pause before every run. Right after a 100,000-item run has given back its
# memory, the next run is slowed by some 5 to 15 ms on a 2-core machine (the
# kernel is still reclaiming and zeroing pages); with this pause the middle half
# of each side's runs lies within a few percent.
SETTLE_S = 0.3
SEED = 20240611

# The small archive of each format, from the test fixtures, and the setting
# that holds its no-progress switch. The value begins with a blank because the
# program appends it to its own switches; the INI file keeps that blank only
# inside double quotes (QSettings trims unquoted values).
ARCHIVES = {
    "zip": ("zip/deflate.zip", "UnzipCommandLine", " --i"),
    "lzh": ("lzh/lh5.lzh", "UnlhaCommandLine", " -n"),
    "cab": ("cab/mszip.cab", "CabCommandLine", " -i"),
}


def log(msg: str = "") -> None:
    print(msg, flush=True)


def ms(seconds: float) -> str:
    return f"{seconds * 1000:.1f}"


# --------------------------------------------------------------------------
# The item list
# --------------------------------------------------------------------------

def pattern_regex(pattern: str) -> re.Pattern | None:
    """The item pattern language as a Python regex, to make sure no generated
    pattern matches the archive by accident: * any run, ? any one character,
    # one digit, [a-c] / [!a-c] a list, compared without regard to case.
    None for a malformed pattern (which matches nothing)."""
    out, i, n = [], 0, len(pattern)
    while i < n:
        c = pattern[i]
        if c == "*":
            out.append(".*")
        elif c == "?":
            out.append(".")
        elif c == "#":
            out.append("[0-9]")
        elif c == "[":
            k = i + 1
            negated = k < n and pattern[k] == "!"
            if negated:
                k += 1
            parts = []
            while k < n and pattern[k] != "]":
                if k + 2 < n and pattern[k + 1] == "-" and pattern[k + 2] != "]":
                    if pattern[k] > pattern[k + 2]:
                        return None
                    parts.append(re.escape(pattern[k]) + "-" + re.escape(pattern[k + 2]))
                    k += 3
                else:
                    parts.append(re.escape(pattern[k]))
                    k += 1
            if k >= n:
                return None
            out.append("[" + ("^" if negated else "") + "".join(parts) + "]" if parts
                       else ("." if negated else "(?!)"))
            i = k
        else:
            out.append(re.escape(c))
        i += 1
    return re.compile("".join(out), re.IGNORECASE | re.DOTALL) if out else None


SYLLABLES = ["ka", "ki", "ku", "ke", "ko", "sa", "shi", "su", "ta", "chi", "to", "na", "ni", "no", "ha",
             "hi", "fu", "ma", "mi", "mo", "ya", "yu", "ra", "ri", "ro", "wa", "zip", "lha", "win",
             "text", "view", "edit", "tool", "arc", "pic", "snd", "net", "mail", "clip", "tab"]
JA_WORDS = ["ツール", "エディタ", "ビューア", "アーカイバ", "画像", "音楽", "辞書", "フォント", "ランチャー", "時計"]
EXTS = ["lzh", "zip", "cab", "LZH", "ZIP"]


def realistic_items(count: int, archive_name: str, rng: random.Random) -> list[tuple[str, str, str, str]]:
    """`count` items none of whose patterns matches `archive_name`, in the
    shapes people write: prefix and star, version digits, single-character
    wildcards, character lists, a leading star, a plain file name."""
    items = []
    n = 0
    while len(items) < count:
        n += 1
        word = "".join(rng.choice(SYLLABLES) for _ in range(rng.randint(1, 3)))
        ext = rng.choice(EXTS)
        shape = n % 10
        if shape == 0:
            pattern = f"tool{n:05d}*.{ext}"
        elif shape == 1:
            pattern = f"app-{n % 10000:04d}-?.{ext}"
        elif shape == 2:
            pattern = f"[a-c]{word}#.{ext}"
        elif shape == 3:
            pattern = f"{word}{n}_v##.{ext}"
        elif shape == 4:
            pattern = f"*{word}{n}*.{ext}"
        elif shape == 5:
            pattern = f"{word}{n % 1000}[0-9][0-9].{ext}"
        elif shape == 6:
            pattern = f"{word}[!x]{n}*.{ext}"
        elif shape == 7:
            pattern = f"{word}{n}.{ext}"
        elif shape == 8:
            pattern = f"{word.upper()}?{n % 100}*.{ext}"
        else:
            pattern = f"{word}*{n}.{ext}"
        rx = pattern_regex(pattern)
        if rx is not None and rx.fullmatch(archive_name):
            continue
        title = f"{word.capitalize()} {n}" if n % 3 else f"{rng.choice(JA_WORDS)}{n}"
        folder = f"/home/user/Apps/{word.capitalize()}{n}/" if n % 4 else f"/home/user/ソフト/{title}/"
        related = ("", "readme.txt", f"{word}.txt", "README.md")[n % 4]
        items.append((title, pattern, folder, related))
    return items


def write_item_file(path: Path, items: list[tuple[str, str, str, str]]) -> None:
    lines = ['"' + '","'.join(fields) + '"\r\n' for fields in items]
    for fields in items:
        assert not any('"' in f or "\r" in f or "\n" in f for f in fields), fields
    path.write_bytes("".join(lines).encode("utf-8"))


# --------------------------------------------------------------------------
# Isolated runs
# --------------------------------------------------------------------------

@dataclass
class Sandbox:
    """One scratch folder: a copy of a program, its own ITEM.DAT, settings,
    data and runtime folders, the archive and the target folder."""
    root: Path
    program: Path
    archive: Path | None = None
    target: Path | None = None
    env: dict = field(default_factory=dict)
    log_file: Path | None = None


def make_sandbox(root: Path, program: Path, settings: dict[str, str] | None) -> Sandbox:
    if root.exists():
        shutil.rmtree(root)
    for sub in ("app", "config/Vorn", "data", "runtime", "cache", "dl", "target"):
        (root / sub).mkdir(parents=True)
    (root / "runtime").chmod(0o700)
    copy = root / "app" / program.name
    shutil.copy2(program, copy)
    copy.chmod(0o755)
    if settings is not None:
        text = "[General]\n" + "".join(f"{k}={v}\n" for k, v in settings.items())
        (root / "config" / "Vorn" / "Pellora.conf").write_text(text, encoding="utf-8")
    env = {
        "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
        "HOME": str(root),
        "LANG": "C.UTF-8",
        "LC_ALL": "C.UTF-8",
        "XDG_CONFIG_HOME": str(root / "config"),
        "XDG_DATA_HOME": str(root / "data"),
        "XDG_CACHE_HOME": str(root / "cache"),
        "XDG_RUNTIME_DIR": str(root / "runtime"),
        "QT_QPA_PLATFORM": "offscreen",
    }
    return Sandbox(root, copy, env=env, log_file=root / "run.log")


def spawn_timed(argv: list[str], env: dict, log_file: Path, cwd: Path) -> tuple[float, float, int]:
    """Run argv with stdin from /dev/null and stdout+stderr to log_file.
    Returns (wall seconds, user+sys CPU seconds, exit code; negative = signal)."""
    actions = [
        (os.POSIX_SPAWN_OPEN, 0, "/dev/null", os.O_RDONLY, 0),
        (os.POSIX_SPAWN_OPEN, 1, str(log_file), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644),
        (os.POSIX_SPAWN_DUP2, 1, 2),
    ]
    time.sleep(SETTLE_S)
    old_cwd = os.getcwd()
    os.chdir(cwd)  # posix_spawn has no cwd; the run's current folder is its sandbox
    try:
        t0 = time.perf_counter()
        pid = os.posix_spawn(argv[0], argv, env, file_actions=actions)
    finally:
        os.chdir(old_cwd)
    def kill() -> None:
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass

    timer = threading.Timer(RUN_TIMEOUT_S, kill)
    timer.start()
    try:
        _pid, status, ru = os.wait4(pid, 0)
        wall = time.perf_counter() - t0
    finally:
        timer.cancel()
    return wall, ru.ru_utime + ru.ru_stime, os.waitstatus_to_exitcode(status)


@dataclass
class Run:
    wall: float
    cpu: float
    problem: str = ""


class PelloraCase:
    """pellora started on one archive that matches one item of its list."""

    def __init__(self, root: Path, program: Path, fmt: str, items: list[tuple[str, str, str, str]],
                 expected: dict[str, str]):
        fixture, key, value = ARCHIVES[fmt]
        settings = {
            "NoLog": "1",
            "ArchiveOperation": "0",
            "RunExplorer": "0",
            key: f'"{value}"',
        }
        self.box = make_sandbox(root, program, settings)
        self.source = FIXTURES / fixture
        self.box.archive = self.box.root / "dl" / self.source.name
        self.box.target = self.box.root / "target"
        self.expected = expected
        # The matching item comes last, so every pattern before it is tried.
        stem, ext = self.source.stem, self.source.suffix.lstrip(".")
        match = ("Bench target", f"{stem}*.{ext.upper()}", str(self.box.target) + "/", "")
        self.items = items + [match]
        write_item_file(self.box.root / "app" / "ITEM.DAT", self.items)
        self.item_file_bytes = (self.box.root / "app" / "ITEM.DAT").stat().st_size

    def prepare(self) -> None:
        """Empty target folder, fresh copy of the archive."""
        shutil.rmtree(self.box.target)
        self.box.target.mkdir()
        if not self.box.archive.exists() or self.box.archive.stat().st_size != self.source.stat().st_size:
            shutil.copy2(self.source, self.box.archive)

    def check(self, code: int) -> str:
        problems = []
        if code != 0:
            problems.append(f"exit {code}" if code > 0 else f"killed by signal {-code}"
                            + (" (timed out: a window was left open?)" if code == -signal.SIGKILL else ""))
        have = {}
        for dirpath, _dirs, names in os.walk(self.box.target):
            for name in names:
                p = Path(dirpath, name)
                have[p.relative_to(self.box.target).as_posix()] = p
        missing = sorted(set(self.expected) - set(have))
        extra = sorted(set(have) - set(self.expected))
        if missing:
            problems.append(f"{len(missing)} file(s) not extracted (e.g. {missing[0]})")
        if extra:
            problems.append(f"{len(extra)} unexpected file(s) (e.g. {extra[0]})")
        for rel in sorted(set(self.expected) & set(have)):
            if hashlib.sha256(have[rel].read_bytes()).hexdigest() != self.expected[rel]:
                problems.append(f"{rel} has the wrong contents")
                break
        if not self.box.archive.exists():
            problems.append("the archive is gone although ArchiveOperation=0")
        # A record pellora cannot read is dropped with a warning: the list
        # would be shorter than written, and the run faster than it should be.
        output = self.box.log_file.read_text(encoding="utf-8", errors="replace")
        if "malformed item record" in output:
            problems.append("pellora skipped records of ITEM.DAT as malformed")
        if problems:
            problems.append(f"see {self.box.log_file}")
        return "; ".join(problems)

    def run(self) -> Run:
        self.prepare()
        wall, cpu, code = spawn_timed([str(self.box.program), str(self.box.archive)], self.box.env,
                                      self.box.log_file, self.box.root)
        return Run(wall, cpu, self.check(code))


class BareCase:
    """The bare Qt Widgets program, with the same kind of environment."""

    def __init__(self, root: Path, program: Path):
        self.box = make_sandbox(root, program, None)

    def run(self) -> Run:
        wall, cpu, code = spawn_timed([str(self.box.program)], self.box.env, self.box.log_file, self.box.root)
        return Run(wall, cpu, "" if code == 0 else f"exit {code}; see {self.box.log_file}")


# --------------------------------------------------------------------------
# Measuring
# --------------------------------------------------------------------------

@dataclass
class Series:
    label: str
    runs: list[Run] = field(default_factory=list)

    @property
    def walls(self) -> list[float]:
        return [r.wall for r in self.runs]

    def median(self) -> float:
        return statistics.median(self.walls)

    def cpu(self) -> float:
        return statistics.median(r.cpu for r in self.runs)

    def quartiles(self) -> tuple[float, float]:
        w = self.walls
        if len(w) < 2:
            return w[0], w[0]
        q = statistics.quantiles(w, n=4, method="inclusive")
        return q[0], q[2]

    def spread(self) -> float:
        """Interquartile range / median: how far the middle half of the runs
        lies apart. Unlike max - min it ignores one run slowed by the machine."""
        q1, q3 = self.quartiles()
        return (q3 - q1) / self.median()

    def problems(self) -> list[str]:
        return sorted({r.problem for r in self.runs if r.problem})

    def describe(self) -> str:
        w = self.walls
        q1, q3 = self.quartiles()
        return (f"{self.label}: median {ms(self.median())} ms (min {ms(min(w))}, "
                f"quartiles {ms(q1)}-{ms(q3)}, max {ms(max(w))}; cpu {ms(self.cpu())} ms)")

    def as_json(self) -> dict:
        q1, q3 = self.quartiles()
        return {"median_s": self.median(), "min_s": min(self.walls), "max_s": max(self.walls),
                "quartiles_s": [q1, q3],
                "median_cpu_s": self.cpu(), "walls_s": self.walls, "cpu_s": [r.cpu for r in self.runs],
                "problems": self.problems()}


def measure_pair(a, b, sa: Series, sb: Series, reps: int, verbose: bool) -> None:
    """Warm both up (untimed, but checked), then `reps` timed runs of each, the
    two taking turns going first."""
    for case, series in ((a, sa), (b, sb)):
        for _ in range(WARMUP_RUNS):
            r = case.run()
            if r.problem:
                series.runs.append(r)  # reported like a timed failure
                return
    for i in range(reps):
        order = ((a, sa), (b, sb)) if i % 2 == 0 else ((b, sb), (a, sa))
        for case, series in order:
            r = case.run()
            series.runs.append(r)
            if verbose or r.problem:
                log(f"    rep {i + 1:2d} {series.label:22s} {ms(r.wall):>7s} ms  cpu {ms(r.cpu):>6s} ms"
                    + (f"  PROBLEM: {r.problem}" if r.problem else ""))


def expected_files(fixture: str) -> dict[str, str]:
    manifest = json.loads((FIXTURES / "fixtures.json").read_text(encoding="utf-8"))
    for entry in manifest:
        if entry.get("file") == fixture:
            return dict(entry["files"])
    sys.exit(f"startup_bench: {fixture} is not in {FIXTURES / 'fixtures.json'}")


def parse_args(argv: list[str]) -> argparse.Namespace:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--pellora", type=Path, default=DEFAULT_PELLORA,
                    help=f"the pellora executable (default {DEFAULT_PELLORA})")
    ap.add_argument("--bare", type=Path, default=DEFAULT_BARE,
                    help=f"the bare Qt program, target pellora-bench-bare (default {DEFAULT_BARE})")
    ap.add_argument("--reps", type=int, default=15, help="timed runs per side; the median counts (default 15)")
    ap.add_argument("--format", choices=sorted(ARCHIVES), default="zip",
                    help="which small archive to extract (default zip: tests/data/zip/deflate.zip)")
    ap.add_argument("--json", type=Path, help="also write every measurement to this file")
    ap.add_argument("--keep", action="store_true",
                    help="keep the scratch folder and say where it is (it is always kept after a failed run)")
    ap.add_argument("-v", "--verbose", action="store_true", help="print every run")
    args = ap.parse_args(argv)
    if args.reps < 1:
        ap.error("--reps must be at least 1")
    return args


def main(argv: list[str]) -> int:
    args = parse_args(argv)
    for what, path, target in (("pellora", args.pellora, "pellora"), ("bare Qt program", args.bare,
                                                                      "pellora-bench-bare")):
        if not (path.is_file() and os.access(path, os.X_OK)):
            log(f"startup_bench: {what} not found or not executable: {path}")
            log(f"  build it: cmake --build build --target {target}"
                + ("  (bench/ must be added to the top-level CMakeLists.txt)" if target != "pellora" else ""))
            return 2
    fixture = ARCHIVES[args.format][0]
    expected = expected_files(fixture)
    archive_name = Path(fixture).name

    t_start = time.perf_counter()
    scratch = Path(tempfile.mkdtemp(prefix="pellora-startup-bench-"))
    keep = args.keep
    try:
        rng = random.Random(SEED)
        others = realistic_items(LARGE_ITEMS - 1, archive_name, rng)
        small = PelloraCase(scratch / "items-10", args.pellora, args.format, others[:SMALL_ITEMS - 1], expected)
        large = PelloraCase(scratch / "items-100000", args.pellora, args.format, others, expected)
        bare = BareCase(scratch / "bare", args.bare)
        log(f"pellora: {args.pellora}")
        log(f"bare:    {args.bare}")
        log(f"archive: {fixture} ({len(expected)} files), {args.reps} timed runs per side after "
            f"{WARMUP_RUNS} untimed, scratch {scratch}")
        log(f"ITEM.DAT: {len(small.items)} items ({small.item_file_bytes} bytes) and "
            f"{len(large.items):,} items ({large.item_file_bytes / 1e6:.1f} MB); the match is the last item")
        log("")

        log("1. start-up matching (10 items against 100,000) ...")
        s_small, s_large = Series(f"{SMALL_ITEMS} items"), Series(f"{LARGE_ITEMS:,} items")
        measure_pair(small, large, s_small, s_large, args.reps, args.verbose)
        log("2. one match end to end (pellora against the bare Qt program) ...")
        s_pellora, s_bare = Series(f"pellora, {SMALL_ITEMS} items"), Series("bare Qt program")
        measure_pair(small, bare, s_pellora, s_bare, args.reps, args.verbose)
        log("")

        exit_code = 0
        problems = [f"{s.label}: {p}" for s in (s_small, s_large, s_pellora, s_bare) for p in s.problems()]
        result: dict = {"pellora": str(args.pellora), "bare": str(args.bare), "archive": fixture,
                        "reps": args.reps, "items": [SMALL_ITEMS, LARGE_ITEMS]}
        if problems:
            keep = True  # the logs named below are in it
            for p in problems:
                log(f"FAILED RUN  {p}")
            log("")
            exit_code = 1
        if s_small.runs and s_large.runs and not (s_small.problems() or s_large.problems()):
            extra = s_large.median() - s_small.median()
            verdict = "PASS" if extra < MATCHING_GOAL_S else "MISS"
            per_item_us = extra / (LARGE_ITEMS - SMALL_ITEMS) * 1e6
            extra_cpu = s_large.cpu() - s_small.cpu()
            log(f"matching     {LARGE_ITEMS:,} items add {ms(extra)} ms over {SMALL_ITEMS} "
                f"({per_item_us:.2f} us per item; cpu +{ms(extra_cpu)} ms); goal < {ms(MATCHING_GOAL_S)} ms  {verdict}")
            log(f"               {s_small.describe()}")
            log(f"               {s_large.describe()}")
            result["matching"] = {"extra_s": extra, "extra_cpu_s": extra_cpu, "goal_s": MATCHING_GOAL_S,
                                  "verdict": verdict,
                                  "small": s_small.as_json(), "large": s_large.as_json()}
            exit_code = exit_code or (0 if verdict == "PASS" else 1)
        if s_pellora.runs and s_bare.runs and not (s_pellora.problems() or s_bare.problems()):
            ratio = s_pellora.median() / s_bare.median()
            verdict = "PASS" if ratio <= RATIO_GOAL else "MISS"
            cpu_ratio = s_pellora.cpu() / s_bare.cpu() if s_bare.cpu() > 0 else float("nan")
            log(f"end to end   pellora {ms(s_pellora.median())} ms / bare Qt {ms(s_bare.median())} ms = "
                f"{ratio:.2f} (cpu {cpu_ratio:.2f}); goal <= {RATIO_GOAL:.2f}  {verdict}")
            log(f"               {s_pellora.describe()}")
            log(f"               {s_bare.describe()}")
            result["end_to_end"] = {"ratio": ratio, "cpu_ratio": cpu_ratio, "goal": RATIO_GOAL, "verdict": verdict,
                                    "pellora": s_pellora.as_json(), "bare": s_bare.as_json()}
            exit_code = exit_code or (0 if verdict == "PASS" else 1)
        noisy = [s.label for s in (s_small, s_large, s_pellora, s_bare) if s.runs and s.spread() > NOISY_SPREAD]
        if noisy:
            log(f"note: the middle half of the wall times spans more than {NOISY_SPREAD:.0%} of the median for "
                f"{', '.join(noisy)}; a figure near its goal is not conclusive: "
                + ("rerun with --reps 31" if args.reps < 31 else "is the machine busy?"))
        log(f"total time {time.perf_counter() - t_start:.0f} s")
        if args.json:
            args.json.write_text(json.dumps(result, indent=1), encoding="utf-8")
        return exit_code
    finally:
        if keep:
            log(f"scratch kept in {scratch}")
        else:
            shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
