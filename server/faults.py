"""The faults the local download server injects, one function per kind.

Each function answers one request for an existing file: fault(handler, file_path, size, arg),
where `arg` is the text after "kind:" in the request (None when absent). The handler offers
send_file_headers(), copy(), hold_silent() and reset(); every wait is bounded by the server's
hold time, and a hold ends early when the client goes away.

Kinds and what the client sees:

    chunked             chunked body, whole, no Content-Length
    chunked-cut         chunked body, half of it, no last chunk, then the connection closes
    close               no Content-Length, the whole body, then the connection closes
    close-cut           no Content-Length, half the body, then the connection closes
    short               full Content-Length, half the body, then close
    reset               full Content-Length, half the body, then a TCP reset
    stall               half the body, a pause of two seconds, then close
    drip                the whole body in 1 KiB pieces with short pauses (fast)
    badlength:TEXT      "Content-Length: TEXT" (for example -1 or abc), the whole body, close
    gzip                the body gzip-compressed, Content-Encoding: gzip and its Content-Length
    gzip-get            the same for GET only: HEAD gets the plain file's headers (a server
                        that compresses what it sends, not what it announces)
    nohead              HEAD refused with 405 (Allow: GET); GET gets the plain file
    silent              the request is read, then nothing at all is sent (no status line)
    headers             status line and headers with Content-Length, then silence
    trickle[:S]         headers, then one byte every S seconds (default 20)
    plain               no fault (where a redirect leads, past the rules for plain paths)
    slow[:RATE]         the whole body at RATE bytes a second (default 65536), live
    reset-ranges        ranges offered (Accept-Ranges, ETag, Last-Modified); the first answer
                        is cut by a reset after half the body, later ones honour Range and
                        If-Range with 206 and Content-Range
    stall-ranges        the same, but the first answer goes silent after half the body
    weak-etag           ranges offered and honoured with a weak ETag (and an old Last-Modified):
                        no strong validator, the whole file, uncut
    recent-date         ranges offered and honoured with no ETag and a Last-Modified that is the
                        answer's own Date: no strong validator, the whole file, uncut
    reset-every         ranges offered and honoured; every answer is cut by a reset after half
                        of what it would send, so the file never completes
    reset-norange       no ranges offered; the first answer is cut by a reset, later ones are
                        whole 200 answers
    reset-ignorerange   ranges offered, but Range is ignored: the first answer is cut by a
                        reset, later ones are whole 200 answers from byte 0
    reset-replaced      the file replaced on the server between a cut and its resume, served
                        through a cache that ignores If-Range: the first answer carries another
                        version of the same size (every byte inverted, ETag ETAG) and is cut by a
                        reset after half; later ones are the file on the disk with a new ETag,
                        206 for any Range whatever its If-Range
    redir:N[:CODE]      N redirects before the file: relative Locations to the next hop, the
                        last one absolute to /fault/plain/...; CODE (default 302) for all but
                        the last (301)
    loop                a 302 to the same URL, for ever
    nolocation          a 302 without a Location header
    downgrade           a 302 to the same file over plain HTTP (/fault/plain/... on the
                        server's HTTP port)
    upgrade             a 301 to the same file over HTTPS at the same host and port
                        (https://HOST/fault/plain/..., for a server behind scheme_mux.py)
    ip_host             a 302 to the same file over HTTPS at 127.0.0.1 and the same port, for a
                        server reached as localhost (whose certificate may name localhost alone)
    login_page[:TYPE]   a network's sign-in page instead of the file, as a hotel Wi-Fi or a
                        proxy answers before its login: 200, a small HTML form with its
                        Content-Length, Content-Type TYPE (default "text/html; charset=utf-8";
                        in a /fault/ URL a "/" in TYPE is written %2F)
    login_redirect[:TYPE]  a 302 to that sign-in page (/fault/login_page[:TYPE]/...)

Other kinds answer without the file: 404, 410, 500 (an HTML error page), 204 (No Content),
206 (the first half with its Content-Range, although no range was asked for).

A HEAD request gets the headers the GET answer of the kinds in HEAD_FAULTS carries (what a
careless server configuration shows to a HEAD as well); for every other kind it gets the plain
file's headers.
"""
import gzip
import time
import urllib.parse

