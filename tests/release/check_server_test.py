"""scripts/check-server.sh against real servers on 127.0.0.1, both schemes on one port as the
program asks for them: the tests' nginx, whose location block is the README's nginx example word
for word, meets every requirement; the download server answering with gzip, chunked and a
sign-in page has each named as not met, and the script fails."""

import argparse
import os
import re
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


def check_server(host, customer, ca_dir, proxy=None):
    extra = ["--proxy", proxy] if proxy else []
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
        check(len(report) == 6, f"{name}: three files over two schemes ({len(report)} reported)")
        for url, lines in report.items():
            check(lines and all(line.startswith("met ") for line in lines),
                  f"{name}: every requirement met for {url}")


def careless_answers_are_named(work):
    s = UpgradeStage(os.path.join(work, "stage"), args.build, free_port(), customer="KH001")
    s.set_faults(paths={"/Sandel/Sandel.exe": "gzip", "/Sandel/Norvik_sys.rar": "chunked",
                        "/Sandel/KH001/Norvik.rar": "login_page"})
    s.start()
    try:
        rc, out = check_server(f"localhost:{s.port}", "KH001", os.path.dirname(s.certs["ca_der"]))
    finally:
        s.stop()
    check(rc == 1, f"faults: check-server.sh exits 1 (got {rc})")
    report = sections(out)
    expected = {
        "/Sandel/Sandel.exe": "NOT MET  no content coding: Content-Encoding gzip",
        "/Sandel/Norvik_sys.rar": "NOT MET  Content-Length: none (Transfer-Encoding chunked)",
        "/Sandel/KH001/Norvik.rar": "NOT MET  binary Content-Type: text/html; charset=utf-8 is a "
                                    "web page",
    }
    for scheme in ("http", "https"):
        for path, named in expected.items():
            url = f"{scheme}://localhost:{s.port}{path}"
            lines = report.get(url, [])
            check(any(line.startswith(named) for line in lines), f"faults: {url} names '{named}'")
            check(sum(line.startswith("NOT MET") for line in lines) == 1,
                  f"faults: {url} has no other requirement not met")


with tempfile.TemporaryDirectory(prefix="check-server-") as work:
    readme_example_is_the_tests_config()
    nginx_meets_everything(work)
    careless_answers_are_named(work)
if failures:
    print(f"{len(failures)} failed")
    sys.exit(1)
