"""Helpers for the end-to-end tests: start the real UpgradeNorvik.exe under Wine, drive it with
norvik-driver.exe, wait for conditions, take screenshots. WINEPREFIX and DISPLAY come from
./test (or the caller)."""

import argparse
import contextlib
import io
import os
import shutil
import subprocess
import sys
import tempfile
import time
import traceback

from PIL import Image

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "server"))
from wine_path import windows_path  # noqa: E402

WINE = shutil.which("wine") or "/usr/bin/wine"
IMPORT = "/usr/bin/import"
CONVERT = "/usr/bin/convert"


def parse_args():
    p = argparse.ArgumentParser()
    p.add_argument("--build", required=True, help="the Windows build folder")
    p.add_argument("--source", required=True, help="the source tree")
    p.add_argument("--artifacts", required=True, help="where screenshots and logs go")
    p.add_argument("--test-port", type=int, default=47080,
                   help="the loopback port the build's loopback copies download from")
    args = p.parse_args()
    os.makedirs(args.artifacts, exist_ok=True)
    for var in ("WINEPREFIX", "DISPLAY"):
        if not os.environ.get(var):
            sys.exit(f"{var} is not set: run the end-to-end tests through ./test")
    return args


to_windows_path = windows_path  # the older name


class Failure(AssertionError):
    pass


