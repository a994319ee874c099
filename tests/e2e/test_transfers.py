"""Transfers that go wrong, with the real program against the bundled server on 127.0.0.1: a
server that stalls in each phase of a transfer, exit in each stalled phase, runs killed in the
middle of a transfer, redirects and bodies that cannot be proven whole. The loopback copies of
the program give up on a stalled transfer after a few seconds (a build setting).
NORVIK_E2E_CASES=REGEX runs only the cases whose names match."""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

from harness import (App, Driver, WINE, check, check_eq, parse_args, run_cases,
                     to_windows_path, wait_until)

args = parse_args()
sys.path.insert(0, os.path.join(args.source, "server"))
from upgrade_stage import UpgradeStage, read_report, sha256  # noqa: E402

drv = Driver(args.build)
PORT = args.test_port
LOOPBACK = os.path.join(args.build, "loopback", "UpgradeNorvik.exe")
WORK = os.path.join(args.artifacts, "work")
NET_ERR = "Download khong thanh cong.\r\nXin vui long kiem tra ket noi Internet."
CUSTOMER = "KH001"
TOOL = "/Sandel/Sandel.exe"
SYS = "/Sandel/Norvik_sys.rar"
PACKAGE = f"/Sandel/{CUSTOMER}/Norvik.rar"
OLD_PACKAGE = b"the package of the previous upgrade"
RETRY_PAUSES = 1 + 2 + 4  # seconds before the three retries of a transfer cut after progress
SLACK = 4.0  # starting threads, connecting and showing the box under Wine
RESPONSE_MS = 250  # the window answers within this time throughout a transfer
EXIT_MS = 1000  # exit ends the process within this time in any phase


def stall_seconds():
    """The stall time compiled into the loopback copies (from the build's CMake cache)."""
    with open(os.path.join(args.build, "CMakeCache.txt")) as f:
        for line in f:
            m = re.match(r"NORVIK_TEST_STALL_SECONDS:\w+=(\d+)", line)
            if m:
                return int(m.group(1))
    return 60


STALL = stall_seconds()


def stage(name, **kw):
    s = UpgradeStage(os.path.join(WORK, name), args.build, PORT, customer=CUSTOMER, **kw)
    s.trust_ca()
    return s.start()


def prepared_folder(s):
    """An install folder whose temporary subfolder holds the previous upgrade's package."""
    folder = s.install_folder()
    temp = os.path.join(folder, "NorvikSandelTemp")
    os.makedirs(temp)
    with open(os.path.join(temp, "Norvik.rar"), "wb") as f:
        f.write(OLD_PACKAGE)
    return folder, temp


def start_upgrade(folder, exe=LOOPBACK, ip="", port="", env=None):
    app = App(exe, args.artifacts, env=dict({"SANDEL_EXIT_AT_ONCE": "1"}, **(env or {})))
    drv("wait-main", 30000)
    if ip or port:
        drv("click", "cmdProxy")
        wait_until(lambda: drv("visible", "txtIP") == "1", 5, "the proxy screen")
        drv("set-text", "txtIP", ip)
        drv("set-text", "txtPort", port)
    drv("click", "cmdUpd")
    wait_until(lambda: drv("visible", "txtRK") == "1", 5, "the upgrade screen")
    drv("set-text", "txtRK", CUSTOMER)
    drv("set-text", "txtFolder", to_windows_path(folder))
    check_eq(drv("get-text", "txtFolder"), to_windows_path(folder), "folder accepted")
    drv("click", "cmdOK")
    return app


class Probe:
    """norvik-driver's responsiveness probe running beside the test until the window is gone or
    shows a message box."""

    def __init__(self, limit_s):
        self.out = tempfile.TemporaryFile()
        self.proc = subprocess.Popen([WINE, drv.exe, "responsive", str(int(limit_s * 1000))],
                                     stdout=self.out, stderr=subprocess.DEVNULL,
                                     stdin=subprocess.DEVNULL)

    def worst_ms(self, timeout):
        self.proc.wait(timeout=timeout)
        self.out.seek(0)
        worst, unanswered, asks = map(int, self.out.read().split())
        check(asks > 0, "the probe asked the window nothing")
        check_eq(unanswered, 0, f"unanswered asks out of {asks}")
        return worst


def requests_for(s, path):
    return [r for r in s.requests() if r[1] == "GET" and r[2].split("?")[0] == path]


def leftovers(folder):
    """Files in the install folder tree beyond the markers, the tool, its report and the two
    packages."""
    expected = {"Norvik.dll", os.path.join("Report", "Info.xml"), "Sandel.exe",
                "sandel-report.txt", os.path.join("NorvikSandelTemp", "Norvik_sys.rar"),
                os.path.join("NorvikSandelTemp", "Norvik.rar")}
    found = set()
    for root, _, files in os.walk(folder):
        for f in files:
            found.add(os.path.relpath(os.path.join(root, f), folder))
    return sorted(found - expected)


