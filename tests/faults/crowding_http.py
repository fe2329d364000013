#!/usr/bin/env python3
"""Hosts that hold connections without the token, each reopened as soon as it is cut, while
browsers from other addresses (and from a crowding one) still get the page and upload a
file, 20 tries of 20 each.

Usage: crowding_http.py HOST PORT TOKEN HOLD PER CROWD[,CROWD...] BROWSER[,BROWSER...] [LATE]
HOLD is how a crowding connection holds: "line" (a request line that never ends), "silent"
(nothing at all), "request" (a whole request without the token, then silence) or "tokhead"
(the token's request line, then a head that never ends, a byte a second); PER is how many
connections each crowding address holds at once; LATE is how many seconds a browser waits
between its connect and its request.
Prints "ok: ..." or "FAIL: ..."; the exit status is 1 on failure.
"""
import socket
import sys
import threading
import time

HOST, PORT, TOKEN, HOLD, PER = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], int(sys.argv[5])
CROWD, BROWSERS = sys.argv[6].split(","), sys.argv[7].split(",")
LATE = float(sys.argv[8]) if len(sys.argv) > 8 else 0.0
# The tries spread over 6 seconds, past the 5 seconds a silent connection is given, so that
# the crowd's connections are cut and reopened meanwhile.
TRIES, SPREAD_SECONDS, LIMIT_SECONDS = 20, 0.3, 90
SENT = {"line": b"GET /", "silent": b"", "request": b"GET / HTTP/1.1\r\nHost: x\r\n\r\n",
        "tokhead": b"GET /%s/ HTTP/1.1\r\nX: " % TOKEN.encode()}[HOLD]
done = threading.Event()
held = [0]


def connect(source, timeout):
    s = socket.socket()
    s.settimeout(timeout)
    s.bind((source, 0))
    s.connect((HOST, PORT))
    return s


def hold(source):
    """Opens a connection, sends what it holds with, waits for the cut, again."""
    while not done.is_set():
        s = None
        try:
            s = connect(source, 15)
            s.sendall(SENT)
            held[0] += 1
            while HOLD == "tokhead" and not done.is_set():
                s.sendall(b"a")
                done.wait(1)
            while s.recv(4096):
                pass
        except OSError:
            pass
        finally:
            if s:
                s.close()


def request(source, head, body=b""):
    s = connect(source, 10)
    try:
        time.sleep(LATE)
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


def browse(source, i):
    """One try of a browser: the page, then an upload. True when both worked."""
    try:
        page = request(source, "GET /%s/ HTTP/1.1\r\nHost: %s\r\n\r\n" % (TOKEN, HOST))
        upload = request(source, "PUT /%s/files?name=crowded-%s-%d.txt HTTP/1.1\r\nHost: %s\r\n"
                         "Content-Length: 5\r\n\r\n" % (TOKEN, source, i, HOST), b"hello")
    except OSError as e:
        page, upload = 0, str(e)
    if page != 200 or upload != 201:
        print("%s, try %d: page %s, upload %s" % (source, i, page, upload))
    return page == 200 and upload == 201


for address in CROWD:
    for _ in range(PER):
        threading.Thread(target=hold, args=(address,), daemon=True).start()
time.sleep(1)  # the crowd holds what it can before the first try
start, served = time.monotonic(), {b: 0 for b in BROWSERS}
for i in range(TRIES):
    if time.monotonic() - start > LIMIT_SECONDS:
        break
    time.sleep(max(0.0, start + i * SPREAD_SECONDS - time.monotonic()))
    for b in BROWSERS:
        served[b] += browse(b, i)
done.set()
good = all(n == TRIES for n in served.values()) and held[0] >= len(CROWD) * PER
print(("ok: " if good else "FAIL: ") + "%s served %s tries of %d while %d addresses held %d connections (%s), %d in all"
      % (", ".join(BROWSERS), ", ".join(map(str, served.values())), TRIES, len(CROWD), PER, HOLD, held[0]))
sys.exit(0 if good else 1)