STALL_SECONDS = 2.0
RESET_AFTER = 0.3
DRIP_PIECE = 1024
DRIP_PAUSE = 0.002
COPY_PIECE = 64 * 1024
SLOW_RATE = 64 * 1024
TRICKLE_SECONDS = 20.0
ETAG = '"norvik-test-1"'
NEW_ETAG = '"norvik-test-2"'
LAST_MODIFIED = "Tue, 01 Dec 2026 08:00:00 GMT"
LOGIN_PAGE_TYPE = "text/html; charset=utf-8"
LOGIN_PAGE = (b'<!DOCTYPE html>\n<html><head><meta charset="utf-8"><title>Wi-Fi sign-in</title>'
              b'</head>\n<body><h1>Sign in to use the Internet</h1>\n'
              b'<form method="post" action="/login"><input name="user" placeholder="Room">'
              b'<input name="password" type="password"><button>Sign in</button></form>\n'
              b'</body></html>\n')


def _chunked(h, path, size, arg, cut):
    h.send_file_headers(None, extra={"Transfer-Encoding": "chunked"})
    limit = size // 2 if cut else size
    sent = 0
    with open(path, "rb") as f:
        while sent < limit:
            data = f.read(min(COPY_PIECE, limit - sent))
            if not data:
                break
            h.wfile.write(b"%x\r\n%s\r\n" % (len(data), data))
            sent += len(data)
        if not cut:
            h.wfile.write(b"0\r\n\r\n")
    h.close_connection = True


