#!/usr/bin/python3
"""The local download server: serves one folder over HTTP and HTTPS on 127.0.0.1, every file
with its Content-Length, and injects faults on request.

    /<path>                      the file
    /fault/<kind>/<path>         the file with a fault (kinds below)
    /viaonly/<path>              the file only for a request that came through a proxy (Via
                                 header), 403 otherwise
    /noproxy/<path>              the file only for a direct request, 403 otherwise

Fault kinds: chunked (no Content-Length, chunked body), close (no Content-Length, the body ends
when the connection closes), short (full Content-Length, half the body, then close), reset (the
same, ended by a TCP reset), stall (half the body, a pause, then close), drip (the whole body in
small pieces with pauses), 404, 410, 500 (an HTML error page), 204 (No Content: an empty answer
with success status), 206 (Partial Content: the first half of the file with its Content-Range,
although no range was asked for).

HTTPS uses the certificate given; a third port may serve the same with a certificate from an
untrusted CA. Ports 0 pick free ones; the chosen ports are written as JSON to --ready-file.
Every connection times out, every loop is bounded, and the server stops by itself after
--lifetime seconds, when its parent process ends, or when --stop-file appears.
"""
import argparse
import http.server
import json
import os
import socket
import ssl
import struct
import sys
import threading
import time
import urllib.parse

ERROR_PAGE = ("<html><head><title>{code} {reason}</title></head><body><h1>{code} {reason}"
              "</h1><p>The server has no answer for this file.</p></body></html>")
