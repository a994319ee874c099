"""Whole upgrades with the real program against the bundled server on 127.0.0.1: both schemes,
the failure messages, the proxy, an install folder with spaces and non-ANSI letters, and exit in
the middle of a download. Each case has its own folder, server, Windows version and program."""

import contextlib
import os
import shutil
import subprocess
import sys

from harness import (WINE, Driver, check, check_eq, launched, parse_args, run_cases, screenshot,
                     wait_eq, wait_until, windows_path)

args = parse_args()
sys.path.insert(0, os.path.join(args.source, "server"))
from upgrade_stage import UpgradeStage, read_report, sha256  # noqa: E402

drv = Driver(args.build)
PORT = args.test_port  # the server address compiled into the loopback copies
LOOPBACK = os.path.join(args.build, "loopback", "UpgradeNorvik.exe")
LOOPBACK_IP = os.path.join(args.build, "loopback-ip", "UpgradeNorvik.exe")
WORK = os.path.join(args.artifacts, "work")
NET_ERR = "Download khong thanh cong.\r\nXin vui long kiem tra ket noi Internet."
FILE_ERR = "Khong tim thay du lieu tren may chu. Xin vui long lien he nha cung cap."
TOOL_EXITS = {"SANDEL_EXIT_AT_ONCE": "1"}


def windows_version(name):
    """Sets the Windows version Wine reports in the test prefix (None: the default, 7)."""
    key = r"HKCU\Software\Wine"
    if name:
        cmd = [WINE, "reg", "add", key, "/v", "Version", "/t", "REG_SZ", "/d", name, "/f"]
    else:
        cmd = [WINE, "reg", "delete", key, "/v", "Version", "/f"]
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


def case_folder(name, version=None):
    """A clean work folder of the case's own (its certificates are kept: the prefix already
    trusts them), with Wine reporting the given Windows version."""
    folder = os.path.join(WORK, name)
    if os.path.isdir(folder):
        for entry in os.listdir(folder):
            if entry != "certs":
                path = os.path.join(folder, entry)
                if os.path.isdir(path):
                    shutil.rmtree(path)
                else:
                    os.remove(path)
    windows_version(version)
    return folder


@contextlib.contextmanager
def served(work, version=None, start=True, **kw):
    """The case's own server files in a clean work folder, its server (unless `start` is
    false) and Wine reporting `version`; the server is stopped however the case ends."""
    s = UpgradeStage(case_folder(work, version), args.build, PORT, customer="KH001", **kw)
    try:
        s.trust_ca()
        if start:
            s.start()
        yield s
    finally:
        s.stop()


def fill_and_ok(folder, customer, ip="", port=""):
    drv("click", "cmdProxy")
    wait_eq(lambda: drv("visible", "txtIP"), "1", 10, "the proxy screen's address box shown")
    drv("set-text", "txtIP", ip)
    drv("set-text", "txtPort", port)
    drv("click", "cmdUpd")
    wait_eq(lambda: drv("visible", "txtRK"), "1", 10, "the upgrade screen's code box shown")
    drv("set-text", "txtRK", customer)
    # Like a paste: the folder test runs once, inside this call, on the whole path.
    drv("set-text", "txtFolder", windows_path(folder))
    check_eq(drv("get-text", "txtFolder"), windows_path(folder), "folder accepted")
    drv("click", "cmdOK")


def expect_complete_upgrade(s, folder, app, cwd=None):
    check(app.wait_exit(120) is not None, "UpgradeNorvik.exe did not end")
    report = wait_until(lambda: read_report(folder), 20, "the update tool's report")
    check_eq(report["exe path"].lower(), windows_path(folder + "/Sandel.exe").lower(),
             "tool started from the install folder")
    check_eq(report["argument count"], "0", "tool arguments")
    if cwd:
        check_eq(report["working folder"].rstrip("\\").lower(),
                 windows_path(cwd).rstrip("\\").lower(), "working folder left unchanged")
    check_eq(sha256(os.path.join(folder, "Sandel.exe")), sha256(s.tool), "Sandel.exe")
    temp = os.path.join(folder, "NorvikSandelTemp")
    if os.path.exists(s.sys_pkg):
        check_eq(sha256(os.path.join(temp, "Norvik_sys.rar")), sha256(s.sys_pkg),
                 "Norvik_sys.rar")
    check_eq(sha256(os.path.join(temp, "Norvik.rar")), sha256(s.pkg), "Norvik.rar")
    check_eq(report["NorvikSandelTemp\\Norvik.rar sha256"], sha256(s.pkg), "tool saw Norvik.rar")
    leftovers = [f for f in os.listdir(temp) if f not in ("Norvik_sys.rar", "Norvik.rar")]
    check_eq(leftovers, [], "nothing else in the temporary folder")


def whole_upgrade(work, version, scheme, folder_name="Norvik"):
    with served(work, version) as s:
        folder = s.install_folder(folder_name)
        # A program named like the folder's first word: a bare command line with the path
        # unquoted would start it instead of the update tool.
        decoy_folder = os.path.dirname(folder)
        if " " in folder_name:
            shutil.copyfile(s.tool, os.path.join(decoy_folder, folder_name.split(" ")[0] + ".exe"))
        cwd = os.path.join(s.workdir, "start-folder")
        os.makedirs(cwd, exist_ok=True)
        with launched(LOOPBACK, args.artifacts, drv, env=TOOL_EXITS, cwd=cwd) as app:
            fill_and_ok(folder, "KH001")
            expect_complete_upgrade(s, folder, app, cwd=cwd)
            check(read_report(decoy_folder) is None, "another program was started")
            check(s.schemes() and set(s.schemes()) == {scheme},
                  f"every connection over {scheme}: {s.schemes()}")


