#!/usr/bin/python3
"""Runs win_tests.exe under Wine against the local download server, nginx and tinyproxy.

Needs WINEPREFIX (the test prefix; the test CA is trusted there only) and DISPLAY (the window
tests), both exported by ./test. Extra arguments after -- go to the test executable
(for example -- --gtest_filter=WinDownload*).
"""
import argparse
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "server"))
from testbed import Testbed  # noqa: E402
from wine_path import windows_path  # noqa: E402


def package_signatures(workdir, trustca, publisher):
    """Packages and their signatures made with openssl for this run, the CA that signed the
    maker's trusted in the prefix; the folder as the test program sees it."""
    folder = os.path.join(workdir, "package-signatures")
    subprocess.run(["rm", "-rf", folder], check=True)
    subprocess.run(["sh", os.path.join(HERE, "make_package_signatures.sh"), folder, publisher],
                   check=True, timeout=120)
    subprocess.run(["wine", trustca, windows_path(os.path.join(folder, "trusted",
                                                                "codesign-ca.der"))],
                   check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, timeout=120)
    return windows_path(folder)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--exe", required=True)
    p.add_argument("--trustca", required=True)
    p.add_argument("--workdir", required=True)
    p.add_argument("rest", nargs="*")
    a = p.parse_args()
    for var in ("WINEPREFIX", "DISPLAY"):
        if not os.environ.get(var):
            print(f"run_win_tests: {var} is not set (source scripts/wine-env.sh; prepare_prefix; "
                  "start_xvfb)", file=sys.stderr)
            return 2
    with Testbed(a.workdir, a.trustca) as bed:
        env = dict(os.environ, **bed.environment())
        env["NORVIK_TEST_PACKAGE_SIGNATURES"] = package_signatures(
            a.workdir, a.trustca, "Norvik Software JSC")
        print("run_win_tests: " + " ".join(f"{k}={v}" for k, v in sorted(bed.environment().items())),
              flush=True)
        # Output through a file, not the inherited pipe: a wineserver started by this run would
        # keep CTest's pipe open after the test ends.
        log_path = os.path.join(a.workdir, "win_tests.log")
        try:
            with open(log_path, "wb") as log:
                r = subprocess.run(["wine", a.exe, *a.rest], env=env, stdout=log,
                                   stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                   timeout=560)
            code = r.returncode
        except subprocess.TimeoutExpired:
            code = 124
        with open(log_path, "rb") as log:
            sys.stdout.write(log.read().decode(errors="replace"))
        return code


if __name__ == "__main__":
    sys.exit(main())
