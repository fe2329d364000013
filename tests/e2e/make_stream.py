#!/usr/bin/env python3
"""Writes the transfer stream of a folder tree, as a sender would, to stdout.

An independent writer for the end-to-end tests: make_stream.py ROOT NAME... [--total N] streams
each NAME (a folder or a file directly under ROOT) with folders first, then files,
in the byte layout peers use (UTF-8 names, "\\" in file records' folders). With --total
the header announces N bytes instead of the files' sum, as a sender whose files grew would.
"""
import os
import sys


def walk(root, name, folders, files):
    path = os.path.join(root, name)
    if os.path.isdir(path):
        rel = name + "\\"
        folders.append(rel)
        for entry in sorted(os.listdir(path)):
            walk_inner(root, rel, entry, folders, files)
    else:
        files.append((path, name, "/"))


def walk_inner(root, rel, entry, folders, files):
    local = os.path.join(root, *rel.rstrip("\\").split("\\"), entry)
    if os.path.isdir(local):
        sub = rel + entry + "\\"
        folders.append(sub)
        for e in sorted(os.listdir(local)):
            walk_inner(root, sub, e, folders, files)
    else:
        files.append((local, entry, rel))


def main():
    args = sys.argv[1:]
    announced = None
    if "--total" in args:
        at = args.index("--total")
        announced, args = int(args[at + 1]), args[:at] + args[at + 2:]
    root, names = args[0], args[1:]
    folders, files = [], []
    for name in names:
        walk(root, name, folders, files)
    total = sum(os.path.getsize(p) for p, _, _ in files) if announced is None else announced
    out = sys.stdout.buffer
    out.write(b"Version:3.0\nTotal:%d" % total)
    for folder in folders:
        out.write(b"\n\nType:directory\nDirectory:" + folder.replace("\\", "/").encode())
    for path, name, rel in files:
        size = os.path.getsize(path)
        out.write(b"\n\nType:file\nSize:%d\nName:%s\nDirectory:%s\n\n" % (size, name.encode(), rel.encode()))
        with open(path, "rb") as f:
            while True:
                chunk = f.read(1 << 20)
                if not chunk:
                    break
                out.write(chunk)
    out.flush()


if __name__ == "__main__":
    main()