def expect_package_kept(temp):
    with open(os.path.join(temp, "Norvik.rar"), "rb") as f:
        check(f.read() == OLD_PACKAGE, "the previous package is kept byte for byte")
    partial = [n for n in os.listdir(temp) if n.startswith("Norvik.rar.")]
    check_eq(partial, [], "partial files left")


def expect_box(app, text, timeout):
    box = drv.wait_dialog("THONG BAO", int(timeout * 1000))
    check_eq(box, text, "message")
    drv("dialog-press", "THONG BAO", 1)
    check(app.running(), "the program stays open after a failure")


# -- stalls: the box, the time, a window that answers, the old package kept ------------------------

def stalled_transfer(fault, min_stalls, max_stalls, pauses):
    def case():
        s = stage("stall")
        try:
            folder, temp = prepared_folder(s)
            # A slow system package: the handshake stalls from its request on, so that the
            # package's own connection meets the stall.
            s.set_faults({PACKAGE: fault} if fault else {SYS: "slow:262144"})
            app = start_upgrade(folder)
            try:
                probe = Probe(max_stalls * STALL + pauses + 60)
                if not fault:
                    wait_until(lambda: requests_for(s, SYS), 30, "the system package's request")
                    s.set_faults({SYS: "slow:262144"}, handshake="stall")
                wait_until(lambda: requests_for(s, PACKAGE) or
                           any(r[1] == "HANDSHAKE" for r in s.requests()), 30,
                           "the package's transfer")
                started = time.monotonic()
                expect_box(app, NET_ERR, max_stalls * STALL + pauses + SLACK + 5)
                took = time.monotonic() - started
                check(min_stalls * STALL * 0.9 <= took <= max_stalls * STALL + pauses + SLACK,
                      f"the box came after {took:.1f} s (stall time {STALL} s)")
                worst = probe.worst_ms(30)
                print(f"    the box after {took:.1f} s; the window answered within {worst} ms",
                      flush=True)
                check(worst <= RESPONSE_MS, f"the window took {worst} ms to answer")
                expect_package_kept(temp)
                check(read_report(folder) is None, "the update tool must not start")
            finally:
                app.stop(drv)
        finally:
            s.stop()
    return case


# -- exit in each stalled phase ----------------------------------------------------------------

PHASES = {
    # name: (fault on the package, or None for a stalled handshake; what shows the phase)
    "TLS handshake": None,
    "waiting for the status line": "silent",
    "waiting for the body": "headers",
    "mid-body stall": "stall-ranges",
    "slow drip": "trickle:1",
}


def exit_in_phase(phase, how):
    def case():
        s = stage("exit")
        try:
            folder, temp = prepared_folder(s)
            fault = PHASES[phase]
            s.set_faults({PACKAGE: fault} if fault else {SYS: "slow:262144"})
            app = start_upgrade(folder)
            try:
                if fault is None:
                    wait_until(lambda: requests_for(s, SYS), 30, "the system package's request")
                    s.set_faults({SYS: "slow:262144"}, handshake="stall")
                    wait_until(lambda: any(r[1] == "HANDSHAKE" for r in s.requests()), 30,
                               "the stalled handshake")
                else:
                    wait_until(lambda: requests_for(s, PACKAGE), 30, "the package's request")
                if fault == "stall-ranges":
                    # The server sends half, then nothing; the last read may hold up to one
                    # read size (64 KiB) of it.
                    part = os.path.join(temp, "Norvik.rar.part")
                    wait_until(lambda: os.path.exists(part) and os.path.getsize(part) >=
                               os.path.getsize(s.pkg) // 2 - 65536, 10,
                               "half the package on disk")
                out = drv("exit-by", how, 5000, check=False)
                check(out is not None, f"{how}: the program did not end within 5 s")
                print(f"    the process ended {out} ms after the {how}", flush=True)
                check(int(out) <= EXIT_MS, f"{how} ended the program after {out} ms")
                check(app.wait_exit(10) is not None, "the Wine process did not end")
                expect_package_kept(temp)
            finally:
                app.stop(drv)
        finally:
            s.stop()
    return case


# -- killed runs -------------------------------------------------------------------------------

