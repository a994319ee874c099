"""Failures on this side of the network, with the real program: a full disk, a read-only
folder, a package held open by another program (each the disk box, the old package kept), a
proxy that asks for a login (given once per upgrade, over HTTP and through a CONNECT tunnel) and
proxy entries that cannot be right (their boxes, nothing deleted and nothing downloaded).

The full disk and the read-only folder are small tmpfs mounts and need root; without it the
full disk is skipped with a message and the read-only folder uses the folder's permissions."""

import os
import subprocess
import sys
import tempfile
import time

from harness import (Driver, WINE, check, check_eq, parse_args, run_cases, screenshot,
                     to_windows_path, wait_until)

args = parse_args()
sys.path.insert(0, os.path.join(args.source, "server"))
from loopback import PROXY_PASSWORD, PROXY_USER  # noqa: E402
from upgrade_stage import read_report  # noqa: E402
from result_boxes import box  # noqa: E402
import upgrade_steps as steps  # noqa: E402
from upgrade_steps import OLD_PACKAGE, expect_file, no_partials  # noqa: E402

drv = Driver(args.build)
LOOPBACK = os.path.join(args.build, "loopback", "UpgradeNorvik.exe")
LOOPBACK_IP = os.path.join(args.build, "loopback-ip", "UpgradeNorvik.exe")
WORK = os.path.join(args.artifacts, "work")
DISK_ERR = box("DiskErr")
PROXY_LOGIN = box("ProxyAuthErr")
BAD_PROXY = "Thong tin proxy khong hop le."
OLD_TOOL = b"MZ the update tool of the previous upgrade"
ROOT = os.geteuid() == 0


def stage(name, **kw):
    return steps.started_stage(args, os.path.join(WORK, name), **kw)


def fill_and_ok(folder, exe=LOOPBACK, ip="", port="", app=None):
    return steps.start_upgrade(drv, args, folder, exe, ip=ip, port=port, app=app)


def expect_box(app, text, timeout=30, shot=None):
    steps.expect_box(drv, app, text, timeout, (args.artifacts, shot) if shot else None)


def mount(path, size_kib):
    subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size_kib}k,mode=0777", "tmpfs", path],
                   check=True, timeout=30)


def unmount(path):
    subprocess.run(["umount", path], check=False, timeout=30)


# -- the disk box ------------------------------------------------------------------------------

def disk_failure(kind):
    """kind: "full" (a 1 MiB tmpfs: the tool and the system package fit, the customer's package
    does not), "read-only" (the temporary folder cannot be written), "held" (another program
    holds the old package open without sharing it)."""
    def case():
        if kind == "full" and not ROOT:
            print("SKIP: a full disk needs root (a small tmpfs is mounted)", flush=True)
            return
        s = stage("disk-" + kind)
        folder = s.install_folder()
        temp = os.path.join(folder, "NorvikSandelTemp")
        os.makedirs(temp)
        mounted = kind == "full" or (kind == "read-only" and ROOT)
        holder = None
        try:
            if mounted:
                mount(temp, 1024)
            old = os.path.join(temp, "Norvik.rar")
            with open(old, "wb") as f:
                f.write(OLD_PACKAGE)
            if kind == "read-only":
                if ROOT:
                    subprocess.run(["mount", "-o", "remount,ro", temp], check=True, timeout=30)
                else:
                    os.chmod(temp, 0o555)
            if kind == "held":
                out = tempfile.TemporaryFile()
                holder = subprocess.Popen([WINE, drv.exe, "hold-file", to_windows_path(old),
                                           "60000"], stdout=out, stderr=subprocess.DEVNULL,
                                          stdin=subprocess.DEVNULL)
                wait_until(lambda: out.seek(0) == 0 and b"held" in out.read(), 30,
                           "the other program holding the package")
            app = fill_and_ok(folder)
            try:
                expect_box(app, DISK_ERR, 60, "box-disk-error")
                check(read_report(folder) is None, "the update tool must not start")
                expect_file(old, OLD_PACKAGE, "the previous package")
                no_partials(folder)
            finally:
                app.stop(drv)
        finally:
            if holder:
                holder.kill()
                holder.wait(10)
            if kind == "read-only" and not ROOT:
                os.chmod(temp, 0o755)
            if mounted:
                unmount(temp)
            s.stop()
    return case


# -- proxies -----------------------------------------------------------------------------------

def windows_version(name):
    """The Windows version Wine reports in the test prefix (None: its default, 7)."""
    key = r"HKCU\Software\Wine"
    cmd = ([WINE, "reg", "add", key, "/v", "Version", "/t", "REG_SZ", "/d", name, "/f"] if name
           else [WINE, "reg", "delete", key, "/v", "Version", "/f"])
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


def folder_with_old_tool(s):
    folder = s.install_folder()
    with open(os.path.join(folder, "Sandel.exe"), "wb") as f:
        f.write(OLD_TOOL)
    return folder


