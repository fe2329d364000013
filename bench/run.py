#!/usr/bin/env python3
"""Transfer benchmarks: `quorvalinthexa send` -> `quorvalinthexa receive --once` over
loopback, beside raw baselines measured in the same rounds.

  small  20,000 files of 4 KiB in 100 folders, tmpfs   baseline: tar c | nc  ->  nc -l | tar x
  big    one 1 GiB file, tmpfs                          baseline: socat -b 1M -> socat -b 1M
  disk   the small files written to a folder under /var/tmp (the machine's disk); the
         sync after the transfer is timed apart         baseline: tar | nc, as above
         ext4 without a journal (this machine's disk) passes over inodes freed in the last
         minutes when it allocates new ones: creating files where thousands were just
         removed (by this bench or anyone else on the disk) costs ten times more. So this
         case removes its stores only after its last round, and marks its folder as a top
         of directory trees (chattr +T), so that ext4 places each store in a group it
         picks afresh rather than beside the stores of an earlier run. Read this line
         when its spread is small.
  private  the small files and the big file over the private channel (TLS 1.3 between two
         copies that trust each other) against the same transfers on port 2904, in the
         same rounds; ratio: private speed over plain. The big file also goes privately
         without its content hash (both copies run with QV_BENCH_NO_CONTENT_HASH=1, a knob
         for this bench alone: every hash is then the same), so that the cost of the
         verification shows as "hash cost" (the speed with it over the speed without)
  shaped the small files over the private channel against port 2904 over a link shaped to
         1 Gbit/s (two network namespaces joined by a veth, tc tbf on both ends; bench/shaped.py),
         into tmpfs and into a folder under QV_BENCH_DISK; the private side's files are on the
         disk when it ends, port 2904's are not: the sync after each run is timed apart, and a
         second ratio counts it in. Target: private at >= 0.95x plain's speed on both
  together  two trusted senders' copies send the big file each to one receiver over the
         private channel at once, against the same two sends one after the other
         (bench/together.py); target: at once no slower
  multi  the big file sent to two receivers at once (`send A,B`) against the same send to one,
         each receiver in a network namespace of its own, tmpfs; ratio: the time to two over
         the time to one, against the target of 1.2x; baseline: two separate sends started
         together, what two receivers cost on this machine (bench/multi.py)
  wine   the Windows program under Wine receiving the small files from `quorvalinthexa
         send`, each in a network namespace of its own (a figure to watch; bench/wine.py)
  upload   browser access: the big file uploaded by curl to `quorvalinthexa serve`
           baseline: the same upload to nginx taking PUT requests (bench/browser.py)
  uploads  browser access: 1,000 of the small files, one request each; baseline as above
  uploads6 browser access: the same 1,000 uploads over six connections at once (curl --parallel)
  download browser access: the big file downloaded by curl; baseline: nginx serving it (sendfile on);
           each side's faster of two runs per round (A B B A); each round's ratio and both
           sides' CPU per GB are printed, against the target of 0.9x in every round
  folder   browser access: 1,000 small files in 20 subfolders, PUT under "Folder/subNN/name";
           baseline: nginx creating the folders (create_full_put_path on)
  folderdown browser access: that folder offered by `serve` and fetched as one zip;
           baseline: nginx serving the folder, its files fetched one by one by one curl
  page     browser access: 1,000 files of 4 KiB chosen in the access page in headless Chromium,
           until the page shows each one's outcome; no baseline, against the target of
           250 files/s

Every side runs as one process, or as a shell that waits for its pipeline, started and
reaped here: its CPU is what wait4 reports for it and everything it waited for. Rounds are
interleaved (the order alternates), the first is a warm-up and is dropped; each figure is
printed as the median with the lowest and highest round. Ratios are taken per round
(ours against the baseline of the same round). Ends with one summary table.

QV_BENCH_BASE_BIN=/path/to/an/older/quorvalinthexa runs that build too, as "previous build",
in the same rounds and against the same baselines, in the small, big, private and browser
upload cases: its ratio stands beside ours, and the summary gives it a row of its own. A
build without the private channel sits that case out.

Environment: QV_BENCH_ROUNDS (5), QV_BENCH_FILES (20000), QV_BENCH_BIG_MB (1024),
QV_BENCH_CASES (small,big,private,shaped,multi,together,disk,wine,upload,uploads,uploads6,download,folder,folderdown,page), QV_BENCH_WINE_ROUNDS (1), QV_BENCH_DISK (/var/tmp),
QV_BENCH_SETTLE (1: seconds of rest after a store's removal).
"""
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

import atexit

import browser
import multi
import shaped
import together
import wine

# The peers it runs remember nothing outside this run.
os.environ["XDG_STATE_HOME"] = tempfile.mkdtemp(prefix="qv-bench-state.")
atexit.register(shutil.rmtree, os.environ["XDG_STATE_HOME"], True)

