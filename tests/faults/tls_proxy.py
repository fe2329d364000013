#!/usr/bin/env python3
"""A man in the middle of the private channel, for the tests.

  tls_proxy.py tls  LISTEN_ADDR LISTEN_PORT TARGET_ADDR TARGET_PORT CERT KEY
      ends TLS 1.3 on both sides with its own self-signed key (CERT, KEY: PEM) and
      relays the plain bytes between the two sessions: each end sees the proxy's key.
  tls_proxy.py cut  LISTEN_ADDR LISTEN_PORT TARGET_ADDR TARGET_PORT BYTES
      relays TCP as it is, and after BYTES from the client ends both connections in
      order (FIN): the sessions inside are cut without their close_notify.

Prints "listening" once it accepts; serves until killed.
"""
import socket
import ssl
import sys
import threading


def pump(source, target, limit, on_cut):
    sent = 0
    try:
        while limit is None or sent < limit:
            want = 65536 if limit is None else min(65536, limit - sent)
            data = source.recv(want)
            if not data:
                break
            target.sendall(data)
            sent += len(data)
    except OSError:
        pass
    if limit is not None and sent >= limit:
        on_cut()
        return
    for s in (target, source):
        try:
            s.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def relay(client, server, limit=None):
    def cut():
        for s in (client, server):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
    threading.Thread(target=pump, args=(client, server, limit, cut), daemon=True).start()
    threading.Thread(target=pump, args=(server, client, None, cut), daemon=True).start()


def contexts(cert, key):
    server = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    client = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
    for ctx in (server, client):
        ctx.minimum_version = ssl.TLSVersion.TLSv1_3
        ctx.load_cert_chain(cert, key)
    client.check_hostname = False
    client.verify_mode = ssl.CERT_NONE
    return server, client


def main():
    mode, listen_addr, listen_port, target_addr, target_port = sys.argv[1:6]
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((listen_addr, int(listen_port)))
    listener.listen(8)
    if mode == "tls":
        server_ctx, client_ctx = contexts(sys.argv[6], sys.argv[7])
    print("listening", flush=True)
    while True:
        conn, _ = listener.accept()
        try:
            upstream = socket.create_connection((target_addr, int(target_port)), timeout=5)
            upstream.settimeout(None)
            if mode == "tls":
                conn.settimeout(10)
                conn = server_ctx.wrap_socket(conn, server_side=True)
                conn.settimeout(None)
                upstream = client_ctx.wrap_socket(upstream)
                relay(conn, upstream)
            else:
                relay(conn, upstream, int(sys.argv[6]))
        except (OSError, ssl.SSLError) as error:
            print("proxy: %s" % error, file=sys.stderr, flush=True)
            conn.close()


if __name__ == "__main__":
    main()
