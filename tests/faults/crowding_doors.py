#!/usr/bin/env python3
"""Hosts that hold connections to a port, each reopened as soon as it is cut, until killed.

Usage: crowding_doors.py HOST PORT HOLD PER CROWD[,CROWD...]
HOLD is how a connection holds: "silent" (nothing at all), "trickle" (the start of a
transfer header, then a byte every fifth of a second, never ending) or "byte" (one byte,
then closed after half a second), "hello" (the first bytes of a handshake, then
nothing), "header" (a whole transfer header, then nothing) or "nearend" (all of a file
but its last bytes at once, then a byte every fifth of a second); PER is how many
connections each crowding address holds at once. Prints "crowding" once every connection
was opened, and on SIGTERM how many were opened in all.
"""
import signal
import socket
import sys
import threading
import time

HOST, PORT, HOLD, PER = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4])
CROWD = sys.argv[5].split(",")
opened = [0]
lock = threading.Lock()


def hold_once(source):
    s = socket.socket()
    s.settimeout(0.2)
    try:
        s.bind((source, 0))
        s.connect((HOST, PORT))
        with lock:
            opened[0] += 1
        if HOLD == "trickle":
            s.sendall(b"Version:3.0\nPad:")
        if HOLD == "header":
            s.sendall(b"Version:3.0\nTotal:1000000\n\n")
        if HOLD == "nearend":
            s.sendall(b"Version:3.0\nTotal:1000000\n\nType:file\nSize:1000000\nName:near.bin\nDirectory:/\n\n")
            s.sendall(b"n" * 999990)
        if HOLD == "hello":
            s.sendall(b"\x16\x03\x01")
        if HOLD == "byte":
            s.sendall(b"V")
            time.sleep(0.5)
            return
        while True:  # until the receiver cuts it
            try:
                if s.recv(4096) == b"":
                    return
            except socket.timeout:
                if HOLD == "trickle":
                    s.sendall(b"a")
                if HOLD == "nearend":
                    s.sendall(b"n")
    except OSError:
        time.sleep(0.01)  # refused or reset: again at once
    finally:
        s.close()


def hold(source):
    while True:
        hold_once(source)


def end(*_):
    print("opened %d connections" % opened[0], flush=True)
    sys.exit(0)


signal.signal(signal.SIGTERM, end)
for address in CROWD:
    for _ in range(PER):
        threading.Thread(target=hold, args=(address,), daemon=True).start()
while opened[0] < len(CROWD) * PER:
    time.sleep(0.05)
print("crowding", flush=True)
while True:
    time.sleep(1)
