#!/usr/bin/python3
"""The local download server: serves one folder over HTTP and HTTPS on 127.0.0.1, every file
with its Content-Length, and injects faults on request.

    /<path>                      the file (or the fault a rules file names for it)
    /fault/<kind>/<path>         the file with a fault (kinds in faults.py)
    /viaonly/<path>              the file only for a request that came through a proxy (Via
                                 header), 403 otherwise
    /noproxy/<path>              the file only for a direct request, 403 otherwise

A query string is ignored when the file is looked up; it keeps requests of different test
cases apart where a fault counts the answers it gave for one URL.

--rules FILE (JSON, read again at every request) injects faults into plain paths, for a
client whose paths are fixed: {"paths": {"/Sandel/Sandel.exe": "silent"}, "handshake": "stall"}.
"handshake": "stall" makes the HTTPS port accept connections and never finish the TLS
handshake; --stall-port adds a port that always does so, and --blackhole-port one where the
connection itself never gets through.

--request-log FILE gets one line per request: scheme, method, path with query, Range,
If-Range and Via, separated by tabs ("-" for a header that was absent). A stalled handshake is
logged as method HANDSHAKE.

HTTPS uses the certificate given; a third port may serve the same with a certificate from an
untrusted CA. Ports 0 pick free ones; the chosen ports are written as JSON to --ready-file.
Every connection times out, every wait is bounded by --hold seconds, and the server stops by
itself after --lifetime seconds, when its parent process ends, or when --stop-file appears.
"""
import argparse
import http.server
import json
import os
import select
import socket
import ssl
import struct
import sys
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from faults import COPY_PIECE, FILE_FAULTS, HEAD_FAULTS  # noqa: E402

ERROR_PAGE = ("<html><head><title>{code} {reason}</title></head><body><h1>{code} {reason}"
              "</h1><p>The server has no answer for this file.</p></body></html>")


class HeadersOnly:
    """The answer's writer for a HEAD request: passes the headers (the first write) on and drops
    the body that follows."""

    def __init__(self, wfile):
        self.wfile = wfile
        self.headers_sent = False

    def write(self, data):
        if not self.headers_sent:
            self.headers_sent = True
            return self.wfile.write(data)
        return len(data)

    def __getattr__(self, name):  # flush, close, closed: the socket writer's own
        return getattr(self.wfile, name)


