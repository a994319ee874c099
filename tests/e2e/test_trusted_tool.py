"""The update tool with the real program against the bundled server on 127.0.0.1: only the
maker's signed tool replaces the old one and starts; an unsigned, other-signed or tampered tool,
a missing one and a server that does not answer each leave the old Sandel.exe byte for byte; and
DLLs planted beside the program under system names are never loaded."""

import contextlib
import os
import re
import shutil
import sys

from harness import (Driver, Failure, check, check_eq, is_i386, launched, parse_args, run_cases,
                     to_windows_path, wait_until)

args = parse_args()
sys.path.insert(0, os.path.join(args.source, "server"))
from upgrade_stage import run_quiet, WINE  # noqa: E402
from result_boxes import box  # noqa: E402
import upgrade_steps as steps  # noqa: E402
from upgrade_steps import FILE_ERR, NET_ERR, TOOL_EXITS  # noqa: E402

drv = Driver(args.build)
LOOPBACK = os.path.join(args.build, "loopback", "UpgradeNorvik.exe")
# The same on the path of systems without SetDefaultDllDirectories, group by group.
OLD_LOADER = os.path.join(args.build, "old-loader", "UpgradeNorvik.exe")
TOOLS = os.path.join(args.build, "tools")
VARIANTS = os.path.join(TOOLS, "sandel-variants")
PLANTED = os.path.join(TOOLS, "planted")
# Every DLL the program preloads where SetDefaultDllDirectories is missing (its one list), under
# the names Wine allows: not the two that Wine's own user32 and comctl32 load from the program's
# folder at every process start, before any code of the program runs, and only those Wine has
# in its system folder (a missing one is asked for by nothing but the test).
WINE_LOADS_FIRST = {"version.dll", "uxtheme.dll"}
SYSTEM32 = os.path.join(os.environ.get("WINEPREFIX", ""), "drive_c", "windows", "system32")
with open(os.path.join(args.source, "src", "app", "win32", "dll_search.h")) as header:
    PLANTED_DLLS = [n for n in dict.fromkeys(re.findall(r'^ +L"(\w+\.dll)",', header.read(), re.M))
                    if n not in WINE_LOADS_FIRST and os.path.exists(os.path.join(SYSTEM32, n))]
# Wine's windowscodecs, which its GDI+ loads, resolves its import of propsys with the program's
# folder first even after SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) (Windows takes
# the dependencies of such a load from the system folder too): the real program's run, which
# takes that path under Wine, leaves it out; the preload that systems without the call get keeps
# it out (load_by_name below).
PLANTED_FOR_PROGRAM = [n for n in PLANTED_DLLS if n != "propsys.dll"]


def group(name):
    """The DLL names of one of dll_search.h's groups."""
    with open(os.path.join(args.source, "src", "app", "win32", "dll_search.h")) as header:
        body = re.search(r"\b" + name + r"\[\] = \{(.*?)\};", header.read(), re.S).group(1)
    return set(re.findall(r'L"(\w+\.dll)"', body))


# Loaded for the steps after the window, never before it: the network's DLLs (WinINet and what
# it imports among them) and the other groups; but propsys, which Wine's GDI+ loads through its
# windowscodecs when it starts, just after the window is shown and before the modules are read.
NOT_BEFORE_WINDOW = ({"wininet.dll", "ws2_32.dll", "mpr.dll", "shell32.dll"} |
                     group("kFolderDlls") | group("kNetworkDlls")) - {"propsys.dll"}
WORK = os.path.join(args.artifacts, "work")
OLD_TOOL = b"MZ the update tool of the previous upgrade"
SIGN_ERR = box("SignErr")


@contextlib.contextmanager
def stage(served_tool, start_server=True):
    """A fresh server folder serving `served_tool` as the update tool (None: no tool), its
    server (unless `start_server` is false), and an install folder holding an old Sandel.exe."""
    with steps.served(args, WORK, start=False) as s:
        if served_tool is None:
            os.remove(s.tool)
        else:
            shutil.copyfile(served_tool, s.tool)
        folder = s.install_folder()
        with open(os.path.join(folder, "Sandel.exe"), "wb") as f:
            f.write(OLD_TOOL)
        if start_server:
            s.start()
        yield s, folder


def listing(folder):
    return sorted(os.path.relpath(os.path.join(d, n), folder)
                  for d, dirs, files in os.walk(folder) for n in dirs + files)


def signed_tool_replaces_the_old_one_and_starts():
    with stage(os.path.join(TOOLS, "Sandel.exe")) as (s, folder):
        with launched(LOOPBACK, args.artifacts, drv, env=TOOL_EXITS) as app:
            steps.start_upgrade(drv, args, folder, LOOPBACK, app=app)
            steps.expect_complete_upgrade(s, folder, app)


def refused(served_tool, expected_box, start_server=True, shot=None):
    """The tool step fails: its box, nothing started, the window idle, the old tool and the
    install folder exactly as they were."""
    with stage(served_tool, start_server) as (s, folder):
        before = listing(folder)
        with launched(LOOPBACK, args.artifacts, drv, env=TOOL_EXITS) as app:
            steps.start_upgrade(drv, args, folder, LOOPBACK, app=app)
            steps.expect_failed_upgrade(drv, app, folder, expected_box,
                                        (args.artifacts, shot) if shot else None)
            with open(os.path.join(folder, "Sandel.exe"), "rb") as f:
                check_eq(f.read(), OLD_TOOL, "the old Sandel.exe")
            check_eq(listing(folder), before, "nothing added to or removed from the folder")


def unsigned_tool_is_refused():
    refused(os.path.join(VARIANTS, "Sandel-unsigned.exe"), SIGN_ERR, shot="box-signature")


