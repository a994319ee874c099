"""The main window opens centred with its caption, and the command buttons switch its screens
without losing what was typed into the boxes."""

import os

from harness import (Driver, check, check_eq, launched, parse_args, run_cases, screenshot,
                     wait_eq)

args = parse_args()
drv = Driver(args.build)
EXE = os.path.join(args.build, "UpgradeNorvik.exe")
HOME = ["cmdExit", "cmdHelp", "cmdProxy", "cmdUpd"]
UPGRADE = ["cmdBr", "cmdExit", "cmdHelp", "cmdOK", "cmdProxy", "txtFolder", "txtRK"]
PROXY = ["cmdExit", "cmdHelp", "cmdProxy", "cmdUpd", "txtIP", "txtPort"]
SCREENS = {"cmdUpd": UPGRADE, "cmdProxy": PROXY, "cmdHelp": HOME}


def click(name):
    """Clicks a command button and waits for the screen it opens."""
    drv("click", name)
    drv.wait_visible_children(SCREENS[name])


def opens_centred_with_its_caption():
    with launched(EXE, args.artifacts, drv):
        x, y, w, h = drv.rect()
        sw, sh = (int(v) for v in drv("screen").split())
        check_eq((w, h), (528, 255), "window size")
        check_eq((x, y), ((sw - w) // 2, (sh - h) // 2), "window position")
        check_eq(drv("caption"), "Norvik Tools", "window caption")
        check_eq(drv.visible_children(), HOME, "home screen shows only the command column")
        screenshot(args.artifacts, "home", drv.rect())


def upgrade_button_opens_the_upgrade_screen():
    with launched(EXE, args.artifacts, drv):
        click("cmdUpd")
        check_eq(drv("focus"), "txtRK", "focus")
        kids = drv.children()
        check_eq(kids["cmdOK"][1:], kids["cmdUpd"][1:], "OK and upgrade share one rectangle")
        check_eq(kids["txtRK"][1:], (144, 95, 240, 24), "txtRK rectangle")
        check_eq(kids["cmdBr"][1:], (348, 136, 34, 34), "cmdBr rectangle")
        screenshot(args.artifacts, "upgrade", drv.rect())


def proxy_button_opens_the_proxy_screen():
    with launched(EXE, args.artifacts, drv):
        click("cmdProxy")
        check_eq(drv("focus"), "txtIP", "focus")
        drv("set-text", "txtIP", "127.0.0.1")
        drv("type", "txtPort", "3128")
        wait_eq(lambda: drv("get-text", "txtPort"), "3128", 10, "the typed port")
        screenshot(args.artifacts, "proxy", drv.rect())


def help_screen_and_texts_survive_every_switch():
    with launched(EXE, args.artifacts, drv):
        click("cmdUpd")
        drv("type", "txtRK", "KH 001")
        wait_eq(lambda: drv("get-text", "txtRK"), "KH 001", 10, "the typed customer code")
        drv("set-text", "txtFolder", "")
        click("cmdProxy")
        drv("set-text", "txtIP", "127.0.0.1")
        drv("type", "txtPort", "3128")
        wait_eq(lambda: drv("get-text", "txtPort"), "3128", 10, "the typed port")
        click("cmdHelp")
        screenshot(args.artifacts, "help", drv.rect())
        for name in ("cmdUpd", "cmdProxy", "cmdHelp", "cmdUpd"):
            click(name)
        check_eq(drv("get-text", "txtRK"), "KH 001", "txtRK after switches")
        check_eq(drv("get-text", "txtIP"), "127.0.0.1", "txtIP after switches")
        check_eq(drv("get-text", "txtPort"), "3128", "txtPort after switches")


def exit_ends_the_program():
    with launched(EXE, args.artifacts, drv) as app:
        drv("click", "cmdExit")
        check_eq(app.wait_exit(15), 1, "the exit code after Thoat")


run_cases([
    ("opens centred with its caption, the command column only",
     opens_centred_with_its_caption),
    ("upgrade button opens the upgrade screen", upgrade_button_opens_the_upgrade_screen),
    ("proxy button opens the proxy screen", proxy_button_opens_the_proxy_screen),
    ("help screen, texts survive every switch", help_screen_and_texts_survive_every_switch),
    ("exit ends the program", exit_ends_the_program),
])
