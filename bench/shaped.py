"""The private channel over a shaped link: two network namespaces joined by a veth pair
whose both ends pass at most 1 Gbit/s (tc tbf), the receiver in one, the sender in the
other; its store on tmpfs or on the disk. Used by run.py's "shaped" case."""
import os
import subprocess

DEVNULL = subprocess.DEVNULL
PREFIX = "qvs%d" % os.getpid()
RX_NS, TX_NS = PREFIX + "r", PREFIX + "t"
RX_ADDRESS, TX_ADDRESS = "10.218.1.1", "10.218.1.2"
RATE = "1gbit"
# A burst of 256 KiB holds a segment the veth passes whole (64 KiB) several times over; the
# queue holds 5 ms of the rate, as a switch port's would.
SHAPE = ["rate", RATE, "burst", "256kb", "latency", "5ms"]


def ip(*args):
    subprocess.run(["ip"] + list(args), check=True, stdout=DEVNULL, stderr=DEVNULL)


def why_not():
    if os.geteuid() != 0:
        return "network namespaces need root"
    for tool in (["ip", "netns", "list"], ["tc", "-V"]):
        if subprocess.run(tool, stdout=DEVNULL, stderr=DEVNULL).returncode != 0:
            return "no %s here" % tool[0]
    return None


def start():
    rx_if, tx_if = PREFIX + "a", PREFIX + "b"
    for ns in (RX_NS, TX_NS):
        ip("netns", "add", ns)
        ip("-n", ns, "link", "set", "lo", "up")
    ip("link", "add", rx_if, "netns", RX_NS, "type", "veth", "peer", "name", tx_if, "netns", TX_NS)
    for ns, name, address in ((RX_NS, rx_if, RX_ADDRESS), (TX_NS, tx_if, TX_ADDRESS)):
        ip("-n", ns, "addr", "add", address + "/24", "dev", name)
        ip("-n", ns, "link", "set", name, "up")
        subprocess.run(["ip", "netns", "exec", ns, "tc", "qdisc", "add", "dev", name, "root", "tbf"] + SHAPE,
                       check=True, stdout=DEVNULL, stderr=DEVNULL)


def stop():
    for ns in (RX_NS, TX_NS):
        subprocess.run(["ip", "netns", "del", ns], stdout=DEVNULL, stderr=DEVNULL)


def in_rx(argv):
    return ["ip", "netns", "exec", RX_NS] + argv


def in_tx(argv):
    return ["ip", "netns", "exec", TX_NS] + argv
