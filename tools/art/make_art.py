#!/usr/bin/python3
"""Draws the window's skin pictures, the application icon and the button pointer.

Run with Debian's python3 and python3-pil (Pillow), fonts-liberation and ImageMagick:

    /usr/bin/python3 tools/art/make_art.py            # writes src/ui/art/*
    /usr/bin/python3 tools/art/make_art.py --preview DIR   # also writes preview PNGs

The outputs are committed, so building the program needs none of these tools. Every run draws
the same pictures from scratch (no randomness, no time stamps in the files).

Geometry follows the window definition (src/ui/frm_main_def.cpp): the backgrounds are 511 x 203
pixels and lie at window pixel (8, 40) (bg2 at (9, 40)); every word on them is placed so that the
text boxes and buttons of that screen sit where the words expect them.
"""
import argparse
import os
import struct
import subprocess
import sys

from PIL import Image, ImageDraw, ImageFont

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
OUT = os.path.join(ROOT, "src", "ui", "art")
FONT_DIR = "/usr/share/fonts/truetype/liberation"
IDENTIFY = "/usr/bin/identify"

# ---------------------------------------------------------------------------------------------
# One palette for the whole skin.
NAVY_DARK = (16, 38, 74)       # outline of the window, deepest title shade
NAVY = (27, 61, 112)           # headings, title bar bottom
BLUE = (52, 102, 170)          # title bar top, primary buttons
BLUE_LIGHT = (98, 146, 210)    # highlights
STEEL = (143, 166, 196)        # separators
SURFACE = (207, 207, 207)      # the window's own colour (set by the chrome layout)
PAPER_TOP = (250, 251, 253)
PAPER_BOTTOM = (230, 236, 244)
PANEL_TOP = (214, 225, 239)
PANEL_BOTTOM = (196, 211, 231)
FOOTER_TOP = (221, 229, 239)
FOOTER_BOTTOM = (207, 218, 232)
INK = (33, 43, 58)             # body text
INK_SOFT = (84, 98, 118)       # secondary text
GREEN = (40, 128, 76)
GREEN_LIGHT = (74, 170, 110)
RED = (150, 50, 46)
RED_LIGHT = (196, 88, 80)
FOLDER = (236, 186, 74)
FOLDER_DARK = (170, 120, 30)
FOLDER_LIGHT = (250, 214, 130)
WHITE = (255, 255, 255)

# Window geometry the pictures are drawn for.
BG_W, BG_H = 511, 203
BG_ORIGIN = {"bg": (8, 40), "bg2": (9, 40), "bg3": (8, 40), "bg5": (8, 40)}
PANEL_X = 376          # right-hand button column, background coordinates
FOOTER_Y = 170         # footer band / progress area

# Rectangles of the controls in window pixels (from the window definition), per screen.
CONTROLS = {
    "cmdUpd": (392, 51, 116, 30),
    "cmdOK": (392, 51, 116, 30),
    "cmdHelp": (392, 92, 116, 30),
    "cmdProxy": (392, 133, 116, 30),
    "cmdExit": (393, 174, 116, 30),
    "cmdBr": (348, 136, 34, 34),
    "txtRK": (144, 95, 240, 24),
    "txtFolder": (18, 142, 328, 24),
    "txtIP": (109, 102, 237, 24),
    "txtPort": (109, 134, 237, 24),
    "ProgressBar": (12, 214, 504, 23),
    "ProgressCap": (12, 218, 504, 20),
}
SCREENS = {
    "bg": ["cmdUpd", "cmdHelp", "cmdProxy", "cmdExit"],
    "bg2": ["cmdOK", "cmdHelp", "cmdProxy", "cmdExit", "txtRK", "txtFolder", "cmdBr",
            "ProgressBar", "ProgressCap"],
    "bg3": ["cmdUpd", "cmdHelp", "cmdProxy", "cmdExit", "txtIP", "txtPort"],
    "bg5": ["cmdUpd", "cmdHelp", "cmdProxy", "cmdExit"],
}


def font(size, bold=False):
    name = "LiberationSans-Bold.ttf" if bold else "LiberationSans-Regular.ttf"
    return ImageFont.truetype(os.path.join(FONT_DIR, name), size)


def local(screen, name):
    """A control's rectangle in the coordinates of the screen's background picture."""
    x, y, w, h = CONTROLS[name]
    ox, oy = BG_ORIGIN[screen]
    return x - ox, y - oy, w, h


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def vgradient(size, top, bottom):
    w, h = size
    img = Image.new("RGB", size)
    d = ImageDraw.Draw(img)
    for y in range(h):
        d.line([(0, y), (w - 1, y)], fill=mix(top, bottom, y / max(1, h - 1)))
    return img


