"""scripts/check-server.sh against real servers on 127.0.0.1, both schemes on one port as the
program asks for them: the tests' nginx, whose location block is the README's nginx example word
for word, meets every requirement (its TLS 1.2 handshakes as Windows 7 and 8.1 included); the
download server, speaking TLS 1.3 only, has each careless answer named as not met (or, for a
refused HEAD, only hinted at), and the script fails. With --package-signatures, the packages'
signatures as the release makes them are met, and a missing, oversized, untrusted or stale one
is named."""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

p = argparse.ArgumentParser()
p.add_argument("--build", required=True)
p.add_argument("--source", required=True)
args = p.parse_args()
sys.path.insert(0, os.path.join(args.source, "server"))
from loopback import free_port, wait_for_port  # noqa: E402
from testbed import Testbed  # noqa: E402
from upgrade_stage import UpgradeStage  # noqa: E402

SCRIPT = os.path.join(args.source, "scripts", "check-server.sh")
failures = []


def check(condition, what):
    print(("[ok]   " if condition else "[FAIL] ") + what)
    if not condition:
        failures.append(what)


def check_server(host, customer, ca_dir, proxy=None, extra=()):
    extra = (["--proxy", proxy] if proxy else []) + list(extra)
    r = subprocess.run([SCRIPT, host, customer] + extra, capture_output=True, text=True,
                       timeout=300,
                       env=dict(os.environ, CURL_CA_BUNDLE=os.path.join(ca_dir, "test-ca.pem")))
    print(r.stdout + r.stderr)
    return r.returncode, r.stdout


def sections(report):
    """{url: [requirement lines]} of the script's report."""
    result, url = {}, None
    for line in report.splitlines():
        if line.startswith(("http://", "https://")):
            url = line
            result[url] = []
        elif url and line.startswith("  "):
            result[url].append(line.strip())
    return result


def readme_example_is_the_tests_config():
    with open(os.path.join(args.source, "README.md")) as f:
        readme = f.read()
    serving = readme[readme.index("## Serving the files"):]
    example = re.search(r"```nginx\n(.*?)```", serving, re.S).group(1)
    block = re.search(r"( *location /Sandel/ \{\n.*?\n *\}\n)", example, re.S).group(1)
    with open(os.path.join(args.source, "server", "nginx.conf.in")) as f:
        conf = f.read()

    def words(text):
        return [line.strip() for line in text.splitlines() if line.strip()]
    lines = words(conf)
    wanted = words(block)
    found = any(lines[i:i + len(wanted)] == wanted for i in range(len(lines)))
    check(found, "the README's nginx location block is the tests' nginx configuration")


def nginx_meets_everything(work):
    """Directly and through a forward proxy."""
    with Testbed(os.path.join(work, "bed")) as bed:
        port = free_port()
        mux = subprocess.Popen(
            [sys.executable, os.path.join(args.source, "server", "scheme_mux.py"), "--port",
             str(port), "--http-port", str(bed.ports["NGINX_HTTP"]), "--https-port",
             str(bed.ports["NGINX_HTTPS"]), "--lifetime", "300"])
        try:
            wait_for_port(port, mux)
            ca_dir = os.path.dirname(bed.certs["ca_der"])
            runs = {"nginx": check_server(f"localhost:{port}", "KH01", ca_dir),
                    "nginx through the proxy": check_server(
                        f"localhost:{port}", "KH01", ca_dir,
                        proxy=f"127.0.0.1:{bed.ports['PROXY']}")}
        finally:
            mux.terminate()
            mux.wait(timeout=10)
    for name, (rc, out) in runs.items():
        report = sections(out)
        check(rc == 0, f"{name}: check-server.sh exits 0 (got {rc})")
        check(len(report) == 7, f"{name}: three files over two schemes and TLS ({len(report)} "
                                "reported)")
        for url, lines in report.items():
            check(lines and all(line.startswith("met ") for line in lines),
                  f"{name}: every requirement met for {url}")


