"""Steps the end-to-end upgrade tests share: a stage with its server, an upgrade entered and
started, a whole upgrade checked, a message box read and closed, a failed upgrade that leaves
the window idle and starts nothing."""

import contextlib
import os

from harness import App, check, check_eq, screenshot, to_windows_path, wait_until
from result_boxes import box
from upgrade_stage import UpgradeStage, read_report, sha256

CUSTOMER = "KH001"
OLD_PACKAGE = b"the package of the previous upgrade"
# The update tool the tests serve ends at once after writing its report.
TOOL_EXITS = {"SANDEL_EXIT_AT_ONCE": "1"}
NET_ERR = box("NetErr")
FILE_ERR = box("FileErr")


def started_stage(args, workdir, **kw):
    """The bundled server on the test port, its CA trusted in the test prefix."""
    s = UpgradeStage(workdir, args.build, args.test_port, customer=CUSTOMER, **kw)
    s.trust_ca()
    return s.start()


@contextlib.contextmanager
def served(args, workdir, start=True, **kw):
    """The stage of `started_stage`, its server started only when `start` is true (the case may
    change the served files first, or want no server); stopped however the case ends."""
    s = UpgradeStage(workdir, args.build, args.test_port, customer=CUSTOMER, **kw)
    try:
        s.trust_ca()
        if start:
            s.start()
        yield s
    finally:
        s.stop()


def start_upgrade(drv, args, folder, exe, ip="", port="", app=None, windows_folder=None):
    """Starts the program (unless `app` runs already), enters the proxy (when given), the
    customer code and the install folder (as `windows_folder` when given, else by its drive
    letter), and presses OK."""
    app = app or App(exe, args.artifacts, env=TOOL_EXITS)
    drv("wait-main", 30000)
    if ip or port:
        drv("click", "cmdProxy")
        wait_until(lambda: drv("visible", "txtIP") == "1", 10, "the proxy screen")
        drv("set-text", "txtIP", ip)
        drv("set-text", "txtPort", port)
    drv("click", "cmdUpd")
    wait_until(lambda: drv("visible", "txtRK") == "1", 10, "the upgrade screen")
    drv("set-text", "txtRK", CUSTOMER)
    # Like a paste: the folder test runs once, inside this call, on the whole path.
    typed = windows_folder or to_windows_path(folder)
    drv("set-text", "txtFolder", typed)
    check_eq(drv("get-text", "txtFolder"), typed, "folder accepted")
    drv("click", "cmdOK")
    return app


def expect_complete_upgrade(s, folder, app, cwd=None, windows_folder=None):
    """The program ended after a whole upgrade: the maker's tool, started from the install
    folder (by `windows_folder` when given) without arguments (from `cwd` when given), and every
    package, byte for byte."""
    check_eq(app.wait_exit(120), 0, "UpgradeNorvik.exe's exit code after the upgrade")
    report = wait_until(lambda: read_report(folder), 20, "the update tool's report")
    started_as = (windows_folder + "\\Sandel.exe") if windows_folder else \
        to_windows_path(folder + "/Sandel.exe")
    check_eq(report["exe path"].lower(), started_as.lower(), "tool started from the install folder")
    check_eq(report["argument count"], "0", "tool arguments")
    check_eq(report["signature"], "valid, signed by Norvik Software JSC", "the tool's signature")
    if cwd:
        check_eq(report["working folder"].rstrip("\\").lower(),
                 to_windows_path(cwd).rstrip("\\").lower(), "working folder left unchanged")
    check_eq(sha256(os.path.join(folder, "Sandel.exe")), sha256(s.tool), "Sandel.exe")
    temp = os.path.join(folder, "NorvikSandelTemp")
    if os.path.exists(s.sys_pkg):
        check_eq(sha256(os.path.join(temp, "Norvik_sys.rar")), sha256(s.sys_pkg),
                 "Norvik_sys.rar")
    check_eq(sha256(os.path.join(temp, "Norvik.rar")), sha256(s.pkg), "Norvik.rar")
    check_eq(report["NorvikSandelTemp\\Norvik.rar sha256"], sha256(s.pkg), "tool saw Norvik.rar")
    leftovers = [f for f in os.listdir(temp) if f not in ("Norvik_sys.rar", "Norvik.rar")]
    check_eq(leftovers, [], "nothing else in the temporary folder")


def expect_box(drv, app, text, timeout, shot=None):
    """The program shows a THONG BAO box with `text` within `timeout` seconds (kept as the
    screenshot `shot`, a (folder, name) pair, when given); it is closed and the program stays
    open."""
    check_eq(drv.wait_dialog("THONG BAO", int(timeout * 1000)), text, "message")
    if shot:
        screenshot(*shot)
    drv("dialog-press", "THONG BAO", 1)
    wait_until(lambda: drv.wait_dialog("THONG BAO", 0) is None, 5, "the box closed")
    check(app.running(), "the program stays open after a failure")


def expect_failed_upgrade(drv, app, folder, text, shot=None):
    """The upgrade ends with the box `text`; afterwards the window is idle again (the help
    button answers), the program open and the update tool not started."""
    expect_box(drv, app, text, 60, shot)

    def help_answers():
        drv("click", "cmdHelp")
        return drv("visible", "txtRK") == "0"

    wait_until(help_answers, 10, "the window idle again (the help screen shown)")
    check(app.running(), "the program stays open after a failure")
    check(read_report(folder) is None, "the update tool must not start")


def no_partials(folder):
    for root, _, files in os.walk(folder):
        check_eq([f for f in files if ".part" in f], [], f"partial files in {root}")


def expect_file(path, content, what):
    with open(path, "rb") as f:
        check(f.read() == content, f"{what} kept byte for byte")
