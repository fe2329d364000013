#!/usr/bin/env python3
"""Hostile requests against browser access, over real sockets.

Usage: hostile_http.py HOST PORT TOKEN [--long-only]
--long-only sends only the long requests, with and without the token, ten times over, then
asks for the page. Each case prints "ok: ..." or "FAIL: ..."; the exit status is the number of failures.
The store folder is looked at by the calling test afterwards.
"""
import socket
import sys
import threading
import time
import urllib.parse

HOST, PORT, TOKEN = sys.argv[1], int(sys.argv[2]), sys.argv[3]
failures = 0


def check(what, good, detail=""):
    global failures
    print(("ok: " if good else "FAIL: ") + what + ("" if good else " (" + detail + ")"), flush=True)
    failures += 0 if good else 1


def connect(timeout=15):
    s = socket.create_connection((HOST, PORT), timeout=timeout)
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return s


def read_all(s):
    data = b""
    try:
        while True:
            part = s.recv(65536)
            if not part:
                break
            data += part
    except (ConnectionResetError, socket.timeout):
        pass
    return data


def exchange(head, body=b"", close_early=False, raw=None):
    """Sends a request head (and body), then says it sends nothing more (so that a
    connection kept open ends after the answer); returns (status, response body) or
    (0, b"") when cut. raw, a list, gets the whole response."""
    s = connect()
    try:
        s.sendall(head.encode() if isinstance(head, str) else head)
        if body:
            s.sendall(body)
        s.shutdown(socket.SHUT_WR)
    except (BrokenPipeError, ConnectionResetError):
        pass  # answered before the body was all sent: the answer may still be there
    data = read_all(s)
    s.close()
    if raw is not None:
        raw.append(data)
    if not data.startswith(b"HTTP/1.1 "):
        return 0, b""
    head_end = data.find(b"\r\n\r\n")
    return int(data[9:12]), data[head_end + 4:] if head_end >= 0 else b""


def responses(s, count):
    """Reads up to count responses from a connection kept open, each framed by its
    Content-Length: [(status, headers, body)]; fewer when the connection ends."""
    data, got = b"", []
    while len(got) < count:
        end = data.find(b"\r\n\r\n")
        if end >= 0:
            head = data[:end].decode("latin-1")
            length = int(next((l.split(":", 1)[1] for l in head.split("\r\n") if l.lower().startswith("content-length:")), "0"))
            if len(data) >= end + 4 + length:
                got.append((int(head[9:12]), head, data[end + 4:end + 4 + length]))
                data = data[end + 4 + length:]
                continue
        try:
            part = s.recv(65536)
        except (ConnectionResetError, socket.timeout):
            part = b""
        if not part:
            break
        data += part
    return got


def ask(s, requests, count):
    """Sends requests on a connection kept open; the statuses of up to count answers."""
    try:
        s.sendall(requests.encode())
    except OSError:
        return []
    return [r[0] for r in responses(s, count)]


def closed(s, within=1.0):
    """True when the server has closed the connection (within the seconds given)."""
    s.settimeout(within)
    try:
        return s.recv(1) == b""
    except ConnectionResetError:
        return True
    except socket.timeout:
        return False


def put(name, length, body, close_early=False):
    target = "/%s/files?name=%s" % (TOKEN, urllib.parse.quote(name, safe=""))
    head = "PUT %s HTTP/1.1\r\nHost: %s\r\nContent-Length: %s\r\n\r\n" % (target, HOST, length)
    return exchange(head, body, close_early)


def get(path, fields="", raw=None):
    return exchange("GET %s HTTP/1.1\r\nHost: %s\r\n%s\r\n" % (path, HOST, fields), raw=raw)


wrong = "A" * len(TOKEN) if TOKEN != "A" * len(TOKEN) else "B" * len(TOKEN)
untokened = []  # every answer to a request without the token, whole
digits = "7" * 8000


def long_requests():
    """Requests whose parts grow with what the client sent: none of them may end the server."""
    return [
        ("no token, an 8 KiB Range", get("/", "Range: bytes=" + "0-1," * 2048 + "\r\n", raw=untokened), 404),
        ("no token, a Range that makes no sense", get("/", "Range: bytes=z-\r\n", raw=untokened), 404),
        ("no token, a Range past 64 bits", get("/files/1", "Range: bytes=" + digits + "-\r\n", raw=untokened), 404),
        ("no token, an 8,000-digit path", get("/" + digits, raw=untokened), 404),
        ("no token, a 12 KiB path", get("/" + "a/" * 6000, raw=untokened), 404),
        ("no token, a 16 KiB header line", get("/", "X-Long: " + "l" * 16384 + "\r\n", raw=untokened), 404),
        ("no token, Expect: 100-continue", exchange(
            "PUT /files?name=x HTTP/1.1\r\nContent-Length: 3\r\nExpect: 100-continue\r\n\r\n", b"abc",
            raw=untokened), 404),
        ("the token and an 8,000-digit file number", get("/%s/files/%s" % (TOKEN, digits)), 404),
        ("the token and an 8 KiB Range", get("/%s/" % TOKEN, "Range: bytes=" + "0-1," * 2048 + "\r\n"), 200),
        ("the token and a 16 KiB header line", get("/%s/" % TOKEN, "X-Long: " + "l" * 16384 + "\r\n"), 431),
    ]