def tool_of_another_publisher_is_refused():
    refused(os.path.join(VARIANTS, "Sandel-other.exe"), SIGN_ERR)


def tampered_tool_is_refused():
    refused(os.path.join(VARIANTS, "Sandel-tampered.exe"), SIGN_ERR)


def missing_tool_keeps_the_old_one():
    refused(None, FILE_ERR)


def server_down_keeps_the_old_tool():
    refused(os.path.join(TOOLS, "Sandel.exe"), NET_ERR, start_server=False)


def planted_dlls_are_never_loaded():
    """UpgradeNorvik.exe in a downloads folder beside DLLs named like the system DLLs it loads
    late, with Wine told to prefer such native DLLs: a whole upgrade over HTTPS loads none, with
    SetDefaultDllDirectories and on the path without it (the folder picked in the picker
    there)."""
    downloads = os.path.join(WORK, "Downloads")
    shutil.rmtree(downloads, ignore_errors=True)
    os.makedirs(downloads)
    for name in PLANTED_DLLS + ["load_by_name.exe"]:
        shutil.copyfile(os.path.join(PLANTED, name), os.path.join(downloads, name))
    env = dict(os.environ, WINEDLLOVERRIDES="mscoree,mshtml=;" +
               ",".join(n[:-4] for n in PLANTED_DLLS) + "=n,b")

    def markers():
        return sorted(n for n in os.listdir(downloads) if n.endswith(".loaded"))

    # A careless program in that folder would load every one of them.
    rc, out = run_quiet([WINE, os.path.join(downloads, "load_by_name.exe"), *PLANTED_DLLS],
                        cwd=downloads, env=env, timeout=120)
    check_eq(markers(), sorted(n + ".loaded" for n in PLANTED_DLLS),
             f"planted DLLs found by a bare-name load (exit {rc}: {out.strip()})")
    for m in markers():
        os.remove(os.path.join(downloads, m))
    # Where SetDefaultDllDirectories is missing (Windows XP), the program's preload by full path
    # is what keeps them out of a later load by name.
    rc, out = run_quiet([WINE, os.path.join(downloads, "load_by_name.exe"), "--after-preload",
                         *PLANTED_DLLS], cwd=downloads, env=env, timeout=120)
    check_eq((rc, markers()), (0, []), f"planted DLLs loaded after the preload ({out.strip()})")
    for name in set(PLANTED_DLLS) - set(PLANTED_FOR_PROGRAM):
        os.remove(os.path.join(downloads, name))

    exe = os.path.join(downloads, "UpgradeNorvik.exe")
    for build, picker in ((LOOPBACK, False), (OLD_LOADER, True)):
        shutil.copyfile(build, exe)
        with stage(os.path.join(TOOLS, "Sandel.exe")) as (s, folder):
            try:
                with launched(exe, args.artifacts, drv, cwd=downloads,
                              env=dict(TOOL_EXITS, WINEDLLOVERRIDES=env["WINEDLLOVERRIDES"])) as app:
                    # GDI+ starts once the window is shown: the modules are read after that.
                    wait_until(lambda: "gdiplus.dll" in drv("modules").split(), 10,
                               "GDI+ started after the window")
                    loaded = set(drv("modules").split())
                    check_eq(sorted(loaded & NOT_BEFORE_WINDOW), [],
                             "DLLs loaded before the window was shown")
                    if picker:
                        pick_folder(folder)
                    steps.start_upgrade(drv, args, folder, exe, app=app)
                    steps.expect_complete_upgrade(s, folder, app)
                    check(set(s.schemes()) == {"https"}, f"over HTTPS: {s.schemes()}")
            except Failure as e:
                raise Failure(f"{build}: {e} (planted DLLs loaded: {markers()})") from e
            check_eq(markers(), [], f"planted DLLs loaded by {build}")


def pick_folder(folder):
    """The install folder chosen in the folder picker."""
    drv("wait-main", 30000)
    drv("click", "cmdUpd")
    wait_until(lambda: drv("visible", "cmdBr") == "1", 10, "the browse button shown")
    drv("click", "cmdBr")
    check(drv.wait_dialog("Browse for Folder") is not None, "no folder dialog")
    drv("folder-select", to_windows_path(folder))
    wait_until(lambda: drv("get-text", "txtFolder").lower() == to_windows_path(folder).lower(),
               10, "the folder box after choosing the folder")


try:
    shutil.rmtree(WORK, ignore_errors=True)
    for path in (os.path.join(TOOLS, "Sandel.exe"), VARIANTS, PLANTED, OLD_LOADER):
        if not os.path.exists(path):
            raise Failure(f"{path} is missing: build the Sandel and planted_dlls targets")
    planted = [("DLLs planted beside the program are never loaded", planted_dlls_are_never_loaded)]
    if not is_i386(LOOPBACK):
        # Only the i686 product delay-loads these DLLs; the 64-bit test build imports them.
        print(f"[SKIP] {planted[0][0]}: {LOOPBACK} is the 64-bit test build")
        planted = []
    run_cases([
        ("the signed tool replaces the old one and starts",
         signed_tool_replaces_the_old_one_and_starts),
        ("an unsigned tool: the box, the old tool kept", unsigned_tool_is_refused),
        ("another publisher's tool: the box, the old tool kept",
         tool_of_another_publisher_is_refused),
        ("a tampered tool: the box, the old tool kept", tampered_tool_is_refused),
        ("no tool on the server: the old tool kept", missing_tool_keeps_the_old_one),
        ("server down: the old tool kept", server_down_keeps_the_old_tool),
    ] + planted)
except Failure as e:
    print(f"[FAIL] {e}")
    sys.exit(1)
