#!/usr/bin/env python3
"""A private offer's sender that says what it likes, for the tests.

  offer_sender.py ADDR PORT PEM [--offer NAME:SIZE]... [--skip NAME:SIZE]...
      handshakes with the key and certificate in PEM, offers a manifest of the --offer
      files, reads the answers up to READY, then sends a transfer of --skip records (each
      "Skip:1", no content) whatever was answered, ends its direction with close_notify and
      prints the receiver's final lines, one each, without "QVP/1 ".
  --from DIR     offers the files of DIR too (its name their Directory) and sends their
                 content, each followed by its check block, after the --skip records
  --bad NAME     that file of DIR is followed by a check block of other bytes
  --hold         stops halfway through the last file's content until its input ends
"""
import hashlib
import os
import ssl
import sys

from private_client import Session


def record(name, size, extra=b""):
    return b"\n\nType:file\nSize:%d\nName:%s\nDirectory:\n%s\n" % (size, name, extra)


def files(args, flag):
    out = []
    for i, arg in enumerate(args):
        if arg == flag:
            name, size = os.fsencode(args[i + 1]).rsplit(b":", 1)
            out.append((name, int(size)))
    return out


def content_records(args):
    """The --from folder's offer records, its content records with their check blocks, their
    bytes, and where the stream is halfway through the last file's content."""
    if "--from" not in args:
        return b"", b"", 0, 0
    folder = args[args.index("--from") + 1]
    bad = {os.fsencode(args[i + 1]) for i, arg in enumerate(args) if arg == "--bad"}
    top = os.fsencode(os.path.basename(folder))
    offer, stream, total, half = b"", b"\n\nType:directory\nDirectory:" + top, 0, 0
    for name in sorted(os.listdir(os.fsencode(folder))):
        with open(os.path.join(os.fsencode(folder), name), "rb") as f:
            data = f.read()
        head = b"\n\nType:file\nSize:%d\nName:%s\nDirectory:%s\n\n" % (len(data), name, top)
        check = hashlib.sha256(data + (b"!" if name in bad else b"")).hexdigest().encode()
        offer += head
        total += len(data)
        half = len(stream) + len(head) + len(data) // 2
        stream += head + data + b"\n\nType:check\nSHA-256:" + check
    return offer, stream, total, half


def main():
    addr, port, pem = sys.argv[1:4]
    args = sys.argv[4:]
    offered, skipped = files(args, "--offer"), files(args, "--skip")
    sent_offer, sent, sent_total, half = content_records(args)
    manifest = b"Version:3.0\nTotal:%d" % (sum(size for _, size in offered) + sent_total)
    manifest += b"".join(record(name, size) for name, size in offered) + sent_offer + b"\n\nType:end\n\n"
    stream = b"Version:3.0\nTotal:%d" % sent_total
    stream += b"".join(record(n, s, b"Skip:1\n") for n, s in skipped)
    cut = len(stream) + half if "--hold" in args else len(stream) + len(sent)
    stream += sent
    session = Session(addr, port, pem, timeout=20)
    lines = []
    try:
        session.pump(lambda: session.tls.write(b"QVP/1 OFFER\n" + manifest))
        while session.line() != b"QVP/1 READY\n":
            pass
        session.pump(lambda: session.tls.write(stream[:cut]))
        if "--hold" in args:
            sys.stdin.read()
        session.pump(lambda: session.tls.write(stream[cut:] + b"\n\n"))
        session.finish()
        while True:
            lines.append(session.line()[6:-1].decode(errors="replace"))
    except (EOFError, OSError, ssl.SSLError):
        pass  # the receiver closed: what it answered so far is its word
    sys.stdout.write("".join(text + "\n" for text in lines))


if __name__ == "__main__":
    main()
