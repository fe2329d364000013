#!/usr/bin/env python3
"""Transfer benchmarks: quorvalinthexa send -> quorvalinthexa receive over loopback,
beside raw baselines measured in the same run, in interleaved rounds (one warm-up
discarded, medians reported).

  (a) one 1 GiB file         baseline: socat -u -b 1048576 file -> socket -> file
  (b) 20,000 files of 4 KiB  baseline: tar c | nc  ->  nc -l | tar x

Everything lives on tmpfs (/dev/shm). Prints MB/s or files/s, the receiver's CPU
seconds per GB or microseconds per file, and the ratio to the baseline.
"""
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

CLI = sys.argv[1] if len(sys.argv) > 1 else "build/release/quorvalinthexa"
ROUNDS = int(os.environ.get("QV_BENCH_ROUNDS", "3"))
BIG = int(os.environ.get("QV_BENCH_BIG_MB", "1024")) << 20
SMALL_FILES = int(os.environ.get("QV_BENCH_FILES", "20000"))
TICK = os.sysconf("SC_CLK_TCK")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_port(port, deadline=10.0):
    end = time.time() + deadline
    while time.time() < end:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return
        except OSError:
            time.sleep(0.02)
    raise RuntimeError("nothing listens on %d" % port)


def cpu_of(pid):
    """User + system CPU seconds of a process and its waited-for children."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return sum(int(x) for x in fields[11:15]) / TICK


def tree_cpu(pid):
    total = 0.0
    try:
        total += cpu_of(pid)
        for child in open("/proc/%d/task/%d/children" % (pid, pid)).read().split():
            total += tree_cpu(int(child))
    except (FileNotFoundError, ProcessLookupError):
        pass
    return total


def make_inputs(root):
    big = os.path.join(root, "big.bin")
    with open(big, "wb") as f:
        block = os.urandom(1 << 20)
        for _ in range(BIG >> 20):
            f.write(block)
    small = os.path.join(root, "small")
    per_folder = max(1, SMALL_FILES // 100)
    data = os.urandom(4096)
    for d in range(100):
        folder = os.path.join(small, "folder%03d" % d)
        os.makedirs(folder)
        for i in range(per_folder):
            with open(os.path.join(folder, "file%05d.dat" % i), "wb") as f:
                f.write(data)
    return big, small


def run_product(paths, store):
    """One transfer; returns (seconds, receiver CPU seconds)."""
    port = free_port()
    receiver = subprocess.Popen([CLI, "receive", "--no-discovery", "--store", store, "--port", str(port)],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        line = receiver.stdout.readline()
        while line and "Server running" not in line:
            line = receiver.stdout.readline()
        before = tree_cpu(receiver.pid)
        start = time.perf_counter()
        sender = subprocess.run([CLI, "send", "--port", str(port), "127.0.0.1"] + paths,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        if sender.returncode != 0:
            raise RuntimeError("send failed: " + sender.stderr)
        for line in receiver.stdout:
            if "Receiving complete." in line:
                break
            if "Some files were not received." in line:
                raise RuntimeError("reception incomplete")
        seconds = time.perf_counter() - start
        cpu = tree_cpu(receiver.pid) - before
    finally:
        receiver.terminate()
        receiver.wait()
    return seconds, cpu


def run_baseline_big(path, store):
    port = free_port()
    out = os.path.join(store, "big.bin")
    receiver = subprocess.Popen(["socat", "-u", "-b", "1048576", "TCP-LISTEN:%d,reuseaddr" % port,
                                 "CREATE:" + out])
    wait_port_listening(port)
    start = time.perf_counter()
    subprocess.run(["socat", "-u", "-b", "1048576", "FILE:" + path, "TCP:127.0.0.1:%d" % port], check=True)
    cpu = 0.0
    while receiver.poll() is None:
        cpu = tree_cpu(receiver.pid)
        time.sleep(0.005)
    seconds = time.perf_counter() - start
    return seconds, cpu or 0.0


def run_baseline_small(folder, store):
    port = free_port()
    receiver = subprocess.Popen("nc -l 127.0.0.1 %d | tar x -C %s" % (port, store), shell=True)
    wait_port_listening(port)
    start = time.perf_counter()
    subprocess.run("tar c -C %s . | nc -N 127.0.0.1 %d" % (folder, port),
                   shell=True, check=True)
    cpu = 0.0
    while receiver.poll() is None:
        cpu = tree_cpu(receiver.pid)
        time.sleep(0.005)
    seconds = time.perf_counter() - start
    return seconds, cpu


def wait_port_listening(port):
    end = time.time() + 10
    while time.time() < end:
        out = subprocess.run(["ss", "-ltnH", "sport = :%d" % port], capture_output=True, text=True).stdout
        if out.strip():
            return
        time.sleep(0.01)
    raise RuntimeError("baseline receiver did not listen")


def rounds(product, baseline, root):
    results = {"product": [], "baseline": []}
    for r in range(ROUNDS + 1):
        for name, fn in (("product", product), ("baseline", baseline)):
            store = tempfile.mkdtemp(dir=root)
            results[name].append(fn(store))
            shutil.rmtree(store)
    return {k: v[1:] for k, v in results.items()}  # the warm-up round is discarded


def median(values, index):
    return statistics.median(v[index] for v in values)


def main():
    root = tempfile.mkdtemp(prefix="qv-bench.", dir="/dev/shm")
    try:
        big, small = make_inputs(root)
        gb = BIG / 1e9
        res = rounds(lambda s: run_product([big], s), lambda s: run_baseline_big(big, s), root)
        p, b = median(res["product"], 0), median(res["baseline"], 0)
        print("(a) one %d MiB file, %d rounds (medians)" % (BIG >> 20, ROUNDS))
        print("    quorvalinthexa  %8.1f MB/s   receiver %.2f CPU s/GB" % (BIG / p / 1e6, median(res["product"], 1) / gb))
        print("    socat baseline  %8.1f MB/s   receiver %.2f CPU s/GB" % (BIG / b / 1e6, median(res["baseline"], 1) / gb))
        print("    ratio           %8.2fx" % (b / p))
        files = (SMALL_FILES // 100) * 100
        res = rounds(lambda s: run_product([small], s), lambda s: run_baseline_small(small, s), root)
        p, b = median(res["product"], 0), median(res["baseline"], 0)
        print("(b) %d files of 4 KiB in 100 folders, %d rounds (medians)" % (files, ROUNDS))
        print("    quorvalinthexa  %8.0f files/s   receiver %.1f CPU us/file" % (files / p, median(res["product"], 1) / files * 1e6))
        print("    tar|nc baseline %8.0f files/s   receiver %.1f CPU us/file" % (files / b, median(res["baseline"], 1) / files * 1e6))
        print("    ratio           %8.2fx" % (b / p))
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
