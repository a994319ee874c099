#!/usr/bin/env python3
"""Pre-decodes skin pictures for the build: each picture (JPEG, GIF, BMP) becomes OUT_DIR/<name>.bmp,
a 32-bit top-down BMP with premultiplied alpha (bytes B, G, R, A), the form the window draws. The
window shows its first screen from these copies, so it needs no picture decoder before it is
shown.

Usage: predecode.py OUT_DIR PICTURE...
"""
import os
import struct
import sys

from PIL import Image


def premultiplied_bgra(image):
    """The pixels as premultiplied B, G, R, A bytes, top row first."""
    out = bytearray()
    for r, g, b, a in image.convert("RGBA").getdata():
        out += bytes(((b * a + 127) // 255, (g * a + 127) // 255, (r * a + 127) // 255, a))
    return bytes(out)


def write_bmp(path, width, height, pixels):
    info = struct.pack("<IiiHHIIiiII", 40, width, -height, 1, 32, 0, len(pixels), 0, 0, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path + ".tmp", "wb") as f:
        f.write(header + info + pixels)
    os.replace(path + ".tmp", path)


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    out_dir = argv[1]
    os.makedirs(out_dir, exist_ok=True)
    for picture in argv[2:]:
        with Image.open(picture) as image:
            name = os.path.splitext(os.path.basename(picture))[0]
            write_bmp(os.path.join(out_dir, name + ".bmp"), image.width, image.height,
                      premultiplied_bgra(image))


if __name__ == "__main__":
    main(sys.argv)
