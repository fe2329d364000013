#!/usr/bin/env python3
"""A misbehaving peer for the fault-injection tests.

peer.py send HOST PORT FILE [--upto N] [--then close|reset|hold:SECONDS]
    Connects, writes the first N bytes of FILE (all by default), then closes
    normally, resets the connection (SO_LINGER 0: an RST instead of a FIN), or keeps
    it open and silent for SECONDS before closing.
peer.py send HOST PORT FILE --upto N --then pace:SECONDS:RATE
    Writes the first N bytes, then the rest at RATE bytes a second for at most SECONDS.
peer.py send HOST PORT FILE --upto N --then drip:SECONDS[:EVERY]
    Writes the first N bytes, then one more byte every EVERY seconds (half a second by
    default) for SECONDS (a reception that goes on, slowly), then closes. Prints
    "dripped=N", with " cut" when the receiver ended the connection first.
peer.py crowd HOST PORT COUNT FILE
    Opens COUNT connections at once, each writing the first line of FILE as a sender
    does at once. The receiver admits one and closes the others (some perhaps before
    their line went out, when more wait for their first bytes than it lets wait); once
    they are closed,
    the rest of FILE goes over the connection that is still open. Prints
    "turned_away=N admitted=M".
peer.py serve PORT COUNT take|close
    Listens on PORT for COUNT connections, one after another: reads each to its end and
    then closes it (take), or closes each at once without reading (close).
peer.py sink PORT OUT [--gate FILE]
    Listens on PORT and takes one connection. With --gate it reads nothing until FILE
    exists (a sender stays blocked in the middle of its stream); then it reads to the
    end into OUT and prints "received=N".
"""
import os
import select
import socket
import struct
import sys
import time


def connect(host, port):
    s = socket.create_connection((host, port), timeout=10)
    s.settimeout(None)
    return s


def finish(s, how, rest=b""):
    if how.startswith("drip:"):
        seconds, _, every = how[5:].partition(":")
        every = float(every or 0.5)
        dripped, cut = 0, ""
        try:
            for i in range(min(len(rest), int(float(seconds) / every))):
                s.sendall(rest[i:i + 1])
                dripped += 1
                time.sleep(every)
        except OSError:
            cut = " cut"
        print("dripped=%d%s" % (dripped, cut), flush=True)
    if how.startswith("pace:"):
        # The rest in pieces at RATE bytes a second for at most SECONDS: a slow reception
        # that still makes progress.
        seconds, _, rate = how[5:].partition(":")
        piece, end, at = 4096, time.time() + float(seconds), 0
        try:
            while at < len(rest) and time.time() < end:
                s.sendall(rest[at:at + piece])
                at += piece
                time.sleep(piece / float(rate))
        except OSError:
            pass
    if how == "reset":
        s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    elif how.startswith("hold:"):
        time.sleep(float(how[5:]))
    s.close()


def send(args):
    host, port, path = args[0], int(args[1]), args[2]
    upto, how = None, "close"
    rest = args[3:]
    while rest:
        if rest[0] == "--upto":
            upto = int(rest[1])
        elif rest[0] == "--then":
            how = rest[1]
        else:
            sys.exit("unknown option " + rest[0])
        rest = rest[2:]
    data = open(path, "rb").read()
    rest = b""
    if upto is not None:
        data, rest = data[:upto], data[upto:]
    s = connect(host, port)
    s.sendall(data)
    finish(s, how, rest)


def closed_by_peer(s):
    try:
        return s.recv(1, socket.MSG_DONTWAIT) == b""
    except BlockingIOError:
        return False
    except ConnectionResetError:
        return True


def crowd(args):
    host, port, count, path = args[0], int(args[1]), int(args[2]), args[3]
    waiting = int(args[4]) if len(args) > 4 else 1  # connections the receiver keeps waiting
    sockets = []
    for _ in range(count):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.setblocking(False)
        s.connect_ex((host, port))
        sockets.append(s)
    data = open(path, "rb").read()
    first = data.index(b"\n") + 1
    deadline = time.time() + 10
    pending = list(sockets)
    turned_away = set()
    while pending and time.time() < deadline:  # every connect completes
        _, writable, _ = select.select([], pending, [], 0.5)
        for s in writable:
            try:
                s.send(data[:first])
            except (ConnectionResetError, BrokenPipeError):
                turned_away.add(s)  # closed while it was still silent: too many waited
        pending = [s for s in pending if s not in writable]
    deadline = time.time() + 10
    while len(turned_away) < count - waiting and time.time() < deadline:
        readable, _, _ = select.select([s for s in sockets if s not in turned_away], [], [], 0.5)
        turned_away.update(s for s in readable if closed_by_peer(s))
    time.sleep(0.5)  # a late close would show now
    turned_away.update(s for s in sockets if s not in turned_away and closed_by_peer(s))
    admitted = [s for s in sockets if s not in turned_away]
    for s in admitted:
        s.setblocking(True)
        try:
            s.sendall(data[first:])
        except OSError:
            pass  # turned away once its header came whole: another one took the reception
    for s in sockets:
        s.close()
    print("turned_away=%d admitted=%d" % (len(turned_away), len(admitted)))


def sink(args):
    port, out = int(args[0]), args[1]
    gate = args[3] if len(args) > 3 and args[2] == "--gate" else None
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("", port))
    listener.listen(1)
    print("listening", flush=True)
    s, _ = listener.accept()
    listener.close()
    while gate and not os.path.exists(gate):
        time.sleep(0.05)
    received = 0
    with open(out, "wb") as f:
        while True:
            try:
                block = s.recv(1 << 20)
            except ConnectionResetError:
                break
            if not block:
                break
            f.write(block)
            received += len(block)
    s.close()
    print("received=%d" % received, flush=True)


def serve(args):
    port, count, how = int(args[0]), int(args[1]), args[2]
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("", port))
    listener.listen(8)
    print("listening", flush=True)
    for _ in range(count):
        s, _ = listener.accept()
        while how == "take" and s.recv(1 << 20):
            pass
        s.close()


def main():
    commands = {"send": send, "crowd": crowd, "sink": sink, "serve": serve}
    if len(sys.argv) < 2 or sys.argv[1] not in commands:
        sys.exit(__doc__)
    commands[sys.argv[1]](sys.argv[2:])


if __name__ == "__main__":
    main()
