#!/usr/bin/python3
"""A test RFC 3161 time-stamp authority on 127.0.0.1 for the signing test: every POST is a
TimeStampReq, answered by `openssl ts -reply` with the TSA certificate and key given.

    tsa_server.py --dir DIR --ready-file FILE [--lifetime S]

DIR holds tsa.pem (the TSA's certificate followed by its chain) and tsa.key; the server keeps
its serial number file and each request's files there. The chosen port is written to
--ready-file; the server stops by itself after --lifetime seconds or when its parent ends."""

import argparse
import http.server
import os
import subprocess
import threading
import time

CONFIG = """[tsa]
default_tsa = tsa_config
[tsa_config]
dir = {dir}
serial = $dir/tsa.serial
signer_cert = $dir/tsa.pem
certs = $dir/tsa.pem
signer_key = $dir/tsa.key
signer_digest = sha256
default_policy = 1.3.6.1.4.1.55555.1
digests = sha256, sha384, sha512
accuracy = secs:1
ordering = yes
tsa_name = yes
ess_cert_id_chain = no
ess_cert_id_alg = sha256
"""


class Handler(http.server.BaseHTTPRequestHandler):
    timeout = 30

    def log_message(self, fmt, *args):
        pass

    def do_POST(self):
        folder = self.server.folder
        length = int(self.headers.get("Content-Length") or 0)
        with self.server.lock:
            self.server.count += 1
            base = os.path.join(folder, "request-%d" % self.server.count)
            with open(base + ".tsq", "wb") as f:
                f.write(self.rfile.read(length))
            r = subprocess.run(["openssl", "ts", "-reply", "-config", self.server.config,
                                "-queryfile", base + ".tsq", "-out", base + ".tsr"],
                               capture_output=True, timeout=30)
        if r.returncode != 0:
            self.send_response(500)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        with open(base + ".tsr", "rb") as f:
            body = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def main():
    p = argparse.ArgumentParser(description=__doc__)
    p.add_argument("--dir", required=True)
    p.add_argument("--ready-file", required=True)
    p.add_argument("--lifetime", type=float, default=300.0)
    a = p.parse_args()
    folder = os.path.abspath(a.dir)
    config = os.path.join(folder, "tsa.cnf")
    with open(config, "w") as f:
        f.write(CONFIG.format(dir=folder))
    with open(os.path.join(folder, "tsa.serial"), "w") as f:
        f.write("01\n")
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.folder, server.config, server.lock, server.count = folder, config, threading.Lock(), 0
    threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2},
                     daemon=True).start()
    with open(a.ready_file + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(a.ready_file + ".tmp", a.ready_file)
    parent = os.getppid()
    deadline = time.monotonic() + a.lifetime
    while time.monotonic() < deadline and os.getppid() == parent:
        time.sleep(0.2)
    server.shutdown()


if __name__ == "__main__":
    main()
