#!/usr/bin/env python3
"""Hostile resumable-upload requests against browser access, over real sockets, each
with the answer it must get; every answer (but one without the token) says Tus-Resumable.

Usage: hostile_tus.py HOST PORT TOKEN OTHER_ADDRESS FREE_BYTES CROWD_ADDRESS...
OTHER_ADDRESS is a second address of this host: another browser; FREE_BYTES the store's
free space; the four CROWD_ADDRESSes are more of this host's: a host that crowds. Prints
"ok: ..." or "FAIL: ..." per case; the exit status is the number of failures. The store
folder is looked at by the calling test afterwards.
"""
import base64
import socket
import sys
import threading
import time

HOST, PORT, TOKEN, OTHER = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
FREE, CROWD = int(sys.argv[5]), sys.argv[6:10]
BASE = "/%s/uploads" % TOKEN
TUS = {"Tus-Resumable": "1.0.0"}
PIECE = {"Tus-Resumable": "1.0.0", "Content-Type": "application/offset+octet-stream"}
failures = 0


def check(what, good, detail=""):
    global failures
    print(("ok: " if good else "FAIL: ") + what + ("" if good else " (" + detail + ")"), flush=True)
    failures += 0 if good else 1


def send_head(method, path, fields, length, source=None):
    s = socket.create_connection((HOST, PORT), timeout=15, source_address=(source, 0) if source else None)
    head = "%s %s HTTP/1.1\r\nHost: %s\r\n" % (method, path, HOST)
    head += "".join("%s: %s\r\n" % kv for kv in fields.items())
    if length is not None:
        head += "Content-Length: %d\r\n" % length
    s.sendall((head + "\r\n").encode())
    return s


def answer(s):
    """(status, {field: value}) of the answer, (0, {}) when none came."""
    data = b""
    try:
        while b"\r\n\r\n" not in data:
            part = s.recv(65536)
            if not part:
                break
            data += part
    except (ConnectionResetError, socket.timeout):
        pass
    s.close()
    if not data.startswith(b"HTTP/1.1 "):
        return 0, {}
    lines = data.split(b"\r\n\r\n")[0].decode("latin-1").split("\r\n")
    return int(lines[0][9:12]), {k.lower(): v.strip() for k, _, v in (l.partition(":") for l in lines[1:])}


def request(method, path=BASE, fields=TUS, body=b"", source=None, length=None):
    s = send_head(method, path, fields, len(body) if length is None and (body or method in ("POST", "PATCH")) else length,
                  source)
    try:
        s.sendall(body)
    except OSError:
        pass
    return answer(s)


def name64(name):
    return base64.b64encode(name.encode()).decode()


def create(name="x.bin", length=10, source=None, body=b""):
    fields = dict(PIECE if body else TUS, **{"Upload-Length": str(length), "Upload-Metadata": "filename " + name64(name)})
    status, got = request("POST", fields=fields, body=body, source=source)
    return status, got.get("location", ""), got


def expect(what, want, got):
    status, fields = got[0], got[1] if isinstance(got[1], dict) else got[2]
    check("%s: %d" % (what, want), status == want, "got %d" % status)
    if status:
        check(what + " says Tus-Resumable", fields.get("tus-resumable") == "1.0.0", str(fields))


def with_length(length, metadata):
    return dict(TUS, **{"Upload-Length": length, "Upload-Metadata": metadata})


status, fields = request("OPTIONS", fields={})
check("OPTIONS: 204 with the version and extensions", status == 204 and fields.get("tus-version") == "1.0.0" and
      fields.get("tus-extension") == "creation,creation-with-upload,termination" and fields.get("tus-max-size") ==
      str(1 << 40), "%d %s" % (status, fields))
