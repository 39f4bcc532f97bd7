#!/usr/bin/env python3
"""Recreate the archive fixtures under tests/data/ and the manifest fixtures.json.

Run from the repository root:

    python3 tests/data/make_fixtures.py            # regenerate everything
    python3 tests/data/make_fixtures.py --check    # regenerate, then list each
                                                   # fixture with bsdtar

Only the Python standard library is used, plus these command-line archivers
(Debian packages in brackets): jlha [jlha-utils], zip [zip], 7z [p7zip-full],
gcab [gcab], tar [tar], gzip [gzip], bzip2 [bzip2], xz [xz-utils], zstd
[zstd], lz4 [lz4] and, for --check, bsdtar [libarchive-tools].

Whatever a real archiver can write is written by that archiver, so the tests
see the bytes that users will meet.  The rest -- old LZH header levels,
Shift_JIS names without any charset marker, hostile names, symlinks, damaged
data -- is written byte by byte here, because no well-behaved tool produces it.

All timestamps are 2020-01-02 03:04:06 UTC and all "random" content comes from
a fixed seed, so a rerun gives byte-identical files as long as the tools keep
their output stable.
"""

import argparse
import calendar
import hashlib
import json
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
STAMP = (2020, 1, 2, 3, 4, 6)
EPOCH = calendar.timegm(STAMP + (0, 0, 0))
SEED = 20200102

# Tools run in a fixed, UTF-8 environment.  TZ matters because zip and gcab
# store local DOS times; LANG matters because jlha reads file names through
# the JVM's idea of the file system encoding.
TOOL_ENV = dict(os.environ, TZ="UTC", LANG="C.UTF-8", LC_ALL="C.UTF-8")
TOOL_ENV.pop("JAVA_TOOL_OPTIONS", None)

MANIFEST = []


# --------------------------------------------------------------------------
# small helpers

def sha256(data):
    return hashlib.sha256(data).hexdigest()