def upgrade_over_https():
    whole_upgrade("https", None, "https")


def upgrade_over_http_on_windows_xp():
    whole_upgrade("http-xp", "winxp", "http")


def install_folder_with_spaces_and_vietnamese_letters():
    whole_upgrade("vietnamese-folder", None, "https", folder_name="Thư mục cài đặt Norvik")


def failure_case(s, expected_box, shot):
    folder = s.install_folder()
    with launched(LOOPBACK, args.artifacts, drv, env=TOOL_EXITS) as app:
        fill_and_ok(folder, "KH001")
        box = drv.wait_dialog("THONG BAO", 60000)
        check_eq(box, expected_box, "message")
        screenshot(args.artifacts, shot)
        drv("dialog-press", "THONG BAO", 1)
        wait_until(lambda: drv("wait-dialog", "THONG BAO", 0, check=False) is None, 10,
                   "the box to close")
        # Idle again and still open: the upgrade screen answers the help button.
        drv("click", "cmdHelp")
        wait_eq(lambda: drv("visible", "txtRK"), "0", 10, "the help screen (code box hidden)")
        check(app.running(), "the program stays open after a failure")
        check(read_report(folder) is None, "the update tool must not start")


def customer_package_missing_shows_the_supplier_box():
    with served("no-customer-package", with_pkg=False) as s:
        failure_case(s, FILE_ERR, "box-file-error")


def server_down_shows_the_network_box():
    with served("server-down", start=False) as s:
        failure_case(s, NET_ERR, "box-network-error")


def system_package_missing_still_completes_without_a_box():
    with served("no-system-package", with_sys=False) as s:
        folder = s.install_folder()
        with launched(LOOPBACK, args.artifacts, drv, env=TOOL_EXITS) as app:
            fill_and_ok(folder, "KH001")
            expect_complete_upgrade(s, folder, app)
            check(not os.path.exists(os.path.join(folder, "NorvikSandelTemp", "Norvik_sys.rar")),
                  "no system package on disk")


def proxy_fields_send_the_downloads_through_the_proxy():
    # Plain HTTP to 127.0.0.1 (Windows XP's scheme), which a proxy can carry.
    with served("proxy", "winxp") as s:
        proxy = s.start_proxy()
        folder = s.install_folder()
        with launched(LOOPBACK_IP, args.artifacts, drv, env=TOOL_EXITS) as app:
            fill_and_ok(folder, "KH001", ip="127.0.0.1", port=str(proxy))
            expect_complete_upgrade(s, folder, app)
            with open(s.proxy_log, errors="replace") as f:
                log = f.read()
            for path in ("/Sandel/Sandel.exe", "/Sandel/Norvik_sys.rar", "/Sandel/KH001/Norvik.rar"):
                check(path in log, f"{path} went through the proxy")


def exit_during_a_download_leaves_the_old_file_and_no_partial():
    # A slow server and a large customer package: the exit comes while it is transferred.
    with served("exit-mid-download", pkg_size=8_000_000, rate=400_000) as s:
        folder = s.install_folder()
        temp = os.path.join(folder, "NorvikSandelTemp")
        os.makedirs(temp)
        old = os.path.join(temp, "Norvik.rar")
        with open(old, "wb") as f:
            f.write(b"the package of the previous upgrade")

        def partial_size():
            """Bytes of the customer package received so far (0 before its transfer)."""
            for n in os.listdir(temp):
                if n.startswith("Norvik.rar") and n != "Norvik.rar":
                    try:
                        return os.path.getsize(os.path.join(temp, n))
                    except OSError:
                        pass
            return 0

        with launched(LOOPBACK, args.artifacts, drv, env=TOOL_EXITS) as app:
            fill_and_ok(folder, "KH001")
            # Well into the transfer (about a second at this rate), so that the progress shows.
            wait_until(lambda: partial_size() >= 400_000, 60,
                       "the customer package's transfer to be under way")
            screenshot(args.artifacts, "exit-mid-download", drv.rect(), settle=0)
            drv("click", "cmdExit")
            check(app.wait_exit(20) is not None, "exit did not end the program")
            with open(old, "rb") as f:
                check_eq(f.read(), b"the package of the previous upgrade", "old package kept")
            check_eq(sorted(os.listdir(temp)), ["Norvik.rar", "Norvik_sys.rar"],
                     "no partial file left")
            check(read_report(folder) is None, "the update tool must not start")


try:
    run_cases([
        ("a whole upgrade over HTTPS", upgrade_over_https),
        ("a whole upgrade over HTTP on Windows XP", upgrade_over_http_on_windows_xp),
        ("customer package missing: the supplier box", customer_package_missing_shows_the_supplier_box),
        ("server down: the network box", server_down_shows_the_network_box),
        ("system package missing: completes without a box",
         system_package_missing_still_completes_without_a_box),
        ("the proxy fields are used", proxy_fields_send_the_downloads_through_the_proxy),
        ("install folder with spaces and Vietnamese letters",
         install_folder_with_spaces_and_vietnamese_letters),
        ("exit mid-download leaves no partial file",
         exit_during_a_download_leaves_the_old_file_and_no_partial),
    ])
finally:
    windows_version(None)
