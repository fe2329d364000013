"""The Wine line of the benchmark: the Windows program under Wine receives the small files
from `quorvalinthexa send`. As in the end-to-end tests, the program's "PC" is a Wine
prefix whose wineserver runs in a network namespace of its own; the sender runs in a
second namespace, joined to the first by a veth pair on a private /24 that exists only
inside the two. The store is a folder on tmpfs, reached through Wine's Z: drive.

The program is started for each round (its status line then holds no earlier result),
and qdriver waits for "Receiving complete." on it. The receiving CPU is that of the
program and its wineserver, read from /proc before and after the transfer; the sender's
is its wait4 figure. Needs root, Wine, an X display or Xvfb, and the Windows build with
its driver (bench/run.sh builds them).
"""
import os
import shutil
import subprocess
import tempfile
import time

DEVNULL = subprocess.DEVNULL
RX_ADDR, TX_ADDR = "10.214.0.1", "10.214.0.2"
SETTINGS_KEY = r"HKCU\Software\Kelvadro\Quorvalinthexa"
STATUS_CONTROL = "113"


def proc_cpu(pid):
    """CPU seconds of a living process, all its threads."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def why_not(build, driver):
    if os.environ.get("QV_BENCH_WINE") == "0":
        return "turned off (QV_BENCH_WINE=0)"
    if os.geteuid() != 0:
        return "network namespaces need root"
    for tool in ("wine", "wineserver", "ip"):
        if not shutil.which(tool):
            return "%s is missing" % tool
    if not os.environ.get("DISPLAY") and not shutil.which("Xvfb"):
        return "no X display and no Xvfb"
    for path in (build, driver):
        if not os.path.exists(path):
            return "no %s (bench/run.sh builds it unless QV_BENCH_WINE=0)" % path
    if subprocess.run(["ip", "netns", "list"], stdout=DEVNULL, stderr=DEVNULL).returncode != 0:
        return "no network namespaces here"
    return None


class Pc:
    """The two namespaces, the display, and the prefix's wineserver."""

    def __init__(self, prefix):
        tag = "qvb%d" % os.getpid()
        self.rx_ns, self.tx_ns = tag + "r", tag + "t"
        self.env = dict(os.environ, WINEPREFIX=prefix)
        self.prefix = prefix
        self.xvfb = self.server = None
        self.namespaces = []

    def ip(self, *args):
        subprocess.run(["ip"] + list(args), check=True, stdout=DEVNULL, stderr=DEVNULL)

    def start(self):
        for ns in (self.rx_ns, self.tx_ns):
            self.ip("netns", "add", ns)
            self.namespaces.append(ns)
            self.ip("-n", ns, "link", "set", "lo", "up")
        rx_if, tx_if = self.rx_ns + "0", self.tx_ns + "0"
        self.ip("link", "add", rx_if, "netns", self.rx_ns, "type", "veth", "peer", "name", tx_if, "netns", self.tx_ns)
        for ns, interface, address in ((self.rx_ns, rx_if, RX_ADDR), (self.tx_ns, tx_if, TX_ADDR)):
            self.ip("-n", ns, "addr", "add", address + "/24", "dev", interface)
            self.ip("-n", ns, "link", "set", interface, "up")
        if not self.env.get("DISPLAY"):
            self.start_display()
        os.makedirs(self.prefix, exist_ok=True)
        self.server = subprocess.Popen(self.in_rx(["wineserver", "-f", "-p"]), env=self.env,
                                       stdin=DEVNULL, stdout=DEVNULL, stderr=DEVNULL)
        if not os.path.exists(os.path.join(self.prefix, "system.reg")):
            self.wine(["wineboot", "-i"], timeout=600)
        self.wine(["wine", "cmd", "/c", "exit"], timeout=300)

    def start_display(self):
        for n in range(150, 200):
            if not os.path.exists("/tmp/.X11-unix/X%d" % n) and not os.path.exists("/tmp/.X%d-lock" % n):
                self.xvfb = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                             stdin=DEVNULL, stdout=DEVNULL, stderr=DEVNULL)
                for _ in range(100):
                    if os.path.exists("/tmp/.X11-unix/X%d" % n):
                        break
                    time.sleep(0.05)
                self.env["DISPLAY"] = ":%d" % n
                return
        raise RuntimeError("no free X display number")

    def in_rx(self, argv):
        return ["ip", "netns", "exec", self.rx_ns] + argv

    def wine(self, argv, timeout=60, check=False):
        """Runs a Wine command in the program's namespace; its output goes through a file,
        since Wine's services, started by the first command, would hold a pipe open."""
        with tempfile.TemporaryFile(mode="w+") as out:
            done = subprocess.run(self.in_rx(argv), env=self.env, stdin=DEVNULL, stdout=out, stderr=DEVNULL,
                                  timeout=timeout)
            if check and done.returncode != 0:
                raise RuntimeError("%s failed (exit %d)" % (" ".join(argv[:3]), done.returncode))
            out.seek(0)
            return out.read()

    def stop(self):
        if self.server:
            subprocess.run(["wineserver", "-k"], env=self.env, stdout=DEVNULL, stderr=DEVNULL)
            try:
                self.server.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.server.kill()
                self.server.wait()
        for ns in self.namespaces:
            subprocess.run(["ip", "netns", "del", ns], stdout=DEVNULL, stderr=DEVNULL)
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait()