def check_cases(cases):
    for what, (status, body), expected in cases:
        check("%s: %d" % (what, expected), status == expected, "got %d" % status)
        if expected == 404:
            check("%s: says nothing" % what, body == b"", repr(body[:60]))


def check_page():
    status, body = get("/%s/" % TOKEN)
    check("the page afterwards", status == 200 and b"<!DOCTYPE html>" in body, "got %d" % status)


if sys.argv[4:] == ["--long-only"]:
    for _ in range(10):
        check_cases(long_requests())
    check("every request without the token gets the same answer", len(set(untokened)) == 1,
          repr(sorted(set(untokened))[:3]))
    check_page()
    sys.exit(failures)


# A client that sends its request head a byte a second, from the start, next to the rest.
slow = {}


def send_slowly():
    s = connect(timeout=30)
    start = time.monotonic()
    head = ("GET /%s/ HTTP/1.1\r\nHost: %s\r\n" % (TOKEN, HOST)) + "X-Slow: " + "a" * 100 + "\r\n\r\n"
    try:
        for byte in head.encode():
            s.send(bytes([byte]))
            time.sleep(1)
            if time.monotonic() - start > 25:
                break
        slow["answer"] = read_all(s)
    except (BrokenPipeError, ConnectionResetError):
        slow["answer"] = b""
    slow["seconds"] = time.monotonic() - start
    s.close()


slow_client = threading.Thread(target=send_slowly)
slow_client.start()

get("/%s/files" % TOKEN)  # the offered file gets its number, 1
cases = long_requests() + [
    ("a file and 2,048 ranges", get("/%s/files/1" % TOKEN, "Range: bytes=" + "0-1," * 2048 + "\r\n"), 200),
    ("a file and a Range past 64 bits", get("/%s/files/1" % TOKEN, "Range: bytes=" + digits + "-\r\n"), 200),
    ("a file and a suffix past 64 bits", get("/%s/files/1" % TOKEN, "Range: bytes=-" + digits + "\r\n"), 200),
    ("a file and If-Range of 8 KiB", get("/%s/files/1" % TOKEN, "Range: bytes=0-1\r\nIf-Range: " + digits + "\r\n"),
     200),
    ("no token", get("/", raw=untokened), 404),
    ("no token, a file's place", get("/files/0", raw=untokened), 404),
    ("a wrong token of the right length", get("/%s/" % wrong, raw=untokened), 404),
    ("the token in other case", get("/%s/" % TOKEN.lower(), raw=untokened), 404),
    ("an upload with a wrong token", exchange(
        "PUT /%s/files?name=x HTTP/1.1\r\nContent-Length: 3\r\n\r\n" % wrong, b"abc", raw=untokened), 404),
    ("'..' as the name", put("..", 3, b"abc"), 400),
    ("a name that climbs", put("../escape.txt", 3, b"abc"), 400),
    ("an absolute name", put("/tmp/absolute.txt", 3, b"abc"), 400),
    ("a Windows absolute name", put("C:\\evil.txt", 3, b"abc"), 400),
    ("a name with a line feed", put("a\nType:directory", 3, b"abc"), 400),
    ("a name with a NUL", put("a\x00b", 3, b"abc"), 400),
    ("no name", put("", 3, b"abc"), 400),
    ("a name too long for the store's path", put("n" * 250, 3, b"abc"), 400),
    ("a Cyrillic name of 254 bytes", put("я" * 127, 3, b"abc"), 400),
    ("a Content-Length of 2^63", put("big.bin", 2 ** 63, b"abc"), 400),
    ("a Content-Length past the free space", put("big.bin", 2 ** 62, b"abc"), 507),
    ("a negative Content-Length", put("neg.bin", -5, b"abc"), 400),
    ("two Content-Lengths that differ", exchange(
        "PUT /%s/files?name=two.bin HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 10\r\n\r\n" % TOKEN,
        b"0123456789"), 400),
    ("white space before a colon", exchange(
        "PUT /%s/files?name=te.bin HTTP/1.1\r\nTransfer-Encoding : chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n" % TOKEN),
        400),
    ("a chunked body", exchange(
        "PUT /%s/files?name=chunk.bin HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n" % TOKEN), 411),
    ("a body the routes do not take", exchange(
        "POST /%s/files HTTP/1.1\r\nContent-Length: 500000\r\n\r\n" % TOKEN, b"x" * 500000), 400),
]
check_cases(cases)
check("every request without the token gets the same answer", len(set(untokened)) == 1,
      repr(sorted(set(untokened))[:3]))
