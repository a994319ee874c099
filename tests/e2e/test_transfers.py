"""Transfers that go wrong, with the real program against the bundled server on 127.0.0.1: a
server that stalls in each phase of a transfer, a slow link and cut transfers that still
complete, exit in each stalled phase, runs killed in the middle of a transfer, redirects and
bodies that cannot be proven whole. The loopback copies of
the program give up on a stalled transfer after a few seconds (a build setting).
NORVIK_E2E_CASES=REGEX runs only the cases whose names match."""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

from harness import Driver, WINE, check, check_eq, parse_args, run_cases, wait_until

args = parse_args()
sys.path.insert(0, os.path.join(args.source, "server"))
from upgrade_stage import read_report, sha256  # noqa: E402
import upgrade_steps as steps  # noqa: E402
from upgrade_steps import CUSTOMER, NET_ERR, OLD_PACKAGE  # noqa: E402

drv = Driver(args.build)
LOOPBACK = os.path.join(args.build, "loopback", "UpgradeNorvik.exe")
WORK = os.path.join(args.artifacts, "work")
TOOL = "/Sandel/Sandel.exe"
SYS = "/Sandel/Norvik_sys.rar"
PACKAGE = f"/Sandel/{CUSTOMER}/Norvik.rar"
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
    return steps.started_stage(args, os.path.join(WORK, name), **kw)


def prepared_folder(s):
    """An install folder whose temporary subfolder holds the previous upgrade's package."""
    folder = s.install_folder()
    temp = os.path.join(folder, "NorvikSandelTemp")
    os.makedirs(temp)
    with open(os.path.join(temp, "Norvik.rar"), "wb") as f:
        f.write(OLD_PACKAGE)
    return folder, temp


def start_upgrade(folder):
    return steps.start_upgrade(drv, args, folder, LOOPBACK)


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
    steps.expect_file(os.path.join(temp, "Norvik.rar"), OLD_PACKAGE, "the previous package")
    steps.no_partials(temp)


def expect_box(app, text, timeout):
    steps.expect_box(drv, app, text, timeout)


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


# -- slow and cut transfers that still complete -------------------------------------------------

def completed_transfer(fault, resumed, pkg_size=1_500_000, seconds=RETRY_PAUSES):
    """The package arrives whole despite the fault, within `seconds` (plus slack) of its first
    request, with the window answering throughout. resumed: True when the later requests ask
    for a range (Range and If-Range), False when they ask for the whole file again, or a list of
    that for each later request."""
    def case():
        s = stage("complete", pkg_size=pkg_size)
        try:
            folder, temp = prepared_folder(s)
            s.set_faults({PACKAGE: fault})
            app = start_upgrade(folder)
            try:
                probe = Probe(seconds + 60)
                wait_until(lambda: requests_for(s, PACKAGE), 30, "the package's request")
                started = time.monotonic()
                check_eq(app.wait_exit(seconds + SLACK + 30), 0, "the exit code of a whole upgrade")
                took = time.monotonic() - started
                worst = probe.worst_ms(30)
                print(f"    the upgrade ended {took:.1f} s after the package's first request; "
                      f"the window answered within {worst} ms", flush=True)
                check(took <= seconds + SLACK, f"the package took {took:.1f} s")
                check(worst <= RESPONSE_MS, f"the window took {worst} ms to answer")
                report = wait_until(lambda: read_report(folder), 10, "the update tool's report")
                check_eq(report["NorvikSandelTemp\\Norvik.rar sha256"], sha256(s.pkg),
                         "the tool saw the new package")
                check_eq(sha256(os.path.join(temp, "Norvik.rar")), sha256(s.pkg), "Norvik.rar")
                check_eq(leftovers(folder), [], "files left beyond the upgrade's own")
                later = requests_for(s, PACKAGE)[1:]
                if resumed is not None:
                    check(later, "the cut transfer was tried again")
                    ranged = resumed if isinstance(resumed, list) else [resumed] * len(later)
                    check_eq([(rng != "-", if_range != "-") for _, _, _, rng, if_range in later],
                             [(r, r) for r in ranged], "Range and If-Range of the retries")
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
                check_eq(app.wait_exit(10), 1, f"the exit code after {how}")
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
            check_eq(app.wait_exit(120), 0, "the exit code of the whole run")
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
            check_eq(app.wait_exit(60), 0, "the exit code of the upgrade")
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
        ("a slow but live link: 64 KiB/s", completed_transfer("slow:65536", None, 300_000,
                                                              300_000 / 65536)),
        ("reset mid-body, ranges offered: resumed", completed_transfer("reset-ranges", True)),
        ("reset mid-body, no ranges: from the start", completed_transfer("reset-norange", False)),
        ("reset mid-body, range ignored: from the start",
         completed_transfer("reset-ignorerange", True)),
        # The resume is answered from a newer file: the parts do not belong together.
        ("reset, then the file replaced and If-Range ignored: the new file from the start",
         completed_transfer("reset-replaced", [True, False], seconds=1 + 2)),
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
