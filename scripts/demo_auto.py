#!/usr/bin/python3
"""Drives one whole upgrade in the demo: the program against the bundled server, step by step,
with screenshots. Used by ./run --auto (and ./run without a display)."""

import argparse
import os
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
sys.path.insert(0, os.path.join(ROOT, "server"))
from harness import App, Driver, screenshot  # noqa: E402
from upgrade_stage import read_report, wine_path  # noqa: E402


def step(text):
    print(f"--> {text}", flush=True)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--build", required=True)
    p.add_argument("--install", required=True)
    p.add_argument("--customer", required=True)
    p.add_argument("--shots", required=True)
    a = p.parse_args()
    os.makedirs(a.shots, exist_ok=True)
    drv = Driver(a.build)

    step("starting UpgradeNorvik.exe")
    app = App(os.path.join(a.build, "UpgradeNorvik.exe"), a.shots)
    drv("wait-main", 30000)
    shot = screenshot(a.shots, "1-home", drv.rect())
    step(f"home screen ({shot})")

    drv("click", "cmdUpd")
    time.sleep(0.5)
    step("upgrade screen: customer code and install folder")
    drv("type", "txtRK", a.customer)
    drv("set-text", "txtFolder", wine_path(a.install))
    time.sleep(0.5)
    shot = screenshot(a.shots, "2-upgrade", drv.rect())
    step(f"  customer code {a.customer}, folder {wine_path(a.install)} ({shot})")

    step("pressing Dong y (OK): downloading Sandel.exe, Norvik_sys.rar, Norvik.rar")
    drv("click", "cmdOK")
    shots_taken = 0
    deadline = time.time() + 180
    while app.running() and time.time() < deadline:
        caption = drv("get-text", "txtRK", check=False)  # keeps the window busy-checked
        if caption is None:
            break
        if shots_taken < 3:
            time.sleep(1.0)
            shots_taken += 1
            try:
                shot = screenshot(a.shots, f"3-progress-{shots_taken}", drv.rect(), settle=0)
                step(f"  progress ({shot})")
            except Exception:  # noqa: BLE001 - the window may just have closed
                pass
        else:
            time.sleep(0.3)
        box = drv("wait-dialog", "THONG BAO", 0, check=False)
        if box is not None:
            shot = screenshot(a.shots, "4-message")
            step(f"the program reports: {box} ({shot})")
            drv("dialog-press", "THONG BAO", 1)
            app.stop(drv)
            return 1
    if app.wait_exit(30) is None:
        step("the program did not end")
        app.stop(drv)
        return 1
    step("UpgradeNorvik.exe started the update tool and ended")

    tool = drv("wait-window", "NorvikSandelStandIn", 10000, check=False)
    if tool:
        x, y, w, h = (int(v) for v in tool.split()[:4])
        shot = screenshot(a.shots, "5-update-tool", (x, y, w, h))
        step(f"the update tool's window ({shot})")
    report = None
    for _ in range(100):
        report = read_report(a.install)
        if report:
            break
        time.sleep(0.1)
    if not report:
        step("no report from the update tool")
        return 1
    step(f"the update tool's report ({os.path.join(a.install, 'sandel-report.txt')}):")
    with open(os.path.join(a.install, "sandel-report.txt"), encoding="utf-8") as f:
        for line in f:
            print("    " + line.rstrip(), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