status, body = put("n" * 250, 3, b"abc")
check("a name too long says so", body == b"name-too-long", repr(body))

# A body shorter than its Content-Length: nothing is left under its name.
status, _ = put("short.bin", 100000, b"s" * 5000, close_early=True)
check("a body shorter than its length is not saved", status in (0, 500), "got %d" % status)

# A head that never ends is cut at its size limit.
status, _ = exchange("GET /%s/ HTTP/1.1\r\n" % TOKEN + "X-Fill: " + "f" * 100 + "\r\n" * 1 + ("X-More: y\r\n" * 3000))
check("a head without end is cut", status in (0, 431), "got %d" % status)

# Two hundred silent connections at once: the last 64 wait for their first bytes, the
# others are closed at once; every one ends.
crowd = []
for _ in range(200):
    try:
        crowd.append(connect(timeout=20))
    except OSError:
        crowd.append(None)
start = time.monotonic()
closed_at_once = 0
for s in crowd:
    if s is None:
        closed_at_once += 1
        continue
    s.settimeout(0.05)
    try:
        closed_at_once += 1 if s.recv(1) == b"" else 0
    except socket.timeout:
        pass
    except ConnectionResetError:
        closed_at_once += 1
check("200 connections at once: all but those that wait closed at once", closed_at_once >= 130,
      "%d closed" % closed_at_once)
ended = 0
for s in crowd:
    if s is None:
        ended += 1
        continue
    s.settimeout(max(0.1, 14 - (time.monotonic() - start)))
    try:
        ended += 1 if read_all(s) is not None else 0
    finally:
        s.close()
check("200 connections at once: every one ends", ended == 200, "%d ended" % ended)

slow_client.join()
check("a head sent a byte a second is cut within its deadline",
      slow.get("seconds", 99) < 15 and not slow.get("answer", b"").startswith(b"HTTP/1.1 200"),
      "%.1f s, %r" % (slow.get("seconds", 99), slow.get("answer", b"")[:40]))

# One connection, several requests: pipelined ones are answered in order; one after an
# answer is served too; a body that no route reads ends the connection rather than being
# taken for the next request.
page = "GET /%s/ HTTP/1.1\r\nHost: a\r\n\r\n" % TOKEN
listing = "GET /%s/files HTTP/1.1\r\nHost: a\r\n\r\n" % TOKEN
s = connect()
check("three pipelined requests get three answers", ask(s, page + listing + page, 3) == [200, 200, 200])
check("a request after the answers is served", ask(s, listing, 1) == [200])
smuggled = "GET /%s/ HTTP/1.1\r\nContent-Length: %d\r\n\r\n" % (TOKEN, len(listing)) + listing
got = ask(s, smuggled, 2)
check("a GET with a body: refused, and nothing of its body served", got == [400], repr(got))
check("a GET with a body: the connection ends", closed(s))
s.close()
s = connect()
check("HTTP/1.0: one answer, then the end", ask(s, "GET /%s/ HTTP/1.0\r\n\r\n" % TOKEN + page, 2) == [200] and closed(s))
s.close()
s = connect()
s.sendall((page + "GET /files/1 HTTP/1.1\r\n\r\n" + page).encode())
got = responses(s, 3)
check("no token after a request: the same empty 404, then the end",
      [r[0] for r in got] == [200, 404] and got[1][2] == b"" and closed(s), repr(got)[:80])
s.close()

# Six connections of this address answered and idle: a seventh is served all the same,
# and one of the idle ones is closed to make room.
idle = [connect() for _ in range(6)]
for s in idle:
    ask(s, listing, 1)
try:
    served = ask(connect(), listing, 1)
except OSError:
    served = []
check("a newcomer beside six idle connections is served", served == [200], repr(served))
# (well before the idle ones would end by themselves)
check("an idle connection made room", sum(closed(s, 0.2) for s in idle) == 1)
for s in idle:
    s.close()

# Right after all of that, the page and a normal upload work.
check_page()
payload = bytes(range(256)) * 4096
status, body = put("normal.bin", len(payload), payload)
check("a normal upload afterwards", status == 201 and body == b"saved", "got %d %r" % (status, body))
sys.exit(failures)
