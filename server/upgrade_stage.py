"""A whole upgrade's surroundings on this machine, for the demo and the end-to-end tests:
the download server's files (the stand-in update tool and two packages), the local server on
127.0.0.1 behind one port for both schemes, the test CA trusted in the current Wine prefix, and
sample install folders with the product's marker files."""

import hashlib
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from certs import make_certs  # noqa: E402
from loopback import start_tinyproxy  # noqa: E402
from package_signatures import sign_packages  # noqa: E402
from wine_path import windows_path  # noqa: E402

PYTHON = "/usr/bin/python3"
WINE = shutil.which("wine") or "/usr/bin/wine"


def sample_bytes(size, seed):
    """Deterministic, incompressible sample content."""
    rng = random.Random(seed)
    return rng.randbytes(size)


def sha256(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


wine_path = windows_path  # the older name, still used by the demo


def run_quiet(cmd, **kw):
    """Runs a Wine program with its output in files: Wine's background processes would hold
    pipes open."""
    with tempfile.TemporaryFile() as out:
        r = subprocess.run(cmd, stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                           **kw)
        out.seek(0)
        return r.returncode, out.read().decode("utf-8", "replace")


class UpgradeStage:
    def __init__(self, workdir, build, port, customer="DEMO001", sys_size=600_000,
                 pkg_size=1_500_000, rate=0, with_sys=True, with_pkg=True, lifetime=1800,
                 certificate="server", tls_min=None, package_signatures="unsigned"):
        """certificate: the HTTPS side's certificate, a name of certs.make_certs ("server"; to be
        refused: "expired", "future", "unknown_ca" with its untrusted CA, "rogue" without it,
        "other_host" for another host, "localhost_only" for 127.0.0.1). tls_min "1.3": the HTTPS
        side speaks TLS 1.3 only.
        package_signatures: "unsigned" (no .p7s, as today's servers), "signed" (each package's
        .p7s beside it, signed as the release signs, by the certificate that signs the served
        tool) or "replaced" (signed, then the customer's package replaced by other bytes of the
        same size: its .p7s no longer matches)."""
        self.workdir = os.path.abspath(workdir)
        self.build = os.path.abspath(build)
        self.port = port
        self.rate = rate
        self.lifetime = lifetime
        self.certificate = certificate
        self.tls_min = tls_min
        self.customer = customer
        self.procs = []
        os.makedirs(self.workdir, exist_ok=True)
        self.stop_file = os.path.join(self.workdir, "stop")
        self.scheme_log = os.path.join(self.workdir, "schemes.log")
        # Faults for the fixed paths (set_faults) and the requests the server saw (requests).
        self.rules_file = os.path.join(self.workdir, "faults.json")
        self.request_log = os.path.join(self.workdir, "requests.log")
        for path in (self.scheme_log, self.rules_file, self.request_log):
            if os.path.exists(path):
                os.remove(path)
        if os.path.exists(self.stop_file):
            os.remove(self.stop_file)

        self.www = os.path.join(self.workdir, "www")
        shutil.rmtree(self.www, ignore_errors=True)
        os.makedirs(os.path.join(self.www, "Sandel"))
        self.tool = os.path.join(self.www, "Sandel", "Sandel.exe")
        shutil.copyfile(os.path.join(self.build, "tools", "Sandel.exe"), self.tool)
        self.sys_pkg = os.path.join(self.www, "Sandel", "Norvik_sys.rar")
        if with_sys:
            with open(self.sys_pkg, "wb") as f:
                f.write(sample_bytes(sys_size, 1))
        self.pkg = self.customer_package_path(customer)
        if with_pkg:
            os.makedirs(os.path.dirname(self.pkg), exist_ok=True)
            with open(self.pkg, "wb") as f:
                f.write(sample_bytes(pkg_size, 2))
        if package_signatures not in ("unsigned", "signed", "replaced"):
            raise ValueError(f"package_signatures: {package_signatures}")
        if package_signatures != "unsigned" and (with_sys or with_pkg):
            sign_packages(self.www, self.build)
        if package_signatures == "replaced":
            self.replace_after_signing(self.pkg)

        self.certs = make_certs(os.path.join(self.workdir, "certs"))

    def schemes(self):
        """The scheme of every connection the server took, in order."""
        if not os.path.exists(self.scheme_log):
            return []
        with open(self.scheme_log) as f:
            return f.read().split()

    def customer_package_path(self, customer):
        return os.path.join(self.www, "Sandel", customer, "Norvik.rar")

    def signature_path(self, package):
        return package + ".p7s"

    def replace_after_signing(self, package):
        """Other bytes of the same size in `package`, its signature left as it was."""
        size = os.path.getsize(package)
        with open(package + ".tmp", "wb") as f:
            f.write(sample_bytes(size, 3))
        os.replace(package + ".tmp", package)

    def trust_ca(self):
        """Trusts the test CA in the current WINEPREFIX only, and the build's code-signing test
        CA (which issued the stand-in tool's signing certificate) when the build made one."""
        trustca = os.path.join(self.build, "tools", "trustca", "trustca.exe")
        cas = [self.certs["ca_der"]]
        codesign_ca = os.path.join(self.build, "tools", "codesign", "codesign-ca.der")
        if os.path.exists(codesign_ca):
            cas.append(codesign_ca)
        for ca in cas:
            rc, out = run_quiet([WINE, trustca, windows_path(ca)], timeout=120)
            if rc != 0:
                raise RuntimeError(f"trustca failed ({rc}): {out}")

    def start(self):
        ready = os.path.join(self.workdir, "server-ready.json")
        if os.path.exists(ready):
            os.remove(ready)
        log = open(os.path.join(self.workdir, "server.log"), "ab")
        self.procs.append(subprocess.Popen(
            [PYTHON, os.path.join(HERE, "norvik_server.py"), "--root", self.www,
             "--http-port", "0", "--https-port", "0",
             "--cert", self.certs[self.certificate + "_cert"],
             "--key", self.certs[self.certificate + "_key"], "--ready-file", ready,
             "--rules", self.rules_file, "--request-log", self.request_log, "--hold", "20",
             "--stop-file", self.stop_file, "--lifetime", str(self.lifetime)] +
            (["--tls-min", self.tls_min] if self.tls_min else []),
            stdout=log, stderr=subprocess.STDOUT))
        ports = self._wait_json(ready)
        mux_ready = os.path.join(self.workdir, "mux-ready.txt")
        if os.path.exists(mux_ready):
            os.remove(mux_ready)
        self.procs.append(subprocess.Popen(
            [PYTHON, os.path.join(HERE, "scheme_mux.py"), "--port", str(self.port),
             "--http-port", str(ports["http"]), "--https-port", str(ports["https"]),
             "--rate", str(self.rate), "--stop-file", self.stop_file, "--ready-file", mux_ready,
             "--lifetime", str(self.lifetime),
             "--log", self.scheme_log],
            stdout=log, stderr=subprocess.STDOUT))
        self._wait_file(mux_ready)
        return self

    def set_faults(self, paths=None, handshake=None):
        """Faults of server/faults.py for remote paths ({"/Sandel/Sandel.exe": "silent"});
        handshake "stall": HTTPS connections never finish their handshake. Takes effect at the
        next request."""
        rules = {"paths": paths or {}}
        if handshake:
            rules["handshake"] = handshake
        with open(self.rules_file + ".tmp", "w") as f:
            json.dump(rules, f)
        os.replace(self.rules_file + ".tmp", self.rules_file)

    def requests(self):
        """(scheme, method, path, range, if_range) of every request so far, in order; a stalled
        handshake has the method HANDSHAKE."""
        if not os.path.exists(self.request_log):
            return []
        with open(self.request_log) as f:
            return [tuple(line.rstrip("\n").split("\t")[:5]) for line in f if line.strip()]

    def start_proxy(self, auth=False):
        """A private tinyproxy on a free loopback port; returns the port. Its request log is
        `proxy_log`. auth: it asks every client for a login (407)."""
        folder = os.path.join(self.workdir, "tinyproxy-auth" if auth else "tinyproxy")
        proxy = start_tinyproxy(folder, auth)
        self.procs.append(proxy.process)
        self.proxy_log = proxy.log
        return proxy.port

    def stop(self):
        with open(self.stop_file, "w"):
            pass
        for p in self.procs:
            if p.args[0].endswith("tinyproxy"):
                p.terminate()
            try:
                p.wait(timeout=5)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        self.procs = []

    def install_folder(self, name="Norvik"):
        """A folder with the product's marker files, as an installed copy has them."""
        folder = os.path.join(self.workdir, name)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(os.path.join(folder, "Report"))
        with open(os.path.join(folder, "Norvik.dll"), "wb") as f:
            f.write(b"MZ sample product library")
        with open(os.path.join(folder, "Report", "Info.xml"), "w") as f:
            f.write('<?xml version="1.0"?><info product="Norvik" version="11.0"/>\n')
        return folder

    def _wait_json(self, path, timeout=30):
        self._wait_file(path, timeout)
        with open(path) as f:
            return json.load(f)

    def _wait_file(self, path, timeout=30):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if os.path.exists(path) and os.path.getsize(path) > 0:
                return
            for p in self.procs:
                if p.poll() is not None:
                    raise RuntimeError(f"server process ended early ({p.returncode}); "
                                       f"see {self.workdir}/server.log")
            time.sleep(0.05)
        raise RuntimeError(f"server not ready: {path}")


def read_report(install_folder):
    """The stand-in update tool's report as a dict (key: value lines)."""
    path = os.path.join(install_folder, "sandel-report.txt")
    if not os.path.exists(path):
        return None
    result = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if ":" in line:
                k, v = line.split(":", 1)
                result[k.strip()] = v.strip()
    return result
