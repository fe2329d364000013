#!/usr/bin/env python3
"""One host holds unfinished requests as fast as it can; another host still gets the page and
uploads a file, 20 tries of 20.

Usage: crowding_http.py HOST PORT TOKEN CROWD_ADDRESS OWN_ADDRESS
Prints "ok: ..." or "FAIL: ..."; the exit status is 1 on failure.
"""
import socket
import sys
import threading
import time

HOST, PORT, TOKEN, CROWD, OWN = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
TRIES, HOLDERS, LIMIT_SECONDS = 20, 24, 90
done = threading.Event()
held = [0]


def connect(source, timeout):
    s = socket.socket()
    s.settimeout(timeout)
    s.bind((source, 0))
    s.connect((HOST, PORT))
    return s


def hold():
    """Opens a connection, sends a request line that never ends, waits for the cut, again."""
    while not done.is_set():
        s = None
        try:
            s = connect(CROWD, 15)
            s.sendall(b"GET /")
            held[0] += 1
            s.recv(1)
        except OSError:
            pass
        finally:
            if s:
                s.close()


def request(head, body=b""):
    s = connect(OWN, 10)
    try:
        s.sendall(head.encode() + body)
        s.shutdown(socket.SHUT_WR)  # no further request: the server closes after its answer
        data = b""
        while True:
            part = s.recv(65536)
            if not part:
                break
            data += part
        return int(data[9:12]) if data.startswith(b"HTTP/1.1 ") else 0
    finally:
        s.close()


holders = [threading.Thread(target=hold, daemon=True) for _ in range(HOLDERS)]
for t in holders:
    t.start()
time.sleep(1)  # the crowd holds what it can before the first try
start, served = time.monotonic(), 0
for i in range(TRIES):
    if time.monotonic() - start > LIMIT_SECONDS:
        break
    try:
        page = request("GET /%s/ HTTP/1.1\r\nHost: %s\r\n\r\n" % (TOKEN, HOST))
        upload = request("PUT /%s/files?name=crowded-%d.txt HTTP/1.1\r\nHost: %s\r\nContent-Length: 5\r\n\r\n"
                         % (TOKEN, i, HOST), b"hello")
    except OSError as e:
        page, upload = 0, str(e)
    served += page == 200 and upload == 201
    if page != 200 or upload != 201:
        print("try %d: page %s, upload %s" % (i, page, upload))
done.set()
good = served == TRIES and held[0] > TRIES
print(("ok: " if good else "FAIL: ") + "another host served %d of %d tries while one held %d unfinished requests"
      % (served, TRIES, held[0]))
sys.exit(0 if good else 1)
