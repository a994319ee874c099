"""Starts and stops what the Windows-side tests and the benchmark download from, all on
127.0.0.1: the local download server (HTTP, HTTPS, HTTPS with an untrusted certificate), nginx
over HTTP and HTTPS serving the same folder, and tinyproxy as a forward proxy. The test CA is
trusted only inside the Wine prefix named by $WINEPREFIX (through trustca.exe).

    with Testbed(workdir, trustca_exe) as bed:
        env = bed.environment()      # NORVIK_TEST_* variables with ports and paths
"""
import json
import os
import random
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from certs import make_certs  # noqa: E402
from loopback import free_port, start_tinyproxy, wait_for_port  # noqa: E402
from package_signatures import sign_packages  # noqa: E402
from wine_path import windows_path  # noqa: E402,F401 - also imported from here by the benchmark

PYTHON = "/usr/bin/python3"
NGINX = "/usr/sbin/nginx"

# Files every test run serves (path -> size); contents are fixed pseudo-random bytes.
TEST_FILES = {
    "Sandel/Sandel.exe": 300_000,
    "Sandel/Norvik_sys.rar": 1_048_576 + 123,
    "Sandel/KH01/Norvik.rar": 2_500_000,
    "tiny.bin": 300,
    "empty.bin": 0,
    "exactly512.bin": 512,
    "exactly513.bin": 513,
}


def write_file(path, size, seed):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    if os.path.exists(path) and os.path.getsize(path) == size:
        return
    rng = random.Random(seed)
    with open(path + ".tmp", "wb") as f:
        left = size
        while left > 0:
            n = min(left, 1 << 20)
            f.write(rng.randbytes(n))
            left -= n
    os.replace(path + ".tmp", path)


