#!/usr/bin/env python3
"""Checks a zip with four independent readers against the files it should hold: Python's
zipfile, Info-ZIP unzip, 7z and bsdtar each test the archive, list its names and extract
its members (to one stream, in the archive's order), and names and bytes must be the
expected ones. Small archives are also tested (-t) and extracted to folders and compared
file by file; of a large one, the stream extraction alone checks each CRC (it reads it all).

Usage: zip_check.py ZIP MANIFEST [--no-bsdtar]
MANIFEST: one line "NAME<TAB>LOCAL PATH" per expected member. --no-bsdtar: the caller fed
bsdtar the archive through a pipe itself. Exit status 1 with the differences named."""
import filecmp
import os
import subprocess
import sys
import tempfile
import time
import zipfile

ENV = dict(os.environ, LC_ALL="C.UTF-8")
PIECE = 1 << 20
SMALL = 64 << 20
failures = []


def run(cmd):
    return subprocess.run(cmd, env=ENV, capture_output=True)


def same_stream(stream, paths):
    for path in paths:
        with open(path, "rb") as f:
            while True:
                want = f.read(PIECE)
                if not want:
                    break
                if stream.read(len(want)) != want:
                    return False
    return stream.read(1) == b""


def check_stream(reader, cmd, paths):
    with subprocess.Popen(cmd, env=ENV, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL) as p:
        same = same_stream(p.stdout, paths)
        p.stdout.close()
        status = p.wait()
    if not same or status != 0:
        failures.append(f"{reader}: the extracted bytes differ, or it failed ({status})")


def dos_time(path):
    t = time.localtime(os.path.getmtime(path))
    return max((t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec // 2 * 2), (1980, 1, 1, 0, 0, 0))


def check_names(reader, got, want):
    if sorted(got) != sorted(want):
        failures.append(f"{reader}: names {sorted(got)[:5]}... ({len(got)}), not {sorted(want)[:5]}... ({len(want)})")


def check_folder(reader, cmd, folder, expected):
    if run(cmd).returncode != 0:
        return failures.append(f"{reader}: extraction failed")
    for name, path in expected.items():
        if not filecmp.cmp(os.path.join(folder, name), path, shallow=False):
            failures.append(f"{reader}: {name} differs")


def main():
    archive, manifest = sys.argv[1], sys.argv[2]
    with open(manifest, encoding="utf-8") as f:
        expected = dict(line.rstrip("\n").split("\t", 1) for line in f if line.strip())
    with zipfile.ZipFile(archive) as z:
        order = [i.filename for i in z.infolist()]
        check_names("zipfile", order, expected)
        if any(not i.flag_bits & 0x800 for i in z.infolist() if not i.filename.isascii()):
            failures.append("zipfile: a UTF-8 name without the UTF-8 flag")
        # Each member carries its file's last write, in local time to the two seconds.
        stale = [i.filename for i in z.infolist() if i.filename in expected and i.date_time != dos_time(expected[i.filename])]
        if stale:
            failures.append(f"zipfile: {stale[:3]} not dated as their files")
        for name in order:
            with z.open(name) as member:
                if name in expected and not same_stream(member, [expected[name]]):
                    failures.append(f"zipfile: {name} differs")
    if failures:
        return
    paths = [expected[name] for name in order]
    readers = [("unzip", ["unzip", "-tqq", archive], ["unzip", "-Z1", archive], ["unzip", "-p", archive]),
               ("7z", ["7z", "t", archive], ["7z", "l", "-ba", "-slt", archive], ["7z", "x", "-so", archive])]
    if "--no-bsdtar" not in sys.argv:
        readers.append(("bsdtar", ["bsdtar", "-tf", archive], ["bsdtar", "-tf", archive], ["bsdtar", "-xOf", archive]))
    small = sum(os.path.getsize(p) for p in paths) <= SMALL
    for reader, test, listing, extract in readers:
        if small and run(test).returncode != 0:
            failures.append(f"{reader}: the test failed")
        lines = run(listing).stdout.decode("utf-8", "replace").splitlines()
        if reader == "7z":
            lines = [line[7:] for line in lines if line.startswith("Path = ")]
        check_names(reader, lines, expected)
        check_stream(reader, extract, paths)
    if small and len(paths) <= 1000:
        with tempfile.TemporaryDirectory() as top:
            check_folder("unzip", ["unzip", "-qq", archive, "-d", top + "/u"], top + "/u", expected)
            check_folder("7z", ["7z", "x", "-y", "-o" + top + "/7", archive], top + "/7", expected)


main()
if failures:
    print("\n".join(failures))
sys.exit(1 if failures else 0)