def expect_nothing_done(s, folder):
    expect_file(os.path.join(folder, "Sandel.exe"), OLD_TOOL, "the previous update tool")
    check(not os.path.exists(os.path.join(folder, "NorvikSandelTemp")), "no temporary folder")
    check_eq([r for r in s.requests() if r[1] == "GET"], [], "requests that reached the server")
    no_partials(folder)


def login_dialog(timeout=30):
    """The system's credentials dialog once shown: (its handle, whether the main window is
    enabled beside it)."""
    out = wait_until(lambda: drv("wait-login", 0, check=False), timeout, "the credentials dialog")
    fields = out.split(" ")
    return fields[4], fields[5] == "enabled"


def shown_login():
    """The handle of the credentials dialog shown now, or None."""
    out = drv("wait-login", 0, check=False)
    return out.split(" ")[4] if out else None


def proxy_asking_for_a_login(answer, secure=False):
    """127.0.0.1, which goes through a proxy (localhost would bypass it), that asks for a login:
    the system's credentials dialog shows, the main window usable beside it. Plain HTTP (the XP
    prefix), or with `secure` HTTPS through the proxy's CONNECT tunnel (the 7 prefix).
    answer: "login" (the credentials, given once, complete the upgrade through the proxy),
    "cancel" (the proxy box, nothing done) or "exit" (the exit button ends the program with the
    dialog up)."""
    def case():
        windows_version(None if secure else "winxp")
        s = stage("proxy-login-" + answer + ("-https" if secure else ""),
                  certificate="address" if secure else "server")
        try:
            proxy = s.start_proxy(auth=True)
            folder = folder_with_old_tool(s)
            app = fill_and_ok(folder, exe=LOOPBACK_IP, ip="127.0.0.1", port=str(proxy))
            try:
                _, main_enabled = login_dialog()
                check(main_enabled, "the main window stays usable beside the dialog")
                if answer == "cancel":
                    drv("login-cancel")
                    expect_box(app, PROXY_LOGIN, shot="box-proxy-login")
                    expect_nothing_done(s, folder)
                elif answer == "exit":
                    out = drv("exit-by", "button", 5000, check=False)
                    check(out is not None, "the exit button did not end the program")
                    check_eq(app.wait_exit(10), 1, "the exit code after exit")
                    expect_nothing_done(s, folder)
                else:
                    screenshot(args.artifacts, "proxy-login-dialog")
                    # A wrong password is not tried here: Wine's WinINet answers it with its own
                    # Basic retry, which fails to drain tinyproxy's 407 ("Could not drain
                    # content") and fails the request; the engine's rows cover it.
                    logins = 0
                    deadline = time.monotonic() + 120
                    while app.running() and time.monotonic() < deadline:
                        shown = shown_login()
                        if shown:
                            drv("login", PROXY_USER, PROXY_PASSWORD)
                            logins += 1
                            wait_until(lambda: shown_login() != shown, 30, "the dialog closed")
                    steps.expect_complete_upgrade(s, folder, app)
                    check_eq(logins, 1, "the dialogs of one upgrade")
                    with open(s.proxy_log, errors="replace") as f:
                        log = f.read()
                    # Through the tunnel the proxy sees only where it leads.
                    paths = ([f"CONNECT 127.0.0.1:{args.test_port}"] if secure else
                             ["/Sandel/Sandel.exe", "/Sandel/KH001/Norvik.rar"])
                    for path in paths:
                        check(path in log, f"{path} went through the proxy")
            finally:
                app.stop(drv)
        finally:
            s.stop()
            windows_version(None)
    return case


def proxy_entries_that_cannot_be_right():
    s = stage("proxy-entries")
    try:
        folder = folder_with_old_tool(s)
        app = None
        try:
            for ip, port in (("127.0.0.1", "abc"), ("127.0.0.1", "0"), ("127.0.0.1", "99999"),
                             ("", "8080")):
                app = fill_and_ok(folder, ip=ip, port=port, app=app)
                expect_box(app, BAD_PROXY)
                expect_nothing_done(s, folder)
        finally:
            if app:
                app.stop(drv)
    finally:
        s.stop()


if __name__ == "__main__":
    try:
        run_cases([
            ("a full disk: the disk box", disk_failure("full")),
            ("a read-only folder: the disk box", disk_failure("read-only")),
            ("the package held open by another program: the disk box", disk_failure("held")),
            ("a proxy login: given once, it completes the upgrade",
             proxy_asking_for_a_login("login")),
            ("a proxy login over HTTPS (CONNECT): given once, it completes the upgrade",
             proxy_asking_for_a_login("login", secure=True)),
            ("a proxy login cancelled: the proxy box", proxy_asking_for_a_login("cancel")),
            ("exit while the proxy login is asked", proxy_asking_for_a_login("exit")),
            ("proxy entries that cannot be right", proxy_entries_that_cannot_be_right),
        ])
    finally:
        windows_version(None)
