#!/usr/bin/env python3
"""A sender of the private channel's first exchange, for the tests.

  old_private_sender.py ADDR PORT CERT KEY STREAM [REQUEST]
      handshakes with its own key (CERT, KEY: PEM), writes "QVP/1 REQUEST\\n" (SEND when
      not given) and the bytes of the file STREAM, ends its direction with close_notify,
      and prints the receiver's first answer line ("" when it closed without one).
"""
import ssl
import sys

from private_client import Session


def main():
    addr, port, cert, key, stream = sys.argv[1:6]
    request = sys.argv[6] if len(sys.argv) > 6 else "SEND"
    session = Session(addr, port, cert, key)
    answer = b""
    try:
        with open(stream, "rb") as f:
            session.pump(lambda: session.tls.write(b"QVP/1 " + request.encode() + b"\n" + f.read()))
        session.finish()
        answer = session.line()
    except (EOFError, OSError, ssl.SSLError):
        pass  # the receiver closed: what it answered so far is its word
    sys.stdout.write(answer.decode())


if __name__ == "__main__":
    main()
