"""Steps the transfer and local-failure end-to-end tests share: a stage with its server
started, an upgrade entered and started, a message box read and closed."""

import os

from harness import App, check, check_eq, screenshot, to_windows_path, wait_until
from upgrade_stage import UpgradeStage

CUSTOMER = "KH001"
OLD_PACKAGE = b"the package of the previous upgrade"


def started_stage(args, workdir, **kw):
    """The bundled server on the test port, its CA trusted in the test prefix."""
    s = UpgradeStage(workdir, args.build, args.test_port, customer=CUSTOMER, **kw)
    s.trust_ca()
    return s.start()


def start_upgrade(drv, args, folder, exe, ip="", port="", app=None):
    """Starts the program (unless `app` runs already), enters the proxy (when given), the
    customer code and the install folder, and presses OK."""
    app = app or App(exe, args.artifacts, env={"SANDEL_EXIT_AT_ONCE": "1"})
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


def no_partials(folder):
    for root, _, files in os.walk(folder):
        check_eq([f for f in files if ".part" in f], [], f"partial files in {root}")


def expect_file(path, content, what):
    with open(path, "rb") as f:
        check(f.read() == content, f"{what} kept byte for byte")