def ten_killed_runs_then_a_whole_one():
    s = stage("killed")
    try:
        folder, temp = prepared_folder(s)
        slow = "slow:131072"
        for run in range(10):
            # Each of the three files in turn is being written when the process is killed.
            target = [TOOL, SYS, PACKAGE][run % 3]
            s.set_faults({target: slow})
            local = {TOOL: os.path.join(folder, "Sandel.exe"),
                     SYS: os.path.join(temp, "Norvik_sys.rar"),
                     PACKAGE: os.path.join(temp, "Norvik.rar")}[target]
            app = start_upgrade(folder)
            try:
                wait_until(lambda: os.path.exists(local + ".part"), 30,
                           f"run {run + 1}: {os.path.basename(local)} being written")
                app.proc.kill()
                app.proc.wait(10)
                wait_until(lambda: drv("wait-gone", 0, check=False) is not None, 10,
                           "the killed program's window gone")
            finally:
                app.stop(drv)
        s.set_faults({})
        app = start_upgrade(folder)
        try:
            check(app.wait_exit(120) is not None, "the whole run did not end")
            report = wait_until(lambda: read_report(folder), 10, "the update tool's report")
            check_eq(report["NorvikSandelTemp\\Norvik.rar sha256"], sha256(s.pkg),
                     "the tool saw the new package")
            check_eq(sha256(os.path.join(temp, "Norvik.rar")), sha256(s.pkg), "Norvik.rar")
            check_eq(sha256(os.path.join(temp, "Norvik_sys.rar")), sha256(s.sys_pkg),
                     "Norvik_sys.rar")
            check_eq(sha256(os.path.join(folder, "Sandel.exe")), sha256(s.tool), "Sandel.exe")
            check_eq(leftovers(folder), [], "files left beyond the upgrade's own")
        finally:
            app.stop(drv)
    finally:
        s.stop()


# -- redirects and bodies that cannot be proven whole ------------------------------------------

def refused_answer(fault, path, requests):
    """The fault on `path` gives the network box; nothing is written and nothing started."""
    def case():
        s = stage("refused")
        try:
            folder, temp = prepared_folder(s)
            s.set_faults({path: fault})
            app = start_upgrade(folder)
            try:
                expect_box(app, NET_ERR, 30)
                check(read_report(folder) is None, "the update tool must not start")
                if path == PACKAGE:
                    expect_package_kept(temp)
                else:
                    check(not os.path.exists(os.path.join(folder, "Sandel.exe")),
                          "no Sandel.exe was written")
                    check_eq([n for n in os.listdir(folder) if n.startswith("Sandel.exe.")], [],
                             "partial files of the tool")
                seen = [r for r in s.requests() if r[1] == "GET"]
                check_eq([r[0] for r in seen if r[0] != "https"], [],
                         "requests over plain HTTP")
                check_eq(len([r for r in seen if r[2].split("?")[0] == path or
                              r[2].startswith("/fault/")]), requests, f"requests for {path}")
            finally:
                app.stop(drv)
        finally:
            s.stop()
    return case


def two_redirects_then_the_package():
    s = stage("redirects")
    try:
        folder, temp = prepared_folder(s)
        s.set_faults({PACKAGE: "redir:2"})
        app = start_upgrade(folder)
        try:
            check(app.wait_exit(60) is not None, "the upgrade did not end")
            check(wait_until(lambda: read_report(folder), 10, "the update tool's report"),
                  "the update tool was started")
            check_eq(sha256(os.path.join(temp, "Norvik.rar")), sha256(s.pkg), "Norvik.rar")
            hops = [r[2] for r in s.requests() if r[1] == "GET" and
                    (r[2] == PACKAGE or r[2].startswith("/fault/"))]
            check_eq(hops, [PACKAGE, f"/fault/redir:1:302{PACKAGE}", f"/fault/plain{PACKAGE}"],
                     "the package's requests")
            check_eq(leftovers(folder), [], "files left beyond the upgrade's own")
        finally:
            app.stop(drv)
    finally:
        s.stop()


if __name__ == "__main__":
    shutil.rmtree(WORK, ignore_errors=True)
    print(f"stall time of the loopback copies: {STALL} s", flush=True)
    cases = [
        ("stall: silent before the status line", stalled_transfer("silent", 1, 1, 0)),
        ("stall: headers, then silence", stalled_transfer("headers", 1, 1, 0)),
        ("stall: TLS handshake never finishes", stalled_transfer(None, 1, 1, 0)),
        ("stall: one byte a second", stalled_transfer("trickle:1", 1, 4, RETRY_PAUSES)),
    ]
    for i, phase in enumerate(PHASES):
        for how in ("button", "close" if i % 2 else "syscommand", "endsession"):
            cases.append((f"exit by {how} during {phase}", exit_in_phase(phase, how)))
    cases += [
        ("ten killed runs, then a whole one", ten_killed_runs_then_a_whole_one),
        ("redirect loop: stopped after five hops", refused_answer("loop", PACKAGE, 6)),
        ("the tool redirected from https to http", refused_answer("downgrade", TOOL, 1)),
        ("two redirects, then the package", two_redirects_then_the_package),
        ("gzip-encoded package", refused_answer("gzip", PACKAGE, 1)),
        ("chunked package without its last chunk", refused_answer("chunked-cut", PACKAGE, 1)),
        ("package of unknown length cut short", refused_answer("close-cut", PACKAGE, 1)),
    ]
    # NORVIK_E2E_CASES=REGEX runs only the cases whose names match.
    run_cases([c for c in cases if re.search(os.environ.get("NORVIK_E2E_CASES", ""), c[0])])
