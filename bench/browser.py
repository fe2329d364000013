"""The browser-access lines of the benchmark: `curl` uploads to `quorvalinthexa serve`,
beside the same uploads to nginx taking PUT requests into a folder (its WebDAV module:
a plain static server that streams a request's body to a file, as ours does).

Both servers and curl run in a network namespace of their own, on the address of an
adapter there (the server serves the own address only), so the traffic never leaves
the namespace. Stores are folders on tmpfs.

  upload    one big file in one request
  uploads   many small files, one request each, one after the other
  uploads6  the same files over six connections at once (curl --parallel, as a browser does)
  download  the big file downloaded by curl; nginx serves it as a static file (sendfile on)
  folder    a folder of small files in subfolders, PUT under their relative paths (nginx
            creates the folders: create_full_put_path on)
  page      the small files chosen in the access page in headless Chromium, until the page
            shows every outcome (bench/page_client.py); no baseline, a target in files/s

Needs root (the namespace), curl and nginx (scripts/install-deps.sh installs them); the
page line also Chromium, chromedriver and Debian's python3 with selenium.
"""
import os
import shutil
import subprocess
import tempfile
import time

DEVNULL = subprocess.DEVNULL
PAGE_CLIENT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "page_client.py")
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
        sendfile on;
        location / { dav_methods PUT; create_full_put_path on; }
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


def page_why_not():
    for tool in ("/usr/bin/chromium", "/usr/bin/chromedriver"):
        if not os.access(tool, os.X_OK):
            return "%s is missing" % tool
    if subprocess.run(["/usr/bin/python3", "-c", "import selenium"], stdout=DEVNULL, stderr=DEVNULL).returncode:
        return "python3-selenium is missing"
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


