"""Trusted computers sending at once: two sender copies, each trusted by one receiver (and
trusting it), send one big file each over the private channel on loopback, both at once,
against the same two sends one after the other, into tmpfs. Target: together takes no
longer than one after the other."""
import os
import subprocess
import time

DEVNULL = subprocess.DEVNULL


def copies(cli, root):
    """The receiver's environment and two senders', each with its own identity."""
    envs = []
    for name in ("rx", "tx1", "tx2"):
        home = os.path.join(root, "together-" + name)
        envs.append(dict(os.environ, XDG_CONFIG_HOME=home + "/config", XDG_STATE_HOME=home + "/state"))
    ids = [subprocess.run([cli, "id"], env=env, capture_output=True, text=True, check=True).stdout.split()[-1]
           for env in envs]
    for n in (1, 2):
        subprocess.run([cli, "trust", ids[n], "sender-%d" % n], env=envs[0], stdout=DEVNULL, check=True)
        subprocess.run([cli, "trust", ids[0], "receiver"], env=envs[n], stdout=DEVNULL, check=True)
    return envs


def send(cli, paths, store, envs, port, reap, apart):
    """One receiver, then a send of paths[n] from sender n + 1, both started together or
    (apart) one after the other; wall and CPU seconds (rx: the receiver's, tx: the senders')."""
    rx = subprocess.Popen([cli, "receive", "--no-discovery", "--no-look-around", "--store", store, "--port", "0",
                           "--private-port", str(port)], stdout=DEVNULL, stderr=subprocess.PIPE, text=True,
                          env=envs[0])
    try:
        for _ in range(2):  # "listening on TCP port N", then the private channel's line
            rx.stderr.readline()
        start = time.perf_counter()
        tx_cpu, status = 0.0, 0
        senders = []
        for n, path in enumerate(paths):
            argv = [cli, "send", "--no-remember", "--private-port", str(port), "127.0.0.1", path]
            senders.append(subprocess.Popen(argv, stdout=DEVNULL, stderr=DEVNULL, env=envs[n + 1]))
            if apart:
                cpu, done = reap(senders.pop())
                tx_cpu, status = tx_cpu + cpu, status or done
        for tx in senders:
            cpu, done = reap(tx)
            tx_cpu, status = tx_cpu + cpu, status or done
        wall = time.perf_counter() - start
        rx.send_signal(2)
        rx_cpu, _ = reap(rx)
        if status != 0:
            raise RuntimeError("a send failed: exit %d" % status)
        return {"wall": wall, "rx": rx_cpu, "tx": tx_cpu}
    finally:
        if rx.returncode is None:
            rx.kill()
            rx.wait()
        rx.stderr.close()
