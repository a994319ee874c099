"""Networks that hand over something other than the file, with the real program against the
bundled server on 127.0.0.1 over HTTPS: a sign-in page (a hotel Wi-Fi's, a proxy's) in place of a
file, straight or after a redirect and whatever its Content-Type says; a server certificate
that has expired, is not valid yet, comes from an unknown CA or names another host; a login
portal that intercepts HTTPS with its own certificate and answers plain HTTP with its page (asked
for the tool's path at the configured server, never for the customer's package); and a server
that speaks only TLS 1.3 (the prefix says Windows 7).

One table: each row plants the previous upgrade's tool and packages, runs an upgrade against its
own server and checks the box, which files were replaced and which kept byte for byte, that
nothing else was left in the install folder and whether the update tool was started."""

import collections
import os
import re
import shutil
import sys

from harness import Driver, check, check_eq, launched, parse_args, run_cases, wait_until

args = parse_args()
sys.path.insert(0, os.path.join(args.source, "server"))
from certs import make_certs  # noqa: E402
from upgrade_stage import read_report, sha256  # noqa: E402
from result_boxes import box  # noqa: E402
import upgrade_steps as steps  # noqa: E402
from upgrade_steps import CUSTOMER, OLD_PACKAGE  # noqa: E402

drv = Driver(args.build)
LOOPBACK = os.path.join(args.build, "loopback", "UpgradeNorvik.exe")
WORK = os.path.join(args.artifacts, "work")
TOOL_EXITS = {"SANDEL_EXIT_AT_ONCE": "1"}

PAGE_BOX = box("PageErr")
CLOCK_BOX = box("ClockErr")
EXPIRED_BOX = box("CertExpiredErr")
TLS_BOX = box("TlsErr")
SECURE_BOX = box("SecureErr")

TOOL, SYS, PACKAGE = "/Sandel/Sandel.exe", "/Sandel/Norvik_sys.rar", f"/Sandel/{CUSTOMER}/Norvik.rar"
# The previous upgrade's files in the install folder, by remote path.
LOCAL = {TOOL: "Sandel.exe", SYS: os.path.join("NorvikSandelTemp", "Norvik_sys.rar"),
         PACKAGE: os.path.join("NorvikSandelTemp", "Norvik.rar")}
OLD = {TOOL: b"MZ the update tool of the previous upgrade",
       SYS: b"the system package of the previous upgrade", PACKAGE: OLD_PACKAGE}

# faults: server/faults.py kinds by remote path; certificate: the HTTPS side's (certs.py);
# box: the box shown (None: the upgrade completes); replaced: the files that then hold the
# server's copy (every other one keeps its old content); shot: the box's screenshot name;
# tls_min: the oldest TLS the HTTPS side speaks.
Row = collections.namedtuple("Row", "name faults certificate box replaced shot tls_min",
                             defaults=(None,))
ROWS = [
    Row("a sign-in page for the customer's package", {PACKAGE: "login_page"}, "server",
        PAGE_BOX, {TOOL, SYS}, "box-page"),
    Row("the tool redirected to a sign-in page", {TOOL: "login_redirect"}, "server",
        PAGE_BOX, set(), None),
    Row("a sign-in page sent as a file (application/octet-stream)",
        {TOOL: "login_page:application/octet-stream"}, "server", PAGE_BOX, set(), None),
    Row("a sign-in page for the system package: ignored, the upgrade goes on",
        {SYS: "login_page"}, "server", None, {TOOL, PACKAGE}, None),
    Row("a server certificate that expired before the build: the supplier's box", {}, "expired",
        EXPIRED_BOX, set(), "box-cert-expired"),
    Row("a server certificate valid only from 2099: the clock box", {}, "future", CLOCK_BOX,
        set(), "box-clock"),
    Row("a server certificate from an unknown CA", {}, "unknown_ca", SECURE_BOX, set(),
        "box-secure"),
    Row("a server certificate for another host", {}, "other_host", SECURE_BOX, set(), None),
    Row("behind a login portal that intercepts HTTPS with its own certificate",
        {TOOL: "login_page"}, "unknown_ca", PAGE_BOX, set(), "box-portal"),
    # The customer's package alone is redirected to 127.0.0.1, which the certificate does not
    # name: the login portal is asked for at the configured host, for the tool's path.
    Row("a refused certificate for the customer's package alone", {PACKAGE: "ip_host"},
        "localhost_only", SECURE_BOX, {TOOL, SYS}, None),
    # Wine 8 offers at most TLS 1.2, as Windows 7 does with Internet Explorer 11.
    Row("a server that speaks only TLS 1.3, on Windows 7: the old TLS box", {}, "server",
        TLS_BOX, set(), "box-tls", tls_min="1.3"),
]