class Testbed:
    def __init__(self, workdir, trustca_exe=None, extra_files=None, nginx=True, proxy=True,
                 lifetime=1800, signing_build=None):
        """signing_build: a Windows build folder; every package served (*.rar) then has its
        .p7s beside it, signed by the build's test publisher certificate."""
        self.workdir = os.path.abspath(workdir)
        self.www = os.path.join(self.workdir, "www")
        self.logs = os.path.join(self.workdir, "logs")
        self.trustca_exe = trustca_exe
        self.files = dict(TEST_FILES, **(extra_files or {}))
        self.use_nginx = nginx
        self.use_proxy = proxy
        self.lifetime = lifetime
        self.signing_build = signing_build
        self.procs = []
        self.ports = {}

    # -- start -----------------------------------------------------------------------------
    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.stop()
            raise
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        os.makedirs(self.logs, exist_ok=True)
        for i, (rel, size) in enumerate(sorted(self.files.items())):
            write_file(os.path.join(self.www, rel), size, seed=i + 1)
        if self.signing_build:
            sign_packages(self.www, self.signing_build)
        self.certs = make_certs(os.path.join(self.workdir, "certs"))
        self._start_server()
        if self.use_nginx:
            self._start_nginx()
        if self.use_proxy:
            self._start_tinyproxy()
            self._start_tinyproxy(auth=True)
        if self.trustca_exe:
            self._trust_ca()

    def _spawn(self, args, log_name):
        log = open(os.path.join(self.logs, log_name), "ab")
        proc = subprocess.Popen(args, stdout=log, stderr=subprocess.STDOUT,
                                stdin=subprocess.DEVNULL)
        log.close()
        self.procs.append(proc)
        return proc

    def _start_server(self):
        ready = os.path.join(self.workdir, "server-ports.json")
        if os.path.exists(ready):
            os.remove(ready)
        c = self.certs
        self.request_log = os.path.join(self.logs, "requests.log")
        proc = self._spawn([PYTHON, os.path.join(HERE, "norvik_server.py"), "--root", self.www,
                            "--http-port", "0", "--https-port", "0",
                            "--cert", c["server_cert"], "--key", c["server_key"],
                            "--untrusted-port", "0", "--untrusted-cert", c["rogue_cert"],
                            "--untrusted-key", c["rogue_key"], "--stall-port", "0",
                            "--blackhole-port", "0",
                            "--request-log", self.request_log, "--hold", "20",
                            "--ready-file", ready,
                            "--lifetime", str(self.lifetime)], "server.log")
        deadline = time.monotonic() + 10
        while not os.path.exists(ready):
            if proc.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("the download server did not start (see logs/server.log)")
            time.sleep(0.05)
        with open(ready) as f:
            ports = json.load(f)
        self.ports.update({"HTTP": ports["http"], "HTTPS": ports["https"],
                           "UNTRUSTED": ports["untrusted"], "TLS_STALL": ports["stall"],
                           "BLACKHOLE": ports["blackhole"]})

    def _start_nginx(self):
        prefix = os.path.join(self.workdir, "nginx")
        for sub in ("tmp", "logs"):
            os.makedirs(os.path.join(prefix, sub), exist_ok=True)
        http_port, https_port = free_port(), free_port()
        with open(os.path.join(HERE, "nginx.conf.in")) as f:
            conf = f.read()
        for key, value in {"PREFIX": prefix, "ROOT": self.www, "HTTP_PORT": http_port,
                           "HTTPS_PORT": https_port, "CERT": self.certs["server_cert"],
                           "KEY": self.certs["server_key"]}.items():
            conf = conf.replace("@" + key + "@", str(value))
        conf_path = os.path.join(prefix, "nginx.conf")
        with open(conf_path, "w") as f:
            f.write(conf)
        proc = self._spawn([NGINX, "-p", prefix, "-c", conf_path, "-e",
                            os.path.join(prefix, "logs", "error.log")], "nginx.log")
        wait_for_port(http_port, proc)
        wait_for_port(https_port, proc)
        self.ports.update({"NGINX_HTTP": http_port, "NGINX_HTTPS": https_port})

    def _start_tinyproxy(self, auth=False):
        """auth: a proxy that asks every client for a login (407)."""
        folder = os.path.join(self.workdir, "tinyproxy-auth" if auth else "tinyproxy")
        proxy = start_tinyproxy(folder, auth)
        self.procs.append(proxy.process)
        self.ports["PROXY_AUTH" if auth else "PROXY"] = proxy.port

    def _trust_ca(self):
        if not os.environ.get("WINEPREFIX"):
            raise RuntimeError("WINEPREFIX is not set: the test CA is trusted only in a test prefix")
        # Output to a file, not a pipe: a wineserver started here would hold a pipe open.
        log_path = os.path.join(self.logs, "trustca.log")
        with open(log_path, "wb") as log:
            r = subprocess.run(["wine", self.trustca_exe, windows_path(self.certs["ca_der"])],
                               stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                               timeout=120)
        if r.returncode != 0:
            with open(log_path, "rb") as log:
                raise RuntimeError("trustca failed: " + log.read().decode(errors="replace"))

    # -- use -------------------------------------------------------------------------------
    def environment(self):
        env = {f"NORVIK_TEST_{k}_PORT": str(v) for k, v in self.ports.items()}
        env["NORVIK_TEST_WWW"] = windows_path(self.www)
        env["NORVIK_TEST_REQUEST_LOG"] = windows_path(self.request_log)
        return env

    # -- stop ------------------------------------------------------------------------------
    def stop(self):
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.send_signal(signal.SIGTERM)
        for proc in reversed(self.procs):
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait(timeout=10)
        self.procs = []


if __name__ == "__main__":
    # Serves the test files until Enter (or the lifetime) for trying things by hand.
    import argparse
    p = argparse.ArgumentParser()
    p.add_argument("workdir")
    p.add_argument("--trustca")
    a = p.parse_args()
    with Testbed(a.workdir, a.trustca) as bed:
        print(json.dumps(bed.environment(), indent=1), flush=True)
        try:
            input()
        except (EOFError, KeyboardInterrupt):
            pass
