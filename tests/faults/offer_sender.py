#!/usr/bin/env python3
"""A private offer's sender that says what it likes, for the tests.

  offer_sender.py ADDR PORT PEM [--offer NAME:SIZE]... [--skip NAME:SIZE]...
      handshakes with the key and certificate in PEM, offers a manifest of the --offer
      files, reads the answers up to READY, then sends a transfer of --skip records (each
      "Skip:1", no content) whatever was answered, ends its direction with close_notify and
      prints the receiver's final lines, one each, without "QVP/1 ".
"""
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


def main():
    addr, port, pem = sys.argv[1:4]
    offered, skipped = files(sys.argv[4:], "--offer"), files(sys.argv[4:], "--skip")
    manifest = b"Version:3.0\nTotal:%d" % sum(size for _, size in offered)
    manifest += b"".join(record(name, size) for name, size in offered) + b"\n\nType:end\n\n"
    stream = b"Version:3.0\nTotal:0" + b"".join(record(n, s, b"Skip:1\n") for n, s in skipped) + b"\n\n"
    session = Session(addr, port, pem, timeout=20)
    lines = []
    try:
        session.pump(lambda: session.tls.write(b"QVP/1 OFFER\n" + manifest))
        while session.line() != b"QVP/1 READY\n":
            pass
        session.pump(lambda: session.tls.write(stream))
        session.finish()
        while True:
            lines.append(session.line()[6:-1].decode(errors="replace"))
    except (EOFError, OSError, ssl.SSLError):
        pass  # the receiver closed: what it answered so far is its word
    sys.stdout.write("".join(text + "\n" for text in lines))


if __name__ == "__main__":
    main()