def wait_for_close(sock, seconds):
    """Waits up to `seconds` while the peer keeps the connection open and sends nothing that
    ends it. True when the time passed, False when the peer closed (or the socket failed)."""
    deadline = time.monotonic() + seconds
    while True:
        left = deadline - time.monotonic()
        if left <= 0:
            return True
        try:
            readable, _, _ = select.select([sock], [], [], min(left, 0.2))
            if readable:
                # The raw bytes, also under TLS: only an end of stream matters here.
                if not socket.socket.recv(sock, 1, socket.MSG_PEEK):
                    return False
                time.sleep(min(left, 0.2))
        except (OSError, ValueError):
            return False


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "NorvikTestServer/1.0"
    timeout = 30  # a silent client cannot hold a thread for longer

    def log_message(self, fmt, *args):
        if self.server.verbose:
            sys.stderr.write("%s %s\n" % (self.address_string(), fmt % args))

    def end_headers(self):
        # Every answer closes its connection: Wine's WinINet would otherwise send a later
        # request meant for a proxy over an idle direct connection to this server (its pool of
        # connections is kept per server, whatever the proxy), and the next request of a
        # download (a retry, a redirect) starts on a connection of its own, as after a cut.
        self.send_header("Connection", "close")
        super().end_headers()

    # -- helpers the faults use --------------------------------------------------------------
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

    def send_file_headers(self, length, status=200, extra=None,
                          content_type="application/octet-stream"):
        """Status line and headers of a file answer; length None sends no Content-Length."""
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        if length is not None:
            self.send_header("Content-Length", str(length))
        for name, value in (extra or {}).items():
            self.send_header(name, value)
        self.end_headers()

    def copy(self, f, limit, piece=COPY_PIECE, pause=0.0):
        """Sends at most `limit` bytes of the open file."""
        sent = 0
        deadline = time.monotonic() + self.server.hold
        while sent < limit:
            data = f.read(min(piece, limit - sent))
            if not data:
                break
            self.wfile.write(data)
            sent += len(data)
            if pause:
                self.wfile.flush()
                if time.monotonic() > deadline:
                    break  # a slow answer too is bounded
                time.sleep(pause)
        return sent

    def hold_silent(self, seconds=None):
        """Sends nothing for `seconds` (the server's hold time at most, counted from the
        request). True when the time passed with the client still there."""
        left = self.hold_until - time.monotonic()
        wanted = left if seconds is None else min(seconds, left)
        return wait_for_close(self.connection, max(wanted, 0)) and wanted < left

    def reset(self):
        self.wfile.flush()
        # SO_LINGER with a zero timeout makes close() send a reset instead of a FIN.
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.close_connection = True
        self.connection.close()

    def redirect(self, code, location):
        self.send_response(code)
        if location is not None:
            self.send_header("Location", location)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def attempt(self):
        """How many requests this server has seen for this exact URL, this one included."""
        return self.server.count_attempt(self.path)

    def requested_start(self, size, etag, last_modified):
        """The first byte a Range request asks for, when it is to be honoured: "bytes=N-" (or
        up to the last byte) with an If-Range that names the current ETag or date, or none."""
        wanted = self.headers.get("Range", "")
        if_range = self.headers.get("If-Range")
        if not wanted.startswith("bytes=") or "," in wanted:
            return None
        if if_range is not None and if_range.strip() not in (etag, last_modified):
            return None
        first, _, last = wanted[len("bytes="):].partition("-")
        try:
            start = int(first)
        except ValueError:
            return None
        if last and last.strip() != str(size - 1):
            return None
        return start if 0 <= start < size else None

    def scheme_name(self):
        return self.server.scheme

    def host_name(self):
        return self.headers.get("Host", "localhost").rsplit(":", 1)[0]

    # -- requests ------------------------------------------------------------------------
    def do_HEAD(self):
        self._serve(head_only=True)

    def do_GET(self):
        self._serve(head_only=False)

    def _serve(self, head_only):
        self.hold_until = time.monotonic() + self.server.hold
        self.server.record(self.command, self.path, self.headers)
        split = urllib.parse.urlsplit(self.path)
        path = split.path
        self.query = "?" + split.query if split.query else ""
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
        else:
            fault = self.server.rule_for(path)
        kind, _, arg = (fault or "").partition(":")
        kind = "" if kind == "plain" else kind
        self.fault_target = path

        if kind in ("404", "410", "500"):
            return self._error(int(kind), head_only)
        if kind == "204":
            self.send_response(204)
            self.end_headers()
            return
        file_path = self._file_for(path)
        if file_path is None:
            return self._error(404, head_only)
        size = os.path.getsize(file_path)

        if kind == "206":
            part = size // 2
            self.send_file_headers(part, status=206, extra={
                "Content-Range": "bytes 0-%d/%d" % (max(part - 1, 0), size)})
            if not head_only:
                with open(file_path, "rb") as f:
                    self.copy(f, part)
            return
        if kind in FILE_FAULTS and (not head_only or kind in HEAD_FAULTS):
            if head_only:
                self.wfile = HeadersOnly(self.wfile)
            return FILE_FAULTS[kind](self, file_path, size, arg or None)
        if kind and kind not in FILE_FAULTS:
            return self._error(404, head_only)

        self.send_file_headers(size)
        if head_only:
            return
        with open(file_path, "rb") as f:
            self.copy(f, size)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 64

    def __init__(self, port, root, tls=None, verbose=False, scheme="http", shared=None,
                 always_stall_handshake=False):
        super().__init__(("127.0.0.1", port), Handler)
        self.root = os.path.realpath(root)
        self.tls = tls
        self.verbose = verbose
        self.scheme = scheme
        self.always_stall_handshake = always_stall_handshake
        # What all ports of one run share: rules file, request log, hold time, HTTP port.
        self.shared = shared if shared is not None else Shared()
        self.counts = {}
        self.attempts = {}
        self.lock = threading.Lock()

    @property
    def hold(self):
        return self.shared.hold

    @property
    def http_port(self):
        return self.shared.http_port

    def count(self, path):
        with self.lock:
            self.counts[path] = self.counts.get(path, 0) + 1

    def count_attempt(self, raw_path):
        with self.lock:
            self.attempts[raw_path] = self.attempts.get(raw_path, 0) + 1
            return self.attempts[raw_path]

    def rule_for(self, path):
        return self.shared.rules().get("paths", {}).get(path)

    def record(self, method, raw_path, headers):
        fields = [self.scheme, method, raw_path] + [
            (headers.get(name) or "-").replace("\t", " ") for name in ("Range", "If-Range", "Via")]
        self.shared.log("\t".join(fields))

    def finish_request(self, request, client_address):
        # The TLS handshake runs in the request's own thread, under its timeout.
        request.settimeout(Handler.timeout)
        if self.tls is not None:
            if self.always_stall_handshake or self.shared.rules().get("handshake") == "stall":
                self.record("HANDSHAKE", "-", {})
                wait_for_close(request, self.hold)
                request.close()
                return
            try:
                request = self.tls.wrap_socket(request, server_side=True)
            except (OSError, ssl.SSLError):
                request.close()
                return
        super().finish_request(request, client_address)

    def handle_error(self, request, client_address):
        if self.verbose:
            super().handle_error(request, client_address)


