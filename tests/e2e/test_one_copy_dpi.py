"""One copy per session: a second start while the first is idle or downloading shows the first
and ends at once with no window of its own; the guard goes with the first copy however it ends.
The window at 120 and 144 DPI has the size, the control places and the picture it has at 96."""

import contextlib
import os
import shutil
import subprocess
import sys
import time

from PIL import Image

from harness import (WINE, App, Driver, check, check_eq, launched, parse_args, run_cases,
                     screenshot, wait_eq, wait_until)

args = parse_args()
sys.path.insert(0, os.path.join(args.source, "server"))
import upgrade_steps as steps  # noqa: E402

drv = Driver(args.build)
EXE = os.path.join(args.build, "UpgradeNorvik.exe")
LOOPBACK = os.path.join(args.build, "loopback", "UpgradeNorvik.exe")
WORK = os.path.join(args.artifacts, "work")
EXIT_CLOSED = 1
EXIT_ANOTHER_COPY_RUNS = 3
# How long a second start waits on the guard of a copy that may be ending (kGuardWaitMs): one
# that sees the first copy's window hands over well before.
GUARD_WAIT_S = 5.0


def second_start_hands_over(first):
    """Starts the program again: it ends with its own exit code without waiting out the guard,
    shows no box (a box would keep it open: it is looked for until the end), and the first copy
    goes on."""
    started = time.monotonic()
    second = App(EXE, args.artifacts)
    box = wait_until(lambda: (not second.running() and "none") or drv.wait_dialog("THONG BAO", 0),
                     2 * GUARD_WAIT_S + 10, "the second start to end")
    took = time.monotonic() - started
    check(box == "none", f"the second start showed a box: {box!r}")
    print(f"    the second start ended after {took * 1000:.0f} ms", flush=True)
    check_eq(second.wait_exit(0), EXIT_ANOTHER_COPY_RUNS, "the second start's exit code")
    check(took < GUARD_WAIT_S, f"the second start took {took:.2f} s: it waited out the guard")
    check(first.running(), "the first copy ended")


def exit_with(app, code):
    drv("click", "cmdExit")
    check_eq(app.wait_exit(15), code, "the first copy's exit code")


def second_start_while_idle_restores_the_first():
    with launched(EXE, args.artifacts, drv) as first:
        drv("minimize")
        wait_eq(lambda: drv("state"), "minimized", 10, "the first window minimized")
        second_start_hands_over(first)
        wait_eq(lambda: drv("state"), "normal", 5, "the first window restored")
        wait_eq(lambda: drv("foreground"), "1", 5, "the first window in front")
        check_eq(drv.visible_children(), ["cmdExit", "cmdHelp", "cmdProxy", "cmdUpd"],
                 "the first window's home screen")
        exit_with(first, EXIT_CLOSED)
    # Ended by Thoat or killed, a copy leaves no guard behind: the next start is a normal one.
    with launched(EXE, args.artifacts, drv) as again:
        again.proc.kill()
        again.proc.wait()
    with launched(EXE, args.artifacts, drv) as last:
        exit_with(last, EXIT_CLOSED)


def second_start_while_the_first_ends_runs_as_the_first():
    """A second start while the first is in its last moment (Thoat pressed just after it): it
    waits for the guard the ending copy lets go of, and shows its own window."""
    with launched(EXE, args.artifacts, drv) as first:
        second = App(EXE, args.artifacts)
        try:
            drv("click", "cmdExit")
            check_eq(first.wait_exit(15), EXIT_CLOSED, "the first copy's exit code")
            wait_until(lambda: not second.running() or
                       drv("wait-main", 500, check=False) is not None, 15,
                       "the second start's own window")
            check(second.running(),
                  f"the second start ended ({second.proc.returncode}) instead of running")
            check_eq(drv.visible_children(), ["cmdExit", "cmdHelp", "cmdProxy", "cmdUpd"],
                     "the second start's home screen")
        finally:
            second.stop(drv)


def second_start_while_downloading_leaves_the_transfer_going():
    s = steps.started_stage(args, os.path.join(WORK, "downloading"), pkg_size=8_000_000,
                            rate=400_000)
    try:
        folder = s.install_folder()
        part = os.path.join(folder, "NorvikSandelTemp", "Norvik.rar.part")

        def received():
            try:
                return os.path.getsize(part)
            except OSError:
                return 0

        with launched(LOOPBACK, args.artifacts, drv) as first:
            steps.start_upgrade(drv, args, folder, LOOPBACK, app=first)
            wait_until(lambda: received() >= 400_000, 60, "the package's transfer under way")
            second_start_hands_over(first)
            before = received()
            wait_until(lambda: received() >= before + 400_000, 10, "the transfer going on")
            exit_with(first, EXIT_CLOSED)
    finally:
        s.stop()


# -- screen DPI --------------------------------------------------------------------------------

DPI_KEYS = (r"HKCU\Control Panel\Desktop",
            r"HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts")


def wine_quiet(*cmd):
    subprocess.run([WINE, *cmd], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   stdin=subprocess.DEVNULL, timeout=120, check=True)


@contextlib.contextmanager
def private_prefix():
    """A copy of the test prefix for this case alone (the other tests keep 96 DPI); its Wine
    processes are stopped and the copy removed afterwards."""
    shared = os.environ["WINEPREFIX"]
    copy = os.path.join(args.artifacts, "wine-dpi")
    shutil.rmtree(copy, ignore_errors=True)
    subprocess.run(["cp", "-a", shared, copy], check=True, timeout=300)
    os.environ["WINEPREFIX"] = copy
    try:
        yield
    finally:
        subprocess.run(["wineserver", "-k"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        os.environ["WINEPREFIX"] = shared
        shutil.rmtree(copy, ignore_errors=True)


def home_screen_at(dpi):
    """The home window's rectangle, control places and picture at `dpi`."""
    for key in DPI_KEYS:
        wine_quiet("reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f")
    check_eq(drv("dpi"), str(dpi), "the screen's DPI in the case's prefix")
    with launched(EXE, args.artifacts, drv):
        rect = drv.rect()
        children = drv.children()
        shot = screenshot(args.artifacts, f"home-{dpi}dpi", rect, margin=0)
    with Image.open(shot) as img:
        return rect, children, img.convert("RGB").tobytes()


def window_keeps_its_design_pixels_at_every_dpi():
    with private_prefix():
        rect96, children96, picture96 = home_screen_at(96)
        check_eq(rect96[2:], (528, 255), "the window's size at 96 DPI")
        for dpi in (120, 144):
            rect, children, picture = home_screen_at(dpi)
            check_eq(rect, rect96, f"the window's rectangle at {dpi} DPI")
            check_eq(children, children96, f"the controls' places at {dpi} DPI")
            # Same pictures, same fonts at the same pixel heights: the very same pixels.
            check(picture == picture96, f"the window at {dpi} DPI differs from the one at 96 "
                  f"(see home-{dpi}dpi.png and home-96dpi.png)")


run_cases([
    ("a second start while idle restores the first and ends; none after a kill",
     second_start_while_idle_restores_the_first),
    ("a second start while the first ends on Thoat runs as the first",
     second_start_while_the_first_ends_runs_as_the_first),
    ("a second start while downloading ends, the transfer goes on, Thoat ends the first",
     second_start_while_downloading_leaves_the_transfer_going),
    ("the window keeps its design pixels at 96, 120 and 144 DPI",
     window_keeps_its_design_pixels_at_every_dpi),
])
