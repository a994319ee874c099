"""Packages proven by their detached signatures, with the real program against the bundled server
on 127.0.0.1: a program built to require them asks for each package's .p7s before the package
and completes with signed packages; a package replaced on the server after signing is refused
with its box, the old one kept and nothing started; a program built without them asks for no
.p7s at all."""

import os
import shutil
import sys

from harness import Driver, Failure, check, check_eq, launched, parse_args, run_cases

args = parse_args()
sys.path.insert(0, os.path.join(args.source, "server"))
from result_boxes import box  # noqa: E402
import upgrade_steps as steps  # noqa: E402
from upgrade_steps import CUSTOMER, OLD_PACKAGE, TOOL_EXITS  # noqa: E402

drv = Driver(args.build)
REQUIRED = os.path.join(args.build, "loopback-signed", "UpgradeNorvik.exe")
OFF = os.path.join(args.build, "loopback", "UpgradeNorvik.exe")
WORK = os.path.join(args.artifacts, "work")
PACKAGE = f"/Sandel/{CUSTOMER}/Norvik.rar"


def paths(s):
    return [path for _, method, path, *_ in s.requests() if method == "GET"]


def first_index(items, item):
    check(item in items, f"{item} asked for: {items}")
    return items.index(item)


def completed(exe):
    """A whole upgrade by `exe` against signed packages; the paths it asked for."""
    with steps.served(args, WORK, package_signatures="signed") as s:
        folder = s.install_folder()
        with launched(exe, args.artifacts, drv, env=TOOL_EXITS) as app:
            steps.start_upgrade(drv, args, folder, exe, app=app)
            steps.expect_complete_upgrade(s, folder, app)
        return paths(s)


def signed_packages_complete_the_upgrade():
    asked = completed(REQUIRED)
    for package in ("/Sandel/Norvik_sys.rar", PACKAGE):
        check(first_index(asked, package + ".p7s") < first_index(asked, package),
              f"{package}'s signature asked for before it: {asked}")


def a_package_changed_after_signing_is_refused():
    with steps.served(args, WORK, package_signatures="replaced") as s:
        folder = s.install_folder()
        temp = os.path.join(folder, "NorvikSandelTemp")
        os.makedirs(temp, exist_ok=True)
        old = os.path.join(temp, "Norvik.rar")
        with open(old, "wb") as f:
            f.write(OLD_PACKAGE)
        with launched(REQUIRED, args.artifacts, drv, env=TOOL_EXITS) as app:
            steps.start_upgrade(drv, args, folder, REQUIRED, app=app)
            steps.expect_failed_upgrade(drv, app, folder, box("PackageSignErr"),
                                        (args.artifacts, "box-package-signature"))
        steps.expect_file(old, OLD_PACKAGE, "the old Norvik.rar")
        steps.no_partials(folder)
        asked = paths(s)
        check(first_index(asked, PACKAGE + ".p7s") < first_index(asked, PACKAGE),
              f"the signature asked for before the package: {asked}")


def off_asks_for_no_signature():
    check_eq(sorted(set(completed(OFF))),
             sorted(["/Sandel/Sandel.exe", "/Sandel/Norvik_sys.rar", PACKAGE]),
             "the paths asked for")


try:
    shutil.rmtree(WORK, ignore_errors=True)
    if not os.path.exists(REQUIRED):
        raise Failure(f"{REQUIRED} is missing (it needs NORVIK_TOOL_PUBLISHER)")
    run_cases([
        ("required: signed packages complete the upgrade", signed_packages_complete_the_upgrade),
        ("required: a package replaced after signing gives the box, the old one kept",
         a_package_changed_after_signing_is_refused),
        ("off: no signature asked for", off_asks_for_no_signature),
    ])
except Failure as e:
    print(f"[FAIL] {e}")
    sys.exit(1)