class Shared:
    """Settings and records common to every port of one server process."""

    def __init__(self, rules_file=None, request_log=None, hold=30.0):
        self.rules_file = rules_file
        self.request_log = request_log
        self.hold = hold
        self.http_port = 0
        self.lock = threading.Lock()

    def rules(self):
        if not self.rules_file:
            return {}
        try:
            with open(self.rules_file) as f:
                return json.load(f)
        except (OSError, ValueError):
            return {}

    def log(self, line):
        if not self.request_log:
            return
        with self.lock, open(self.request_log, "a") as f:
            f.write(line + "\n")


def tls_context(cert, key, minimum=None):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(cert, key)
    if minimum == "1.3":
        ctx.minimum_version = ssl.TLSVersion.TLSv1_3
    return ctx


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    p.add_argument("--root", required=True, help="folder to serve")
    p.add_argument("--http-port", type=int, default=0)
    p.add_argument("--https-port", type=int, default=None, help="needs --cert and --key")
    p.add_argument("--cert")
    p.add_argument("--key")
    p.add_argument("--tls-min", choices=["1.3"],
                   help="the HTTPS port refuses older TLS (Wine 8 offers at most TLS 1.2)")
    p.add_argument("--untrusted-port", type=int, default=None,
                   help="HTTPS with --untrusted-cert/--untrusted-key")
    p.add_argument("--untrusted-cert")
    p.add_argument("--untrusted-key")
    p.add_argument("--ready-file", help="where to write the chosen ports as JSON")
    p.add_argument("--stop-file", help="the server stops when this file appears")
    p.add_argument("--lifetime", type=float, default=1800.0, help="seconds before it stops")
    p.add_argument("--stall-port", type=int, default=None,
                   help="a port that accepts TLS connections and never finishes the handshake")
    p.add_argument("--blackhole-port", type=int, default=None,
                   help="a port whose connections never get through (the connect hangs)")
    p.add_argument("--rules", help="JSON file of faults for plain paths (read at each request)")
    p.add_argument("--request-log", help="one line per request is appended to this file")
    p.add_argument("--hold", type=float, default=30.0,
                   help="longest time in seconds a fault keeps a connection waiting")
    p.add_argument("--verbose", action="store_true")
    a = p.parse_args()

    shared = Shared(a.rules, a.request_log, a.hold)
    servers = {"http": Server(a.http_port, a.root, verbose=a.verbose, shared=shared)}
    shared.http_port = servers["http"].server_address[1]
    if a.https_port is not None:
        servers["https"] = Server(a.https_port, a.root, tls_context(a.cert, a.key, a.tls_min),
                                  a.verbose, "https", shared)
    if a.untrusted_port is not None:
        servers["untrusted"] = Server(a.untrusted_port, a.root,
                                      tls_context(a.untrusted_cert, a.untrusted_key), a.verbose,
                                      "https", shared)
    if a.stall_port is not None:
        servers["stall"] = Server(a.stall_port, a.root, tls_context(a.cert, a.key), a.verbose,
                                  "https", shared, always_stall_handshake=True)
    for s in servers.values():
        threading.Thread(target=s.serve_forever, kwargs={"poll_interval": 0.2},
                         daemon=True).start()

    ports = {name: s.server_address[1] for name, s in servers.items()}
    if a.blackhole_port is not None:
        # A listening socket that never accepts, its one-place queue taken by a connection of
        # our own: the kernel drops every further connection request, so a connect waits.
        hole = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        hole.bind(("127.0.0.1", a.blackhole_port))
        hole.listen(0)
        filler = socket.create_connection(hole.getsockname(), timeout=5)
        ports["blackhole"] = hole.getsockname()[1]
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
    if a.blackhole_port is not None:
        filler.close()
        hole.close()


if __name__ == "__main__":
    main()