CODE = "KH 001"  # a code the program percent-encodes
PKG = "/Sandel/KH%20001/Norvik.rar"
# Rounds of faults on the three paths, and what each answer is to be called per scheme: the
# beginning of its one NOT MET line, or None for none at all (then a hint, when given, is due).
ROUNDS = [
    ({"/Sandel/Sandel.exe": "gzip", "/Sandel/Norvik_sys.rar": "chunked", PKG: "login_page"}, {
        "/Sandel/Sandel.exe": "NOT MET  no content coding: Content-Encoding gzip",
        "/Sandel/Norvik_sys.rar": "NOT MET  Content-Length: none (Transfer-Encoding chunked)",
        PKG: "NOT MET  binary Content-Type: text/html; charset=utf-8 is a web page"}),
    ({"/Sandel/Sandel.exe": "upgrade", "/Sandel/Norvik_sys.rar": "nohead",
      PKG: "login_page:application/octet-stream"}, {
        "/Sandel/Sandel.exe": {"http": "NOT MET  redirect: from http to https", "https": None},
        "/Sandel/Norvik_sys.rar": (None, "hint     HEAD answers status 405 (GET: 200)"),
        PKG: "NOT MET  first bytes: the body begins with '<' (a web page sent as "
             "application/octet-stream"}),
    ({"/Sandel/Sandel.exe": "gzip-get"}, {
        "/Sandel/Sandel.exe": "NOT MET  no content coding: Content-Encoding gzip",
        "/Sandel/Norvik_sys.rar": None, PKG: None}),
    # Only a strong validator resumes: a cut download of these starts again (a cost, not a fault).
    ({"/Sandel/Sandel.exe": "weak-etag", "/Sandel/Norvik_sys.rar": "recent-date"}, {
        "/Sandel/Sandel.exe": (None, "not met  resume: Accept-Ranges: bytes but no strong "
                                     "validator (the ETag W/"),
        "/Sandel/Norvik_sys.rar": (None, "not met  resume: Accept-Ranges: bytes but no strong "
                                         "validator (Last-Modified"),
        PKG: None}),
]
TLS_REFUSED = ["NOT MET  TLS 1.2 handshake as Windows 7 with IE11: refused",
               "NOT MET  TLS 1.2 handshake as Windows 8.1: refused"]


def careless_answers_are_named(work):
    s = UpgradeStage(os.path.join(work, "stage"), args.build, free_port(), customer=CODE,
                     tls_min="1.3")
    s.start()
    try:
        ca_dir = os.path.dirname(s.certs["ca_der"])
        runs = []
        for faults, expected in ROUNDS:
            s.set_faults(paths=faults)
            runs.append((faults, expected, check_server(f"localhost:{s.port}", CODE, ca_dir)))
        refused = check_server(f"localhost:{s.port}", "../KH001", ca_dir)
    finally:
        s.stop()
    check(refused[0] == 2, f"a customer code that leaves its folder is a usage error "
                           f"(got {refused[0]})")
    for faults, expected, (rc, out) in runs:
        check(rc == 1, f"{sorted(faults.values())}: check-server.sh exits 1 (got {rc})")
        report = sections(out)
        for scheme in ("http", "https"):
            for path, named in expected.items():
                if isinstance(named, dict):
                    named = named[scheme]
                named, hint = named if isinstance(named, tuple) else (named, None)
                url = f"{scheme}://localhost:{s.port}{path}"
                lines = report.get(url, [])
                not_met = [line for line in lines if line.startswith("NOT MET")]
                if named:
                    check(len(not_met) == 1 and not_met[0].startswith(named),
                          f"{faults.get(path)}: {url} names only '{named}'")
                else:
                    check(lines and not not_met, f"{faults.get(path)}: {url} has nothing not met")
                if hint:
                    check(any(line.startswith(hint) for line in lines),
                          f"{faults.get(path)}: {url} hints '{hint}'")
        tls = report.get(f"https://localhost:{s.port} TLS", [])
        check([line[:len(t)] for line, t in zip(tls, TLS_REFUSED)] == TLS_REFUSED,
              f"TLS 1.3 only: the handshakes as Windows 7 and 8.1 are refused ({tls})")


