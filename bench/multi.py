"""The send to several: `quorvalinthexa send A,B BIG` against `send A BIG`, the two
receivers in network namespaces of their own (each behind a veth pair to this one, so
that both listen on port 2904), storing into tmpfs. Target: the send to two takes at
most 1.2 times the time of the send to one, in the same rounds. Baseline: two separate
sends to one each, started together: what two receivers cost on this machine."""
import os
import subprocess
import time

DEVNULL = subprocess.DEVNULL
PREFIX = "qvm%d" % os.getpid()
ADDRESSES = ["10.217.1.1", "10.217.2.1"]


def ip(*args):
    subprocess.run(["ip"] + list(args), check=True, stdout=DEVNULL, stderr=DEVNULL)


def why_not():
    if os.geteuid() != 0:
        return "network namespaces need root"
    if subprocess.run(["ip", "netns", "list"], stdout=DEVNULL, stderr=DEVNULL).returncode != 0:
        return "no network namespaces here"
    return None


def start():
    for n, address in enumerate(ADDRESSES):
        ns, inner, outer = "%s%d" % (PREFIX, n), "%si%d" % (PREFIX, n), "%so%d" % (PREFIX, n)
        ip("netns", "add", ns)
        ip("-n", ns, "link", "set", "lo", "up")
        ip("link", "add", outer, "type", "veth", "peer", "name", inner, "netns", ns)
        ip("-n", ns, "addr", "add", address + "/24", "dev", inner)
        ip("addr", "add", address[:-1] + "2/24", "dev", outer)
        ip("-n", ns, "link", "set", inner, "up")
        ip("link", "set", outer, "up")


def stop():
    for n in range(len(ADDRESSES)):
        subprocess.run(["ip", "netns", "del", "%s%d" % (PREFIX, n)], stdout=DEVNULL, stderr=DEVNULL)


def send(cli, path, store, count, reap, apart=False):
    """Receivers in the first count namespaces, then one send to all of them (apart: one
    send process to each, all started together); wall and CPU seconds (rx: the receivers'
    together, tx: the senders')."""
    receivers = []
    try:
        for n in range(count):
            folder = os.path.join(store, str(n))
            os.mkdir(folder)
            rx = subprocess.Popen(["ip", "netns", "exec", "%s%d" % (PREFIX, n), cli, "receive", "--once",
                                   "--no-discovery", "--no-look-around", "--store", folder, "--private-port", "0"],
                                  stdout=DEVNULL, stderr=subprocess.PIPE, text=True)
            receivers.append(rx)
            if "listening on TCP port" not in rx.stderr.readline():
                raise RuntimeError("a receiver did not start")
        start_time = time.perf_counter()
        hosts = [[a] for a in ADDRESSES[:count]] if apart else [ADDRESSES[:count]]
        senders = [subprocess.Popen([cli, "send", "--no-remember", "--private-port", "0", ",".join(h), path],
                                    stdout=DEVNULL, stderr=DEVNULL) for h in hosts]
        tx_cpu, tx_status = 0.0, 0
        for tx in senders:
            cpu, status = reap(tx)
            tx_cpu += cpu
            tx_status = tx_status or status
        rx_cpu = 0.0
        for rx in receivers:
            cpu, _ = reap(rx)
            rx_cpu += cpu
        wall = time.perf_counter() - start_time
        if tx_status != 0:
            raise RuntimeError("the send to %d failed: exit %d" % (count, tx_status))
        return {"wall": wall, "rx": rx_cpu, "tx": tx_cpu}
    finally:
        for rx in receivers:
            if rx.returncode is None:
                rx.kill()
                rx.wait()
            rx.stderr.close()