def listing(folder):
    return sorted(os.path.relpath(os.path.join(d, n), folder)
                  for d, dirs, files in os.walk(folder) for n in dirs + files)


def planted_folder(s):
    """An install folder holding the previous upgrade's tool and both packages."""
    folder = s.install_folder()
    os.makedirs(os.path.join(folder, "NorvikSandelTemp"))
    for remote, local in LOCAL.items():
        with open(os.path.join(folder, local), "wb") as f:
            f.write(OLD[remote])
    return folder


def served_copy(s, remote):
    return {TOOL: s.tool, SYS: s.sys_pkg, PACKAGE: s.pkg}[remote]


def run_row(row):
    def case():
        work = os.path.join(WORK, re.sub(r"[^a-z0-9]+", "-", row.name.split(":")[0].lower()))
        # The certificates are made once for all rows: the prefix trusts their CA already.
        shutil.copytree(os.path.join(WORK, "certs"), os.path.join(work, "certs"))
        s = steps.started_stage(args, work, certificate=row.certificate, tls_min=row.tls_min)
        try:
            s.set_faults(row.faults)
            folder = planted_folder(s)
            before = listing(folder)
            with launched(LOOPBACK, args.artifacts, drv, env=TOOL_EXITS) as app:
                steps.start_upgrade(drv, args, folder, LOOPBACK, app=app)
                if row.box is None:
                    check_eq(app.wait_exit(120), 0, "UpgradeNorvik.exe's exit code after the upgrade")
                    wait_until(lambda: read_report(folder), 20, "the update tool's report")
                    before.append("sandel-report.txt")
                else:
                    steps.expect_box(drv, app, row.box, 30,
                                     (args.artifacts, row.shot) if row.shot else None)
                    check(read_report(folder) is None, "the update tool must not start")
            for remote, local in LOCAL.items():
                path = os.path.join(folder, local)
                if remote in row.replaced:
                    check_eq(sha256(path), sha256(served_copy(s, remote)), f"the new {local}")
                else:
                    steps.expect_file(path, OLD[remote], f"the previous {local}")
            check_eq(listing(folder), sorted(before), "the install folder's files")
            plain = [r[2] for r in s.requests() if r[0] == "http"]
            if row.certificate == "localhost_only":
                # The customer code never goes out in clear text.
                check_eq(plain, [TOOL], "the paths asked for over plain HTTP")
            elif row.certificate == "server" and not row.tls_min:
                check_eq(set(s.schemes()), {"https"}, "the schemes of the connections")
            else:
                # Refused once and never retried (Wine itself tries a failed handshake once more
                # with TLS 1.0); then the same path is asked for over plain HTTP, where a login
                # portal answers with its page.
                check_eq(s.schemes(), ["https"] * (2 if row.tls_min else 1) + ["http"],
                         "the connections")
        finally:
            s.stop()
    return case


if __name__ == "__main__":
    shutil.rmtree(WORK, ignore_errors=True)
    make_certs(os.path.join(WORK, "certs"))
    run_cases([(row.name, run_row(row)) for row in ROWS])
