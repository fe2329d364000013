#!/usr/bin/env python3
"""A sender of the private channel's first exchange, for the tests.

  old_private_sender.py ADDR PORT CERT KEY STREAM [REQUEST]
      handshakes with its own key (CERT, KEY: PEM), writes "QVP/1 REQUEST\\n" (SEND when
      not given) and the bytes of the file STREAM, ends its direction with close_notify,
      and prints the receiver's first answer line ("" when it closed without one).
"""
import socket
import ssl
import sys


def main():
    addr, port, cert, key, stream = sys.argv[1:6]
    request = sys.argv[6] if len(sys.argv) > 6 else "SEND"
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
    ctx.minimum_version = ssl.TLSVersion.TLSv1_3
    ctx.load_cert_chain(cert, key)
    ctx.check_hostname = False
    ctx.verify_mode = ssl.CERT_NONE
    sock = socket.create_connection((addr, int(port)), timeout=10)
    # Through memory: a session that has sent its close_notify still reads the answer.
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

    pump(tls.do_handshake)
    answer = b""
    try:
        with open(stream, "rb") as f:
            pump(lambda: tls.write(b"QVP/1 " + request.encode() + b"\n" + f.read()))
        try:
            tls.unwrap()
        except ssl.SSLWantReadError:
            pass
        sock.sendall(outgoing.read())
        while not answer.endswith(b"\n"):
            answer += pump(lambda: tls.read(1))
    except (EOFError, OSError, ssl.SSLError):
        pass  # the receiver closed: what it answered so far is its word
    sys.stdout.write(answer.decode())


if __name__ == "__main__":
    main()