def wait_until(condition, timeout, what, interval=0.05):
    """Polls `condition` until it returns a true value (which is returned) or `timeout` seconds
    have passed (then Failure names `what`). Tests wait for conditions, never a fixed time."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise Failure(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)


def eventually(check_fn, timeout, what, interval=0.05):
    """Runs `check_fn` until it returns without raising Failure (its value is returned) or
    `timeout` seconds have passed; then the last failure is raised, named with `what`. For
    checks of a state the program reaches a moment after the action (a repaint, a resize)."""
    last = []

    def passes():
        try:
            return (check_fn(),)
        except Failure as e:
            last[:] = [e]
            return None

    try:
        return wait_until(passes, timeout, what, interval)[0]
    except Failure:
        if not last:
            raise
        raise Failure(f"{what}: still failing after {timeout} s: {last[0]}") from None


def wait_eq(get, expected, timeout, what):
    """Waits until get() == expected; on timeout the failure shows the last value seen."""
    return eventually(lambda: check_eq(get(), expected, what), timeout, what)


def check(condition, message):
    if not condition:
        raise Failure(message)


def check_eq(actual, expected, what):
    if actual != expected:
        raise Failure(f"{what}: expected {expected!r}, got {actual!r}")


class Driver:
    def __init__(self, build):
        self.exe = os.path.join(build, "tools", "norvik-driver.exe")

    def __call__(self, *args, check=True, timeout=60):
        # Output goes through files, not pipes: Wine's background processes (started by the
        # first program of a prefix) inherit the handles and would hold a pipe open.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            r = subprocess.run([WINE, self.exe, *[str(a) for a in args]], stdout=out,
                               stderr=err, stdin=subprocess.DEVNULL, timeout=timeout)
            out.seek(0)
            err.seek(0)
            stdout, stderr = out.read(), err.read()
        outp = stdout.decode("utf-8", "replace").replace("\r\n", "\n").rstrip("\n")
        if check and r.returncode != 0:
            raise Failure(f"driver {' '.join(map(str, args))} failed ({r.returncode}): "
                          f"{stderr.decode('utf-8', 'replace').strip()}")
        return outp if r.returncode == 0 else None

    def children(self):
        """name -> (visible, left, top, width, height), client coordinates."""
        result = {}
        for line in self("children").splitlines():
            name, vis, l, t, w, h = line.split()
            result[name] = (vis == "1", int(l), int(t), int(w), int(h))
        return result

    def visible_children(self):
        return sorted(n for n, v in self.children().items() if v[0])

    def wait_visible_children(self, names, timeout=10):
        """Waits until exactly `names` are the visible child controls (a screen switch)."""
        wait_eq(self.visible_children, sorted(names), timeout, "the visible controls")

    def rect(self):
        return tuple(int(v) for v in self("rect").split())

    def wait_dialog(self, title, timeout_ms=15000):
        text = self("wait-dialog", title, timeout_ms, check=False)
        return None if text is None else text.replace("|\n", "\r\n")


class App:
    """One run of UpgradeNorvik.exe."""

    def __init__(self, exe, artifacts, env=None, cwd=None):
        self.artifacts = artifacts
        full_env = dict(os.environ)
        full_env.update(env or {})
        with open(os.path.join(artifacts, "app-wine.log"), "ab") as log:
            self.proc = subprocess.Popen([WINE, os.path.abspath(exe)], env=full_env, cwd=cwd,
                                         stdout=log, stderr=subprocess.STDOUT,
                                         stdin=subprocess.DEVNULL)

    def running(self):
        return self.proc.poll() is None

    def wait_exit(self, timeout=30):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def stop(self, driver):
        if self.running():
            driver("close", check=False, timeout=20)
            if self.wait_exit(10) is None:
                self.proc.kill()
                self.proc.wait()


@contextlib.contextmanager
def launched(exe, artifacts, driver, env=None, cwd=None, timeout=30):
    """Starts the program, waits for its main window and yields the App; stops it afterwards.
    Each case starts its own program: a case that fails leaves nothing open for the next."""
    wait_until(lambda: driver("wait-gone", 0, check=False) is not None, 15,
               "the main window of an earlier program to close")
    app = App(exe, artifacts, env=env, cwd=cwd)
    try:
        def main_window():
            if not app.running():
                raise Failure(f"the program ended ({app.proc.returncode}) before its window showed")
            return driver("wait-main", 500, check=False)

        wait_until(main_window, timeout, "the main window")
        yield app
    finally:
        app.stop(driver)


def grab(box=None):
    """The screen now as an RGB image, cropped to box (left, top, right, bottom) when given."""
    png = subprocess.run([IMPORT, "-window", "root", "png:-"], stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, check=True, timeout=30).stdout
    img = Image.open(io.BytesIO(png)).convert("RGB")
    if not box:
        return img
    left, top, right, bottom = box
    return img.crop((left, top, min(right, img.width), min(bottom, img.height)))


def screenshot(artifacts, name, rect=None, margin=8, settle=3.0):
    """Saves the screen (cropped to rect plus a margin when given) as artifacts/name.png once
    the picture has stopped changing: two grabs in a row agree. A picture that keeps changing
    for `settle` seconds (a transfer in progress) is saved as the last grab shows it; with
    settle=0 the screen is taken at once."""
    box = None
    if rect:
        x, y, w, h = rect
        x0, y0 = max(0, x - margin), max(0, y - margin)
        box = (x0, y0, x0 + w + 2 * margin, y0 + h + 2 * margin)
    shots = [grab(box)]

    def settled():
        shots.append(grab(box))
        return shots.pop(0).tobytes() == shots[0].tobytes()

    if settle > 0:
        try:
            wait_until(settled, settle, f"screenshot {name} to settle", interval=0.05)
        except Failure:
            print(f"screenshot {name}: the screen still changed after {settle} s; kept the "
                  "last picture", flush=True)
    out = os.path.join(artifacts, name + ".png")
    shots[0].save(out)
    return out


def pixel(png, x, y):
    """The (r, g, b) of one pixel of a PNG, through ImageMagick."""
    r = subprocess.run([CONVERT, png, "-crop", f"1x1+{x}+{y}", "-depth", "8", "txt:-"],
                       capture_output=True, text=True, check=True, timeout=30)
    line = r.stdout.strip().splitlines()[-1]
    rgb = line.split("(")[1].split(")")[0].split(",")[:3]
    return tuple(int(float(v)) for v in rgb)


def is_i386(exe):
    """True for a 32-bit x86 Windows program (the product's build); False for the 64-bit test
    build of machines that cannot run 32-bit programs."""
    with open(exe, "rb") as f:
        head = f.read(4096)
    pe = int.from_bytes(head[0x3C:0x40], "little")
    return head[pe:pe + 4] == b"PE\0\0" and int.from_bytes(head[pe + 4:pe + 6], "little") == 0x14C


def run_cases(cases):
    """Runs each (name, function) in order; prints one line each and a closing count."""
    passed = failed = 0
    for name, fn in cases:
        start = time.time()
        try:
            fn()
            passed += 1
            print(f"[ OK ] {name} ({time.time() - start:.1f}s)", flush=True)
        except Exception:  # noqa: BLE001 - every failure is reported, then the next case runs
            failed += 1
            print(f"[FAIL] {name}", flush=True)
            traceback.print_exc()
    print(f"{passed} passed, {failed} failed")
    sys.exit(1 if failed else 0)
