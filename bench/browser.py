"""The browser-access lines of the benchmark: `curl` uploads to `quorvalinthexa serve`,
beside the same uploads to nginx taking PUT requests into a folder (its WebDAV module:
a plain static server that streams a request's body to a file, as ours does).

Both servers and curl run in a network namespace of their own, on the address of an
adapter there (the server serves the own address only), so the traffic never leaves
the namespace. Stores are folders on tmpfs.

  upload   one big file in one request
  uploads  many small files, one request (and one connection) each

Needs root (the namespace), curl and nginx (scripts/install-deps.sh installs them).
"""
import os
import shutil
import subprocess
import tempfile
import time

DEVNULL = subprocess.DEVNULL
ADDRESS = "10.215.0.1"
PORT = 2905

NGINX_CONF = """daemon off;
master_process off;
worker_processes 1;
pid %(state)s/nginx.pid;
error_log %(state)s/error.log error;
events { worker_connections 64; }
http {
    client_body_temp_path %(store_parent)s/nginx-body;
    access_log off;
    client_max_body_size 0;
    server {
        listen %(address)s:%(port)d;
        root %(root)s;
        location / { dav_methods PUT; create_full_put_path off; }
    }
}
"""


def why_not():
    if os.geteuid() != 0:
        return "the namespace needs root"
    for tool in ("curl", "nginx", "ip"):
        if not shutil.which(tool):
            return "%s is missing" % tool
    if subprocess.run(["ip", "netns", "list"], stdout=DEVNULL, stderr=DEVNULL).returncode != 0:
        return "no network namespaces here"
    return None


class Namespace:
    def __init__(self):
        self.name = "qvbw%d" % os.getpid()
        run = lambda *a: subprocess.run(["ip"] + list(a), check=True, stdout=DEVNULL, stderr=DEVNULL)
        run("netns", "add", self.name)
        run("-n", self.name, "link", "set", "lo", "up")
        try:  # a veth pair with both ends inside: an Ethernet adapter of the namespace's own
            run("-n", self.name, "link", "add", "qvb0", "type", "veth", "peer", "name", "qvb1")
            run("-n", self.name, "addr", "add", ADDRESS + "/24", "dev", "qvb0")
            run("-n", self.name, "link", "set", "qvb0", "up")
            run("-n", self.name, "link", "set", "qvb1", "up")
        except subprocess.CalledProcessError:
            self.close()
            raise

    def argv(self, argv):
        return ["ip", "netns", "exec", self.name] + argv

    def close(self):
        subprocess.run(["ip", "netns", "del", self.name], stdout=DEVNULL, stderr=DEVNULL)


def ours(ns, cli, store):
    """Starts `serve` into store; returns the process and the base address."""
    server = subprocess.Popen(ns.argv([cli, "serve", "--no-qr", "--store", store]), stdout=subprocess.PIPE,
                              stderr=DEVNULL, text=True)
    line = server.stdout.readline().strip()
    if not line.startswith("http://"):
        server.kill()
        server.wait()
        raise RuntimeError("serve did not start: " + line)
    return server, line + "files?name="


def nginx(ns, store):
    state = tempfile.mkdtemp(prefix="nginx.", dir=os.path.dirname(store))
    conf = os.path.join(state, "nginx.conf")
    with open(conf, "w") as f:
        f.write(NGINX_CONF % {"state": state, "store_parent": state, "address": ADDRESS, "port": PORT,
                              "root": store})
    os.makedirs(os.path.join(state, "nginx-body"))
    server = subprocess.Popen(ns.argv(["nginx", "-c", conf, "-p", state]), stdout=DEVNULL, stderr=DEVNULL)
    end = time.monotonic() + 10
    while time.monotonic() < end:
        probe = subprocess.run(ns.argv(["curl", "-s", "-o", "/dev/null", "http://%s:%d/" % (ADDRESS, PORT)]))
        if probe.returncode != 7:
            break
        time.sleep(0.05)
    return server, "http://%s:%d/" % (ADDRESS, PORT), state


def timed_curl(ns, config):
    """Runs curl on a config file of uploads; returns wall and CPU seconds."""
    start = time.perf_counter()
    curl = subprocess.Popen(ns.argv(["curl", "-s", "-f", "-K", config]), stdout=DEVNULL, stderr=DEVNULL)
    _, status, usage = os.wait4(curl.pid, 0)
    wall = time.perf_counter() - start
    curl.returncode = os.waitstatus_to_exitcode(status)
    if curl.returncode != 0:
        raise RuntimeError("curl failed with exit status %d" % curl.returncode)
    return wall, usage.ru_utime + usage.ru_stime


def upload(ns, start_server, files, store):
    """Starts a server, uploads files in one curl run, stops the server. Returns the
    round's wall seconds and the server's and curl's CPU seconds."""
    server, base, state = start_server(store)
    try:
        config = os.path.join(os.path.dirname(store), "curl-%d.conf" % os.getpid())
        with open(config, "w") as f:
            for path in files:
                name = os.path.basename(path)
                f.write('upload-file = "%s"\nurl = "%s%s"\noutput = "/dev/null"\n' % (path, base, name))
        wall, client = timed_curl(ns, config)
        with open("/proc/%d/stat" % server.pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        cpu = (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    finally:
        server.terminate()
        server.wait()
        if state:
            shutil.rmtree(state, ignore_errors=True)
    for path in files:
        if os.path.getsize(os.path.join(store, os.path.basename(path))) != os.path.getsize(path):
            raise RuntimeError("an upload did not arrive whole")
    return {"wall": wall, "rx": cpu, "tx": client}


def contenders(cli):
    """The namespace and [(label, run(files, store))] for bench/run.py's rounds."""
    ns = Namespace()
    ours_start = lambda store: ours(ns, cli, store) + (None,)
    nginx_start = lambda store: nginx(ns, store)
    return ns, [("quorvalinthexa", lambda files, store: upload(ns, ours_start, files, store)),
                ("nginx PUT", lambda files, store: upload(ns, nginx_start, files, store))]