# ---------------------------------------------------------------------------------------------
# Backgrounds

def background_base(screen, footer=True):
    img = vgradient((BG_W, BG_H), PAPER_TOP, PAPER_BOTTOM)
    d = ImageDraw.Draw(img)
    # Faint rings in the lower left: a quiet watermark behind the content.
    for i, r in enumerate(range(150, 40, -22)):
        col = mix(PAPER_BOTTOM, WHITE, 0.35 + 0.1 * (i % 2))
        d.ellipse([-r + 10, BG_H - r + 30, r + 10, BG_H + r + 30], outline=col, width=9)
    # Right-hand column behind the command buttons.
    panel = vgradient((BG_W - PANEL_X, FOOTER_Y), PANEL_TOP, PANEL_BOTTOM)
    img.paste(panel, (PANEL_X, 0))
    d.line([(PANEL_X - 1, 0), (PANEL_X - 1, FOOTER_Y - 1)], fill=STEEL)
    d.line([(PANEL_X, 0), (PANEL_X, FOOTER_Y - 1)], fill=WHITE)
    if footer:
        band = vgradient((BG_W, BG_H - FOOTER_Y), FOOTER_TOP, FOOTER_BOTTOM)
        img.paste(band, (0, FOOTER_Y))
        d.line([(0, FOOTER_Y - 1), (BG_W - 1, FOOTER_Y - 1)], fill=STEEL)
        d.line([(0, FOOTER_Y), (BG_W - 1, FOOTER_Y)], fill=WHITE)
    # A thin inset line round the whole picture, so it sits in the grey frame like a panel.
    d.rectangle([0, 0, BG_W - 1, BG_H - 1], outline=STEEL)
    return img, d


def heading(d, x, y, text):
    f = font(17, bold=True)
    d.text((x, y), text, font=f, fill=NAVY)
    d.rectangle([x, y + 24, x + 44, y + 26], fill=BLUE)
    d.rectangle([x + 46, y + 24, x + 52, y + 26], fill=BLUE_LIGHT)


