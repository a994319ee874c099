"""The main window opens centred with its caption, and the command buttons switch its screens
without losing what was typed into the boxes."""

import os
import time

from harness import App, Driver, check, check_eq, parse_args, run_cases, screenshot

args = parse_args()
drv = Driver(args.build)
app = App(os.path.join(args.build, "UpgradeNorvik.exe"), args.artifacts)
CHILDREN = ["cmdBr", "cmdExit", "cmdHelp", "cmdOK", "cmdProxy", "cmdUpd", "txtFolder", "txtIP",
            "txtPort", "txtRK"]


def click(name):
    drv("click", name)
    time.sleep(0.3)


def opens_centred_with_its_caption():
    line = drv("wait-main", 20000)
    x, y, w, h = (int(v) for v in line.split()[:4])
    sw, sh = (int(v) for v in drv("screen").split())
    check_eq((w, h), (528, 255), "window size")
    check_eq((x, y), ((sw - w) // 2, (sh - h) // 2), "window position")
    check_eq(drv("caption"), "Norvik Tools", "window caption")
    screenshot(args.artifacts, "home", drv.rect())


def home_screen_shows_only_the_command_column():
    check_eq(drv.visible_children(), ["cmdExit", "cmdHelp", "cmdProxy", "cmdUpd"], "home screen")


def upgrade_button_opens_the_upgrade_screen():
    click("cmdUpd")
    check_eq(drv.visible_children(),
             ["cmdBr", "cmdExit", "cmdHelp", "cmdOK", "cmdProxy", "txtFolder", "txtRK"],
             "upgrade screen")
    check_eq(drv("focus"), "txtRK", "focus")
    kids = drv.children()
    check_eq(kids["cmdOK"][1:], kids["cmdUpd"][1:], "OK and upgrade share one rectangle")
    check_eq(kids["txtRK"][1:], (144, 95, 240, 24), "txtRK rectangle")
    check_eq(kids["cmdBr"][1:], (348, 136, 34, 34), "cmdBr rectangle")
    screenshot(args.artifacts, "upgrade", drv.rect())


def proxy_button_opens_the_proxy_screen():
    drv("type", "txtRK", "KH 001")
    drv("set-text", "txtFolder", "")
    click("cmdProxy")
    check_eq(drv.visible_children(), ["cmdExit", "cmdHelp", "cmdProxy", "cmdUpd", "txtIP",
                                      "txtPort"], "proxy screen")
    check_eq(drv("focus"), "txtIP", "focus")
    drv("set-text", "txtIP", "127.0.0.1")
    drv("type", "txtPort", "3128")
    screenshot(args.artifacts, "proxy", drv.rect())


def help_screen_and_texts_survive_every_switch():
    click("cmdHelp")
    check_eq(drv.visible_children(), ["cmdExit", "cmdHelp", "cmdProxy", "cmdUpd"], "help screen")
    screenshot(args.artifacts, "help", drv.rect())
    for name in ("cmdUpd", "cmdProxy", "cmdHelp", "cmdUpd"):
        click(name)
    check_eq(drv("get-text", "txtRK"), "KH 001", "txtRK after switches")
    check_eq(drv("get-text", "txtIP"), "127.0.0.1", "txtIP after switches")
    check_eq(drv("get-text", "txtPort"), "3128", "txtPort after switches")


def exit_ends_the_program():
    click("cmdExit")
    check(app.wait_exit(15) is not None, "the program did not end")


try:
    run_cases([
        ("opens centred with its caption", opens_centred_with_its_caption),
        ("home screen shows only the command column", home_screen_shows_only_the_command_column),
        ("upgrade button opens the upgrade screen", upgrade_button_opens_the_upgrade_screen),
        ("proxy button opens the proxy screen", proxy_button_opens_the_proxy_screen),
        ("help screen, texts survive every switch", help_screen_and_texts_survive_every_switch),
        ("exit ends the program", exit_ends_the_program),
    ])
finally:
    app.stop(drv)
