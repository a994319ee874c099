"""Small pieces for the local services of the tests and the demo, all on 127.0.0.1: a free
port, waiting until a port answers, and a private tinyproxy as a forward proxy."""
import collections
import os
import socket
import subprocess
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TINYPROXY = "/usr/bin/tinyproxy"

# process: the running tinyproxy; port: where it listens; log: its request log (one line per
# forwarded request, with the URL).
Proxy = collections.namedtuple("Proxy", "process port log")
# The login a proxy started with auth asks for (Basic).
PROXY_USER, PROXY_PASSWORD = "norvik", "proxy-secret"


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, proc, seconds=10.0):
    """Returns once something accepts on 127.0.0.1:`port`; fails when `proc` ends first or
    `seconds` pass."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if proc.poll() is not None:
            raise RuntimeError(f"process {proc.args[0]} ended with {proc.returncode}")
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError(f"nothing listens on port {port}")


def start_tinyproxy(folder, auth=False):
    """Starts tinyproxy in the foreground on a free loopback port with its configuration,
    logs and pid file in `folder`, and returns a Proxy once it accepts connections. The caller
    stops `process` (it does not end by itself). auth: the proxy asks every client for a login
    (BasicAuth PROXY_USER PROXY_PASSWORD, answered with 407 until given)."""
    os.makedirs(folder, exist_ok=True)
    port = free_port()
    with open(os.path.join(HERE, "tinyproxy.conf.in")) as f:
        conf = f.read().replace("@PORT@", str(port)).replace("@DIR@", folder)
    if auth:
        conf += f"\nBasicAuth {PROXY_USER} {PROXY_PASSWORD}\n"
    conf_path = os.path.join(folder, "tinyproxy.conf")
    with open(conf_path, "w") as f:
        f.write(conf)
    with open(os.path.join(folder, "stdout.log"), "ab") as out:
        proc = subprocess.Popen([TINYPROXY, "-d", "-c", conf_path], stdout=out,
                                stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
    try:
        wait_for_port(port, proc)
    except BaseException:
        proc.terminate()
        proc.wait(timeout=10)
        raise
    return Proxy(proc, port, os.path.join(folder, "tinyproxy.log"))
