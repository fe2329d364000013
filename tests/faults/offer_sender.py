#!/usr/bin/env python3
"""A private offer's sender that says what it likes, for the tests.

  offer_sender.py ADDR PORT PEM [--offer NAME:SIZE]... [--skip NAME:SIZE]...
      handshakes with the key and certificate in PEM, offers a manifest of the --offer
      files, reads the answers up to READY, then sends a transfer of --skip records (each
      "Skip:1", no content) whatever was answered, ends its direction with close_notify and
      prints the receiver's final lines, one each, without "QVP/1 ".
"""
import os
import socket
import ssl
import sys


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
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
    ctx.minimum_version = ssl.TLSVersion.TLSv1_3
    ctx.load_cert_chain(pem)
    ctx.check_hostname = False
    ctx.verify_mode = ssl.CERT_NONE
    sock = socket.create_connection((addr, int(port)), timeout=20)
    incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
    tls = ctx.wrap_bio(incoming, outgoing)

    def pump(call):
        while True:
            try:
                result = call()
                sock.sendall(outgoing.read())
                return result
            except ssl.SSLWantReadError:
                sock.sendall(outgoing.read())
                data = sock.recv(65536)
                if not data:
                    raise EOFError("the receiver closed")
                incoming.write(data)

    def line():
        text = b""
        while not text.endswith(b"\n"):
            text += pump(lambda: tls.read(1))
        return text[6:-1].decode(errors="replace")

    pump(tls.do_handshake)
    manifest = b"Version:3.0\nTotal:%d" % sum(size for _, size in offered)
    manifest += b"".join(record(name, size) for name, size in offered) + b"\n\nType:end\n\n"
    lines = []
    try:
        pump(lambda: tls.write(b"QVP/1 OFFER\n" + manifest))
        while line() != "READY":
            pass
        stream = b"Version:3.0\nTotal:0" + b"".join(record(n, s, b"Skip:1\n") for n, s in skipped) + b"\n\n"
        pump(lambda: tls.write(stream))
        try:
            tls.unwrap()
        except ssl.SSLWantReadError:
            pass
        sock.sendall(outgoing.read())
        while True:
            lines.append(line())
    except (EOFError, OSError, ssl.SSLError):
        pass  # the receiver closed: what it answered so far is its word
    sys.stdout.write("".join(text + "\n" for text in lines))


if __name__ == "__main__":
    main()
