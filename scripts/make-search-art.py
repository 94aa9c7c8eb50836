#!/usr/bin/env python3
"""Draws the search window's icon and its looking clip:

  resources/search_window.ico      a magnifier over a module card, 32x32 and 16x16
  resources/search_animation.avi   a magnifier sweeping over a sheet of text

The clip is written by the progress clips' encoder (make-clips.py). Run from
the repository's root after changing the drawings; the outputs are committed
so that the build needs no Python.
"""
import importlib.util
import math
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
loader_spec = importlib.util.spec_from_file_location("clips", os.path.join(HERE, "make-clips.py"))
clips = importlib.util.module_from_spec(loader_spec)
loader_spec.loader.exec_module(clips)

# --- the icon ---------------------------------------------------------------

CARD = (40, 96, 168)
CARD_LIGHT = (96, 150, 214)
CHIP = (232, 196, 80)
RIM = (60, 60, 66)
GLASS = (200, 228, 250)
HANDLE = (120, 72, 32)


def icon_pixels(size):
    """RGBA rows, top first."""
    s = size / 32.0
    px = [[None] * size for _ in range(size)]

    def put(x, y, color):
        if 0 <= x < size and 0 <= y < size:
            px[y][x] = color

    # The module: a card with a contact chip.
    for y in range(int(3 * s), int(25 * s)):
        for x in range(int(2 * s), int(22 * s)):
            edge = y in (int(3 * s), int(25 * s) - 1) or x in (int(2 * s), int(22 * s) - 1)
            put(x, y, RIM if edge else (CARD_LIGHT if y < int(9 * s) else CARD))
    for y in range(int(12 * s), int(19 * s)):
        for x in range(int(5 * s), int(11 * s)):
            put(x, y, CHIP)
    # The magnifier: a ring with glass and a handle to the lower right.
    cx, cy, r = 19 * s, 17 * s, 8 * s
    for y in range(size):
        for x in range(size):
            d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
            if d <= r - 2 * s:
                put(x, y, GLASS)
            elif d <= r:
                put(x, y, RIM)
    for t in range(int(10 * s)):
        for w in range(-max(1, int(1.5 * s)), max(1, int(1.5 * s)) + 1):
            x = int(cx + r * 0.7 + t) + (w if w > 0 else 0)
            y = int(cy + r * 0.7 + t) - (w if w < 0 else 0)
            put(x, y, HANDLE)
    return px


def icon_image(size):
    px = icon_pixels(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for row in reversed(px):
        for c in row:
            xor += bytes((0, 0, 0, 0)) if c is None else bytes((c[2], c[1], c[0], 255))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(px):
        bits = bytearray(mask_stride)
        for x, c in enumerate(row):
            if c is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(xor) + bytes(mask)


def write_ico(path, sizes):
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))

# --- the clip ---------------------------------------------------------------

FRAMES = 16


def search_frame(i):
    c = clips.Canvas()
    # A sheet with lines of text.
    c.frame(14, 6, 50, 54, clips.PAPER)
    for line in range(8):
        c.rect(18, 11 + 5 * line, 46 - (line % 3) * 6, 13 + 5 * line, clips.PAPER_LINE)
    # The magnifier moves round an ellipse over the sheet.
    a = 2 * math.pi * i / FRAMES
    cx = 30 + 10 * math.cos(a)
    cy = 26 + 8 * math.sin(a)
    for y in range(clips.HEIGHT):
        for x in range(clips.WIDTH):
            d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
            if d <= 7:
                c.px[y][x] = clips.BIN_LIGHT if c.px[y][x] == clips.BACK else c.px[y][x]
            elif d <= 9:
                c.px[y][x] = clips.OUTLINE
    for t in range(10):
        for w in range(3):
            x = int(cx + 6 + t) + w
            y = int(cy + 6 + t)
            if 0 <= x < clips.WIDTH and 0 <= y < clips.HEIGHT:
                c.px[y][x] = clips.FOLDER_DARK
    return c


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else "."
    write_ico(f"{root}/resources/search_window.ico", [32, 16])
    clips.WIDTH, clips.HEIGHT = 64, 64
    clips.MICROSECONDS_PER_FRAME = 100000
    clips.write_avi(f"{root}/resources/search_animation.avi", [search_frame(i) for i in range(FRAMES)])


if __name__ == "__main__":
    main()