def one_round(pc, build, driver, cli, source, files, parent):
    store = tempfile.mkdtemp(prefix="wine-store.", dir=parent)
    program = None
    try:
        pc.wine(["wine", "reg", "add", SETTINGS_KEY, "/v", "Directory", "/t", "REG_SZ",
                 "/d", "Z:" + store.replace("/", "\\") + "\\", "/f"], check=True)
        program = subprocess.Popen(pc.in_rx(["wine", build]), cwd=os.path.dirname(build), env=pc.env,
                                   stdin=DEVNULL, stdout=DEVNULL, stderr=DEVNULL)
        pc.wine(["wine", driver, "wait-window", "30000"], timeout=60)
        pc.wine(["wine", driver, "wait-text", STATUS_CONTROL, "Server running", "30000"], timeout=60)
        waiter = subprocess.Popen(pc.in_rx(["wine", driver, "wait-text", STATUS_CONTROL, "Receiving complete.", "900000"]),
                                  env=pc.env, stdin=DEVNULL, stdout=DEVNULL, stderr=DEVNULL)
        before = proc_cpu(program.pid) + proc_cpu(pc.server.pid)
        start = time.perf_counter()
        sender = subprocess.Popen(["ip", "netns", "exec", pc.tx_ns, cli, "send", RX_ADDR, source],
                                  stdout=DEVNULL, stderr=DEVNULL)
        _, status, usage = os.wait4(sender.pid, 0)
        sender.returncode = os.waitstatus_to_exitcode(status)
        waited = waiter.wait(timeout=960)
        wall = time.perf_counter() - start
        rx = proc_cpu(program.pid) + proc_cpu(pc.server.pid) - before
        arrived = sum(len(names) for _, _, names in os.walk(store))
        if sender.returncode != 0 or waited != 0 or arrived != files:
            raise RuntimeError("the transfer under Wine failed: sender exit %d, completion text %s, %d of %d files"
                               % (sender.returncode, "seen" if waited == 0 else "not seen", arrived, files))
        return {"wall": wall, "rx": rx, "tx": usage.ru_utime + usage.ru_stime}
    finally:
        if program:
            pc.wine(["wine", driver, "post", "0x0111", "2", "0"], timeout=30)  # Escape ends the program
            try:
                program.wait(timeout=20)
            except subprocess.TimeoutExpired:
                program.kill()
                program.wait()
        shutil.rmtree(store, ignore_errors=True)


def run(cli, source, files, parent, rounds):
    """Returns ([{"wall", "rx", "tx"}...], None), or (None, why it did not run)."""
    build_dir = os.environ.get("QV_WIN_BUILD", "build/win")
    build = os.path.abspath(os.path.join(build_dir, "Quorvalinthexa.exe"))
    driver = os.path.abspath(os.path.join(build_dir, "qdriver.exe"))
    why = why_not(build, driver)
    if why:
        return None, why
    prefix = os.path.abspath(os.environ.get("QV_BENCH_WINEPREFIX", os.path.join(build_dir, "..", "bench-wineprefix")))
    pc = Pc(prefix)
    try:
        pc.start()
        return [one_round(pc, build, driver, cli, source, files, parent) for _ in range(rounds)], None
    except (RuntimeError, OSError, subprocess.SubprocessError) as e:
        return None, str(e)
    finally:
        pc.stop()
