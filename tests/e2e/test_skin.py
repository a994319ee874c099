"""The skinned window as the user sees and handles it: each screen with its art, the title bar
pieces in place and nothing drawn outside the rounded outline; dragging by the title,
maximize/restore by a double-click on the title and by the title-bar button, resizing by the
bottom-right grip; and the browse button's folder dialog."""

import os
import subprocess

from PIL import Image

from harness import (Driver, check, check_eq, eventually, launched, parse_args, run_cases,
                     screenshot, wait_eq, windows_path)

args = parse_args()
drv = Driver(args.build)
EXE = os.path.join(args.build, "UpgradeNorvik.exe")
ART = os.path.join(args.source, "src", "ui", "art")
ROOT_COLOUR = (255, 0, 255)  # painted on the desktop so that uncovered pixels show
BG_AT = {"bg": (8, 40), "bg2": (9, 40), "bg3": (8, 40), "bg5": (8, 40)}


def paint_root(colour):
    # display paints the root window and then reports 1 on a server without a window manager.
    subprocess.run(["/usr/bin/display", "-window", "root", "xc:#%02x%02x%02x" % colour],
                   timeout=30, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def shot(name):
    """A screenshot of the window alone (no margin) as an RGB image, and the window rect."""
    rect = drv.rect()
    path = screenshot(args.artifacts, name, rect, margin=0)
    return Image.open(path).convert("RGB"), rect


def shows(name, *checks, timeout=10):
    """Waits until a screenshot of the window passes every check(img): the window has been
    painted as expected (a repaint follows the action that caused it a moment later)."""
    def attempt():
        img, _ = shot(name)
        for c in checks:
            c(img)
    eventually(attempt, timeout, f"the window as in {name}")


def wait_state(state, rect=None):
    wait_eq(lambda: drv("state"), state, 10, "window state")
    if rect:
        wait_eq(drv.rect, rect, 10, f"{state} window")


def close(a, b, tolerance=10):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


# The outline of CreateRoundRectRgn(0, 0, W, H, 24, 24): the last column and row are left out,
# and the rows nearest each corner lose this many pixels.
CORNER_INSET = [9, 6, 5, 4, 3, 2, 1, 1, 1]


def inside_outline(x, y, w, h):
    if x >= w - 1 or y >= h - 1:
        return False
    ex, ey = min(x, w - 2 - x), min(y, h - 2 - y)
    return not (ey < len(CORNER_INSET) and ex < CORNER_INSET[ey])


def check_outline(img, what):
    w, h = img.size
    for x, y in ((0, 0), (1, 1), (8, 0), (w - 1, 0), (w - 2, 1), (w - 10, 0), (0, h - 1),
                 (0, h - 2), (w - 1, h - 1), (w - 1, h // 2), (w // 2, h - 1), (2, h - 3)):
        check(close(img.getpixel((x, y)), ROOT_COLOUR, 30),
              f"{what}: pixel ({x}, {y}) outside the rounded outline is drawn "
              f"{img.getpixel((x, y))}")
    for x, y in ((9, 0), (0, 9), (w - 11, 0), (w - 2, 9), (9, h - 2), (w - 11, h - 2),
                 (w // 2, 0), (0, h // 2), (w - 2, h // 2), (w // 2, h - 2)):
        check(not close(img.getpixel((x, y)), ROOT_COLOUR, 30),
              f"{what}: pixel ({x}, {y}) inside the outline is not drawn")


TITLE_TEXT = (16, 7, 266, 16)  # lblTitle after the layout: drawn over the title bar


def check_piece(img, name, left, top, what):
    """The opaque pixels of an unscaled piece appear where the layout put it."""
    piece = Image.open(os.path.join(ART, name)).convert("RGBA")
    w, h = img.size
    bad = total = 0
    for y in range(piece.height):
        for x in range(piece.width):
            px, py = left + x, top + y
            r, g, b, a = piece.getpixel((x, y))
            tl, tt, tw, th = TITLE_TEXT
            if a < 255 or not inside_outline(px, py, w, h) or \
                    (tl <= px < tl + tw and tt <= py < tt + th):
                continue
            total += 1
            if not close(img.getpixel((px, py)), (r, g, b), 12):
                bad += 1
    check(total > 100 and bad == 0, f"{what}: {name} at ({left}, {top}): {bad} of {total} "
                                    "pixels differ")


def check_title_bar(img, what):
    w, _ = img.size
    check_piece(img, "imgTitleLeft.gif", 0, 0, what)
    check_piece(img, "imgTitleRight.gif", w - 19, 0, what)
    middle = Image.open(os.path.join(ART, "imgTitleMain.gif")).convert("RGB")
    for x in (20, 40, w // 2, w - 20):  # the stretched middle, clear of the title text
        for y in range(0, 30, 3):
            if 5 <= y <= 24 and 16 <= x < 300:
                continue
            check(close(img.getpixel((x, y)), middle.getpixel((1, y)), 12),
                  f"{what}: title bar middle at ({x}, {y}) is {img.getpixel((x, y))}")


def check_background(img, screen, covered):
    """Most of the screen's background shows its picture (controls excluded)."""
    pic = Image.open(os.path.join(ART, screen + ".jpg")).convert("RGB")
    ox, oy = BG_AT[screen]
    diffs = []
    for y in range(2, pic.height - 2, 6):
        for x in range(2, pic.width - 2, 6):
            wx, wy = ox + x, oy + y
            if any(l - 2 <= wx < l + cw + 2 and t - 2 <= wy < t + ch + 2
                   for (l, t, cw, ch) in covered):
                continue
            a, b = img.getpixel((wx, wy)), pic.getpixel((x, y))
            diffs.append(sum(abs(p - q) for p, q in zip(a, b)) / 3)
    mean = sum(diffs) / len(diffs)
    check(mean < 6, f"{screen}: the background differs from its picture by {mean:.1f} on average")


def covered_by_children():
    return [v[1:] for v in drv.children().values() if v[0]]


PROGRESS = [(12, 214, 504, 23)]


def each_screen_shows_its_art():
    with launched(EXE, args.artifacts, drv):
        home = covered_by_children()
        shows("skin-home", lambda img: check_outline(img, "home"),
              lambda img: check_title_bar(img, "home"),
              lambda img: check_background(img, "bg", home))
        for button, screen, extra in (("cmdUpd", "bg2", PROGRESS), ("cmdProxy", "bg3", []),
                                      ("cmdHelp", "bg5", [])):
            drv("click", button)
            # The buttons' own screens: which controls show is the model's answer, the art is
            # the painter's.
            shows("skin-" + screen,
                  lambda img, s=screen, e=extra: check_background(img, s,
                                                                  covered_by_children() + e),
                  lambda img, s=screen: check_title_bar(img, s))


def drag(start, end):
    """Presses the mouse at `start` (screen coordinates), moves it to `end` in two steps and
    releases it there."""
    (sx, sy), (ex, ey) = start, end
    drv("mouse-down", sx, sy)
    drv("mouse-move", (sx + ex) // 2, (sy + ey) // 2)
    drv("mouse-move", ex, ey)
    drv("mouse-up", ex, ey)


def pressing_the_title_drags_the_window():
    with launched(EXE, args.artifacts, drv):
        x, y, w, h = drv.rect()
        drag((x + 200, y + 14), (x + 260, y + 54))
        wait_eq(drv.rect, (x + 60, y + 40, w, h), 10, "window after dragging the title by (60, 40)")
        drag((x + 260, y + 54), (x + 200, y + 14))
        wait_eq(drv.rect, (x, y, w, h), 10, "window dragged back")


def double_click_on_the_title_maximizes_and_restores():
    with launched(EXE, args.artifacts, drv):
        normal = drv.rect()
        drv("dblclick-at", 300, 15)
        sw, sh = (int(v) for v in drv("screen").split())
        wait_state("maximized", (0, 0, sw, sh))
        x, y, w, h = drv.rect()
        shows("skin-maximized", lambda img: check_outline(img, "maximized"),
              lambda img: check_title_bar(img, "maximized"),
              lambda img: check_piece(img, "imgWindowBottomRight.bmp", w - 19, h - 30,
                                      "maximized"))
        # Pressing the title of a maximized window does not move it.
        drag((x + 300, y + 14), (x + 340, y + 64))
        check_eq(drv.rect(), (x, y, w, h), "maximized window after a press on the title")
        drv("dblclick-at", 300, 15)
        wait_state("normal", normal)
        shows("skin-restored", lambda img: check_outline(img, "restored"),
              lambda img: check_title_bar(img, "restored"))


def title_bar_button_toggles_too():
    with launched(EXE, args.artifacts, drv):
        normal = drv.rect()
        drv("click-at", 118, 30)  # imgTitleMaxRestore: a click area at (112, 24), 13 x 13
        wait_state("maximized")
        drv("click-at", 118, 30)
        wait_state("normal", normal)


def bottom_right_grip_resizes_on_release():
    with launched(EXE, args.artifacts, drv):
        x, y, w, h = drv.rect()
        gx, gy = x + w - 8, y + h - 8  # inside the 11 x 11 grip and the rounded outline
        drv("mouse-down", gx, gy)
        drv("mouse-move", gx + 50, gy + 25)
        drv("mouse-move", gx + 100, gy + 50)
        # Nothing to wait for: the window must not have changed while the grip is held.
        check_eq(drv.rect(), (x, y, w, h), "window while the grip is held")
        drv("mouse-up", gx + 100, gy + 50)
        wait_eq(drv.rect, (x, y, w + 100, h + 50), 10, "window after the grip's release")
        W, H = w + 100, h + 50
        shows("skin-resized", lambda img: check_outline(img, "resized"),
              lambda img: check_title_bar(img, "resized"),
              lambda img: check_piece(img, "imgWindowBottomRight.bmp", W - 19, H - 30, "resized"),
              lambda img: check_piece(img, "imgWindowBottomLeft.bmp", 0, H - 30, "resized"),
              check_stretched)


def browse_button_fills_and_cancel_empties_the_folder_box():
    install = os.path.join(args.artifacts, "Th\u01b0 m\u1ee5c c\u00e0i \u0111\u1eb7t")
    os.makedirs(os.path.join(install, "Report"), exist_ok=True)
    for marker in ("Norvik.dll", os.path.join("Report", "Info.xml")):
        with open(os.path.join(install, marker), "w") as f:
            f.write("marker\n")
    expected = windows_path(install).lower()
    with launched(EXE, args.artifacts, drv):
        drv("click", "cmdUpd")
        wait_eq(lambda: drv("visible", "cmdBr"), "1", 10, "the browse button shown")
        drv("click", "cmdBr")
        check(drv.wait_dialog("Browse for Folder") is not None, "no folder dialog")
        shot_rect = tuple(int(v) for v in drv("dialog-rect", "Browse for Folder").split())
        screenshot(args.artifacts, "skin-folder-dialog", shot_rect)
        drv("folder-select", windows_path(install))
        wait_eq(lambda: drv("get-text", "txtFolder").lower(), expected, 10,
                "folder box after choosing a folder")
        check(drv("wait-dialog", "THONG BAO", 500, check=False) is None,
              "the chosen install folder was rejected")

        drv("click", "cmdBr")
        check(drv.wait_dialog("Browse for Folder") is not None, "no folder dialog the second time")
        drv("dialog-press", "Browse for Folder", 2)  # Cancel
        wait_eq(lambda: drv("get-text", "txtFolder"), "", 10, "folder box after cancelling")


def check_stretched(img):
    """A picture stretched over its area reaches the area's first column: the title bar's
    middle and the bottom border start right after the left end pieces."""
    w, h = img.size
    middle = Image.open(os.path.join(ART, "imgTitleMain.gif")).convert("RGB")
    bottom = Image.open(os.path.join(ART, "imgWindowBottom.bmp")).convert("RGB")
    for y in (0, 2, 28, 29):
        check(close(img.getpixel((19, y)), middle.getpixel((0, y)), 12),
              f"title bar middle at (19, {y}) is {img.getpixel((19, y))}")
    for y in (h - 30 + 20, h - 30 + 27, h - 30 + 28):
        check(close(img.getpixel((19, y)), bottom.getpixel((0, y - (h - 30))), 12),
              f"bottom border at (19, {y}) is {img.getpixel((19, y))}")


def stretched_pieces_cover_their_first_pixel():
    with launched(EXE, args.artifacts, drv):
        shows("skin-stretched", check_stretched)


paint_root(ROOT_COLOUR)
try:
    run_cases([
        ("each screen shows its art in its frame", each_screen_shows_its_art),
        ("pressing the title drags the window", pressing_the_title_drags_the_window),
        ("double-click on the title maximizes and restores",
         double_click_on_the_title_maximizes_and_restores),
        ("the title-bar button toggles too", title_bar_button_toggles_too),
        ("bottom-right grip resizes on release", bottom_right_grip_resizes_on_release),
        ("browse fills and cancel empties the folder box",
         browse_button_fills_and_cancel_empties_the_folder_box),
        ("stretched pieces cover their first pixel", stretched_pieces_cover_their_first_pixel),
    ])
finally:
    paint_root((0, 0, 0))
