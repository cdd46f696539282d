#!/usr/bin/env python3
"""Draws the launcher's resource pictures: window outline (130), button pictures (131-137) and
the icon (140). Deterministic, so every build embeds the same bytes.

    make_artwork.py OUTPUT_FOLDER
"""
import math
import struct
import sys
from pathlib import Path


def bmp_24(width, height, pixel):
    """A bottom-up 24-bit BMP; pixel(x, y) gives (r, g, b) with y counted from the top."""
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in reversed(range(height)):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += bytes(stride - len(row))
        rows.append(bytes(row))
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + data


def bmp_8(width, height, palette, index):
    """A bottom-up 8-bit palette BMP; index(x, y) gives the palette entry."""
    stride = (width + 3) & ~3
    data = b"".join(bytes(index(x, y) for x in range(width)) + bytes(stride - width)
                    for y in reversed(range(height)))
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    offset = 54 + len(table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(data), 2835, 2835, len(palette), 0)
    return header + info + table + data


def inside_rounded(x, y, width, height, radius):
    cx = min(max(x, radius), width - 1 - radius)
    cy = min(max(y, radius), height - 1 - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def window_shape():
    # Pure white (palette entry 1) marks the window: a rounded panel with a tab on top for the
    # title art, everything else is cut away.
    width, height = 660, 450

    def index(x, y):
        panel = y >= 20 and inside_rounded(x, y - 20, width, height - 20, 28)
        tab = 40 <= x < 260 and y < 40 and inside_rounded(x - 40, y, 220, 60, 18)
        return 1 if panel or tab else 0
    return bmp_8(width, height, [(0, 0, 0), (255, 255, 255), (32, 32, 32)], index)


def mix(a, b, t):
    return tuple(int(round(p + (q - p) * t)) for p, q in zip(a, b))


def button(width, height, top, bottom, glyph, pressed=False):
    """A bevelled button: vertical gradient, one-pixel frame, and a glyph drawn by `glyph`."""
    def pixel(x, y):
        if x in (0, width - 1) or y in (0, height - 1):
            return (20, 20, 20)
        shade = mix(top, bottom, y / (height - 1))
        if pressed:
            shade = mix(shade, (0, 0, 0), 0.25)
        if glyph(x - (1 if pressed else 0), y - (1 if pressed else 0)):
            return (250, 250, 240)
        return shade
    return bmp_24(width, height, pixel)


def close_glyph(x, y):
    # An X in the middle of the 46 by 20 button.
    dx, dy = x - 23, y - 10
    return abs(dy) <= 5 and (abs(dx - dy) <= 1 or abs(dx + dy) <= 1)


def home_glyph(x, y):
    # A small house: roof triangle over a square.
    dx, dy = x - 45, y - 13
    roof = -8 <= dy <= -1 and abs(dx) <= dy + 9
    wall = 0 <= dy <= 7 and abs(dx) <= 6 and not (dy >= 3 and abs(dx) <= 1)
    return roof or wall


def start_glyph(x, y):
    # A play triangle.
    dx, dy = x - 40, y - 13
    return 0 <= dx <= 12 and abs(dy) <= 8 - dx * 8 // 12


def icon():
    """A 32 by 32 icon, 32 bits per pixel with its AND mask: a ring with a tail."""
    size = 32

    def alpha_pixel(x, y):
        d = math.hypot(x - 15.5, y - 15.5)
        ring = 8 <= d <= 13
        tail = 20 <= x <= 29 and 20 <= y <= 29 and abs(x - y) <= 2
        if ring or tail:
            return (255, mix((30, 120, 220), (20, 60, 140), y / 31))
        return (0, (0, 0, 0))

    xor = bytearray()
    for y in reversed(range(size)):
        for x in range(size):
            a, (r, g, b) = alpha_pixel(x, y)
            xor += bytes((b, g, r, a))
    mask = bytearray()
    for y in reversed(range(size)):
        bits = 0
        for x in range(size):
            if alpha_pixel(x, y)[0] == 0:
                bits |= 1 << (31 - x)
        mask += bits.to_bytes(4, "big")
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = info + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 22)
    return directory + image


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    close_top, close_bottom = (200, 60, 50), (130, 25, 20)
    home_top, home_bottom = (70, 140, 220), (25, 70, 150)
    start_top, start_bottom = (90, 200, 90), (30, 120, 40)
    files = {
        "window_shape.bmp": window_shape(),
        "close_normal.bmp": button(46, 20, close_top, close_bottom, close_glyph),
        "close_pressed.bmp": button(46, 20, close_top, close_bottom, close_glyph, pressed=True),
        "homepage_normal.bmp": button(90, 27, home_top, home_bottom, home_glyph),
        "homepage_pressed.bmp": button(90, 27, home_top, home_bottom, home_glyph, pressed=True),
        "start_normal.bmp": button(90, 27, start_top, start_bottom, start_glyph),
        "start_pressed.bmp": button(90, 27, start_top, start_bottom, start_glyph, pressed=True),
        "start_disabled.bmp": button(90, 27, (150, 150, 150), (100, 100, 100), start_glyph),
        "launcher.ico": icon(),
    }
    for name, data in files.items():
        path = out / name
        if not path.exists() or path.read_bytes() != data:
            path.write_bytes(data)


if __name__ == "__main__":
    main()