STALL_SECONDS = 2.0
DRIP_PIECE = 1024
DRIP_PAUSE = 0.002
COPY_PIECE = 64 * 1024


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "NorvikTestServer/1.0"
    timeout = 30  # a silent client cannot hold a thread for longer

    def log_message(self, fmt, *args):
        if self.server.verbose:
            sys.stderr.write("%s %s\n" % (self.address_string(), fmt % args))

    # -- helpers -------------------------------------------------------------------------
    def _file_for(self, rel):
        root = self.server.root
        rel = urllib.parse.unquote(rel).lstrip("/")
        path = os.path.realpath(os.path.join(root, rel))
        if not (path == root or path.startswith(root + os.sep)) or not os.path.isfile(path):
            return None
        return path

    def _error(self, code, head_only=False):
        reason = http.server.BaseHTTPRequestHandler.responses.get(code, ("Error",))[0]
        body = ERROR_PAGE.format(code=code, reason=reason).encode()
        self.send_response(code)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if not head_only:
            self.wfile.write(body)

    def _copy(self, f, limit, piece=COPY_PIECE, pause=0.0):
        """Sends at most `limit` bytes of the open file."""
        sent = 0
        while sent < limit:
            data = f.read(min(piece, limit - sent))
            if not data:
                break
            self.wfile.write(data)
            sent += len(data)
            if pause:
                self.wfile.flush()
                time.sleep(pause)
        return sent

    def _reset(self):
        self.wfile.flush()
        # SO_LINGER with a zero timeout makes close() send a reset instead of a FIN.
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.close_connection = True
        self.connection.close()

    # -- requests ------------------------------------------------------------------------
    def do_HEAD(self):
        self._serve(head_only=True)

    def do_GET(self):
        self._serve(head_only=False)

    def _serve(self, head_only):
        path = urllib.parse.urlsplit(self.path).path
        self.server.count(path)
        fault = None
        if path.startswith("/fault/"):
            parts = path.split("/", 3)
            if len(parts) < 4:
                return self._error(404, head_only)
            fault, path = parts[2], "/" + parts[3]
        elif path.startswith("/viaonly/"):
            if not self.headers.get("Via"):
                return self._error(403, head_only)
            path = path[len("/viaonly"):]
        elif path.startswith("/noproxy/"):
            if self.headers.get("Via"):
                return self._error(403, head_only)
            path = path[len("/noproxy"):]

        if fault in ("404", "410", "500"):
            return self._error(int(fault), head_only)
        if fault == "204":
            self.send_response(204)
            self.end_headers()
            return
        file_path = self._file_for(path)
        if file_path is None:
            return self._error(404, head_only)
        size = os.path.getsize(file_path)

        if fault == "206":
            part = size // 2
            self.send_response(206)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Range", "bytes 0-%d/%d" % (max(part - 1, 0), size))
            self.send_header("Content-Length", str(part))
            self.end_headers()
            if not head_only:
                with open(file_path, "rb") as f:
                    self._copy(f, part)
            return

        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if fault == "chunked":
            self.send_header("Transfer-Encoding", "chunked")
        elif fault == "close":
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(size))
        self.end_headers()
        if head_only:
            return

        with open(file_path, "rb") as f:
            if fault == "chunked":
                for _ in range(size // COPY_PIECE + 1):
                    data = f.read(COPY_PIECE)
                    if not data:
                        break
                    self.wfile.write(b"%x\r\n%s\r\n" % (len(data), data))
                self.wfile.write(b"0\r\n\r\n")
            elif fault in ("short", "reset", "stall"):
                self._copy(f, size // 2)
                self.wfile.flush()
                if fault == "stall":
                    time.sleep(STALL_SECONDS)
                self.close_connection = True
                if fault == "reset":
                    self._reset()
            elif fault == "drip":
                self._copy(f, size, piece=DRIP_PIECE, pause=DRIP_PAUSE)
            else:
                self._copy(f, size)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 64

    def __init__(self, port, root, tls=None, verbose=False):
        super().__init__(("127.0.0.1", port), Handler)
        self.root = os.path.realpath(root)
        self.tls = tls
        self.verbose = verbose
        self.counts = {}
        self.lock = threading.Lock()

    def count(self, path):
        with self.lock:
            self.counts[path] = self.counts.get(path, 0) + 1

    def finish_request(self, request, client_address):
        # The TLS handshake runs in the request's own thread, under its timeout.
        request.settimeout(Handler.timeout)
        if self.tls is not None:
            try:
                request = self.tls.wrap_socket(request, server_side=True)
            except (OSError, ssl.SSLError):
                request.close()
                return
        super().finish_request(request, client_address)

    def handle_error(self, request, client_address):
        if self.verbose:
            super().handle_error(request, client_address)


def tls_context(cert, key):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(cert, key)
    return ctx


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    p.add_argument("--root", required=True, help="folder to serve")
    p.add_argument("--http-port", type=int, default=0)
    p.add_argument("--https-port", type=int, default=None, help="needs --cert and --key")
    p.add_argument("--cert")
    p.add_argument("--key")
    p.add_argument("--untrusted-port", type=int, default=None,
                   help="HTTPS with --untrusted-cert/--untrusted-key")
    p.add_argument("--untrusted-cert")
    p.add_argument("--untrusted-key")
    p.add_argument("--ready-file", help="where to write the chosen ports as JSON")
    p.add_argument("--stop-file", help="the server stops when this file appears")
    p.add_argument("--lifetime", type=float, default=1800.0, help="seconds before it stops")
    p.add_argument("--verbose", action="store_true")
    a = p.parse_args()

    servers = {"http": Server(a.http_port, a.root, verbose=a.verbose)}
    if a.https_port is not None:
        servers["https"] = Server(a.https_port, a.root, tls_context(a.cert, a.key), a.verbose)
    if a.untrusted_port is not None:
        servers["untrusted"] = Server(a.untrusted_port, a.root,
                                      tls_context(a.untrusted_cert, a.untrusted_key), a.verbose)
    for s in servers.values():
        threading.Thread(target=s.serve_forever, kwargs={"poll_interval": 0.2},
                         daemon=True).start()

    ports = {name: s.server_address[1] for name, s in servers.items()}
    if a.ready_file:
        tmp = a.ready_file + ".tmp"
        with open(tmp, "w") as f:
            json.dump(ports, f)
        os.replace(tmp, a.ready_file)
    else:
        print(json.dumps(ports), flush=True)

    parent = os.getppid()
    deadline = time.monotonic() + a.lifetime
    while time.monotonic() < deadline:
        if os.getppid() != parent:
            break
        if a.stop_file and os.path.exists(a.stop_file):
            break
        time.sleep(0.2)
    for s in servers.values():
        s.shutdown()
        s.server_close()


if __name__ == "__main__":
    main()