def draw_logo(img, x, y, size):
    """The program's mark: a blue rounded tile with a white arrow pointing up."""
    scale = 4
    s = size * scale
    tile = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    grad = vgradient((s, s), BLUE_LIGHT, NAVY).convert("RGBA")
    mask = Image.new("L", (s, s), 0)
    ImageDraw.Draw(mask).rounded_rectangle([0, 0, s - 1, s - 1], radius=s // 5, fill=255)
    tile.paste(grad, (0, 0), mask)
    d = ImageDraw.Draw(tile)
    d.rounded_rectangle([scale, scale, s - scale - 1, s - scale - 1], radius=s // 5 - scale,
                        outline=(255, 255, 255, 70), width=scale)
    arrow = [(0.50, 0.16), (0.82, 0.50), (0.62, 0.50), (0.62, 0.70), (0.38, 0.70),
             (0.38, 0.50), (0.18, 0.50)]
    d.polygon([(px * s, py * s) for px, py in arrow], fill=WHITE)
    d.rectangle([0.30 * s, 0.76 * s, 0.70 * s, 0.84 * s], fill=WHITE)
    tile = tile.resize((size, size), Image.LANCZOS)
    img.paste(tile, (x, y), tile)


def make_bg():
    img, d = background_base("bg")
    draw_logo(img, 16, 14, 52)
    d.text((80, 14), "NORVIK", font=font(30, bold=True), fill=NAVY)
    d.text((82, 50), "Cong cu nang cap phien ban", font=font(13, bold=True), fill=BLUE)
    body = font(13)
    lines = [
        "Chuong trinh tai ve ban cap nhat moi nhat cua",
        "Norvik tu may chu cua nha san xuat, roi khoi dong",
        "trinh cap nhat Sandel de nang cap Norvik tren",
        "may cua ban.",
    ]
    for i, line in enumerate(lines):
        d.text((18, 84 + i * 18), line, font=body, fill=INK)
    hint = font(12)
    bold = font(12, bold=True)
    y = FOOTER_Y + 16
    x = 18
    for part, f, col in (("Bam ", hint, INK_SOFT), ("Nang cap", bold, NAVY),
                         (" de bat dau, hoac ", hint, INK_SOFT), ("Tro giup", bold, NAVY),
                         (" de xem huong dan.", hint, INK_SOFT)):
        d.text((x, y), part, font=f, fill=col, anchor="lm")
        x += d.textlength(part, font=f)
    return img


def make_bg2():
    img, d = background_base("bg2")
    heading(d, 12, 10, "NANG CAP NORVIK")
    label = font(13, bold=True)
    # Customer code: the label ends just left of the box.
    x, y, w, h = local("bg2", "txtRK")
    d.text((x - 10, y + h // 2), "Ma khach hang:", font=label, fill=INK, anchor="rm")
    # Install folder: the label stands above the box, flush with its left edge.
    x, y, w, h = local("bg2", "txtFolder")
    d.text((x, y - 4), "Thu muc cai dat Norvik:", font=label, fill=INK, anchor="lb")
    bx, by, bw, bh = local("bg2", "cmdBr")
    small = font(11)
    d.text((bx + bw, y - 10), "Chon thu muc", font=small, fill=INK_SOFT, anchor="rb")
    # Progress: the label above the trough in which the bar grows and the caption is written.
    px, py, pw, ph = local("bg2", "ProgressBar")
    d.text((px, FOOTER_Y - 5), "Tien trinh tai ve:", font=label, fill=INK, anchor="lb")
    d.rectangle([px - 1, py - 1, px + pw, py + ph], fill=WHITE, outline=STEEL)
    d.line([(px, py), (px + pw - 1, py)], fill=(226, 232, 240))
    return img


def make_bg3():
    img, d = background_base("bg3")
    heading(d, 12, 10, "THIET LAP PROXY")
    label = font(13, bold=True)
    x, y, w, h = local("bg3", "txtIP")
    d.text((x - 10, y + h // 2), "Dia chi:", font=label, fill=INK, anchor="rm")
    x, y, w, h = local("bg3", "txtPort")
    d.text((x - 10, y + h // 2), "Cong:", font=label, fill=INK, anchor="rm")
    small = font(12)
    d.text((x, y + h + 8), "Vi du: 192.168.1.1 va 8080", font=small, fill=INK_SOFT)
    d.text((18, y + h + 30), "Chi dien khi mang cua ban can proxy de ra Internet.",
           font=font(12), fill=INK)
    d.text((18, FOOTER_Y + 16), "De trong o Cong de dung thiet lap Internet cua Windows.",
           font=font(12), fill=INK_SOFT, anchor="lm")
    return img


def make_bg5():
    img, d = background_base("bg5")
    heading(d, 12, 10, "HUONG DAN")
    steps = [
        ("1", "Bam ", "Nang cap", "."),
        ("2", "Nhap ma khach hang cua ban.", "", ""),
        ("3", "Chon thu muc cai dat Norvik bang nut thu muc.", "", ""),
        ("4", "Bam ", "Dong y", " va cho tai ve xong."),
    ]
    body = font(13)
    bold = font(13, bold=True)
    num = font(11, bold=True)
    for i, (n, a, b, c) in enumerate(steps):
        cy = 58 + i * 26
        d.ellipse([16, cy - 9, 34, cy + 9], fill=BLUE)
        d.text((25, cy), n, font=num, fill=WHITE, anchor="mm")
        x = 44
        for part, f, col in ((a, body, INK), (b, bold, NAVY), (c, body, INK)):
            if part:
                d.text((x, cy), part, font=f, fill=col, anchor="lm")
                x += d.textlength(part, font=f)
    hint = font(12)
    bold12 = font(12, bold=True)
    x, y = 18, FOOTER_Y + 16
    for part, f, col in (("Mang can proxy? Bam ", hint, INK_SOFT), ("Proxy", bold12, NAVY),
                         (" truoc khi nang cap.", hint, INK_SOFT)):
        d.text((x, y), part, font=f, fill=col, anchor="lm")
        x += d.textlength(part, font=f)
    return img


# ---------------------------------------------------------------------------------------------
# Buttons (112 x 26 inside their 2-pixel edge) and the browse button (32 x 32)

def glyph(d, kind, cx, cy, col):
    if kind == "up":
        d.polygon([(cx, cy - 6), (cx + 6, cy), (cx + 2, cy), (cx + 2, cy + 6), (cx - 2, cy + 6),
                   (cx - 2, cy), (cx - 6, cy)], fill=col)
    elif kind == "check":
        d.line([(cx - 6, cy), (cx - 2, cy + 4), (cx + 6, cy - 5)], fill=col, width=3)
    elif kind == "help":
        d.ellipse([cx - 7, cy - 7, cx + 7, cy + 7], outline=col, width=2)
        d.text((cx, cy + 1), "?", font=font(11, bold=True), fill=col, anchor="mm")
    elif kind == "globe":
        d.ellipse([cx - 7, cy - 7, cx + 7, cy + 7], outline=col, width=2)
        d.ellipse([cx - 3, cy - 7, cx + 3, cy + 7], outline=col, width=1)
        d.line([(cx - 7, cy), (cx + 7, cy)], fill=col, width=1)
    elif kind == "exit":
        d.line([(cx - 5, cy - 5), (cx + 5, cy + 5)], fill=col, width=3)
        d.line([(cx - 5, cy + 5), (cx + 5, cy - 5)], fill=col, width=3)


def make_button(text, kind, top, bottom):
    scale = 4
    w, h = 112 * scale, 26 * scale
    img = vgradient((w, h), top, bottom)
    # A soft gloss on the upper half.
    gloss = Image.new("L", (w, h), 0)
    ImageDraw.Draw(gloss).rectangle([0, 0, w, h * 0.45], fill=40)
    img = Image.composite(Image.new("RGB", (w, h), WHITE), img, gloss)
    img = img.resize((112, 26), Image.LANCZOS)
    d = ImageDraw.Draw(img)
    d.line([(0, 0), (111, 0)], fill=mix(top, WHITE, 0.45))
    glyph(d, kind, 17, 13, WHITE)
    f = font(13, bold=True)
    d.text((63, 13), text, font=f, fill=WHITE, anchor="mm")
    return img


def make_browse():
    scale = 4
    s = 32 * scale
    img = vgradient((s, s), (246, 248, 251), (218, 226, 237))
    d = ImageDraw.Draw(img)

    def p(v):
        return v * scale

    # Back of the folder with its tab, then the front flap.
    d.rounded_rectangle([p(5), p(8), p(15), p(13)], radius=p(1.5), fill=FOLDER_DARK)
    d.rounded_rectangle([p(4), p(10), p(27), p(25)], radius=p(1.5), fill=FOLDER,
                        outline=FOLDER_DARK, width=p(1))
    d.polygon([(p(4), p(25)), (p(7.5), p(14)), (p(29), p(14)), (p(26.5), p(25))],
              fill=FOLDER_LIGHT, outline=FOLDER_DARK)
    d.line([(p(4), p(25)), (p(26.5), p(25))], fill=FOLDER_DARK, width=p(1))
    img = img.resize((32, 32), Image.LANCZOS)
    return img


# ---------------------------------------------------------------------------------------------
# Frame: title bar pieces (GIF) and borders and corners (24-bit BMP)

TITLE_ROWS = [NAVY_DARK, mix(BLUE_LIGHT, WHITE, 0.25)] + [
    mix(BLUE, NAVY, (y - 2) / 26) for y in range(2, 29)] + [NAVY_DARK]


def title_column(y):
    return TITLE_ROWS[y]


# The window's outline as CreateRoundRectRgn(0, 0, W, H, 24, 24) gives it (measured on the
# running window): the region leaves out the rightmost column and the bottom row, and in each
# corner the first rows from the edge lose this many pixels.
CORNER_INSET = [9, 6, 5, 4, 3, 2, 1, 1, 1]


def outside_mask(w, h, left, top, right, bottom):
    """Which pixels of a w x h piece lie outside the window's outline. The flags say which of
    the piece's sides lie on the window's edges; a right or bottom edge loses its last
    column or row, and the corners where two edges meet are rounded."""
    out = [[False] * w for _ in range(h)]
    for y in range(h):
        for x in range(w):
            if (right and x == w - 1) or (bottom and y == h - 1):
                out[y][x] = True
                continue
            exs = ([x] if left else []) + ([w - 2 - x] if right else [])
            eys = ([y] if top else []) + ([h - 2 - y] if bottom else [])
            if exs and eys and min(eys) < len(CORNER_INSET) and \
                    min(exs) < CORNER_INSET[min(eys)]:
                out[y][x] = True
    return out


def depth_map(out, left, top, right, bottom):
    """Distance of each pixel from the outside, counting the window's edges as outside."""
    h, w = len(out), len(out[0])
    inf = 10 ** 6
    depth = [[0 if out[y][x] else inf for x in range(w)] for y in range(h)]
    frontier = [(x, y) for y in range(h) for x in range(w) if out[y][x]]
    for y in range(h):
        for x in range(w):
            if out[y][x]:
                continue
            if (left and x == 0) or (top and y == 0):
                depth[y][x] = 1
                frontier.append((x, y))
    # Breadth-first from the outside (4-neighbours).
    while frontier:
        nxt = []
        for x, y in frontier:
            for nx, ny in ((x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)):
                if 0 <= nx < w and 0 <= ny < h and depth[ny][nx] > depth[y][x] + 1:
                    depth[ny][nx] = depth[y][x] + 1
                    nxt.append((nx, ny))
        frontier = nxt
    return depth


def make_title_end(right):
    w, h = 19, 30
    out = outside_mask(w, h, not right, True, right, False)
    depth = depth_map(out, not right, True, right, False)
    img = Image.new("RGB", (w, h))
    opaque = [[not out[y][x] for x in range(w)] for y in range(h)]
    for y in range(h):
        for x in range(w):
            col = title_column(y)
            if not out[y][x]:
                if depth[y][x] == 1:
                    col = NAVY_DARK
                elif depth[y][x] == 2 and y < h - 1:
                    col = mix(col, BLUE_LIGHT, 0.55)
            img.putpixel((x, y), col)
    return img, opaque


def gif_with_key(img, opaque, colours, key_index):
    """A GIF89a of `img` with a palette of exactly `colours` entries, where palette entry
    `key_index` is reserved for the transparent pixels."""
    pixels = [img.getpixel((x, y)) for y in range(img.height) for x in range(img.width)]
    used = sorted({p for p, o in zip(pixels, (o for row in opaque for o in row)) if o})
    if len(used) > colours - 1:
        q = img.quantize(colours - 1, method=Image.MEDIANCUT, dither=Image.NONE)
        pal = q.getpalette()[:3 * (colours - 1)]
        used = [tuple(pal[i:i + 3]) for i in range(0, len(pal), 3)]
    slots = [i for i in range(colours) if i != key_index]
    palette = [(255, 0, 255)] * colours
    for slot, col in zip(slots, used):
        palette[slot] = col

    def nearest(c):
        best = min(range(len(used)), key=lambda i: sum((c[k] - used[i][k]) ** 2 for k in range(3)))
        return slots[best]

    out = Image.new("P", img.size)
    out.putpalette([v for c in palette for v in c])
    for y in range(img.height):
        for x in range(img.width):
            out.putpixel((x, y), nearest(img.getpixel((x, y))) if opaque[y][x] else key_index)
    return out


def save_gif(img, path, transparency=None):
    kwargs = {"optimize": False}
    if transparency is not None:
        kwargs["transparency"] = transparency
    img.save(path, format="GIF", **kwargs)
    # Pillow labels a picture without extensions GIF87a; the skin's pictures are all GIF89a
    # (a superset with the same data), so state the version the loaders are told to expect.
    with open(path, "r+b") as f:
        if f.read(6) == b"GIF87a":
            f.seek(0)
            f.write(b"GIF89a")


def make_title_main():
    img = Image.new("RGB", (3, 30))
    for y in range(30):
        for x in range(3):
            img.putpixel((x, y), title_column(y))
    # A full 256-entry table: the bar's colours first, the rest a grey ramp.
    cols = []
    for y in range(30):
        if title_column(y) not in cols:
            cols.append(title_column(y))
    pal = cols + [(i, i, i) for i in range(256 - len(cols))]
    out = Image.new("P", (3, 30))
    out.putpalette([v for c in pal for v in c])
    for y in range(30):
        for x in range(3):
            out.putpixel((x, y), cols.index(title_column(y)))
    return out


FRAME_OUTER = NAVY_DARK
FRAME_LIGHT = (238, 238, 238)
FRAME_LIGHT2 = (224, 224, 224)
FRAME_SHADOW = (150, 150, 150)
FRAME_SHADOW2 = (186, 186, 186)


def make_frame_piece(left, top, right, bottom):
    """A 19 x 30 border or corner piece: a dark outline along the window's edges, a light
    bevel inside the left and top edges, a shadow inside the right and bottom ones, and the
    window's own grey within."""
    w, h = 19, 30
    out = outside_mask(w, h, left, top, right, bottom)
    depth = depth_map(out, left, top, right, bottom)
    img = Image.new("RGB", (w, h), FRAME_OUTER)
    for y in range(h):
        for x in range(w):
            if out[y][x]:
                continue  # never drawn: outside the outline
            d = depth[y][x]
            # Which edge is nearest decides between the light and the shadow bevel.
            dist = []
            if left:
                dist.append((x, "light"))
            if right:
                dist.append((w - 2 - x, "shadow"))
            if bottom:
                dist.append((h - 2 - y, "shadow"))
            side = min(dist)[1] if dist else "light"
            if d == 1:
                col = FRAME_OUTER
            elif d == 2:
                col = FRAME_LIGHT if side == "light" else FRAME_SHADOW
            elif d == 3:
                col = FRAME_LIGHT2 if side == "light" else FRAME_SHADOW2
            else:
                col = SURFACE
            img.putpixel((x, y), col)
    return img


def make_side(right):
    return make_frame_piece(not right, False, right, False)


def make_bottom():
    return make_frame_piece(False, False, False, True)


def make_bottom_corner(right):
    return make_frame_piece(not right, False, right, True)


# ---------------------------------------------------------------------------------------------
# Icon and pointer: classic BMP-format images inside .ico/.cur files and raw resources

def dib(img, bits, palette=None, mask=None, hot=None):
    """BITMAPINFOHEADER + palette + colour rows + AND mask, bottom-up, as in icon resources."""
    w, h = img.size
    pal = b""
    if bits <= 8:
        entries = 1 << bits
        pal = b"".join(struct.pack("BBBB", c[2], c[1], c[0], 0) for c in palette)
        pal += b"\0\0\0\0" * (entries - len(palette))
    stride = ((w * bits + 31) // 32) * 4
    rows = b""
    for y in range(h - 1, -1, -1):
        if bits == 24:
            row = b"".join(struct.pack("BBB", *reversed(img.getpixel((x, y)))) for x in range(w))
        elif bits == 8:
            row = bytes(img.getpixel((x, y)) for x in range(w))
        elif bits == 4:
            vals = [img.getpixel((x, y)) for x in range(w)]
            row = bytes((vals[i] << 4) | vals[i + 1] for i in range(0, w, 2))
        rows += row + b"\0" * (stride - len(row))
    mstride = ((w + 31) // 32) * 4
    masks = b""
    for y in range(h - 1, -1, -1):
        row = bytearray(mstride)
        for x in range(w):
            if mask and not mask[y][x]:
                row[x // 8] |= 0x80 >> (x % 8)
        masks += bytes(row)
    body = rows + masks
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, bits, 0, len(body), 0, 0, 0, 0)
    return header + pal + body


def icon_images():
    """The 16 x 16 (24-bit) and 32 x 32 (8-bit) icon images with their masks."""
    result = []
    for size, bits in ((16, 24), (32, 8)):
        canvas = Image.new("RGBA", (size, size), (0, 0, 0, 0))
        draw_logo(canvas, 0, 0, size)
        mask = [[canvas.getpixel((x, y))[3] >= 128 for x in range(size)] for y in range(size)]
        rgb = Image.new("RGB", (size, size), (0, 0, 0))
        rgb.paste(canvas, (0, 0), canvas)
        for y in range(size):
            for x in range(size):
                if not mask[y][x]:
                    rgb.putpixel((x, y), (0, 0, 0))
        if bits == 24:
            data = dib(rgb, 24, mask=mask)
        else:
            q = rgb.quantize(255, method=Image.MEDIANCUT, dither=Image.NONE)
            pal = q.getpalette()[:3 * 256]
            pal += [0] * (3 * 256 - len(pal))
            palette = [tuple(pal[i:i + 3]) for i in range(0, 768, 3)]
            data = dib(q, 8, palette=palette, mask=mask)
        result.append((size, bits, data, rgb, mask))
    return result


def write_icon_file(path, images):
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, bits, data, _, _ in images:
        colours = (1 << bits) if bits < 8 else 0
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bits,
                               len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(head + entries + b"".join(i[2] for i in images))


def write_group_icon(path, images, ids):
    """RT_GROUP_ICON data: the directory with resource ids in place of file offsets."""
    out = struct.pack("<HHH", 0, 1, len(images))
    for (size, bits, data, _, _), rid in zip(images, ids):
        colours = (1 << bits) if bits < 8 else 0
        out += struct.pack("<BBBBHHIH", size % 256, size % 256, colours, 0, 1, bits, len(data),
                           rid)
    with open(path, "wb") as f:
        f.write(out)


# The button pointer: a pointing hand, hot spot at the tip of the index finger.
HAND = [
    "......##........",
    ".....#..#.......",
    ".....#..#.......",
    ".....#..#.......",
    ".....#..#.......",
    ".....#..###.....",
    ".....#..#..###..",
    ".....#..#..#..##",
    "..##.#..#..#..#.#",
    ".#..##........#..#",
    ".#...#...........#",
    "..#..............#",
    "...#.............#",
    "...#............#.",
    "....#...........#.",
    "....#..........#..",
    ".....#.........#..",
    ".....#........#...",
    "......#.......#...",
    "......#########...",
]
HAND_HOT = (7, 0)


def make_pointer():
    w = h = 32
    grid = [row.ljust(w, ".") for row in HAND] + ["." * w] * (h - len(HAND))
    # Outside = reachable from the border without crossing the outline.
    outside = [[False] * w for _ in range(h)]
    stack = [(x, y) for x in range(w) for y in (0, h - 1)] + [(x, y) for y in range(h)
                                                              for x in (0, w - 1)]
    while stack:
        x, y = stack.pop()
        if not (0 <= x < w and 0 <= y < h) or outside[y][x] or grid[y][x] == "#":
            continue
        outside[y][x] = True
        stack += [(x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)]
    # 16-colour palette: black, white, then the standard VGA colours.
    palette = [(0, 0, 0), (255, 255, 255), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128),
               (128, 0, 128), (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0),
               (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255)]
    img = Image.new("P", (w, h), 0)
    mask = [[True] * w for _ in range(h)]
    preview = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    for y in range(h):
        for x in range(w):
            if grid[y][x] == "#":
                img.putpixel((x, y), 0)
                preview.putpixel((x, y), (0, 0, 0, 255))
            elif outside[y][x]:
                img.putpixel((x, y), 0)
                mask[y][x] = False
            else:
                img.putpixel((x, y), 1)
                preview.putpixel((x, y), (255, 255, 255, 255))
    data = dib(img, 4, palette=palette, mask=mask)
    return data, preview


def write_cursor_file(path, data, hot):
    head = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", 32, 32, 16, 0, hot[0], hot[1], len(data), 22)
    with open(path, "wb") as f:
        f.write(head + entry + data)


def write_cursor_resources(image_path, group_path, data, hot, rid):
    """RT_CURSOR data (hot spot, then the image) and the RT_GROUP_CURSOR directory naming it
    with its true bit depth (the resource compiler's CURSOR statement would record 1 bit)."""
    with open(image_path, "wb") as f:
        f.write(struct.pack("<HH", hot[0], hot[1]) + data)
    group = struct.pack("<HHH", 0, 2, 1)
    group += struct.pack("<HHHHIH", 32, 64, 1, 4, 4 + len(data), rid)
    with open(group_path, "wb") as f:
        f.write(group)


# ---------------------------------------------------------------------------------------------

def save_jpeg(img, path, progressive):
    img.save(path, format="JPEG", quality=92, subsampling=0, progressive=progressive,
             optimize=False, dpi=(96, 96))


def preview(outdir, pictures, pointer_preview, icons):
    """Composite previews: each screen with its frame, controls drawn as outlines."""
    os.makedirs(outdir, exist_ok=True)
    W, H = 528, 255
    for screen, controls in SCREENS.items():
        win = Image.new("RGB", (W, H), SURFACE)
        frame = [
            ("imgWindowRight", (W - 19, 30), (19, H - 38)),
            ("imgWindowLeft", (0, 30), (19, H - 60)),
            ("imgWindowBottom", (19, H - 30), (W - 38, 30)),
            ("imgWindowBottomRight", (W - 19, H - 30), None),
            ("imgWindowBottomLeft", (0, H - 30), None),
            ("imgTitleMain", (19, 0), (W - 19, 30)),
            ("imgTitleRight", (W - 19, 0), None),
            ("imgTitleLeft", (0, 0), None),
        ]
        for name, pos, size in frame:
            pic = pictures[name].convert("RGBA")
            if size:
                pic = pic.resize(size, Image.NEAREST)
            win.paste(pic, pos, pic)
        win.paste(pictures[screen], BG_ORIGIN[screen])
        d = ImageDraw.Draw(win)
        d.text((16, 7 + 8), "Upgrade Norvik 12.0", font=font(13, bold=True), fill=WHITE,
               anchor="lm")
        for c in controls:
            x, y, w, h = CONTROLS[c]
            if c.startswith("cmd"):
                pic = pictures[c]
                border = 1 if c == "cmdBr" else 2
                d.rectangle([x, y, x + w - 1, y + h - 1], outline=(128, 128, 128))
                win.paste(pic, (x + border, y + border))
            elif c.startswith("txt"):
                d.rectangle([x, y, x + w - 1, y + h - 1], fill=WHITE, outline=(100, 100, 100))
            elif c == "ProgressBar":
                d.rectangle([x, y, x + 150, y + h - 1], fill=(0, 120, 215))
            elif c == "ProgressCap":
                d.text((x + w // 2, y + h // 2), "Sandel.exe: 1.234 / 5.678 KB", font=font(11, True),
                       fill=(0, 0, 0), anchor="mm")
        # Outside the rounded outline nothing is drawn: show it as the desktop.
        out_mask = outside_mask(W, H, True, True, True, True)
        mask = Image.new("L", (W, H), 0)
        mask.putdata([0 if out_mask[y][x] else 255 for y in range(H) for x in range(W)])
        out = Image.new("RGB", (W, H), (58, 110, 165))
        out.paste(win, (0, 0), mask)
        out.resize((W * 2, H * 2), Image.NEAREST).save(os.path.join(outdir, f"screen_{screen}.png"))
    sheet = Image.new("RGB", (200, 80), (58, 110, 165))
    sheet.paste(pointer_preview.resize((64, 64), Image.NEAREST), (4, 8), pointer_preview.resize(
        (64, 64), Image.NEAREST))
    x = 80
    for size, bits, data, rgb, mask in icons:
        m = Image.new("L", (size, size))
        m.putdata([255 if mask[y][xx] else 0 for y in range(size) for xx in range(size)])
        big = 64 if size == 32 else 32
        sheet.paste(rgb.resize((big, big), Image.NEAREST), (x, 8),
                    m.resize((big, big), Image.NEAREST))
        x += big + 12
    sheet.save(os.path.join(outdir, "pointer_icons.png"))


def verify(paths):
    """Reports what ImageMagick reads from the files (format, size, interlace, sampling)."""
    for path in paths:
        fmt = "%f %m %wx%h %[colorspace] %[interlace] %[jpeg:sampling-factor]\\n"
        res = subprocess.run([IDENTIFY, "-format", fmt, path], capture_output=True, text=True)
        sys.stdout.write(res.stdout or res.stderr)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--preview", help="folder for composite preview PNGs")
    ap.add_argument("--quiet", action="store_true")
    args = ap.parse_args()
    os.makedirs(OUT, exist_ok=True)
    pictures = {}
    written = []

    def out(name):
        path = os.path.join(OUT, name)
        written.append(path)
        return path

    for name, maker, progressive in (("bg", make_bg, False), ("bg2", make_bg2, False),
                                     ("bg3", make_bg3, True), ("bg5", make_bg5, False)):
        img = maker()
        pictures[name] = img
        save_jpeg(img, out(name + ".jpg"), progressive)

    buttons = (
        ("cmdUpd", "Nang cap", "up", BLUE_LIGHT, NAVY, False),
        ("cmdOK", "Dong y", "check", GREEN_LIGHT, GREEN, False),
        ("cmdHelp", "Tro giup", "help", BLUE_LIGHT, NAVY, True),
        ("cmdProxy", "Proxy", "globe", BLUE_LIGHT, NAVY, True),
        ("cmdExit", "Thoat", "exit", RED_LIGHT, RED, True),
    )
    for name, text, kind, top, bottom, progressive in buttons:
        img = make_button(text, kind, top, bottom)
        pictures[name] = img
        save_jpeg(img, out(name + ".jpg"), progressive)
    pictures["cmdBr"] = make_browse()
    save_jpeg(pictures["cmdBr"], out("cmdBr.jpg"), False)

    for name, right in (("imgTitleLeft", False), ("imgTitleRight", True)):
        img, opaque = make_title_end(right)
        gif = gif_with_key(img, opaque, 64, 48)
        save_gif(gif, out(name + ".gif"), transparency=48)
        pictures[name] = gif
    main_gif = make_title_main()
    save_gif(main_gif, out("imgTitleMain.gif"))
    pictures["imgTitleMain"] = main_gif

    for name, img in (("imgWindowLeft", make_side(False)), ("imgWindowRight", make_side(True)),
                      ("imgWindowBottom", make_bottom()),
                      ("imgWindowBottomLeft", make_bottom_corner(False)),
                      ("imgWindowBottomRight", make_bottom_corner(True))):
        img.save(out(name + ".bmp"), format="BMP")
        pictures[name] = img

    icons = icon_images()
    write_icon_file(out("UpgradeNorvik.ico"), icons)
    for (size, bits, data, _, _), rid in zip(icons, (30001, 30002)):
        with open(out(f"icon{rid}.bin"), "wb") as f:
            f.write(data)
    write_group_icon(out("icon_group1.bin"), icons, (30001, 30002))
    pointer, pointer_preview = make_pointer()
    write_cursor_file(out("ButtonPointer.cur"), pointer, HAND_HOT)
    write_cursor_resources(out("cursor200.bin"), out("cursor_group200.bin"), pointer, HAND_HOT,
                           200)

    if not args.quiet:
        verify([p for p in written if not p.endswith(".bin")])
    if args.preview:
        preview(args.preview, pictures, pointer_preview, icons)


if __name__ == "__main__":
    main()