def dos_datetime(stamp=STAMP):
    y, mo, d, h, mi, s = stamp
    return ((h << 11) | (mi << 5) | (s // 2)), (((y - 1980) << 9) | (mo << 5) | d)


def run(cmd, cwd, extra_env=None):
    env = dict(TOOL_ENV)
    if extra_env:
        env.update(extra_env)
    res = subprocess.run(cmd, cwd=cwd, env=env, stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE)
    if res.returncode != 0:
        sys.exit("command failed: %s\n%s%s" % (" ".join(cmd),
                 res.stdout.decode(errors="replace"),
                 res.stderr.decode(errors="replace")))
    return res


def need_tools(names):
    missing = [n for n in names if shutil.which(n) is None]
    if missing:
        sys.exit("missing tools: %s (apt-get install jlha-utils zip p7zip-full "
                 "gcab libarchive-tools)" % ", ".join(missing))


def write_fixture(rel, data):
    path = os.path.join(HERE, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    return path


def read(path):
    with open(path, "rb") as f:
        return f.read()


def add(file, kind, about, data, list_=None, files=None, dirs=None,
        refused=None, damaged=None, notes=None, with_jc=None):
    """Write one fixture and record what a careful extractor must do with it."""
    if kind == "LZH" and list_ is not None:
        lzh_self_check(file, data, list_)
    write_fixture(file, data)
    assert all(e["about"] != about for e in MANIFEST), "row names must be unique"
    entry = {"file": file, "kind": kind, "about": about}
    if list_ is not None:
        entry["list"] = [[size, name] for size, name in list_]
    if files is not None:
        entry["files"] = {name: sha256(content) for name, content in files.items()}
    if dirs:
        entry["dirs"] = list(dirs)
    if refused:
        entry["refused"] = list(refused)
    if damaged:
        entry["damaged"] = list(damaged)
    if with_jc is not None:
        jc_files, skipped = with_jc
        entry["with_jc"] = {
            "files": {name: sha256(content) for name, content in jc_files.items()},
            "skipped": [list(s) for s in skipped]}
    if notes:
        entry["notes"] = notes
    MANIFEST.append(entry)


def make_tree(root, files, dirs=()):
    """Lay out files (name -> bytes) under root with fixed modes and times."""
    all_dirs = set(dirs)
    for name in files:
        parts = name.split("/")[:-1]
        for i in range(1, len(parts) + 1):
            all_dirs.add("/".join(parts[:i]))
    for d in sorted(all_dirs):
        os.makedirs(os.path.join(root, d), exist_ok=True)
    for name, content in files.items():
        p = os.path.join(root, name)
        with open(p, "wb") as f:
            f.write(content)
        os.chmod(p, 0o644)
        os.utime(p, (EPOCH, EPOCH))
    # Directories last: creating files inside them bumps their times.
    for d in sorted(all_dirs, key=lambda s: -s.count("/")):
        p = os.path.join(root, d)
        os.chmod(p, 0o755)
        os.utime(p, (EPOCH, EPOCH))


# --------------------------------------------------------------------------
# content

RNG = random.Random(SEED)

WORDS = ("archive header method level extract folder window table bytes "
         "checksum stream decode encode offset length block dictionary "
         "entry name path Pellora lzh zip cab huffman literal match "
         "distance position buffer").split()


def prose(nbytes, rng=RNG):
    """Readable, compressible text of exactly nbytes bytes."""
    out, line = [], []
    size = 0
    while size < nbytes:
        line.append(rng.choice(WORDS))
        if len(" ".join(line)) > 66:
            text = " ".join(line) + ".\n"
            out.append(text)
            size += len(text)
            line = []
    return "".join(out).encode("ascii")[:nbytes]


def noise(nbytes, rng=RNG):
    return bytes(rng.getrandbits(8) for _ in range(nbytes))


README = b"Pellora test archive: read me first.\n"
_first = prose(34000)
# The tail repeats the start 34000 bytes back: farther than the 8 KiB lh5
# window and the 32 KiB lh6 window, so lh7 can really use its 64 KiB reach.
MANUAL = _first + _first[:6000]
DATA = noise(3000)
DEEP = b"three folders down\n"

COMMON_FILES = {
    "readme.txt": README,
    "doc/manual.txt": MANUAL,
    "doc/data.bin": DATA,
    "empty.txt": b"",
    "deep/a/b/c.txt": DEEP,
}
COMMON_DIRS = ["doc", "deep", "deep/a", "deep/a/b"]
# Archive order used for LZH and Info-ZIP archives (folders get entries).
COMMON_ORDER = ["readme.txt", "doc/", "doc/manual.txt", "doc/data.bin",
                "empty.txt", "deep/", "deep/a/", "deep/a/b/", "deep/a/b/c.txt"]


def common_list(order=COMMON_ORDER):
    return [(0 if n.endswith("/") else len(COMMON_FILES[n]), n) for n in order]


GOOD = b"This file is harmless and must be extracted.\n"

# Shift_JIS names whose second byte is 0x5C ("\"): ソ = 83 5C, 表 = 95 5C.
SJ_README = "ソフト説明.txt"
SJ_DIR = "表示"
SJ_SOURCE = "表示/ソース.txt"
SJ_README_DATA = "ソフトの説明です。\nShift_JIS names in this archive.\n".encode("utf-8")
SJ_SOURCE_DATA = prose(3000)


def sjis(name):
    b = name.encode("cp932")
    assert b"\x5c" in b or "ソ" not in name
    return b


# --------------------------------------------------------------------------
# LZH

def crc16(data, crc=0):
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


class LzhEntry:
    """One parsed LZH member (header fields plus raw body)."""

    def __init__(self, **kw):
        self.__dict__.update(kw)

    @property
    def is_dir(self):
        return self.method == b"-lhd-"

    def raw_path(self):
        """dirname + filename as raw bytes; level 1/2 dirs use '/' here."""
        return self.dirname + self.filename


def _exts(d, q):
    """Read level-1/2 extended headers starting at the size field at q."""
    exts = []
    while True:
        size = struct.unpack_from("<H", d, q)[0]
        if size == 0:
            return exts, q + 2
        exts.append((d[q + 2], d[q + 3:q + size]))
        q += size


def parse_lzh(d):
    """Parse LZH members of header level 0, 1 and 2 (enough for our checks)."""
    entries, p = [], 0
    while p < len(d) and d[p] != 0:
        level = d[p + 20]
        method = d[p + 2:p + 7]
        if level == 0:
            hs = d[p] + 2
            assert sum(d[p + 2:p + hs]) & 0xFF == d[p + 1], "level-0 header sum"
            comp, orig = struct.unpack_from("<II", d, p + 7)
            nl = d[p + 21]
            name = d[p + 22:p + 22 + nl]
            crc = struct.unpack_from("<H", d, p + 22 + nl)[0]
            e = LzhEntry(level=0, method=method, comp=comp, orig=orig, crc=crc,
                         dirname=b"", filename=name, exts=[], os_id=None,
                         attr=d[p + 19])
            body_at = p + hs
        elif level == 1:
            hs = d[p] + 2
            assert sum(d[p + 2:p + hs]) & 0xFF == d[p + 1], "level-1 header sum"
            skip, orig = struct.unpack_from("<II", d, p + 7)
            nl = d[p + 21]
            name = d[p + 22:p + 22 + nl]
            crc = struct.unpack_from("<H", d, p + 22 + nl)[0]
            exts, body_at = _exts(d, p + hs - 2)
            comp = skip - (body_at - (p + hs))
            e = LzhEntry(level=1, method=method, comp=comp, orig=orig, crc=crc,
                         dirname=b"", filename=name, exts=exts,
                         os_id=d[p + 24 + nl], attr=d[p + 19])
        elif level == 2:
            hs = struct.unpack_from("<H", d, p)[0]
            comp, orig = struct.unpack_from("<II", d, p + 7)
            crc = struct.unpack_from("<H", d, p + 21)[0]
            exts, _ = _exts(d, p + 24)
            e = LzhEntry(level=2, method=method, comp=comp, orig=orig, crc=crc,
                         dirname=b"", filename=b"", exts=exts, os_id=d[p + 23],
                         attr=d[p + 19])
            body_at = p + hs
            # the whole header, with its own CRC field zeroed, must check out
            hdr = bytearray(d[p:p + hs])
            q = p + 24
            while True:
                size = struct.unpack_from("<H", d, q)[0]
                if size == 0:
                    break
                if d[q + 2] == 0x00:
                    want = struct.unpack_from("<H", d, q + 3)[0]
                    hdr[q - p + 3:q - p + 5] = b"\0\0"
                    assert crc16(bytes(hdr)) == want, "level-2 header CRC"
                q += size
        else:
            raise ValueError("unexpected LZH header level %d" % level)
        for t, data in e.exts:
            if t == 0x01:
                e.filename = data
            elif t == 0x02:
                e.dirname = data.replace(b"\xff", b"/")
        e.header = d[p:body_at]
        e.body = d[body_at:body_at + e.comp]
        entries.append(e)
        p = body_at + e.comp
    return entries


def lzh_self_check(file, data, list_):
    """Our own reading of an LZH fixture must match the expected listing."""
    got = []
    for e in parse_lzh(data):
        raw = e.raw_path()
        try:
            name = raw.decode("utf-8")
        except UnicodeDecodeError:
            name = raw.decode("cp932")
        if e.level == 0:
            name = name.replace("\\", "/")
        if not e.is_dir:
            assert e.comp == len(e.body)
            if e.method == b"-lh0-":
                assert crc16(e.body) == e.crc, file
        got.append((0 if e.is_dir else e.orig, name))
    assert got == list(list_), (file, got, list_)


def lzh_l0(name, body, method=b"-lh0-", orig=None, crc=None, attr=0x20):
    """A level-0 member.  name is raw bytes and uses '\\' between folders."""
    orig = len(body) if orig is None else orig
    crc = crc16(body) if crc is None else crc
    t, dt = dos_datetime()
    base = (method + struct.pack("<IIHHBB", len(body), orig, t, dt, attr, 0)
            + bytes([len(name)]) + name + struct.pack("<H", crc))
    return bytes([len(base), sum(base) & 0xFF]) + base + body


def _ext_records(exts):
    return b"".join(struct.pack("<HB", 3 + len(data), t) + data
                    for t, data in exts) + b"\0\0"


def lzh_l1(filename, body, dirname=b"", method=b"-lh0-", orig=None, crc=None,
           os_id=b"M", extra_exts=()):
    """A level-1 member: file name in the base header, folder in ext 0x02."""
    orig = len(body) if orig is None else orig
    crc = crc16(body) if crc is None else crc
    exts = []
    if dirname:
        exts.append((0x02, dirname.replace(b"/", b"\xff")))
    exts.extend(extra_exts)
    recs = _ext_records(exts)
    skip = len(body) + len(recs) - 2
    t, dt = dos_datetime()
    base = (method + struct.pack("<IIHHBB", skip, orig, t, dt, 0x20, 1)
            + bytes([len(filename)]) + filename + struct.pack("<H", crc)
            + os_id + recs[:2])
    return bytes([len(base), sum(base) & 0xFF]) + base + recs[2:] + body


def lzh_l2(filename, body, dirname=b"", method=b"-lh0-", orig=None, crc=None,
           os_id=b"U", extra_exts=(), mtime=EPOCH):
    """A level-2 member with a header CRC, like the ones jlha writes."""
    orig = len(body) if orig is None else orig
    crc = crc16(body) if crc is None else crc
    exts = [(0x00, b"\0\0"), (0x01, filename)]
    if dirname:
        exts.append((0x02, dirname.replace(b"/", b"\xff")))
    exts.extend(extra_exts)
    recs = _ext_records(exts)
    hsize = 24 + len(recs)
    pad = b""
    if hsize & 0xFF == 0:       # a low byte of 0 would read as end of archive
        pad, hsize = b"\0", hsize + 1
    hdr = bytearray(struct.pack("<H", hsize) + method
                    + struct.pack("<IIIBBH", len(body), orig, mtime, 0x20, 2, crc)
                    + os_id + recs + pad)
    hdr[27:29] = struct.pack("<H", crc16(bytes(hdr)))   # ext 0x00 data
    return bytes(hdr) + body


def relevel(e, level):
    """Re-emit a parsed member at another header level, same body and CRC."""
    if level == 0:
        name = e.raw_path().replace(b"/", b"\\")
        return lzh_l0(name, e.body, method=e.method, orig=e.orig, crc=e.crc,
                      attr=0x10 if e.is_dir else 0x20)
    if level == 1:
        return lzh_l1(e.filename, e.body, dirname=e.dirname, method=e.method,
                      orig=e.orig, crc=e.crc)
    if level == 2:
        return lzh_l2(e.filename, e.body, dirname=e.dirname, method=e.method,
                      orig=e.orig, crc=e.crc, os_id=bytes([e.os_id]),
                      extra_exts=[x for x in e.exts if x[0] not in (0, 1, 2)])
    raise ValueError(level)


def jlha(tmp, files, dirs, args, names, order, encoding=None, utf8=False,
         methods=None):
    """Archive a tree with jlha, then put the members in a fixed order.

    jlha walks folders in whatever order the file system returns, so the
    members are re-sequenced by name; each member's bytes are kept as jlha
    wrote them.  Returns the parsed members in that order.
    """
    root = tempfile.mkdtemp(dir=tmp)
    make_tree(root, files, dirs)
    out = os.path.join(tmp, "jlha-%d.lzh" % len(os.listdir(tmp)))
    extra = {"JAVA_TOOL_OPTIONS": "-Dlha.encoding=UTF-8"} if utf8 else None
    run(["jlha", args, out] + names, cwd=root, extra_env=extra)
    entries = parse_lzh(read(out))
    enc = encoding or "ascii"
    by_name = {}
    for e in entries:
        key = e.raw_path().decode(enc)
        assert key not in by_name, "jlha stored %s twice" % key
        by_name[key] = e
    assert sorted(by_name) == sorted(order), (sorted(by_name), sorted(order))
    for e in entries:
        assert e.level == 2, "jlha is expected to write level-2 headers"
    result = [by_name[n] for n in order]
    for name, method in (methods or {}).items():
        got = by_name[name].method
        assert got == method, "%s: jlha used %r, wanted %r" % (name, got, method)
    return result


def lzh_bytes(entries_or_blobs):
    out = b"".join(x if isinstance(x, bytes) else x.header + x.body
                   for x in entries_or_blobs)
    return out + b"\0"


def make_lzh(tmp):
    common = dict(files=COMMON_FILES, dirs=COMMON_DIRS,
                  names=["readme.txt", "doc", "empty.txt", "deep"],
                  order=COMMON_ORDER)
    files = dict(COMMON_FILES)
    for meth, args in (("lh0", "az"), ("lh5", "ao5"), ("lh6", "ao6"),
                       ("lh7", "ao7")):
        want = ("-%s-" % meth).encode()
        ents = jlha(tmp, args=args, methods={"doc/manual.txt": want}, **common)
        if meth == "lh0":
            assert all(e.method in (b"-lh0-", b"-lhd-") for e in ents)
        used = sorted({e.method.decode() for e in ents if not e.is_dir})
        add("lzh/%s.lzh" % meth, "LZH",
            "%s body, level-2 headers (jlha)" % meth, lzh_bytes(ents),
            list_=common_list(), files=files, dirs=COMMON_DIRS,
            notes="Made by jlha %s. Methods in the file: %s. doc/manual.txt "
                  "repeats its first 6000 bytes 34000 bytes later, beyond "
                  "the lh5 and lh6 windows." % (args, ", ".join(used)))
        if meth == "lh5":
            lh5 = ents

    add("lzh/lh5-level0.lzh", "LZH", "lh5 body, level-0 headers",
        lzh_bytes([relevel(e, 0) for e in lh5]),
        list_=common_list(), files=files, dirs=COMMON_DIRS,
        notes="The jlha lh5 archive with every header rewritten as level 0: "
              "full path in the header with '\\' between folders, DOS time, "
              "header checksum byte; bodies and CRC16 unchanged. Folders are "
              "-lhd- members named 'doc\\' etc.; libarchive turns the "
              "'\\' into '/' for level 0 only.")
    add("lzh/lh5-level1.lzh", "LZH", "lh5 body, level-1 headers",
        lzh_bytes([relevel(e, 1) for e in lh5]),
        list_=common_list(), files=files, dirs=COMMON_DIRS,
        notes="The jlha lh5 archive rewritten as level 1: file name in the "
              "base header, folder in a 0x02 extended header, skip size "
              "covering the extended headers. Bodies and CRC16 unchanged.")

    # Shift_JIS names, as a Japanese Windows LHA tool would write them.
    sj_files = {SJ_README: SJ_README_DATA, SJ_SOURCE: SJ_SOURCE_DATA}
    sj_order = [SJ_README, SJ_DIR + "/", SJ_SOURCE]
    sj_list = [(len(SJ_README_DATA), SJ_README), (0, SJ_DIR + "/"),
               (len(SJ_SOURCE_DATA), SJ_SOURCE)]
    sj = jlha(tmp, sj_files, [SJ_DIR], "ao5y", [SJ_README, SJ_DIR], sj_order,
              encoding="cp932", methods={SJ_SOURCE: b"-lh5-"})
    for e in sj:
        assert e.raw_path().decode("cp932") in sj_order
    assert b"\x83\x5c" in sj[0].filename and sj[1].dirname.startswith(b"\x95\x5c")
    add("lzh/sjis-names.lzh", "LZH",
        "Shift_JIS names (0x5C trail bytes), level-2 headers (jlha y)",
        lzh_bytes(sj), list_=sj_list, files=sj_files, dirs=[SJ_DIR],
        notes="Names are Shift_JIS with no charset marker: ソ is 83 5C and 表 "
              "is 95 5C, so a byte-wise '\\' split mangles them. Folder is "
              "in a 0x02 extended header with 0xFF separators. libarchive "
              "3.6.2 in a UTF-8 locale fails the very first header with "
              "ARCHIVE_FATAL and no error string (bsdtar prints "
              "'bsdtar: (null)'); with the read option hdrcharset=CP932 it "
              "lists all three members correctly.")

    cp932 = [relevel_with(e, [(0x46, struct.pack("<I", 932))]) for e in sj]
    add("lzh/sjis-codepage932.lzh", "LZH",
        "Shift_JIS names announced by a code-page 932 extended header",
        lzh_bytes(cp932), list_=sj_list, files=sj_files, dirs=[SJ_DIR],
        notes="The jlha Shift_JIS archive with a 0x46 extended header (code "
              "page 932) added to every member and the header CRC "
              "recomputed. libarchive picks the charset up from that header "
              "and lists the names correctly without any option.")

    sj0 = [lzh_l0(sjis(SJ_README), SJ_README_DATA),
           lzh_l0(sjis(SJ_SOURCE).replace(b"/", b"\\"), SJ_SOURCE_DATA)]
    assert b"\x95\x5c\x8e\xa6\x5c\x83\x5c" in sj0[1]
    add("lzh/sjis-level0-backslash.lzh", "LZH",
        "Shift_JIS names with '\\' folder separators, level-0 headers",
        lzh_bytes(sj0),
        list_=[(len(SJ_README_DATA), SJ_README),
               (len(SJ_SOURCE_DATA), SJ_SOURCE)],
        files=sj_files, dirs=[SJ_DIR],
        notes="Hand-written lh0 members, as old DOS/Windows tools made them. "
              "The stored name of the second member is 95 5C 8E A6 5C 83 5C "
              "81 5B 83 58 2E 74 78 74 (表示\\ソース.txt): only the middle 5C "
              "is a folder separator. The folder has no member of its own. "
              "libarchive needs hdrcharset=CP932 here too.")

    u8_names = ["résumé.txt", "日本語/", "日本語/説明書.txt", "ソフト説明.txt"]
    u8_files = {"résumé.txt": b"accents\n",
                "日本語/説明書.txt": prose(2500),
                "ソフト説明.txt": SJ_README_DATA}
    u8 = jlha(tmp, u8_files, ["日本語"], "ao5",
              ["résumé.txt", "日本語", "ソフト説明.txt"], u8_names,
              encoding="utf-8", utf8=True,
              methods={"日本語/説明書.txt": b"-lh5-"})
    add("lzh/utf8-names.lzh", "LZH", "UTF-8 names, level-2 headers (jlha)",
        lzh_bytes(u8),
        list_=[(0 if n.endswith("/") else len(u8_files[n]), n) for n in u8_names],
        files=u8_files, dirs=["日本語"],
        notes="Names are raw UTF-8 with no code-page header, as LHA tools on "
              "Linux and macOS write them. An extractor that always decodes "
              "LZH names as CP932 turns these into mojibake; libarchive reads "
              "them fine in a UTF-8 locale without options; forcing "
              "hdrcharset=CP932 on it gives 'rﾃｩsumﾃｩ.txt' and then a fatal "
              "'Pathname cannot be converted from CP932 to Unicode.'")

    # ---- hostile names -------------------------------------------------
    good = lzh_l2(b"good.txt", GOOD)
    hostile = [
        ("dotdot", "../evil.txt", lzh_l2(b"evil.txt", b"evil\n", dirname=b"../"),
         "Folder '..' in the 0x02 extended header."),
        ("nested-dotdot", "a/../../evil2.txt",
         lzh_l2(b"evil2.txt", b"evil\n", dirname=b"a/../../"),
         "Folder 'a/../..' in the 0x02 extended header: climbs out only "
         "after going in."),
        ("absolute", "/tmp/abs-evil.txt",
         lzh_l2(b"abs-evil.txt", b"evil\n", dirname=b"/tmp/"),
         "Folder header starts with a separator, so libarchive reports "
         "'/tmp/abs-evil.txt' (bsdtar strips the '/' and writes "
         "tmp/abs-evil.txt inside the destination; we refuse it)."),
        ("backslash", "../evil4.txt", lzh_l2(b"..\\evil4.txt", b"evil\n"),
         "The file-name header holds '..\\evil4.txt' verbatim. libarchive "
         "converts '\\' only for level-0 headers, so here it reports the "
         "name with the backslash (bsdtar on Linux writes a file literally "
         "named '..\\evil4.txt'); on Windows it is a parent-folder path."),
    ]
    for case, bad, blob, why in hostile:
        shown = "..\\evil4.txt" if case == "backslash" else bad
        add("lzh/hostile-%s.lzh" % case, "LZH",
            "LZH member named %s (level-2 headers)" % shown,
            lzh_bytes([blob, good]), files={"good.txt": GOOD}, refused=[bad],
            notes=why + " good.txt comes after it and must still be extracted.")
    add("lzh/hostile-drive.lzh", "LZH", "LZH member named C:\\evil3.txt (level-0 headers)",
        lzh_bytes([lzh_l0(b"C:\\evil3.txt", b"evil\n"), lzh_l0(b"good.txt", GOOD)]),
        files={"good.txt": GOOD}, refused=["C:/evil3.txt"],
        notes="Level-0 name 'C:\\evil3.txt'; libarchive turns the '\\' into "
              "'/' and reports 'C:/evil3.txt' (bsdtar drops the drive and "
              "writes evil3.txt; we refuse it). good.txt must still be "
              "extracted.")
    mode_link = (0x50, struct.pack("<H", 0o120777))
    add("lzh/hostile-symlink.lzh", "LZH",
        "symlink member link -> /tmp followed by link/evil5.txt",
        lzh_bytes([lzh_l2(b"link|/tmp", b"", method=b"-lhd-",
                          extra_exts=[mode_link]),
                   lzh_l2(b"evil5.txt", b"evil\n", dirname=b"link/"),
                   good]),
        files={"good.txt": GOOD}, refused=["link", "link/evil5.txt"],
        notes="Unix LHA style symlink: a -lhd- member named 'link|/tmp' "
              "with mode 0120777 in a 0x50 extended header; libarchive "
              "reports a symlink ('link -> /tmp' in bsdtar -tv). bsdtar "
              "creates the link and then refuses 'Cannot extract through "
              "symlink link/evil5.txt'. The symlink points outside the destination and "
              "must not be created, and link/evil5.txt must not be written "
              "through it (nothing may appear in /tmp).")

    # ---- damage ----------------------------------------------------------
    dmg_files = {"good.txt": GOOD, "bad.txt": prose(6000), "after.txt": prose(4000)}
    dmg = jlha(tmp, dmg_files, [], "ao5", ["good.txt", "bad.txt", "after.txt"],
               ["good.txt", "bad.txt", "after.txt"],
               methods={"bad.txt": b"-lh5-", "after.txt": b"-lh5-"})
    body = bytearray(dmg[1].body)
    body[len(body) // 2] ^= 0x55
    dmg[1].body = bytes(body)
    add("lzh/crc-error.lzh", "LZH", "lh5 body with a flipped byte, level-2 headers",
        lzh_bytes(dmg), files={"good.txt": GOOD, "after.txt": dmg_files["after.txt"]},
        damaged=["bad.txt"],
        notes="One byte in the middle of bad.txt's lh5 data is flipped "
              "(CRC16 in the header left alone). libarchive decodes all "
              "6000 bytes and only then reports 'LHa data CRC error' "
              "(ARCHIVE_WARN), so bsdtar leaves a full-size wrong bad.txt "
              "behind. The members before and after are intact. libarchive "
              "checks the data CRC16 at header levels 0 and 1 as well.")

    tr_files = {"first.txt": GOOD, "second.txt": prose(20000)}
    tr = jlha(tmp, tr_files, [], "ao5", ["first.txt", "second.txt"],
              ["first.txt", "second.txt"], methods={"second.txt": b"-lh5-"})
    whole = lzh_bytes(tr)
    cut = len(tr[0].header) + len(tr[0].body) + len(tr[1].header) + len(tr[1].body) // 2
    add("lzh/truncated.lzh", "LZH", "cut off in the middle of the second member's data",
        whole[:cut], files={"first.txt": GOOD}, damaged=["second.txt"],
        notes="jlha lh5 archive cut half-way through second.txt's "
              "compressed data (no end-of-archive byte). Reading its data "
              "fails with 'Truncated LHa file body' (ARCHIVE_FATAL); when "
              "only listing, skipping it fails with 'Truncated input file "
              "(needed ... bytes, only ... available)'.")

    hc = [relevel(e, 1) for e in tr]
    hb = bytearray(hc[1])
    hb[1] ^= 0xFF                     # header checksum byte
    hc[1] = bytes(hb)
    add("lzh/header-checksum.lzh", "LZH", "second member's level-1 header checksum is wrong",
        lzh_bytes(hc), files={"first.txt": GOOD}, damaged=["second.txt"],
        notes="Level-1 rewrite of the truncation test's archive, complete, "
              "but the header checksum byte of second.txt is inverted. "
              "libarchive stops with 'LHa header sum error' (fatal), so "
              "nothing after it can be trusted; first.txt is fine.")

    make_lzh_damaged_headers()

    declared = b"These bytes are inside the declared original size.\n" * 3
    excess = b"THESE BYTES LIE BEYOND THE DECLARED SIZE AND MUST NOT BE WRITTEN\n"
    # The CRC16 covers every stored byte, so the reader has nothing to
    # complain about and only the declared size tells where the file ends.
    ol = [lzh_l1(b"long.txt", declared + excess, orig=len(declared)),
          lzh_l1(b"after.txt", GOOD)]
    add("lzh/lh0-overlong.lzh", "LZH",
        "lh0 member whose stored body is longer than its declared size",
        lzh_bytes(ol), files={"long.txt": declared, "after.txt": GOOD},
        notes="long.txt: level-1 lh0 member, original size %d but %d body "
              "bytes; the skip size and the CRC16 cover all of them. "
              "libarchive reports size %d, raises no error and returns all "
              "%d bytes from archive_read_data; the extracted file must stop "
              "at the declared size (bsdtar's disk writer cuts it and warns "
              "'Too much data: Truncating file at %d bytes'). after.txt "
              "checks that the reader stays in step."
              % (len(declared), len(declared) + len(excess), len(declared),
                 len(declared) + len(excess), len(declared)))


def make_lzh_damaged_headers():
    """Damaged headers between sound members, for the skip switch -jc."""
    rng = random.Random(SEED + 5)
    second, third, fourth = prose(3000, rng), prose(1500, rng), prose(800, rng)
    bad_crc = bytearray(lzh_l2(b"broken-crc.txt", b"lost\n" * 40))
    bad_crc[30] ^= 0x01               # a byte of the name: the header CRC fails
    bad_sum = bytearray(lzh_l1(b"broken-sum.txt", b"lost\n" * 40))
    bad_sum[1] ^= 0xFF                # the level-1 header checksum byte
    # Noise with a decoy: a level-0 header shape with a wrong checksum, which
    # the search for the next sound header must pass over.
    decoy = bytearray(lzh_l0(b"decoy.txt", b"not a member\n"))
    decoy[1] ^= 0x5A
    junk = bytes(rng.getrandbits(8) for _ in range(97)) + bytes(decoy) + bytes(
        rng.getrandbits(8) for _ in range(31))
    body_crc = lzh_l2(b"bad-body.txt", b"damaged body\n" * 10, crc=0x1234)
    parts = [("first", lzh_l2(b"first.txt", GOOD)),
             ("bad_crc", bytes(bad_crc)),
             ("second", lzh_l1(b"second.txt", second)),
             ("bad_sum", bytes(bad_sum) + junk),
             ("third", lzh_l0(b"third.txt", third)),
             ("fourth", lzh_l2(b"fourth.txt", fourth, dirname=b"deeper/")),
             ("body_crc", body_crc)]
    at, offsets = 0, {}
    for key, blob in parts:
        offsets[key] = at
        at += len(blob)
    add("lzh/damaged-headers.lzh", "LZH",
        "two damaged headers between sound members of levels 0, 1 and 2",
        lzh_bytes([blob for _, blob in parts]), files={"first.txt": GOOD},
        damaged=["broken-crc.txt", "broken-sum.txt", "bad-body.txt"],
        with_jc=({"first.txt": GOOD, "second.txt": second, "third.txt": third,
                  "deeper/fourth.txt": fourth},
                 [(offsets["bad_crc"], offsets["second"] - offsets["bad_crc"]),
                  (offsets["bad_sum"], offsets["third"] - offsets["bad_sum"])]),
        notes="broken-crc.txt: level-2 header with one name byte flipped, so "
              "its header CRC fails; broken-sum.txt: level-1 header checksum "
              "inverted, followed by noise holding a level-0 header shape "
              "with a wrong checksum. libarchive stops at the first with "
              "'LHa header CRC error' (fatal). With -jc the reader goes on at "
              "second.txt and third.txt; bad-body.txt has a wrong data CRC16 "
              "and must not be written either way.")

    tail = bytearray(lzh_l1(b"gone.txt", b"gone\n" * 30))
    tail[1] ^= 0xFF
    whole = lzh_l2(b"first.txt", GOOD) + bytes(tail)
    add("lzh/damaged-last-header.lzh", "LZH",
        "damaged last header with nothing sound after it",
        whole + b"\0", files={"first.txt": GOOD}, damaged=["gone.txt"],
        with_jc=({"first.txt": GOOD},
                 [(len(whole) - len(tail), len(tail) + 1)]),
        notes="The last member's level-1 header checksum is inverted. With "
              "-jc the search finds nothing after it: the rest of the file, "
              "end mark included, is reported as skipped and the run ends "
              "normally.")


def relevel_with(e, extra_exts):
    """Copy a jlha level-2 member, adding extended headers."""
    return lzh_l2(e.filename, e.body, dirname=e.dirname, method=e.method,
                  orig=e.orig, crc=e.crc, os_id=bytes([e.os_id]),
                  extra_exts=list(extra_exts))


# --------------------------------------------------------------------------
# ZIP

class RawZipInfo(zipfile.ZipInfo):
    """ZipInfo that stores the given name bytes verbatim, flag 0x800 clear."""

    def __init__(self, raw, stored_as=None, **kw):
        super().__init__(stored_as or raw.decode("latin-1"), date_time=STAMP)
        self.raw_name = raw
        for k, v in kw.items():
            setattr(self, k, v)

    def _encodeFilenameFlags(self):
        return self.raw_name, self.flag_bits & ~0x800


def zip_entry(name, data=b"", method=zipfile.ZIP_DEFLATED, raw=None,
              system=3, mode=None):
    is_dir = name.endswith("/")
    if raw is not None:
        zi = RawZipInfo(raw, stored_as=name)
    else:
        zi = zipfile.ZipInfo(name, date_time=STAMP)
    zi.create_system = system
    zi.compress_type = zipfile.ZIP_STORED if is_dir else method
    if mode is None:
        mode = 0o40755 if is_dir else 0o100644
    zi.external_attr = (mode << 16) | (0x10 if is_dir else 0x20)
    return zi, data


def zip_bytes(tmp, entries):
    path = os.path.join(tmp, "py-%d.zip" % len(os.listdir(tmp)))
    with zipfile.ZipFile(path, "w") as zf:
        for zi, data in entries:
            zf.writestr(zi, data)
    return read(path)


def zip_members(data):
    """(name bytes, local header offset, central header offset, info)."""
    out = []
    eocd = data.rindex(b"PK\x05\x06")
    count, cd_size, cd_off = struct.unpack_from("<HII", data, eocd + 10)
    q = cd_off
    for _ in range(count):
        assert data[q:q + 4] == b"PK\x01\x02"
        (method, csize, usize, nlen, xlen, clen, lho) = struct.unpack_from(
            "<10xH8xIIHHH8xI", data, q)
        name = data[q + 46:q + 46 + nlen]
        nl_local, xl_local = struct.unpack_from("<HH", data, lho + 26)
        out.append(dict(name=name, local=lho, central=q, method=method,
                        csize=csize, data_at=lho + 30 + nl_local + xl_local))
        q += 46 + nlen + xlen + clen
    return out


def make_zip(tmp):
    root = tempfile.mkdtemp(dir=tmp)
    make_tree(root, COMMON_FILES, COMMON_DIRS)
    args = [n.rstrip("/") for n in COMMON_ORDER]
    files = dict(COMMON_FILES)

    def infozip(opts, name):
        out = os.path.join(tmp, name)
        run(["zip", "-q", "-X"] + opts + [out] + args, cwd=root)
        return out

    stored = infozip(["-0"], "stored.zip")
    with zipfile.ZipFile(stored) as zf:
        assert all(i.compress_type == 0 for i in zf.infolist())
        assert [i.filename for i in zf.infolist()] == COMMON_ORDER
    add("zip/stored.zip", "ZIP", "every member stored (zip -0)", read(stored),
        list_=common_list(), files=files, dirs=COMMON_DIRS,
        notes="Info-ZIP 3.0, -0 -X; folders have their own entries.")

    deflated = infozip(["-9"], "deflate.zip")
    with zipfile.ZipFile(deflated) as zf:
        assert zf.getinfo("doc/manual.txt").compress_type == zipfile.ZIP_DEFLATED
    add("zip/deflate.zip", "ZIP", "deflate, maximum compression (zip -9)",
        read(deflated), list_=common_list(), files=files, dirs=COMMON_DIRS,
        notes="Info-ZIP 3.0, -9 -X. Small and random members are stored, "
              "doc/manual.txt is deflated.")

    z64 = infozip(["-fz"], "zip64.zip")
    raw = read(z64)
    assert b"PK\x06\x06" in raw and b"PK\x06\x07" in raw
    add("zip/zip64.zip", "ZIP", "zip64 records forced (zip -fz)", raw,
        list_=common_list(), files=files, dirs=COMMON_DIRS,
        notes="Info-ZIP 3.0 -fz: zip64 extra fields on every entry, a zip64 "
              "end record and locator, and 0xFFFFFFFF in the classic end "
              "record's central-directory offset.")

    out7 = os.path.join(tmp, "7z.zip")
    run(["7z", "a", "-tzip", "-bd", out7, "readme.txt", "doc", "empty.txt", "deep"],
        cwd=root)
    with zipfile.ZipFile(out7) as zf:
        order7 = [i.filename for i in zf.infolist()]
    assert sorted(order7) == sorted(COMMON_ORDER), order7
    add("zip/7z.zip", "ZIP", "ZIP written by 7-Zip (7z a -tzip)", read(out7),
        list_=common_list(order7), files=files, dirs=COMMON_DIRS,
        notes="p7zip; 7-Zip sorts members by path and adds its own extra "
              "fields.")

    # Self-extractor layout: some executable stub, then the ZIP, with all
    # offsets adjusted to count from the start of the file.
    stub = b"MZ" + noise(4094)
    assert b"PK" not in stub
    sfx = os.path.join(tmp, "sfx.zip")
    with open(sfx, "wb") as f:
        f.write(stub + read(deflated))
    run(["zip", "-q", "-A", sfx], cwd=tmp)
    raw = read(sfx)
    assert raw.startswith(stub) and zip_members(raw)[0]["local"] == len(stub)
    add("zip/sfx.zip", "ZIP", "4 KiB stub in front of the ZIP, offsets fixed with zip -A",
        raw, list_=common_list(), files=files, dirs=COMMON_DIRS,
        notes="Starts with 'MZ' and 4094 random bytes, like a "
              "self-extracting .exe; the first local header is at offset "
              "4096. Only a reader that finds the end record and follows the "
              "central directory sees the members.")

    sj_entries = [zip_entry(SJ_README, SJ_README_DATA, raw=sjis(SJ_README), system=0),
                  zip_entry(SJ_DIR + "/", raw=sjis(SJ_DIR + "/"), system=0),
                  zip_entry(SJ_SOURCE, SJ_SOURCE_DATA, raw=sjis(SJ_SOURCE), system=0)]
    raw = zip_bytes(tmp, sj_entries)
    for m in zip_members(raw):
        flags = struct.unpack_from("<H", raw, m["local"] + 6)[0]
        assert not flags & 0x800
    add("zip/sjis-names.zip", "ZIP", "Shift_JIS names without the UTF-8 flag",
        raw,
        list_=[(len(SJ_README_DATA), SJ_README), (0, SJ_DIR + "/"),
               (len(SJ_SOURCE_DATA), SJ_SOURCE)],
        files={SJ_README: SJ_README_DATA, SJ_SOURCE: SJ_SOURCE_DATA},
        dirs=[SJ_DIR],
        notes="Names are raw Shift_JIS (ソ = 83 5C, 表 = 95 5C), general "
              "purpose bit 11 clear, made-by MS-DOS, no Unicode path extra "
              "field: what Japanese Windows tools write. libarchive in a "
              "UTF-8 locale passes the raw bytes through without error "
              "(bsdtar prints octal escapes); with hdrcharset=CP932 it "
              "decodes them.")

    u8 = ["Ünïcödé/", "Ünïcödé/naïve café.txt", "日本語/説明書.txt", "ソフト説明.txt"]
    u8_files = {"Ünïcödé/naïve café.txt": b"accents and a space\n",
                "日本語/説明書.txt": prose(2500),
                "ソフト説明.txt": SJ_README_DATA}
    entries = [zip_entry(n, u8_files.get(n, b"")) for n in u8]
    raw = zip_bytes(tmp, entries)
    add("zip/utf8-names.zip", "ZIP", "UTF-8 names with the UTF-8 flag (Python zipfile)",
        raw, list_=[(len(u8_files.get(n, b"")), n) for n in u8],
        files=u8_files, dirs=["Ünïcödé", "日本語"],
        notes="General purpose bit 11 set on the non-ASCII names. 日本語/ "
              "has no folder entry of its own. An extractor that decodes "
              "every name as CP932 gets these wrong.")

    # ---- hostile ----------------------------------------------------------
    good = zip_entry("good.txt", GOOD)
    for case, name, why in (
            ("dotdot", "../evil.txt", "Plain parent-folder name."),
            ("nested-dotdot", "a/../../evil2.txt",
             "Climbs out only after going into a/."),
            ("absolute", "/tmp/abs-evil.txt", "Absolute Unix path."),
            ("drive", "C:/evil3.txt", "Drive-letter path."),
            ("backslash", "..\\evil4.txt",
             "Stored with a '\\', which is no separator in ZIP but is one "
             "on Windows. libarchive 3.6.2 rewrites '\\' to '/' in names "
             "that have no '/' at all, so it reports '../evil4.txt'.")):
        raw = zip_bytes(tmp, [zip_entry(name, b"evil\n", raw=name.encode()), good])
        add("zip/hostile-%s.zip" % case, "ZIP", "ZIP entry named %s" % name, raw,
            files={"good.txt": GOOD}, refused=[name.replace("\\", "/")],
            notes=why + " good.txt comes after it and must still be extracted.")
    raw = zip_bytes(tmp, [zip_entry("link", b"/tmp", method=zipfile.ZIP_STORED,
                                    mode=0o120777),
                          zip_entry("link/evil5.txt", b"evil\n"),
                          good])
    add("zip/hostile-symlink.zip", "ZIP",
        "symlink entry link -> /tmp followed by link/evil5.txt", raw,
        files={"good.txt": GOOD}, refused=["link", "link/evil5.txt"],
        notes="'link' is made-by Unix with mode 0120777 and content '/tmp'; "
              "libarchive reports a symlink. bsdtar creates it and then "
              "refuses 'Cannot extract through symlink link/evil5.txt'. "
              "The symlink points outside the destination and must not be "
              "created, and link/evil5.txt must not be written through it "
              "(nothing may appear in /tmp).")

    make_zip_links_and_folders(tmp)

    # ---- entries the file system or the rules refuse -------------------------
    long_name = "a" * 300 + ".txt"
    raw = zip_bytes(tmp, [zip_entry(long_name, b"long\n"),
                          zip_entry("setuid.sh", b"#!/bin/sh\n", mode=0o104755),
                          zip_entry("fifo", b"", method=zipfile.ZIP_STORED, mode=0o010644),
                          good])
    add("zip/odd-entries.zip", "ZIP",
        "a name too long for the file system, a set-uid program and a FIFO entry", raw,
        files={"setuid.sh": b"#!/bin/sh\n", "fifo": b"", "good.txt": GOOD},
        damaged=[long_name],
        notes="The 304-byte name is longer than a Linux file name may be: it "
              "must be reported as not written and the run must go on. "
              "setuid.sh carries mode 04755: it is extracted, but never with "
              "its set-uid bit. libarchive's ZIP reader turns the FIFO entry into an "
              "empty regular file, which is harmless; no FIFO may appear.")

    # ---- damage -------------------------------------------------------------
    dmg_files = {"good.txt": GOOD, "bad.txt": prose(6000), "after.txt": prose(4000)}
    raw = bytearray(zip_bytes(tmp, [zip_entry(n, d) for n, d in dmg_files.items()]))
    bad = zip_members(bytes(raw))[1]
    raw[bad["data_at"] + bad["csize"] // 2] ^= 0x01
    add("zip/crc-error.zip", "ZIP", "deflated member with a flipped bit", bytes(raw),
        files={"good.txt": GOOD, "after.txt": dmg_files["after.txt"]},
        damaged=["bad.txt"],
        notes="One bit in the middle of bad.txt's deflate data is flipped; "
              "inflate still succeeds but the CRC-32 no longer matches. "
              "libarchive: 'ZIP bad CRC: 0x... should be 0x...' "
              "(ARCHIVE_WARN after all the data); bsdtar leaves bad.txt "
              "behind.")

    tr_files = {"first.txt": GOOD, "second.txt": prose(20000)}
    raw = zip_bytes(tmp, [zip_entry(n, d) for n, d in tr_files.items()])
    sec = zip_members(raw)[1]
    add("zip/truncated.zip", "ZIP", "cut off in the middle of the second entry's data",
        raw[:sec["data_at"] + sec["csize"] // 2],
        files={"first.txt": GOOD}, damaged=["second.txt"],
        notes="No central directory is left, only the local headers, so "
              "libarchive falls back to its streaming ZIP reader: first.txt "
              "reads fine, second.txt fails with 'ZIP decompression failed "
              "(-5)' (ARCHIVE_FATAL) and bsdtar leaves a 20000-byte "
              "second.txt behind. A reader that insists on the central "
              "directory will not see first.txt either.")

    um_files = {"good.txt": GOOD, "weird.bin": prose(3000), "after.txt": GOOD}
    raw = bytearray(zip_bytes(tmp, [zip_entry(n, d) for n, d in um_files.items()]))
    w = zip_members(bytes(raw))[1]
    struct.pack_into("<H", raw, w["local"] + 8, 97)
    struct.pack_into("<H", raw, w["central"] + 10, 97)
    add("zip/unsupported-method.zip", "ZIP",
        "entry with compression method 97 (WavPack)", bytes(raw),
        files={"good.txt": GOOD, "after.txt": GOOD}, damaged=["weird.bin"],
        notes="weird.bin holds deflate data but says method 97 in both its "
              "local and central headers. It cannot be extracted and must be "
              "reported, without leaving an empty or partial file; the "
              "entries around it are fine. libarchive: 'Unsupported ZIP "
              "compression method (97: wav-pack)' (ARCHIVE_FAILED) from "
              "archive_read_data; bsdtar leaves a zero-filled 3000-byte "
              "weird.bin.")


# --------------------------------------------------------------------------
# CAB

def cab_checksum(data, seed=0):
    csum = seed
    n = len(data) // 4
    for i in range(n):
        csum ^= struct.unpack_from("<I", data, i * 4)[0]
    tail = 0
    for b in data[n * 4:]:
        tail = (tail << 8) | b
    return csum ^ tail


def cab_bytes(folders, checksums=True):
    """Uncompressed cabinet; folders is a list of [(name bytes, data, attr)]."""
    t, dt = dos_datetime()
    nfiles = sum(len(f) for f in folders)
    files_at = 36 + 8 * len(folders)
    cffiles = b""
    streams = []
    for fi, members in enumerate(folders):
        off = 0
        stream = b""
        for name, data, attr in members:
            cffiles += struct.pack("<IIHHHH", len(data), off, fi, dt, t, attr) + name + b"\0"
            off += len(data)
            stream += data
        streams.append(stream)
    data_at = files_at + len(cffiles)
    cffolders = b""
    cfdata = b""
    for stream in streams:
        blocks = [stream[i:i + 32768] for i in range(0, len(stream), 32768)] or [b""]
        cffolders += struct.pack("<IHH", data_at + len(cfdata), len(blocks), 0)
        for blk in blocks:
            sizes = struct.pack("<HH", len(blk), len(blk))
            csum = cab_checksum(sizes, cab_checksum(blk)) if checksums else 0
            cfdata += struct.pack("<I", csum) + sizes + blk
    total = data_at + len(cfdata)
    header = (b"MSCF" + struct.pack("<IIIIIBBHHHHH", 0, total, 0, files_at, 0,
                                    3, 1, len(folders), nfiles, 0, 0x1234, 0))
    out = header + cffolders + cffiles + cfdata
    assert len(out) == total
    return out


def cab_names(data):
    nfiles, = struct.unpack_from("<H", data, 28)
    q, = struct.unpack_from("<I", data, 16)
    out = []
    for _ in range(nfiles):
        size, = struct.unpack_from("<I", data, q)
        attr, = struct.unpack_from("<H", data, q + 14)
        end = data.index(b"\0", q + 16)
        out.append((size, data[q + 16:end], attr))
        q = end + 1
    return out


def make_zip_links_and_folders(tmp):
    """Several refused links, and folder times to restore at many depths."""
    link = lambda name, to: zip_entry(name, to, method=zipfile.ZIP_STORED,
                                      mode=0o120777)
    raw = zip_bytes(tmp, [link("a", b"/tmp"), link("b/c", b"/tmp"),
                          zip_entry("a/evil.txt", b"evil\n"),
                          zip_entry("b/c/d/evil.txt", b"evil\n"),
                          zip_entry("ab/good.txt", GOOD),
                          zip_entry("b/cd/good.txt", GOOD),
                          zip_entry("b/good.txt", GOOD),
                          link("z/y/x", b"../../.."),
                          zip_entry("z/y/good.txt", GOOD),
                          zip_entry("z/y/x/evil.txt", b"evil\n")])
    add("zip/several-links.zip", "ZIP",
        "three symlink entries at different depths, entries under and beside them",
        raw, files={"ab/good.txt": GOOD, "b/cd/good.txt": GOOD,
                    "b/good.txt": GOOD, "z/y/good.txt": GOOD},
        refused=["a", "b/c", "z/y/x", "a/evil.txt", "b/c/d/evil.txt",
                 "z/y/x/evil.txt"],
        notes="Only what lies under a refused link is refused: 'ab' and "
              "'b/cd' share a leading part of a link's name, 'b' and 'z/y' "
              "hold a link, and all of those are extracted.")

    def folder(name, year):
        zi, data = zip_entry(name)
        zi.date_time = (year, 6, 1, 12, 0, 0)
        return zi, data
    raw = zip_bytes(tmp, [folder("a/", 2001), folder("a/b/", 2002),
                          folder("a/b/c/", 2003), zip_entry("a/b/c/f.txt", GOOD),
                          folder("z/", 2004), folder("a/b/d/", 2005),
                          zip_entry("a/b/d/f.txt", GOOD), folder("a/b/", 2006)])
    add("zip/folder-times.zip", "ZIP",
        "folder entries of several depths, each with its own year",
        raw, files={"a/b/c/f.txt": GOOD, "a/b/d/f.txt": GOOD},
        dirs=["a", "a/b", "a/b/c", "a/b/d", "z"],
        notes="Folder years: a 2001, a/b 2002 (listed again later with 2006; "
              "the first one counts), a/b/c 2003, z 2004, a/b/d 2005. Files "
              "are written into the folders after their entries, so the "
              "times can only be right when set at the end.")


def make_cab(tmp):
    order = ["readme.txt", "doc/manual.txt", "doc/data.bin", "empty.txt",
             "deep/a/b/c.txt"]
    root = tempfile.mkdtemp(dir=tmp)
    make_tree(root, COMMON_FILES, COMMON_DIRS)
    cab_list = [(len(COMMON_FILES[n]), n.replace("/", "\\")) for n in order]

    def gcab(opts, out, cwd, names):
        run(["gcab", "-c"] + opts + [out] + names, cwd=cwd)
        return read(out)

    raw = gcab([], os.path.join(tmp, "stored.cab"), root, order)
    assert struct.unpack_from("<H", raw, 36 + 6)[0] == 0
    assert [(s, n.decode()) for s, n, a in cab_names(raw)] == cab_list
    add("cab/stored.cab", "CAB", "no compression (gcab -c)", raw,
        list_=cab_list, files=dict(COMMON_FILES), dirs=COMMON_DIRS,
        notes="gcab 1.5; one folder, '\\' separators, CFDATA checksums set. "
              "CAB has no folder entries, folders are implied by paths.")

    raw = gcab(["-z"], os.path.join(tmp, "mszip.cab"), root, order)
    assert struct.unpack_from("<H", raw, 36 + 6)[0] == 1
    add("cab/mszip.cab", "CAB", "MSZIP compression (gcab -c -z)", raw,
        list_=cab_list, files=dict(COMMON_FILES), dirs=COMMON_DIRS,
        notes="gcab 1.5 -z; one MSZIP folder, blocks of up to 32 KiB "
              "sharing one deflate dictionary.")

    nest_files = {
        "one/two/three/four/five/six/seven.txt": b"seven folders down\n",
        "left/readme.txt": b"left readme\n",
        "right/readme.txt": b"right readme, same name, other folder\n",
        "My Documents/v1.2/notes .txt": b"spaces and dots in folder names\n",
        "left/inner/x.txt": b"x\n",
    }
    nroot = tempfile.mkdtemp(dir=tmp)
    make_tree(nroot, nest_files)
    norder = list(nest_files)
    raw = gcab(["-z"], os.path.join(tmp, "nested.cab"), nroot, norder)
    ndirs = sorted({"/".join(n.split("/")[:i]) for n in norder
                    for i in range(1, n.count("/") + 1)})
    add("cab/nested-folders.cab", "CAB", "deep and repeated folder paths (gcab -c -z)",
        raw, list_=[(len(nest_files[n]), n.replace("/", "\\")) for n in norder],
        files=nest_files, dirs=ndirs,
        notes="Six folder levels, the same file name in two folders, a "
              "folder revisited after another one, and folder names with a "
              "space and a dot. Every folder has to be created from the "
              "paths alone.")

    sj = [(sjis(SJ_README), SJ_README_DATA, 0x20),
          (sjis(SJ_SOURCE).replace(b"/", b"\\"), SJ_SOURCE_DATA, 0x20)]
    raw = cab_bytes([sj])
    assert b"\x95\x5c\x8e\xa6\x5c\x83\x5c" in raw
    add("cab/sjis-names.cab", "CAB",
        "Shift_JIS names without the UTF-8 attribute (hand-written)", raw,
        list_=[(len(SJ_README_DATA), SJ_README),
               (len(SJ_SOURCE_DATA), SJ_SOURCE.replace("/", "\\"))],
        files={SJ_README: SJ_README_DATA, SJ_SOURCE: SJ_SOURCE_DATA},
        dirs=[SJ_DIR],
        notes="Uncompressed, checksummed, attribute 0x80 clear, names in "
              "Shift_JIS: 表示\\ソース.txt is 95 5C 8E A6 5C 83 5C ... with "
              "only the middle 5C a separator. libarchive in a UTF-8 "
              "locale passes the raw bytes through without error and "
              "without turning any '\\' into '/'; with hdrcharset=CP932 "
              "it gives the right names with '/'.")

    # ---- hostile ----------------------------------------------------------
    good = (b"good.txt", GOOD, 0x20)
    for case, name, why in (
            ("dotdot", "../evil.txt", "Parent-folder name with '/'."),
            ("nested-dotdot", "a/../../evil2.txt",
             "Climbs out only after going into a/."),
            ("absolute", "/tmp/abs-evil.txt", "Absolute Unix path."),
            ("drive", "C:\\evil3.txt", "Drive-letter path with CAB's own '\\'."),
            ("backslash", "..\\evil4.txt",
             "Parent-folder name with CAB's own '\\' separator.")):
        raw = cab_bytes([[(name.encode(), b"evil\n", 0x20), good]])
        add("cab/hostile-%s.cab" % case, "CAB", "CAB file named %s" % name, raw,
            files={"good.txt": GOOD}, refused=[name.replace("\\", "/")],
            notes=why + " Hand-written, uncompressed. good.txt comes after it "
                  "and must still be extracted.")

    # ---- damage -----------------------------------------------------------
    dmg_files = {"good.txt": GOOD, "bad.txt": prose(6000)}
    # One folder per file, so the broken block belongs to bad.txt alone.
    raw = bytearray(cab_bytes([[(n.encode(), d, 0x20)] for n, d in dmg_files.items()]))
    at = bytes(raw).index(dmg_files["bad.txt"][:64]) + 3000
    raw[at] ^= 0x01
    add("cab/crc-error.cab", "CAB", "data block checksum mismatch", bytes(raw),
        files={"good.txt": GOOD}, damaged=["bad.txt"],
        notes="Hand-written, uncompressed, one folder per file with "
              "checksums; one bit of bad.txt's data is flipped so its "
              "CFDATA checksum fails. libarchive treats that as fatal "
              "('Checksum error CFDATA[0] ...') and reads nothing after "
              "it, which is why bad.txt is the last file.")

    tr_files = {"first.txt": prose(32768), "second.txt": prose(20000)}
    troot = tempfile.mkdtemp(dir=tmp)
    make_tree(troot, tr_files)
    raw = gcab([], os.path.join(tmp, "trunc.cab"), troot, list(tr_files))
    # first.txt fills the first 32 KiB block exactly; cut inside the second.
    cut = len(raw) - len(tr_files["second.txt"]) // 2
    add("cab/truncated.cab", "CAB", "cut off in the middle of the second file's data",
        raw[:cut], files={"first.txt": tr_files["first.txt"]},
        damaged=["second.txt"],
        notes="gcab -c archive cut inside the second data block; the "
              "header still claims the full size and both files are "
              "listed. first.txt is exactly one 32 KiB block and reads fine; "
              "reading second.txt fails with 'Truncated CAB header' "
              "(ARCHIVE_FATAL) and bsdtar leaves a 20000-byte second.txt.")


# --------------------------------------------------------------------------
# not archives

def make_misc(tmp):
    add("misc/notes.txt", "", "plain text that is no archive",
        b"Shopping list\n- milk\n- an LZH header, perhaps: -lh5-\n- PK zip\n"
        b"- MSCF cabinet\n",
        notes="Mentions '-lh5-', 'PK' and 'MSCF' but not at any offset a "
              "format check should accept.")
    add("misc/empty.lzh", "", "zero-byte file named .lzh", b"",
        notes="The extension alone must not make it an archive. libarchive "
              "opens a zero-byte file as an empty archive without any "
              "error, so its success says nothing here.")
    data = noise(4096)
    assert data[:2] != b"PK" and data[:4] != b"MSCF" and data[2:3] != b"-"
    add("misc/random.zip", "", "random bytes named .zip", data)
    data = noise(4096)
    assert data[:2] != b"PK" and data[:4] != b"MSCF" and data[2:3] != b"-"
    add("misc/random.cab", "", "random bytes named .cab", data)


# --------------------------------------------------------------------------
# tarballs, 7z and single compressed files, all read by the fourth library

TAR_OPTS = ["--sort=name", "--mtime=@%d" % EPOCH, "--owner=0", "--group=0",
            "--numeric-owner", "--format=gnu"]
COMPRESSORS = [  # suffix, command writing the compressed stream to stdout
    (".gz", ["gzip", "-n", "-9", "-c"]),
    (".bz2", ["bzip2", "-9", "-c"]),
    (".xz", ["xz", "-6", "-c"]),
    (".zst", ["zstd", "-q", "-19", "-c"]),
    (".lz4", ["lz4", "-q", "-9", "-c"]),
]


def compress(data, cmd):
    res = subprocess.run(cmd, input=data, env=TOOL_ENV, stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE)
    if res.returncode != 0:
        sys.exit("command failed: %s\n%s" % (" ".join(cmd), res.stderr.decode()))
    return res.stdout


def tar_bytes(root, names, out, append=False):
    run(["tar", "-rf" if append else "-cf", out] + TAR_OPTS + ["--"] + names,
        cwd=root)
    return read(out)


def make_tar(tmp):
    root = os.path.join(tmp, "tar-common")
    make_tree(root, COMMON_FILES, COMMON_DIRS)
    plain = tar_bytes(root, sorted(os.listdir(root)), os.path.join(tmp, "common.tar"))
    files = dict(COMMON_FILES)
    add("tar/common.tar", "TAR", "plain tar (GNU tar)", plain, files=files,
        dirs=COMMON_DIRS, notes="GNU tar, gnu format, names sorted, fixed time.")
    for suffix, cmd in COMPRESSORS:
        add("tar/common.tar" + suffix, "TAR", "tar compressed with " + cmd[0],
            compress(plain, cmd), files=files, dirs=COMMON_DIRS,
            notes="The plain tar piped through %s." % " ".join(cmd))
    run(["7z", "a", "-bd", "-mx=5", os.path.join(tmp, "common.7z")]
        + sorted(os.listdir(root)), cwd=root)
    add("tar/common.7z", "TAR", "7z archive (p7zip)", read(os.path.join(tmp, "common.7z")),
        files=files, dirs=COMMON_DIRS, notes="7z a -mx=5 (LZMA2) of the common tree.")

    # One compressed file without tar: named after the archive.
    notes_txt = prose(5000)
    for suffix, cmd in COMPRESSORS[:1] + COMPRESSORS[2:4]:
        add("tar/notes.txt" + suffix, "TAR", "a single file compressed with " + cmd[0],
            compress(notes_txt, cmd), files={"notes.txt": notes_txt},
            notes="No tar inside: the one file takes the archive's name "
                  "without its compression suffix.")

    # A release tarball: one top folder, an executable, a set-user-id
    # program, links that stay inside, links that lead out, a hard link,
    # and an entry behind a link (appended with tar -r after the link).
    top = "tool-1.2.3"
    rel = os.path.join(tmp, "tar-release")
    tool = b"#!/bin/sh\necho tool 1.2.3\n"
    lib = noise(3000)
    readme = prose(800)
    make_tree(rel, {top + "/bin/tool": tool, top + "/bin/suid-tool": tool,
                    top + "/lib/libtool.so.1": lib, top + "/README": readme,
                    top + "/share/doc/guide.txt": readme})
    os.chmod(os.path.join(rel, top, "bin/tool"), 0o755)
    os.chmod(os.path.join(rel, top, "bin/suid-tool"), 0o4755)
    links = {  # name -> target; the first three stay inside
        top + "/lib/libtool.so": "libtool.so.1",
        top + "/bin/libtool": "../lib/libtool.so.1",
        top + "/doc": "share/doc",
        top + "/escape": "../../outside.txt",
        top + "/absolute": "/etc/passwd",
        top + "/roundabout": "lib/../../outside.txt",
    }
    for name, target in links.items():
        os.symlink(target, os.path.join(rel, name))
        os.utime(os.path.join(rel, name), (EPOCH, EPOCH), follow_symlinks=False)
    os.link(os.path.join(rel, top, "bin/tool"), os.path.join(rel, top, "bin/tool-hard"))
    out = os.path.join(tmp, "release.tar")
    tar_bytes(rel, [top], out)
    behind = os.path.join(tmp, "tar-behind")
    make_tree(behind, {top + "/doc/behind.txt": b"written through a link\n"})
    data = tar_bytes(behind, [top + "/doc/behind.txt"], out, append=True)
    refused = [top + "/escape", top + "/absolute", top + "/roundabout",
               top + "/bin/tool-hard", top + "/doc/behind.txt"]
    add("tar/tool-1.2.3.tar.xz", "TAR", "release tarball with a top folder, modes and links",
        compress(data, COMPRESSORS[2][1]),
        files={top + "/bin/tool": tool, top + "/bin/suid-tool": tool,
               top + "/lib/libtool.so.1": lib, top + "/README": readme,
               top + "/share/doc/guide.txt": readme},
        dirs=[top, top + "/bin", top + "/lib", top + "/share/doc"],
        refused=refused,
        notes="GNU tar of one top folder; tar -r appended doc/behind.txt, "
              "which lies behind the link doc. Links whose target stays "
              "inside are made last; the others, the hard link and the entry "
              "behind a link are refused. bin/tool is 0755, bin/suid-tool "
              "4755 (made 0755).")
    e = MANIFEST[-1]
    e["links"] = {n: t for n, t in list(links.items())[:3]}
    e["executable"] = [top + "/bin/tool", top + "/bin/suid-tool"]


def write_encoded_tree(root, names, encoding, content, folder):
    # Files named in bytes of an encoding, all holding content, with the one
    # folder among them dated like the files; returns root.
    for name in names:
        p = os.path.join(root.encode(), name.encode(encoding))
        os.makedirs(os.path.dirname(p), exist_ok=True)
        with open(p, "wb") as f:
            f.write(content)
        os.utime(p, (EPOCH, EPOCH))
    os.utime(os.path.join(root.encode(), folder.encode(encoding)), (EPOCH, EPOCH))
    return root


def make_names(tmp):
    # Names in encodings that are neither UTF-8 nor Shift_JIS, for the item's
    # name encoding; "names" maps each name (UTF-8) to its SHA-256.
    content = prose(300)
    gbk = ["中文说明.txt", "软件/程序.txt"]
    root = write_encoded_tree(os.path.join(tmp, "names-gbk"), gbk, "gbk", content, "软件")
    out = os.path.join(tmp, "names-gbk.tar")
    run(["tar", "-cf", out] + TAR_OPTS + ["--", "中文说明.txt".encode("gbk"),
        "软件".encode("gbk")], cwd=root)
    add("names/names-gbk.tar", "TAR", "GBK names in a GNU tar", read(out),
        notes="GNU tar stores the names' bytes as they are: GBK here.")
    MANIFEST[-1]["names"] = {"encoding": "GBK", "files": {n: sha256(content) for n in gbk}}

    cp437 = ["Ümlaut.txt", "Café/Ñandú.txt"]
    root = write_encoded_tree(os.path.join(tmp, "names-cp437"), cp437, "cp437", content, "Café")
    out = os.path.join(tmp, "names-cp437.zip")
    run(["zip", "-q", "-X", "-r", out, "Ümlaut.txt".encode("cp437"),
         "Café".encode("cp437")], cwd=root, extra_env={"LANG": "C", "LC_ALL": "C"})
    data = read(out)
    add("names/names-cp437.zip", "ZIP", "CP437 names in a ZIP without the UTF-8 flag", data,
        notes="Info-ZIP in the C locale stores the names' bytes as they are, "
              "CP437 here, without the UTF-8 flag.")
    MANIFEST[-1]["names"] = {"encoding": "CP437", "files": {n: sha256(content) for n in cp437}}


# --------------------------------------------------------------------------

def check():
    for entry in MANIFEST:
        path = os.path.join(HERE, entry["file"])
        for opts in ([], ["--options", "hdrcharset=CP932"]):
            res = subprocess.run(["bsdtar"] + opts + ["-tvf", path],
                                 env=dict(TOOL_ENV), stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE)
            print("== %s %s rc=%d" % (entry["file"], " ".join(opts), res.returncode))
            sys.stdout.write(res.stdout.decode(errors="replace"))
            sys.stdout.write(res.stderr.decode(errors="replace"))
            if not (entry["file"].startswith("lzh/sjis")
                    or entry["file"].endswith("sjis-names.cab")):
                break


def manifest_text(manifest):
    """JSON with one line per field, so diffs of the manifest stay readable."""
    def dump(v):
        return json.dumps(v, ensure_ascii=False)
    blocks = []
    for e in manifest:
        fields = []
        for k, v in e.items():
            if k == "files" and v:
                rows = ",\n".join("   %s: %s" % (dump(n), dump(h)) for n, h in v.items())
                fields.append(' "files": {\n%s}' % rows)
            else:
                fields.append(" %s: %s" % (dump(k), dump(v)))
        blocks.append("{" + ",\n".join(fields)[1:] + "}")
    return "[\n" + ",\n".join(blocks) + "\n]\n"


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--check", action="store_true",
                    help="list every fixture with bsdtar afterwards")
    ap.add_argument("--only", metavar="FOLDERS",
                    help="remake only these folders (comma-separated, e.g. "
                         "tar,names), keeping the other fixtures as they are")
    args = ap.parse_args()
    makers = [("lzh", make_lzh), ("zip", make_zip), ("cab", make_cab),
              ("misc", make_misc), ("tar", make_tar), ("names", make_names)]
    chosen = args.only.split(",") if args.only else [m for m, _ in makers]
    tools = {"lzh": ["jlha"], "zip": ["zip", "7z"], "cab": ["gcab"],
             "tar": ["tar", "gzip", "bzip2", "xz", "zstd", "lz4", "7z"],
             "names": ["tar", "zip"]}
    need_tools(sorted({t for m in chosen for t in tools.get(m, [])})
               + (["bsdtar"] if args.check else []))
    if args.only:
        with open(os.path.join(HERE, "fixtures.json"), encoding="utf-8") as f:
            MANIFEST.extend(e for e in json.load(f)
                            if e["file"].split("/")[0] not in chosen)
    for sub in chosen:
        shutil.rmtree(os.path.join(HERE, sub), ignore_errors=True)
    tmp = tempfile.mkdtemp(prefix="pellora-fixtures-")
    try:
        for name, maker in makers:
            if name in chosen:
                maker(tmp)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    text = manifest_text(MANIFEST)
    assert json.loads(text) == MANIFEST
    with open(os.path.join(HERE, "fixtures.json"), "w", encoding="utf-8") as f:
        f.write(text)
    total = sum(os.path.getsize(os.path.join(HERE, e["file"])) for e in MANIFEST)
    print("%d fixtures, %d bytes" % (len(MANIFEST), total))
    if args.check:
        check()


if __name__ == "__main__":
    main()
