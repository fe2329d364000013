#!/usr/bin/env python3
"""Runs a command whose standard input is a terminal of its own, and types on it what
is written into a FIFO: tty_stdin.py FIFO COMMAND [ARG...]. Standard output and error
stay the caller's. SIGTERM and SIGINT are passed on; ends with the command's status."""
import os
import pty
import signal
import subprocess
import sys
import threading

fifo, command = sys.argv[1], sys.argv[2:]
master, slave = pty.openpty()
child = subprocess.Popen(command, stdin=slave)
os.close(slave)
for sig in (signal.SIGTERM, signal.SIGINT):
    signal.signal(sig, lambda number, frame: child.send_signal(number))


def typing():
    source = os.open(fifo, os.O_RDWR)  # held open for writing too: never an end of input
    while True:
        os.write(master, os.read(source, 256))


threading.Thread(target=typing, daemon=True).start()
status = child.wait()
sys.exit(status if status >= 0 else 128 - status)