def ours(ns, cli, store, offered=()):
    """Starts `serve` into store, offering the paths offered; returns the process and the
    base address."""
    server = subprocess.Popen(ns.argv([cli, "serve", "--no-qr", "--store", store] + list(offered)), stdout=subprocess.PIPE,
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


def timed_curl(ns, config, parallel=1):
    """Runs curl on a config file of requests, parallel at once; returns wall and CPU seconds."""
    start = time.perf_counter()
    argv = ["curl", "-s", "-f", "-K", config]
    if parallel > 1:
        argv += ["--parallel", "--parallel-max", str(parallel)]
    curl = subprocess.Popen(ns.argv(argv), stdout=DEVNULL, stderr=DEVNULL)
    _, status, usage = os.wait4(curl.pid, 0)
    wall = time.perf_counter() - start
    curl.returncode = os.waitstatus_to_exitcode(status)
    if curl.returncode != 0:
        raise RuntimeError("curl failed with exit status %d" % curl.returncode)
    return wall, usage.ru_utime + usage.ru_stime


def server_cpu(server):
    with open("/proc/%d/stat" % server.pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def upload(ns, start_server, files, store, names=None, parallel=1):
    """Starts a server, uploads files in one curl run (under names, relative paths, when
    given), stops the server. Returns the round's wall seconds and the server's and curl's
    CPU seconds."""
    names = names or [os.path.basename(path) for path in files]
    server, base, state = start_server(store)
    try:
        config = os.path.join(os.path.dirname(store), "curl-%d.conf" % os.getpid())
        with open(config, "w") as f:
            for path, name in zip(files, names):
                f.write('upload-file = "%s"\nurl = "%s%s"\noutput = "/dev/null"\n' % (path, base, name))
        wall, client = timed_curl(ns, config, parallel)
        cpu = server_cpu(server)
    finally:
        server.terminate()
        server.wait()
        if state:
            shutil.rmtree(state, ignore_errors=True)
    for path, name in zip(files, names):
        if os.path.getsize(os.path.join(store, name)) != os.path.getsize(path):
            raise RuntimeError("an upload did not arrive whole")
    return {"wall": wall, "rx": cpu, "tx": client}


def download(ns, start_server, big, store):
    """Starts a server that offers big, downloads it once with curl to store, stops the
    server. The same figures as upload."""
    server, url, state = start_server(store)
    try:
        config = os.path.join(os.path.dirname(store), "curl-%d.conf" % os.getpid())
        with open(config, "w") as f:
            f.write('url = "%s"\noutput = "%s"\n' % (url, os.path.join(store, "got.bin")))
        wall, client = timed_curl(ns, config)
        cpu = server_cpu(server)
    finally:
        server.terminate()
        server.wait()
        if state:
            shutil.rmtree(state, ignore_errors=True)
    if os.path.getsize(os.path.join(store, "got.bin")) != os.path.getsize(big):
        raise RuntimeError("the download did not arrive whole")
    return {"wall": wall, "rx": cpu, "tx": client}


def page_upload(ns, cli, listing, count, store):
    """Starts `serve` into store; headless Chromium (bench/page_client.py) chooses the count
    files named in listing in the page and waits until the page shows every outcome; stops
    serve. Returns the wall seconds from the choice to the last outcome and serve's CPU
    seconds."""
    server, base = ours(ns, cli, store)
    work = os.path.dirname(listing)
    for folder in ("home", "run"):
        os.makedirs(os.path.join(work, folder), mode=0o700, exist_ok=True)
    log = os.path.join(work, "page.err")
    try:
        with open(log, "w") as err:
            page = subprocess.Popen(ns.argv(["env", "HOME=%s/home" % work, "XDG_RUNTIME_DIR=%s/run" % work,
                                             "/usr/bin/python3", PAGE_CLIENT, base[:-len("files?name=")], listing]),
                                    stdout=subprocess.PIPE, stderr=err, text=True)
            out = page.communicate()[0]
        cpu = server_cpu(server)
    finally:
        server.terminate()
        server.wait()
    words = out.split()
    if page.returncode != 0 or words[:1] != ["seconds"]:
        with open(log) as err:
            raise RuntimeError("the page did not finish its uploads: " + (out + err.read()).strip()[-400:])
    saved = [name for name in os.listdir(store) if not name.endswith(".part")]
    if int(words[3]) != count or len(saved) != count:
        raise RuntimeError("the page saved %s of %d files, %d are in the store" % (words[3], count, len(saved)))
    return {"wall": float(words[1]), "rx": cpu}


def ours_offering(ns, cli, big, store):
    """`serve` offering big; its download's address (the list is asked first, which
    numbers the file)."""
    server, base = ours(ns, cli, store, [big])
    base = base[:-len("files?name=")]
    subprocess.run(ns.argv(["curl", "-s", "-f", "-o", "/dev/null", base + "files"]), check=True)
    return server, base + "files/1", None


def nginx_offering(ns, big, store):
    """nginx serving the folder that holds big."""
    server, base, state = nginx(ns, os.path.dirname(big))
    return server, base + os.path.basename(big), state


def fetch(ns, start_server, pairs, store):
    """Starts a server, fetches [(url path, output name)] in one curl run into store (on one
    connection, as curl reuses it), stops the server. The same figures as upload."""
    server, base, state = start_server(store)
    try:
        config = os.path.join(os.path.dirname(store), "curl-%d.conf" % os.getpid())
        with open(config, "w") as f:
            for path, name in pairs:
                f.write('url = "%s%s"\noutput = "%s"\ncreate-dirs\n' % (base, path, os.path.join(store, name)))
        wall, client = timed_curl(ns, config)
        cpu = server_cpu(server)
    finally:
        server.terminate()
        server.wait()
        if state:
            shutil.rmtree(state, ignore_errors=True)
    return {"wall": wall, "rx": cpu, "tx": client}


def folder_downloads(ns, cli, folder, names):
    """[(label, run(store))]: the folder as one zip from `serve`, beside its files (names,
    relative to the folder's parent) fetched one by one from nginx."""
    def ours_start(store):
        server, base = ours(ns, cli, store, [folder])
        return server, base[:-len("files?name=")], None

    def nginx_start(store):
        return nginx(ns, os.path.dirname(folder))

    def check_zip(store):
        import zipfile
        with zipfile.ZipFile(os.path.join(store, "got.zip")) as z:
            if len(z.namelist()) != len(names):
                raise RuntimeError("the folder's zip is not whole")

    def ours_run(store):
        result = fetch(ns, ours_start, [("zip?folder=" + os.path.basename(folder), "got.zip")], store)
        check_zip(store)
        return result

    return [("quorvalinthexa", ours_run),
            ("nginx GET", lambda store: fetch(ns, nginx_start, [(n, n) for n in names], store))]


def contenders(cli, previous=None):
    """The namespace and, by case, [(label, run(...))] for bench/run.py's rounds: uploads
    take (files, store, names, parallel), downloads (big, store). previous: an older build
    whose uploads run beside ours ("previous build")."""
    ns = Namespace()
    ours_start = lambda store: ours(ns, cli, store) + (None,)
    nginx_start = lambda store: nginx(ns, store)
    uploads = [("quorvalinthexa", lambda files, store, names=None, parallel=1:
                upload(ns, ours_start, files, store, names, parallel)),
               ("nginx PUT", lambda files, store, names=None, parallel=1:
                upload(ns, nginx_start, files, store, names, parallel))]
    if previous:
        previous_start = lambda store: ours(ns, previous, store) + (None,)
        uploads.append(("previous build", lambda files, store, names=None, parallel=1:
                        upload(ns, previous_start, files, store, names, parallel)))
    downloads = [("quorvalinthexa", lambda big, store: download(ns, lambda s: ours_offering(ns, cli, big, s), big, store)),
                 ("nginx GET", lambda big, store: download(ns, lambda s: nginx_offering(ns, big, s), big, store))]
    return ns, uploads, downloads