def _close_delimited(h, path, size, arg, cut, length=None):
    h.send_file_headers(length)
    with open(path, "rb") as f:
        h.copy(f, size // 2 if cut else size)
    h.close_connection = True


def _half_then(h, path, size, ending):
    h.send_file_headers(size)
    with open(path, "rb") as f:
        h.copy(f, size // 2)
    h.wfile.flush()
    h.close_connection = True
    if ending == "stall":
        time.sleep(STALL_SECONDS)
    elif ending == "reset":
        time.sleep(RESET_AFTER)  # see _ranged
        h.reset()


def _drip(h, path, size, arg):
    h.send_file_headers(size)
    with open(path, "rb") as f:
        h.copy(f, size, piece=DRIP_PIECE, pause=DRIP_PAUSE)


def _gzip(h, path, size, arg):
    with open(path, "rb") as f:
        body = gzip.compress(f.read())
    h.send_file_headers(len(body), extra={"Content-Encoding": "gzip"})
    h.wfile.write(body)


def _no_head(h, path, size, arg):
    if h.command == "HEAD":
        h.send_response(405)
        h.send_header("Allow", "GET")
        h.send_header("Content-Length", "0")
        h.end_headers()
        return
    h.send_file_headers(size)
    with open(path, "rb") as f:
        h.copy(f, size)


def _silent(h, path, size, arg):
    h.close_connection = True
    h.hold_silent()


def _headers(h, path, size, arg):
    h.send_file_headers(size)
    h.wfile.flush()
    h.close_connection = True
    h.hold_silent()


def _trickle(h, path, size, arg):
    pause = float(arg) if arg else TRICKLE_SECONDS
    h.send_file_headers(size)
    h.close_connection = True
    with open(path, "rb") as f:
        for _ in range(size):
            h.wfile.write(f.read(1))
            h.wfile.flush()
            if not h.hold_silent(pause):
                break  # the client went away, or the server's hold time is used up


def _slow(h, path, size, arg):
    rate = int(arg) if arg else SLOW_RATE
    piece = max(1, rate // 20)
    h.send_file_headers(size)
    with open(path, "rb") as f:
        h.copy(f, size, piece=piece, pause=piece / rate)


def _ranged(h, path, size, cut_first, cut_every=False, honour=True, offer=True, cut="reset",
            validators=None):
    """An answer of a server that may offer and honour byte ranges, cut as asked."""
    attempt = h.attempt()
    if validators is None:
        validators = {"Accept-Ranges": "bytes", "ETag": ETAG,
                      "Last-Modified": LAST_MODIFIED} if offer else {}
    start = h.requested_start(size, ETAG, LAST_MODIFIED) if honour else None
    if start is None:
        start, length = 0, size
        h.send_file_headers(size, extra=validators)
    else:
        length = size - start
        h.send_file_headers(length, status=206, extra=dict(
            validators, **{"Content-Range": "bytes %d-%d/%d" % (start, size - 1, size)}))
    cut_now = cut_every or (cut_first and attempt == 1)
    with open(path, "rb") as f:
        f.seek(start)
        h.copy(f, length // 2 if cut_now else length)
    if not cut_now:
        return
    h.wfile.flush()
    h.close_connection = True
    if cut == "silent":
        h.hold_silent()
    else:
        # A reset throws away what the client has not read yet: let it read the part first, so
        # that the transfer was cut after some progress.
        time.sleep(RESET_AFTER)
        h.reset()


def _replaced(h, path, size, arg):
    """The old version, cut; then the new one, whose ranges ignore If-Range (see the kinds)."""
    if h.attempt() == 1:
        h.send_file_headers(size, extra={"Accept-Ranges": "bytes", "ETag": ETAG})
        with open(path, "rb") as f:
            h.wfile.write(bytes(255 - b for b in f.read(size // 2)))
        h.wfile.flush()
        h.close_connection = True
        time.sleep(RESET_AFTER)  # see _ranged
        h.reset()
        return
    new = {"Accept-Ranges": "bytes", "ETag": NEW_ETAG}
    start = h.requested_start(size, None, None, if_range=False)
    if start is None:
        start = 0
        h.send_file_headers(size, extra=new)
    else:
        h.send_file_headers(size - start, status=206, extra=dict(
            new, **{"Content-Range": "bytes %d-%d/%d" % (start, size - 1, size)}))
    with open(path, "rb") as f:
        f.seek(start)
        h.copy(f, size - start)


def _redirect(h, path, size, arg):
    parts = (arg or "1").split(":")
    hops = int(parts[0])
    code = int(parts[1]) if len(parts) > 1 else 302
    rel = h.fault_target + h.query
    if hops > 1:
        h.redirect(code, "/fault/redir:%d:%d%s" % (hops - 1, code, rel))
    else:
        h.redirect(301, "%s://%s/fault/plain%s" % (h.scheme_name(), h.headers.get("Host", ""),
                                                   rel))


def _login_page(h, path, size, arg):
    content_type = urllib.parse.unquote(arg) if arg else LOGIN_PAGE_TYPE
    h.send_file_headers(len(LOGIN_PAGE), content_type=content_type)
    h.wfile.write(LOGIN_PAGE)


def _login_redirect(h, path, size, arg):
    kind = "login_page:" + urllib.parse.quote(arg, safe="") if arg else "login_page"
    h.redirect(302, "/fault/%s%s" % (kind, h.fault_target + h.query))


FILE_FAULTS = {
    "chunked": lambda h, p, s, a: _chunked(h, p, s, a, cut=False),
    "chunked-cut": lambda h, p, s, a: _chunked(h, p, s, a, cut=True),
    "close": lambda h, p, s, a: _close_delimited(h, p, s, a, cut=False),
    "close-cut": lambda h, p, s, a: _close_delimited(h, p, s, a, cut=True),
    "badlength": lambda h, p, s, a: _close_delimited(h, p, s, a, cut=False, length=a or "-1"),
    "short": lambda h, p, s, a: _half_then(h, p, s, "close"),
    "reset": lambda h, p, s, a: _half_then(h, p, s, "reset"),
    "stall": lambda h, p, s, a: _half_then(h, p, s, "stall"),
    "drip": _drip,
    "gzip": _gzip,
    "gzip-get": _gzip,
    "nohead": _no_head,
    "silent": _silent,
    "headers": _headers,
    "trickle": _trickle,
    "slow": _slow,
    "reset-ranges": lambda h, p, s, a: _ranged(h, p, s, cut_first=True),
    "stall-ranges": lambda h, p, s, a: _ranged(h, p, s, cut_first=True, cut="silent"),
    "reset-every": lambda h, p, s, a: _ranged(h, p, s, cut_first=True, cut_every=True),
    "reset-norange": lambda h, p, s, a: _ranged(h, p, s, cut_first=True, honour=False,
                                                offer=False),
    "reset-ignorerange": lambda h, p, s, a: _ranged(h, p, s, cut_first=True, honour=False),
    "reset-replaced": _replaced,
    "weak-etag": lambda h, p, s, a: _ranged(h, p, s, cut_first=False, validators={
        "Accept-Ranges": "bytes", "ETag": "W/" + ETAG, "Last-Modified": LAST_MODIFIED}),
    "recent-date": lambda h, p, s, a: _ranged(h, p, s, cut_first=False, validators={
        "Accept-Ranges": "bytes", "Last-Modified": h.date_time_string()}),
    "redir": _redirect,
    "loop": lambda h, p, s, a: h.redirect(302, h.path),
    "nolocation": lambda h, p, s, a: h.redirect(302, None),
    "downgrade": lambda h, p, s, a: h.redirect(302, "http://%s:%d/fault/plain%s" % (
        h.host_name(), h.server.http_port, h.fault_target + h.query)),
    "upgrade": lambda h, p, s, a: h.redirect(301, "https://%s/fault/plain%s" % (
        h.headers.get("Host", ""), h.fault_target + h.query)),
    "ip_host": lambda h, p, s, a: h.redirect(302, "https://127.0.0.1:%s/fault/plain%s" % (
        h.headers.get("Host", "").rsplit(":", 1)[-1], h.fault_target + h.query)),
    "login_page": _login_page,
    "login_redirect": _login_redirect,
}

HEAD_FAULTS = {"chunked", "close", "badlength", "gzip", "login_page", "nohead", "upgrade"}
