"""Whole upgrades with the real program against the bundled server on 127.0.0.1: both schemes,
the failure messages, the proxy, an install folder with spaces and non-ANSI letters, and exit in
the middle of a download. Each case has its own folder, server, Windows version and program."""

import os
import shutil
import subprocess
import sys

from harness import (WINE, Driver, check, check_eq, launched, parse_args, run_cases, screenshot,
                     wait_until)

args = parse_args()
sys.path.insert(0, os.path.join(args.source, "server"))
from upgrade_stage import read_report  # noqa: E402
import upgrade_steps as steps  # noqa: E402
from upgrade_steps import FILE_ERR, NET_ERR, TOOL_EXITS  # noqa: E402

drv = Driver(args.build)
LOOPBACK = os.path.join(args.build, "loopback", "UpgradeNorvik.exe")
LOOPBACK_IP = os.path.join(args.build, "loopback-ip", "UpgradeNorvik.exe")
WORK = os.path.join(args.artifacts, "work")


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


def served(work, version=None, start=True, **kw):
    """The case's own server files in a clean work folder, its server (unless `start` is
    false) and Wine reporting `version`; the server is stopped however the case ends."""
    return steps.served(args, case_folder(work, version), start=start, **kw)


def upgrade(folder, app, ip="", port=""):
    steps.start_upgrade(drv, args, folder, None, ip=ip, port=port, app=app)


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
            upgrade(folder, app)
            steps.expect_complete_upgrade(s, folder, app, cwd=cwd)
            check(read_report(decoy_folder) is None, "another program was started")
            check(s.schemes() and set(s.schemes()) == {scheme},
                  f"every connection over {scheme}: {s.schemes()}")


def upgrade_over_https():
    whole_upgrade("https", None, "https")


def upgrade_over_http_on_windows_xp():
    whole_upgrade("http-xp", "winxp", "http")


def install_folder_with_spaces_and_vietnamese_letters():
    whole_upgrade("vietnamese-folder", None, "https", folder_name="Thư mục cài đặt Norvik")


def upgrade_into_a_unc_install_folder():
    # Wine reaches \\SERVER\SHARE\... through the prefix's dosdevices/unc/SERVER/SHARE link: here
    # to the case's work folder, which holds the install folder.
    with served("unc-folder") as s:
        folder = s.install_folder()
        unc_server = os.path.join(os.environ["WINEPREFIX"], "dosdevices", "unc", "SERVER")
        os.makedirs(unc_server, exist_ok=True)
        link = os.path.join(unc_server, "SHARE")
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(os.path.dirname(folder), link)
        unc = "\\\\SERVER\\SHARE\\" + os.path.basename(folder)
        try:
            with launched(LOOPBACK, args.artifacts, drv, env=TOOL_EXITS) as app:
                steps.start_upgrade(drv, args, folder, None, app=app, windows_folder=unc)
                steps.expect_complete_upgrade(s, folder, app, windows_folder=unc)
        finally:
            os.remove(link)


def failure_case(s, expected_box, shot):
    folder = s.install_folder()
    with launched(LOOPBACK, args.artifacts, drv, env=TOOL_EXITS) as app:
        upgrade(folder, app)
        steps.expect_failed_upgrade(drv, app, folder, expected_box, (args.artifacts, shot))


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
            upgrade(folder, app)
            steps.expect_complete_upgrade(s, folder, app)
            check(not os.path.exists(os.path.join(folder, "NorvikSandelTemp", "Norvik_sys.rar")),
                  "no system package on disk")


def proxy_fields_send_the_downloads_through_the_proxy():
    # Plain HTTP to 127.0.0.1 (Windows XP's scheme), which a proxy can carry.
    with served("proxy", "winxp") as s:
        proxy = s.start_proxy()
        folder = s.install_folder()
        with launched(LOOPBACK_IP, args.artifacts, drv, env=TOOL_EXITS) as app:
            upgrade(folder, app, ip="127.0.0.1", port=str(proxy))
            steps.expect_complete_upgrade(s, folder, app)
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
            f.write(steps.OLD_PACKAGE)

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
            upgrade(folder, app)
            # Well into the transfer (about a second at this rate), so that the progress shows.
            wait_until(lambda: partial_size() >= 400_000, 60,
                       "the customer package's transfer to be under way")
            screenshot(args.artifacts, "exit-mid-download", drv.rect(), settle=0)
            drv("click", "cmdExit")
            check(app.wait_exit(20) is not None, "exit did not end the program")
            with open(old, "rb") as f:
                check_eq(f.read(), steps.OLD_PACKAGE, "old package kept")
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
        ("an install folder given by its UNC path", upgrade_into_a_unc_install_folder),
        ("exit mid-download leaves no partial file",
         exit_during_a_download_leaves_the_old_file_and_no_partial),
    ])
finally:
    windows_version(None)
