#!/usr/bin/python3
"""One loopback port for both schemes: a connection whose first byte opens a TLS handshake goes to
the HTTPS port, any other to the HTTP port. The program's server address is fixed at build time
as host:port and it speaks http:// or https:// to that same address depending on the Windows
version, so the demo and the end-to-end tests serve both schemes on one port.

    scheme_mux.py --port 47080 --http-port A --https-port B [--rate BYTES_PER_SECOND]
                  [--lifetime S] [--stop-file F]

--rate slows what the server sends, so that a person (or a test) can watch a transfer.

Every connection and the whole process are bounded in time; it stops by itself."""

import argparse
import os
import socket
import sys
import threading
import time

TLS_HANDSHAKE = 0x16
IDLE_SECONDS = 60


def pump(src, dst, rate=0):
    piece = 65536 if not rate else max(1024, min(65536, rate // 20))
    try:
        while True:
            data = src.recv(piece)
            if not data:
                break
            dst.sendall(data)
            if rate:
                time.sleep(len(data) / rate)
    except OSError:
        pass
    finally:
        for s in (src, dst):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


def relay(client, http_port, https_port, rate, log_path):
    try:
        client.settimeout(IDLE_SECONDS)
        first = client.recv(1, socket.MSG_PEEK)
        if not first:
            client.close()
            return
        port = https_port if first[0] == TLS_HANDSHAKE else http_port
        if log_path:
            with open(log_path, "a") as log:
                log.write("https\n" if port == https_port else "http\n")
        upstream = socket.create_connection(("127.0.0.1", port), timeout=IDLE_SECONDS)
    except OSError:
        client.close()
        return
    back = threading.Thread(target=pump, args=(upstream, client, rate), daemon=True)
    back.start()
    pump(client, upstream)
    back.join(IDLE_SECONDS)
    client.close()
    upstream.close()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--http-port", type=int, required=True)
    p.add_argument("--https-port", type=int, required=True)
    p.add_argument("--rate", type=int, default=0, help="bytes per second towards the client")
    p.add_argument("--log", help="appends the scheme of every connection to this file")
    p.add_argument("--lifetime", type=float, default=1800.0)
    p.add_argument("--stop-file")
    p.add_argument("--ready-file")
    a = p.parse_args()

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", a.port))
    listener.listen(64)
    listener.settimeout(0.5)
    if a.ready_file:
        with open(a.ready_file, "w") as f:
            f.write(str(listener.getsockname()[1]))
    parent = os.getppid()
    deadline = time.monotonic() + a.lifetime
    while time.monotonic() < deadline:
        if a.stop_file and os.path.exists(a.stop_file):
            break
        if os.getppid() != parent:
            break  # whoever started us is gone
        try:
            client, _ = listener.accept()
        except socket.timeout:
            continue
        except OSError:
            break
        threading.Thread(target=relay, args=(client, a.http_port, a.https_port, a.rate, a.log),
                         daemon=True).start()
    listener.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
