#!/usr/bin/env python3
"""A lossy, slow link between two network namespaces, for the fault-injection tests.

lossy_link.py NS_A DEVICE_A NS_B DEVICE_B LOSS DELAY_MS

Creates a TUN device in each namespace and forwards every IP packet between the two,
dropping each with probability LOSS and delivering the others DELAY_MS milliseconds
later, in both directions (the same seed every run). Prints "ready" once both devices
exist; on SIGTERM prints "forwarded=N dropped=M" and ends. The devices go with it.
"""
import ctypes
import fcntl
import heapq
import os
import random
import select
import signal
import struct
import sys
import time

CLONE_NEWNET = 0x40000000
TUNSETIFF = 0x400454CA
IFF_TUN = 0x0001
IFF_NO_PI = 0x1000

libc = ctypes.CDLL(None, use_errno=True)


def enter(namespace):
    fd = os.open("/run/netns/" + namespace, os.O_RDONLY)
    try:
        if libc.setns(fd, CLONE_NEWNET) != 0:
            raise OSError(ctypes.get_errno(), "setns " + namespace)
    finally:
        os.close(fd)


def open_tun(name):
    fd = os.open("/dev/net/tun", os.O_RDWR)
    fcntl.ioctl(fd, TUNSETIFF, struct.pack("16sH", name.encode(), IFF_TUN | IFF_NO_PI))
    os.set_blocking(fd, False)
    return fd


def main():
    ns_a, dev_a, ns_b, dev_b = sys.argv[1:5]
    loss, delay = float(sys.argv[5]), float(sys.argv[6]) / 1000.0
    enter(ns_a)
    a = open_tun(dev_a)
    enter(ns_b)
    b = open_tun(dev_b)
    other = {a: b, b: a}
    counts = {"forwarded": 0, "dropped": 0}
    chance = random.Random(2904)

    def stop(*_):
        print("forwarded=%(forwarded)d dropped=%(dropped)d" % counts, flush=True)
        sys.exit(0)

    signal.signal(signal.SIGTERM, stop)
    print("ready", flush=True)
    queue, sequence = [], 0
    while True:
        timeout = max(0.0, queue[0][0] - time.monotonic()) if queue else None
        readable, _, _ = select.select([a, b], [], [], timeout)
        for fd in readable:
            while True:
                try:
                    packet = os.read(fd, 65536)
                except BlockingIOError:
                    break
                if chance.random() < loss:
                    counts["dropped"] += 1
                    continue
                sequence += 1
                heapq.heappush(queue, (time.monotonic() + delay, sequence, other[fd], packet))
        now = time.monotonic()
        while queue and queue[0][0] <= now:
            _, _, fd, packet = heapq.heappop(queue)
            try:
                os.write(fd, packet)
                counts["forwarded"] += 1
            except OSError:  # the device is not up yet, or gone
                counts["dropped"] += 1


if __name__ == "__main__":
    main()