good = "filename " + name64("never.bin")
# what, method, fields, body, answer
for what, method, fields, body, want in [
    ("no Tus-Resumable", "POST", {"Upload-Length": "3", "Upload-Metadata": good}, b"", 412),
    ("another version", "POST", {"Tus-Resumable": "0.2.2", "Upload-Length": "3", "Upload-Metadata": good}, b"", 412),
    ("no Upload-Length", "POST", {"Tus-Resumable": "1.0.0", "Upload-Metadata": good}, b"", 400),
    ("a deferred length", "POST", dict(TUS, **{"Upload-Defer-Length": "1", "Upload-Metadata": good}), b"", 400),
    ("a negative length", "POST", with_length("-1", good), b"", 400),
    ("a length past 63 bits", "POST", with_length("9" * 20, good), b"", 400),
    ("a length with a sign", "POST", with_length("+3", good), b"", 400),
    ("past Tus-Max-Size", "POST", with_length(str((1 << 40) + 1), good), b"", 413),
    ("past the free space", "POST", with_length(str(1 << 40), good), b"", 507),
    ("no metadata", "POST", {"Tus-Resumable": "1.0.0", "Upload-Length": "3"}, b"", 400),
    ("bad base64", "POST", with_length("3", "filename a*b="), b"", 400),
    ("base64 cut short", "POST", with_length("3", "filename YWJj="), b"", 400),
    ("no filename", "POST", with_length("3", "name " + name64("a")), b"", 400),
    ("filename twice", "POST", with_length("3", good + "," + good), b"", 400),
    ("a name that climbs", "POST", with_length("3", "filename " + name64("../out.txt")), b"", 400),
    ("a name that climbs inside", "POST", with_length("3", "filename " + name64("a/../../out.txt")), b"", 400),
    ("an absolute name", "POST", with_length("3", "filename " + name64("/tmp/out.txt")), b"", 400),
    ("a device name", "POST", with_length("3", "filename " + name64("CON")), b"", 400),
    ("a backslash", "POST", with_length("3", "filename " + name64("a\\..\\b")), b"", 400),
    ("a body of another type", "POST", dict(with_length("3", good), **{"Content-Type": "text/plain"}), b"abc", 415),
    ("a body past the length", "POST", dict(with_length("2", good), **PIECE), b"abc", 413),
    ("a guessed id", "PATCH", dict(PIECE, **{"Upload-Offset": "0"}), b"abc", 404),
    ("GET on uploads", "GET", TUS, b"", 405),
]:
    path = BASE + ("/" + "A" * 26 if method == "PATCH" else "")
    expect(what, want, request(method, path, fields, body))

for what, path in [("no token", "/uploads"), ("a wrong token", "/" + "B" * len(TOKEN) + "/uploads")]:
    status, fields = request("POST", path, with_length("3", good))
    check(what + ": an empty 404 without Tus-Resumable", status == 404 and "tus-resumable" not in fields, str(status))

# One upload, walked through every wrong piece.
status, location, _ = create("walk.bin", 10)
check("created: 201 with its Location", status == 201 and location.startswith(BASE + "/"), "%d %s" % (status, location))
patch = lambda offset, body, fields=PIECE, source=None: request(
    "PATCH", location, dict(fields, **({"Upload-Offset": offset} if offset is not None else {})), body, source)
expect("an offset ahead", 409, patch("5", b"abc"))
expect("a negative offset", 400, patch("-1", b"abc"))
expect("no offset", 400, patch(None, b"abc"))
expect("a piece of another type", 415, patch("0", b"abc", dict(TUS, **{"Content-Type": "text/plain"})))
expect("a piece past the length", 413, patch("0", b"x" * 11))
expect("another browser's PATCH", 404, patch("0", b"abc", source=OTHER))
expect("another browser's HEAD", 404, request("HEAD", location, TUS, source=OTHER))
expect("another browser's DELETE", 404, request("DELETE", location, TUS, source=OTHER))
status, fields = patch("0", b"abcd")
check("a piece: 204 at offset 4", status == 204 and fields.get("upload-offset") == "4", "%d %s" % (status, fields))
status, fields = request("HEAD", location)
check("HEAD: offset 4 of 10, not kept", status == 200 and fields.get("upload-offset") == "4" and
      fields.get("upload-length") == "10" and fields.get("cache-control") == "no-store", "%d %s" % (status, fields))
expect("DELETE", 204, request("DELETE", location))
expect("PATCH after DELETE", 404, patch("4", b"ef"))
expect("HEAD after DELETE", 404, request("HEAD", location))