SYS = "/Sandel/Norvik_sys.rar"
SIGNED_BY = "met      signature: {} verifies, signed by Norvik Software JSC for code signing"
GOOD = {SYS: SIGNED_BY.format("Norvik_sys.rar.p7s"), PKG: SIGNED_BY.format("Norvik.rar.p7s")}


def oversized_signature(stage):
    with open(stage.signature_path(stage.sys_pkg), "ab") as f:
        f.write(b"\0" * 65536)


def signed_by_the_https_certificate(stage):
    """Signed by the HTTPS test certificate: the trusted test CA's, but for serverAuth only."""
    subprocess.run(["openssl", "cms", "-sign", "-binary", "-md", "sha256", "-outform", "DER",
                    "-in", stage.sys_pkg, "-signer", stage.certs["server_cert"],
                    "-inkey", stage.certs["server_key"],
                    "-out", stage.signature_path(stage.sys_pkg)], check=True)


# Rounds against signed packages: what changes on the server, the roots given (the signer's CA,
# or the HTTPS test CA that did not issue it), and each package's signature line per scheme.
SIGNATURE_ROUNDS = [
    ("signed", {}, None, "signer", GOOD),
    ("missing", {SYS + ".p7s": "404"}, None, "signer",
     dict(GOOD, **{SYS: "NOT MET  signature: missing (Norvik_sys.rar.p7s answers 404)"})),
    ("untrusted root", {}, None, "other",
     {SYS: "NOT MET  signature: Norvik_sys.rar.p7s does not verify: self-signed certificate in "
           "certificate chain",
      PKG: "NOT MET  signature: Norvik.rar.p7s does not verify: self-signed certificate"}),
    ("not for code signing", {}, signed_by_the_https_certificate, "other",
     {SYS: "NOT MET  signature: Norvik_sys.rar.p7s is signed by a certificate that is not for "
           "code signing", PKG: "NOT MET  signature: Norvik.rar.p7s does not verify"}),
    ("oversized", {}, oversized_signature, "signer",
     dict(GOOD, **{SYS: "NOT MET  signature: Norvik_sys.rar.p7s is larger than the 65536 "
                        "bytes"})),
    ("replaced", {}, lambda stage: stage.replace_after_signing(stage.pkg), "signer",
     dict(GOOD, **{PKG: "NOT MET  signature: Norvik.rar.p7s does not verify"})),
]


def signatures_are_checked(work):
    s = UpgradeStage(os.path.join(work, "signed"), args.build, free_port(), customer=CODE,
                     package_signatures="signed")
    s.start()
    roots = {"signer": os.path.join(args.build, "tools", "codesign", "codesign-ca.pem")}
    try:
        ca_dir = os.path.dirname(s.certs["ca_der"])
        roots["other"] = os.path.join(ca_dir, "test-ca.pem")
        runs = []
        # Each round starts from the files as signed.
        signed = os.path.join(work, "signed-files")
        shutil.copytree(s.www, signed)
        for name, faults, change, ca, expected in SIGNATURE_ROUNDS:
            s.set_faults(paths=faults)
            shutil.copytree(signed, s.www, dirs_exist_ok=True)
            if change:
                change(s)
            runs.append((name, expected, check_server(
                f"localhost:{s.port}", CODE, ca_dir,
                extra=["--package-signatures", "--ca", roots[ca]])))
    finally:
        s.stop()
    for name, expected, (rc, out) in runs:
        good = expected == GOOD
        check(rc == (0 if good else 1), f"signatures {name}: exits {0 if good else 1} (got {rc})")
        report = sections(out)
        for scheme in ("http", "https"):
            for path, line in expected.items():
                url = f"{scheme}://localhost:{s.port}{path}"
                lines = [x for x in report.get(url, []) if "signature:" in x]
                check(len(lines) == 1 and lines[0].startswith(line),
                      f"signatures {name}: {url} says '{line}' ({lines})")


with tempfile.TemporaryDirectory(prefix="check-server-") as work:
    readme_example_is_the_tests_config()
    nginx_meets_everything(work)
    careless_answers_are_named(work)
    signatures_are_checked(work)
if failures:
    print(f"{len(failures)} failed")
    sys.exit(1)