CLI = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/release/quorvalinthexa")
BASE = os.path.abspath(os.environ["QV_BENCH_BASE_BIN"]) if os.environ.get("QV_BENCH_BASE_BIN") else None
PREVIOUS = "previous build"  # BASE's label
ROUNDS = int(os.environ.get("QV_BENCH_ROUNDS", "5"))
FOLDERS = 100
FILES = max(1, int(os.environ.get("QV_BENCH_FILES", "20000")) // FOLDERS) * FOLDERS
FILE_SIZE = 4096
BIG = int(os.environ.get("QV_BENCH_BIG_MB", "1024")) << 20
BROWSER_CASES = ["upload", "uploads", "uploads6", "download", "folder", "folderdown", "page"]
DOWNLOAD_TARGET = 0.9  # ours over nginx, in every round
PAGE_TARGET = 250  # files/s
SHAPED_TARGET = 0.95  # private over plain, the median
CASES = os.environ.get("QV_BENCH_CASES", ",".join(["small", "big", "private", "shaped", "multi", "together", "disk", "wine"] + BROWSER_CASES)).split(",")
UPLOADS = 1000
WINE_ROUNDS = int(os.environ.get("QV_BENCH_WINE_ROUNDS", "1"))
DISK = os.environ.get("QV_BENCH_DISK", "/var/tmp")
SETTLE = float(os.environ.get("QV_BENCH_SETTLE", "1"))
DEVNULL = subprocess.DEVNULL


class Failed(Exception):
    pass


has_private = {}  # by build: whether it has the private channel (has_private_channel)


def reap(process):
    """Waits for a child; returns its CPU seconds (user + system, its waited-for
    descendants included) and its exit status."""
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    return usage.ru_utime + usage.ru_stime, process.returncode


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_listening(port, process):
    """Waits until something listens on the port (a connection would be taken as the
    baseline receiver's one transfer, so the socket table is asked instead)."""
    end = time.monotonic() + 10
    while time.monotonic() < end:
        if process.poll() is not None:
            raise Failed("the baseline receiver ended before it listened")
        out = subprocess.run(["ss", "-ltnH", "sport = :%d" % port], capture_output=True, text=True).stdout
        if out.strip():
            return
        time.sleep(0.01)
    raise Failed("the baseline receiver did not listen on %d" % port)


def transfer(rx_argv, tx_argv, ready, shell=False, envs=(None, None)):
    """Starts the receiver, waits until ready(receiver) says it listens, then times the
    sender and the receiver until both have ended. Returns wall and CPU seconds. envs:
    the receiver's and the sender's environments (None: this one's)."""
    rx = subprocess.Popen(rx_argv, shell=shell, stdout=DEVNULL, stderr=subprocess.PIPE, text=True, env=envs[0])
    try:
        tx_argv = ready(rx, tx_argv)
        start = time.perf_counter()
        tx = subprocess.Popen(tx_argv, shell=shell, stdout=DEVNULL, stderr=DEVNULL, env=envs[1])
        tx_cpu, tx_status = reap(tx)
        rx_cpu, rx_status = reap(rx)
        wall = time.perf_counter() - start
    finally:
        if rx.returncode is None:
            rx.kill()
            reap(rx)
        rx.stderr.close()
    if tx_status != 0 or rx_status != 0:
        command = tx_argv if shell else " ".join(tx_argv)
        raise Failed("transfer failed: sender exit %d, receiver exit %d (%s)" % (tx_status, rx_status, command))
    return {"wall": wall, "rx": rx_cpu, "tx": tx_cpu}


def has_private_channel(cli):
    """Whether this build of the peer has the private channel (older ones do not)."""
    usage = subprocess.run([cli, "receive", "--help"], capture_output=True, text=True).stdout
    return "--private-port" in usage


def ours(paths, store, private=None, cli=CLI, shaped_link=False):
    """private: the two copies' environments (private_copies) for a send over the private
    channel; None for port 2904 alone. cli: the build that runs both sides. shaped_link: the
    receiver and the sender in the namespaces of bench/shaped.py."""
    private_port = ["--private-port", str(free_port()) if private else "0"] if has_private[cli] else []
    rx_in, tx_in, address = ((shaped.in_rx, shaped.in_tx, shaped.RX_ADDRESS) if shaped_link
                             else (list, list, "127.0.0.1"))

    def ready(rx, _):
        line = rx.stderr.readline()  # "...: listening on TCP port N, storing into DIR"
        if "listening on TCP port" not in line:
            raise Failed("the receiver did not start: " + line.strip())
        port = line.split("TCP port ", 1)[1].split(",", 1)[0]
        if private:
            line = rx.stderr.readline()  # "...: private channel on TCP port N"
            if "private channel on TCP port" not in line:
                raise Failed("no private channel: " + line.strip())
        return tx_in([cli, "send", "--port", port] + private_port + [address] + paths)
    return transfer(rx_in([cli, "receive", "--once", "--no-discovery", "--store", store, "--port", "0"] + private_port),
                    None, ready, envs=private or (None, None))


def private_copies(root, cli=CLI, tag=""):
    """Two copies (the receiver's and the sender's environments), each with its own
    identity, that trust each other by ID."""
    envs = []
    for name in ("rx", "tx"):
        home = os.path.join(root, "copy-" + name + tag)
        envs.append(dict(os.environ, XDG_CONFIG_HOME=home + "/config", XDG_STATE_HOME=home + "/state"))
    ids = [subprocess.run([cli, "id"], env=env, capture_output=True, text=True, check=True).stdout.split()[-1]
           for env in envs]
    for env, other, name in ((envs[0], ids[1], "sender"), (envs[1], ids[0], "receiver")):
        subprocess.run([cli, "trust", other, name], env=env, stdout=DEVNULL, check=True)
    return tuple(envs)


def with_previous(contenders, run, private=False):
    """contenders, and the previous build's run beside ours when one is given (and, for a
    private case, has the private channel)."""
    if BASE and (not private or has_private[BASE]):
        return contenders + [(PREVIOUS, run)]
    return contenders


def baseline(rx_command, tx_command, shell):
    port = free_port()

    def ready(rx, tx):
        wait_listening(port, rx)
        return tx
    fill = lambda c: c.replace("PORT", str(port)) if shell else [a.replace("PORT", str(port)) for a in c]
    return transfer(fill(rx_command), fill(tx_command), ready, shell=shell)


def tar_nc(folder, store):
    return baseline("nc -l 127.0.0.1 PORT | tar x -C '%s'" % store,
                    "tar c -C '%s' . | nc -N 127.0.0.1 PORT" % folder, shell=True)


def socat(path, store):
    return baseline(["socat", "-u", "-b", "1048576", "TCP-LISTEN:PORT,reuseaddr", "CREATE:" + os.path.join(store, "big.bin")],
                    ["socat", "-u", "-b", "1048576", "FILE:" + path, "TCP:127.0.0.1:PORT"], shell=False)


def synced(run):
    """A transfer to disk: the page cache is flushed before it (untimed) and after it
    (timed apart, as "sync")."""
    def measured(store):
        os.sync()
        result = run(store)
        start = time.perf_counter()
        os.sync()
        result["sync"] = time.perf_counter() - start
        return result
    return measured


def remove_trees(paths):
    """Removes folder trees, many folders at a time: on a disk mounted with discard each
    removal waits for the device, and one at a time 20,000 files take half a minute."""
    from concurrent.futures import ThreadPoolExecutor
    leaves = [top for path in paths for top, folders, _ in os.walk(path) if not folders]
    with ThreadPoolExecutor(16) as pool:
        list(pool.map(lambda leaf: shutil.rmtree(leaf, ignore_errors=True), leaves))
    for path in paths:
        shutil.rmtree(path, ignore_errors=True)


def rounds(name, contenders, parent, count, keep=False, best_of=1):
    """count interleaved rounds after a warm-up; contenders is [(label, run(store))].
    keep: the stores stay until all rounds are done (see the disk case). best_of: each
    contender runs that many times in a round, in mirrored order (A B B A), and the round
    keeps the fastest run of each: a burst of someone else's work on a shared machine then
    has to hit both runs of one side to count against it."""
    started = time.monotonic()
    results = {label: [] for label, _ in contenders}
    kept = []
    try:
        for r in range(count + 1):
            order = contenders if r % 2 == 0 else contenders[::-1]
            passes = [order if k % 2 == 0 else order[::-1] for k in range(best_of)]
            best = {}
            for label, run in [contender for one in passes for contender in one]:
                store = tempfile.mkdtemp(prefix="store.", dir=parent)
                kept.append(store)
                result = run(store)
                if not keep:
                    remove_trees([kept.pop()])
                    # Freeing what a removal released goes on after it returns; let it end
                    # before the next run, which would otherwise pay for part of it.
                    time.sleep(SETTLE)
                if label not in best or result["wall"] < best[label]["wall"]:
                    best[label] = result
            for label, result in best.items() if r > 0 else ():
                results[label].append(result)
            if sys.stderr.isatty():
                print("  %s: round %d of %d done" % (name, r, count), end="\r", file=sys.stderr, flush=True)
    finally:
        remove_trees(kept)
        if sys.stderr.isatty():
            print(" " * 60, end="\r", file=sys.stderr, flush=True)
    results["seconds"] = time.monotonic() - started
    return results


def spread(values, fmt):
    """median (lowest-highest)"""
    return "%s (%s-%s)" % (fmt % statistics.median(values), fmt % min(values), fmt % max(values))


def make_inputs(root):
    big = os.path.join(root, "big.bin")
    if "big" in CASES or "private" in CASES or "multi" in CASES or "together" in CASES or "upload" in CASES or "download" in CASES:
        block = os.urandom(1 << 20)
        with open(big, "wb") as f:
            for _ in range(BIG >> 20):
                f.write(block)
    small = os.path.join(root, "small")
    data = os.urandom(FILE_SIZE)
    for d in range(FOLDERS):
        folder = os.path.join(small, "folder%03d" % d)
        os.makedirs(folder)
        for i in range(FILES // FOLDERS):
            with open(os.path.join(folder, "file%05d.dat" % i), "wb") as f:
                f.write(data)
    return big, small


class Report:
    """Prints each case as it ends and keeps its line for the summary table."""

    def __init__(self):
        self.rows = []

    def files_case(self, title, res, base_label, with_sync=False, count=FILES, sides=("receiver", "sender")):
        print("%s [%.0f s]" % (title, res.pop("seconds")))
        print("  %-16s %-26s %-22s %-22s%s" % ("", "files/s", "%s CPU us/file" % sides[0], "%s CPU us/file" % sides[1],
                                              "  sync after, s" if with_sync else ""))
        for label, runs in res.items():
            rate = [count / r["wall"] for r in runs]
            rx = [r["rx"] / count * 1e6 for r in runs]
            tx = [r["tx"] / count * 1e6 for r in runs]
            sync = "  " + spread([r["sync"] for r in runs], "%.2f") if with_sync else ""
            print("  %-16s %-26s %-22s %-22s%s" % (label, spread(rate, "%.0f"), spread(rx, "%.1f"), spread(tx, "%.1f"), sync))
        ratio = self.ratio(res, base_label)
        print()
        return ratio

    def big_case(self, title, res, base_label, sides, row, target=None):
        """One big file: MB/s and CPU per GB of both sides, the ratio, the summary row;
        with a target ratio, also each round's figures (each_round)."""
        gb = BIG / 1e9
        print("%s [%.0f s]" % (title, res.pop("seconds")))
        print("  %-16s %-26s %-22s %-22s" % ("", "MB/s", "%s CPU s/GB" % sides[0], "%s CPU s/GB" % sides[1]))
        for label, runs in res.items():
            print("  %-16s %-26s %-22s %-22s" % (label, spread([BIG / r["wall"] / 1e6 for r in runs], "%.0f"),
                                                 spread([r["rx"] / gb for r in runs], "%.2f"),
                                                 spread([r["tx"] / gb for r in runs], "%.2f")))
        self.ratio(res, base_label)
        if target:
            self.each_round(res, base_label, sides, target)
        print()
        self.add(row, res, base_label, "MB/s", (gb, "s/GB", 2))

    def each_round(self, res, base_label, sides, target):
        """Each round of a big-file case: the ratio and both sides' CPU per GB, ours / the
        baseline's; then whether every round reached the target ratio."""
        gb = BIG / 1e9
        ratios = []
        for n, (o, b) in enumerate(zip(res["quorvalinthexa"], res[base_label]), 1):
            ratios.append(b["wall"] / o["wall"])
            print("  round %d: ratio %.2fx   %s CPU %.2f / %.2f s/GB   %s CPU %.2f / %.2f s/GB (ours / %s)"
                  % (n, ratios[-1], sides[0], o["rx"] / gb, b["rx"] / gb, sides[1], o["tx"] / gb, b["tx"] / gb,
                     base_label))
        low = min(ratios)
        print("  target: >= %.2fx in every round: %s (lowest %.2fx)" % (target, "met" if low >= target else "missed", low))

    def ratio(self, res, base_label):
        """Prints ours' ratio, and the previous build's beside it; returns ours'."""
        medians = {}
        for label, name in (("quorvalinthexa", "ratio"), (PREVIOUS, "ratio, previous")):
            if label in res:
                ratios = [b["wall"] / o["wall"] for o, b in zip(res[label], res[base_label])]
                print("  %-16s %s" % (name, spread(ratios, "%.2fx")))
                medians[label] = statistics.median(ratios)
        return medians["quorvalinthexa"]

    def add(self, case, res, base_label, unit, per, count=FILES):
        """unit: "files/s" (count files) or "MB/s"; per: (divisor, unit text, decimals) for CPU figures.
        The previous build, when it ran, gets a row of its own below ours."""
        for who, row in (("quorvalinthexa", case), (PREVIOUS, case + ", " + PREVIOUS)):
            if who in res:
                self.row(row, res, who, base_label, unit, per, count)

    def row(self, case, res, who, base_label, unit, per, count):
        def med(label, key):
            return statistics.median(r[key] for r in res[label]) if label in res else None
        amount = count if unit == "files/s" else BIG / 1e6
        rate = lambda label: "%.0f %s" % (amount / med(label, "wall"), unit) if label in res else "-"
        cpu = lambda label, key: ("%.*f" % (per[2], med(label, key) / per[0])) if label in res else "-"
        ratio = "%.2fx" % statistics.median(b["wall"] / o["wall"] for o, b in zip(res[who], res[base_label])) \
            if base_label in res else "-"
        self.rows.append((case, rate(who), rate(base_label) if base_label else "-", ratio,
                          "%s / %s %s" % (cpu(who, "rx"), cpu(base_label, "rx"), per[1]),
                          "%s / %s %s" % (cpu(who, "tx"), cpu(base_label, "tx"), per[1])))

    def summary(self):
        head = ("case", "ours", "baseline", "ratio", "receiver CPU ours / baseline", "sender CPU ours / baseline")
        rows = [head] + self.rows
        widths = [max(len(row[i]) for row in rows) for i in range(len(head))]
        print("Summary (medians; ratio = ours' speed over the baseline's)")
        for n, row in enumerate(rows):
            print("  " + "  ".join(cell.ljust(w) for cell, w in zip(row, widths)).rstrip())
            if n == 0:
                print("  " + "  ".join("-" * w for w in widths))


def page_case(report, ns, files, root):
    title = "(k) browser access: %d files of 4 KiB chosen in the page, headless Chromium" % len(files)
    row = "%d x 4 KiB from the page (Chromium)" % len(files)
    why = browser.page_why_not()
    if why:
        print(title + ": not run: " + why + "\n")
        report.rows.append((row, "not run", "-", "-", "-", "-"))
        return
    # Names of their own, as a user's picked files have: one flat folder.
    chosen = tempfile.mkdtemp(prefix="page.", dir=root)
    listing = os.path.join(chosen, "chosen.txt")
    with open(listing, "w") as f:
        for n, path in enumerate(files):
            copy = os.path.join(chosen, "picked", "%04d-%s" % (n, os.path.basename(path)))
            os.makedirs(os.path.dirname(copy), exist_ok=True)
            shutil.copyfile(path, copy)
            f.write(copy + "\n")
    try:
        res = rounds("page", [("quorvalinthexa", lambda s: browser.page_upload(ns, CLI, listing, len(files), s))],
                     root, ROUNDS)
    finally:
        shutil.rmtree(chosen, ignore_errors=True)
    print("%s [%.0f s]" % (title, res.pop("seconds")))
    runs = res["quorvalinthexa"]
    rate = [len(files) / r["wall"] for r in runs]
    server = [r["rx"] / len(files) * 1e6 for r in runs]
    print("  %-16s %-26s %-22s" % ("", "files/s", "server CPU us/file"))
    print("  %-16s %-26s %-22s" % ("quorvalinthexa", spread(rate, "%.0f"), spread(server, "%.1f")))
    print("  target: >= %d files/s: %s\n" % (PAGE_TARGET, "met" if statistics.median(rate) >= PAGE_TARGET else "missed"))
    report.rows.append((row, "%.0f files/s" % statistics.median(rate), "target %d" % PAGE_TARGET, "-",
                        "%.1f / - us/file" % statistics.median(server), "-"))


def browser_cases(report, big, small, root):
    why = browser.why_not()
    if why:
        print("(e) browser access: not run: " + why)
        report.rows.append(("browser access", "not run", "-", "-", "-", "-"))
        return
    folders = sorted(os.listdir(small))
    files = [os.path.join(small, d, f) for d in folders for f in sorted(os.listdir(os.path.join(small, d)))][:UPLOADS]
    ns, uploads, downloads = browser.contenders(CLI, BASE)


    def upload_rounds(name, **how):
        return rounds(name, [(label, lambda s, run=run: run(files, s, **how)) for label, run in uploads], root, ROUNDS)

    def files_row(title, row, res):
        report.files_case(title, res, "nginx PUT", count=len(files), sides=("server", "curl"))
        report.add(row, res, "nginx PUT", "files/s", (len(files) / 1e6, "us/file", 1), count=len(files))
    try:
        if "upload" in CASES:
            res = rounds("upload", [(label, lambda s, run=run: run([big], s)) for label, run in uploads], root, ROUNDS)
            report.big_case("(e) browser access: one %d MiB upload by curl, tmpfs" % (BIG >> 20), res, "nginx PUT",
                            ("server", "curl"), "%d MiB upload (browser access)" % (BIG >> 20))
        if "uploads" in CASES:
            files_row("(f) browser access: %d files of 4 KiB, one request each, tmpfs" % len(files),
                      "%d x 4 KiB uploads (browser access)" % len(files), upload_rounds("uploads"))
        if "uploads6" in CASES:
            files_row("(g) browser access: the same %d uploads over 6 connections at once" % len(files),
                      "%d x 4 KiB uploads, 6 at once (browser access)" % len(files), upload_rounds("uploads6", parallel=6))
        if "download" in CASES:
            res = rounds("download", [(label, lambda s, run=run: run(big, s)) for label, run in downloads], root, ROUNDS,
                         best_of=2)
            report.big_case("(h) browser access: one %d MiB download by curl, tmpfs" % (BIG >> 20), res, "nginx GET",
                            ("server", "curl"), "%d MiB download (browser access)" % (BIG >> 20), DOWNLOAD_TARGET)
        if "folder" in CASES:
            # Each file under Folder/subNN/, 20 subfolders, for both servers.
            names = ["Folder/sub%02d/%04d-%s" % (i % 20, i, os.path.basename(f)) for i, f in enumerate(files)]
            nginx_names = names
            contenders = [(uploads[0][0], lambda s: uploads[0][1](files, s, names)),
                          (uploads[1][0], lambda s: uploads[1][1](files, s, nginx_names))]
            files_row("(i) browser access: a folder of %d files in 20 subfolders, one request each" % len(files),
                      "folder of %d x 4 KiB (browser access)" % len(files), rounds("folder", contenders, root, ROUNDS))
        if "folderdown" in CASES:
            # The same 1000 files as a folder offered by serve, fetched as one zip; nginx
            # serves the folder's files, which curl fetches one by one.
            tree = tempfile.mkdtemp(prefix="offer.", dir=root)
            names = ["Folder/sub%02d/%04d-%s" % (i % 20, i, os.path.basename(f)) for i, f in enumerate(files)]
            for name, f in zip(names, files):
                os.makedirs(os.path.dirname(os.path.join(tree, name)), exist_ok=True)
                shutil.copyfile(f, os.path.join(tree, name))
            try:
                res = rounds("folderdown", browser.folder_downloads(ns, CLI, os.path.join(tree, "Folder"), names),
                             root, ROUNDS)
            finally:
                shutil.rmtree(tree, ignore_errors=True)
            report.files_case("(j) browser access: the folder of %d files down, one zip from serve, its files one by "
                              "one from nginx" % len(files), res, "nginx GET", count=len(files), sides=("server", "curl"))
            report.add("folder of %d x 4 KiB down (zip / files)" % len(files), res, "nginx GET", "files/s",
                       (len(files) / 1e6, "us/file", 1), count=len(files))
        if "page" in CASES:
            page_case(report, ns, files, root)
    except RuntimeError as e:
        raise Failed("browser access: " + str(e))
    finally:
        ns.close()


def shaped_case(report, small, root):
    title = "(s) %d files of 4 KiB over a link shaped to 1 Gbit/s, private against port 2904" % FILES
    why = shaped.why_not()
    if why:
        print(title + ": not run: " + why + "\n")
        return
    copies = private_copies(root, tag="-shaped")
    previous = private_copies(root, BASE, "-shaped-previous") if BASE and has_private[BASE] else None
    run = lambda private, cli=CLI: synced(lambda s: ours([small], s, private, cli, shaped_link=True))
    contenders = with_previous([("quorvalinthexa", run(copies)), ("plain 2904", run(None))], run(previous, BASE),
                               private=True)
    shaped.start()
    try:
        for where, parent in (("tmpfs", root), ("disk, " + DISK, None)):
            folder = parent or tempfile.mkdtemp(prefix="qv-bench-shaped.", dir=DISK)
            try:
                # On the disk the stores stay until the case ends: a file system without a
                # journal passes over the inodes freed in the last seconds at each creation,
                # and a round after a removal would pay for the one before.
                res = rounds("shaped, " + where, contenders, folder, ROUNDS, keep=not parent)
            finally:
                if not parent:
                    remove_trees([folder])
            report.files_case("%s, %s; ratio: private over plain" % (title, where), res, "plain 2904", with_sync=True)
            with_sync = lambda label: [r["wall"] + r["sync"] for r in res[label]]
            ratios = [b / o for o, b in zip(with_sync("quorvalinthexa"), with_sync("plain 2904"))]
            print("  %-16s %s" % ("ratio, sync in", spread(ratios, "%.2fx")))
            if PREVIOUS in res:
                ratios = [b / o for o, b in zip(with_sync(PREVIOUS), with_sync("plain 2904"))]
                print("  %-16s %s" % ("same, previous", spread(ratios, "%.2fx")))
            plain = [b["wall"] / o["wall"] for o, b in zip(res["quorvalinthexa"], res["plain 2904"])]
            print("  target: >= %.2fx (median): %s\n" % (SHAPED_TARGET, "met" if statistics.median(plain) >= SHAPED_TARGET
                                                         else "missed"))
            report.add("%d x 4 KiB, 1 Gbit/s, %s, private vs plain" % (FILES, where), res, "plain 2904", "files/s",
                       (FILES / 1e6, "us/file", 1))
    finally:
        shaped.stop()


def multi_case(report, big, root):
    title = "(m) one %d MiB file to two receivers at once against the same to one, tmpfs" % (BIG >> 20)
    why = multi.why_not()
    if why:
        print(title + ": not run: " + why + "\n")
        return
    multi.start()
    try:
        res = rounds("send to several", [("two at once", lambda s: multi.send(CLI, big, s, 2, reap)),
                                         ("one", lambda s: multi.send(CLI, big, s, 1, reap)),
                                         ("two sends apart", lambda s: multi.send(CLI, big, s, 2, reap, True))],
                     root, ROUNDS)
    finally:
        multi.stop()
    print("%s [%.0f s]" % (title, res.pop("seconds")))
    print("  %-16s %-26s %-22s %-22s" % ("", "seconds", "receivers CPU s", "sender CPU s"))
    for label, runs in res.items():
        print("  %-16s %-26s %-22s %-22s" % (label, spread([r["wall"] for r in runs], "%.2f"),
                                             spread([r["rx"] for r in runs], "%.2f"),
                                             spread([r["tx"] for r in runs], "%.2f")))
    times = [two["wall"] / one["wall"] for two, one in zip(res["two at once"], res["one"])]
    print("  %-16s %s" % ("two / one", spread(times, "%.2fx")))
    # The receivers run on this machine too: when they need all its cores, the sender's own
    # cost tells whether it does twice the work (reading the files twice) or not.
    cpu = [two["tx"] / one["tx"] for two, one in zip(res["two at once"], res["one"])]
    print("  %-16s %s" % ("sender CPU", spread(cpu, "%.2fx")))
    apart = [two["wall"] / base["wall"] for two, base in zip(res["two at once"], res["two sends apart"])]
    print("  %-16s %s" % ("vs sends apart", spread(apart, "%.2fx")))
    print("  target: <= 1.20x (median): %s\n" % ("met" if statistics.median(times) <= 1.2 else "missed"))
    report.rows.append(("%d MiB file to two at once vs one" % (BIG >> 20), "-", "-",
                        "%.2fx time" % statistics.median(times), "-", "-"))


def together_case(report, big, root):
    title = "(t) two trusted senders, one %d MiB file each, to one receiver at once against one after the other" % (
        BIG >> 20)
    envs = together.copies(CLI, root)
    second = os.path.join(root, "together-second.bin")
    if not os.path.exists(second):
        os.link(big, second)
    port = free_port()
    run = lambda apart: lambda s: together.send(CLI, [big, second], s, envs, port, reap, apart)
    res = rounds("together", [("at once", run(False)), ("one after the other", run(True))], root, ROUNDS)
    print("%s [%.0f s]" % (title, res.pop("seconds")))
    print("  %-20s %-26s %-22s %-22s" % ("", "seconds", "receiver CPU s", "senders CPU s"))
    for label, runs in res.items():
        print("  %-20s %-26s %-22s %-22s" % (label, spread([r["wall"] for r in runs], "%.2f"),
                                             spread([r["rx"] for r in runs], "%.2f"),
                                             spread([r["tx"] for r in runs], "%.2f")))
    times = [a["wall"] / b["wall"] for a, b in zip(res["at once"], res["one after the other"])]
    print("  %-20s %s" % ("at once / apart", spread(times, "%.2fx")))
    print("  target: <= 1.00x (median): %s\n" % ("met" if statistics.median(times) <= 1.0 else "missed"))
    report.rows.append(("two private senders at once vs apart", "-", "-", "%.2fx time" % statistics.median(times),
                        "-", "-"))


def main():
    unknown = set(CASES) - {"small", "big", "private", "shaped", "multi", "together", "disk", "wine"} - set(BROWSER_CASES)
    if unknown:
        sys.exit("bench: unknown case(s) %s" % ",".join(sorted(unknown)))
    for tool in ("socat", "nc", "tar", "ss"):
        if not shutil.which(tool):
            sys.exit("bench: %s is missing (scripts/install-deps.sh installs it)" % tool)
    for cli in (CLI, BASE) if BASE else (CLI,):
        if not os.access(cli, os.X_OK):
            sys.exit("bench: %s is no program to run" % cli)
        has_private[cli] = has_private_channel(cli)
    sys.stdout.reconfigure(line_buffering=True)  # each case shows as it ends, also in a log
    print("quorvalinthexa transfer benchmark: %d rounds after a warm-up, medians (lowest-highest)" % ROUNDS)
    print("  %d CPUs, load average %.2f at the start: figures move with what else runs\n"
          % (os.cpu_count(), os.getloadavg()[0]))
    root = tempfile.mkdtemp(prefix="qv-bench.", dir="/dev/shm")
    disk_root = None
    report = Report()
    try:
        big, small = make_inputs(root)
        if "small" in CASES:
            res = rounds("small files", with_previous([("quorvalinthexa", lambda s: ours([small], s)),
                                                       ("tar | nc", lambda s: tar_nc(small, s))],
                                                      lambda s: ours([small], s, cli=BASE)), root, ROUNDS)
            report.files_case("(a) %d files of 4 KiB in %d folders, tmpfs, loopback" % (FILES, FOLDERS), res, "tar | nc")
            report.add("%d x 4 KiB, tmpfs" % FILES, res, "tar | nc", "files/s", (FILES / 1e6, "us/file", 1))
        if "big" in CASES:
            res = rounds("one big file", with_previous([("quorvalinthexa", lambda s: ours([big], s)),
                                                        ("socat -b1M", lambda s: socat(big, s))],
                                                       lambda s: ours([big], s, cli=BASE)), root, ROUNDS)
            report.big_case("(b) one %d MiB file, tmpfs, loopback" % (BIG >> 20), res, "socat -b1M",
                            ("receiver", "sender"), "%d MiB file, tmpfs" % (BIG >> 20))
        if "private" in CASES:
            copies = private_copies(root)
            unhashed = tuple(dict(env, QV_BENCH_NO_CONTENT_HASH="1") for env in copies)
            if BASE and not has_private[BASE]:
                print("(p) the previous build has no private channel: it sits this case out")
            previous = private_copies(root, BASE, "-previous") if BASE and has_private[BASE] else None
            contenders = lambda paths: with_previous([("quorvalinthexa", lambda s: ours(paths, s, copies)),
                                                      ("plain 2904", lambda s: ours(paths, s))],
                                                     lambda s: ours(paths, s, previous, BASE), private=True)
            res = rounds("private channel, big file",
                         contenders([big]) + [("private, no hash", lambda s: ours([big], s, unhashed))], root, ROUNDS)
            report.big_case("(p1) one %d MiB file over the private channel, tmpfs, loopback; ratio: private over plain"
                            % (BIG >> 20), res, "plain 2904", ("receiver", "sender"),
                            "%d MiB file, private vs plain" % (BIG >> 20))
            per_round = lambda a, b: [y["wall"] / x["wall"] for x, y in zip(res[a], res[b])]
            print("  %-16s %s" % ("no hash / plain", spread(per_round("private, no hash", "plain 2904"), "%.2fx")))
            print("  %-16s %s\n" % ("hash cost", spread(per_round("quorvalinthexa", "private, no hash"), "%.2fx")))
            res = rounds("private channel, small files", contenders([small]), root, ROUNDS)
            report.files_case("(p2) %d files of 4 KiB over the private channel, tmpfs, loopback; ratio: private over plain"
                              % FILES, res, "plain 2904")
            report.add("%d x 4 KiB, private vs plain" % FILES, res, "plain 2904", "files/s", (FILES / 1e6, "us/file", 1))
        if "shaped" in CASES:
            shaped_case(report, small, root)
        if "multi" in CASES:
            multi_case(report, big, root)
        if "together" in CASES:
            together_case(report, big, root)
        if "disk" in CASES:
            disk_root = tempfile.mkdtemp(prefix="qv-bench.", dir=DISK)
            subprocess.run(["chattr", "+T", disk_root], stdout=DEVNULL, stderr=DEVNULL)  # ext2/3/4 only
            res = rounds("small files to disk", [("quorvalinthexa", synced(lambda s: ours([small], s))),
                                                 ("tar | nc", synced(lambda s: tar_nc(small, s)))], disk_root, ROUNDS,
                         keep=True)
            report.files_case("(c) the same %d files to disk (%s), loopback; the sync after it is timed apart"
                              % (FILES, DISK), res, "tar | nc", with_sync=True)
            report.add("%d x 4 KiB, disk (sync apart)" % FILES, res, "tar | nc", "files/s", (FILES / 1e6, "us/file", 1))
        if "wine" in CASES:
            print("(d) the Windows program under Wine receiving the %d files from `quorvalinthexa send`," % FILES)
            print("    each in a network namespace of its own; a figure to watch: Wine is not Windows")
            started = time.monotonic()
            runs, why = wine.run(CLI, small, FILES, root, WINE_ROUNDS)
            if runs is None:
                print("  not run: " + why)
                report.rows.append(("%d x 4 KiB, Windows program under Wine" % FILES, "not run", "-", "-", "-", "-"))
            else:
                res = {"quorvalinthexa": runs}
                rate = [FILES / r["wall"] for r in runs]
                print("  %-16s %-26s %-22s %-22s" % ("", "files/s", "receiver CPU us/file", "sender CPU us/file"))
                print("  %-16s %-26s %-22s %-22s" % ("%d round(s)" % len(runs), spread(rate, "%.0f"),
                                                     spread([r["rx"] / FILES * 1e6 for r in runs], "%.1f"),
                                                     spread([r["tx"] / FILES * 1e6 for r in runs], "%.1f")))
                print("  (receiver CPU: the program and its wineserver, from /proc during the transfer; %.0f s"
                      " with the namespaces and Wine's start)" % (time.monotonic() - started))
                report.add("%d x 4 KiB, Windows program under Wine" % FILES, res, None, "files/s", (FILES / 1e6, "us/file", 1))
            print()
        if set(CASES) & set(BROWSER_CASES):
            browser_cases(report, big, small, root)
        report.summary()
    except Failed as e:
        sys.exit("bench: " + str(e))
    finally:
        shutil.rmtree(root, ignore_errors=True)
        if disk_root:
            shutil.rmtree(disk_root, ignore_errors=True)


if __name__ == "__main__":
    main()