# A trickling piece holds no other upload back; what it brought counts.
status, location, _ = create("trickle.bin", 1000)
trickle = send_head("PATCH", location, dict(PIECE, **{"Upload-Offset": "0"}), 1000)
def drip():
    for _ in range(20):
        trickle.sendall(b"t")
        time.sleep(0.05)
dripping = threading.Thread(target=drip)
dripping.start()
status, _, fields = create("beside.txt", 3, body=b"abc")
check("an upload beside a trickle: 201 at offset 3", status == 201 and fields.get("upload-offset") == "3", str(status))
dripping.join()
trickle.close()
status, fields = request("HEAD", location)
check("the trickle's bytes count", status == 200 and fields.get("upload-offset") == "20", "%d %s" % (status, fields))
expect("the trickle ended", 204, request("DELETE", location))

# Partial uploads per address are bounded; another address still makes its own.
made = [create("many%d.bin" % i, 5) for i in range(17)]
check("16 partial uploads from one address", all(m[0] == 201 for m in made[:16]), str([m[0] for m in made]))
expect("the 17th", 429, made[16])
status, other, _ = create("other.bin", 5, source=OTHER)
check("another address still makes one", status == 201, str(status))
for location in [m[1] for m in made[:16]]:
    request("DELETE", location)
request("DELETE", other, source=OTHER)

# A declared length holds no free space back: only bytes written and arriving do.
status, held, _ = create("holds.bin", FREE * 3 // 5, source=CROWD[0])
check("an upload that declares most of the free space", status == 201, str(status))
status, other, fields = create("beside-held.bin", FREE * 3 // 5, source=OTHER, body=b"hello")
check("another beside it, its first piece written", status == 201 and fields.get("upload-offset") == "5",
      "%d %s" % (status, fields))
request("DELETE", held, source=CROWD[0])
request("DELETE", other, source=OTHER)

# A host that fills the table with idle uploads from four addresses: once they have been
# idle a minute, another browser's creation pushes out the oldest of them.
made = [(CROWD[0], create("crowd.bin", 1, source=CROWD[0])[1])]
time.sleep(0.1)  # the oldest by a clear margin
made += [(a, create("crowd%d.bin" % i, 1, source=a)[1]) for a in CROWD for i in range(16) if made[0][0] != a or i]
check("64 idle uploads from four addresses", all(m[1] for m in made), str(sum(1 for m in made if m[1])))
time.sleep(61)
status, other, _ = create("after-crowd.bin", 10, source=OTHER, body=b"hello")
check("another browser after they idled a minute: 201", status == 201, str(status))
expect("the crowd's oldest made way", 404, request("HEAD", made[0][1], TUS, source=made[0][0]))
expect("its next stays", 200, request("HEAD", made[1][1], TUS, source=made[1][0]))
for address, location in made + [(OTHER, other)]:
    request("DELETE", location, source=address)

# The table kept full from four addresses, no upload idle long: a newcomer finds room at
# once, each time at the cost of an address over its share (the longest idle of the one
# that holds the most); an address within its share keeps its uploads.
kept = [create("kept%d.bin" % i, 1, source=OTHER)[1] for i in range(2)]
full = [(a, create("full%d.bin" % i, 1, source=a)[1]) for a in CROWD for i in range(16 if a != CROWD[3] else 14)]
check("the table full again", all(kept) and all(m[1] for m in full), str(sum(1 for m in full if m[1])))
newcomer = [create("newcomer%d.bin" % i, 1) for i in range(8)]
check("a newcomer finds room, eight times: 201", all(n[0] == 201 for n in newcomer), str([n[0] for n in newcomer]))
check("the address within its share keeps its uploads",
      all(request("HEAD", k, TUS, source=OTHER)[0] == 200 for k in kept))
expect("the crowd's longest idle made way", 404, request("HEAD", full[0][1], TUS, source=full[0][0]))
expect("the address holding the least of the crowd keeps its newest", 200,
       request("HEAD", full[-1][1], TUS, source=full[-1][0]))
for address, location in full + [(OTHER, k) for k in kept] + [(None, n[1]) for n in newcomer]:
    request("DELETE", location, source=address)
sys.exit(failures)
