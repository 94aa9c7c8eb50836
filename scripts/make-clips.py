#!/usr/bin/env python3
"""Draws the two looping clips of the progress dialog and writes them as
RLE8 AVI files that the animation control plays without a codec:

  resources/progress_copy.avi    a sheet flies from one folder to another
  resources/progress_delete.avi  a sheet flies from a folder into a bin

Run from the repository's root after changing the drawings; the .avi files
are committed so that the build needs no Python.
"""
import math
import struct
import sys

WIDTH, HEIGHT = 256, 48
FRAMES = 20
MICROSECONDS_PER_FRAME = 75000

BACK, OUTLINE, FOLDER, FOLDER_DARK, PAPER, PAPER_LINE, BIN, BIN_DARK, BIN_LIGHT, SHADOW = range(10)
PALETTE = [
    (240, 240, 240),  # background: the top-left pixel, drawn transparent
    (70, 70, 78),
    (255, 212, 96),
    (216, 164, 44),
    (255, 255, 255),
    (120, 140, 190),
    (150, 154, 166),
    (96, 100, 112),
    (204, 208, 218),
    (200, 200, 200),
]


class Canvas:
    def __init__(self):
        self.px = [[BACK] * WIDTH for _ in range(HEIGHT)]

    def rect(self, x0, y0, x1, y1, color):
        for y in range(max(0, y0), min(HEIGHT, y1)):
            row = self.px[y]
            for x in range(max(0, x0), min(WIDTH, x1)):
                row[x] = color

    def frame(self, x0, y0, x1, y1, fill, line=OUTLINE):
        self.rect(x0, y0, x1, y1, line)
        self.rect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, fill)


def draw_folder(c, x, y):
    """A 40x30 folder whose top-left corner is (x, y)."""
    c.frame(x, y, x + 16, y + 6, FOLDER_DARK)          # tab
    c.frame(x, y + 4, x + 40, y + 30, FOLDER_DARK)     # back
    c.frame(x, y + 9, x + 40, y + 30, FOLDER)          # front flap
    c.rect(x + 2, y + 30, x + 42, y + 32, SHADOW)


def draw_paper(c, x, y):
    """A 14x18 sheet with text lines, top-left corner (x, y)."""
    c.frame(x, y, x + 14, y + 18, PAPER)
    c.rect(x + 10, y, x + 14, y + 4, BACK)             # dog-ear
    c.rect(x + 10, y + 3, x + 14, y + 4, OUTLINE)
    c.rect(x + 10, y, x + 11, y + 4, OUTLINE)
    for line in range(4):
        c.rect(x + 3, y + 6 + 3 * line, x + 11, y + 7 + 3 * line, PAPER_LINE)


def draw_bin(c, x, y):
    """A 32x32 bin with its lid, top-left corner (x, y)."""
    c.frame(x + 12, y, x + 20, y + 3, BIN_DARK)         # handle
    c.frame(x, y + 2, x + 32, y + 6, BIN_LIGHT)         # lid
    c.frame(x + 2, y + 6, x + 30, y + 32, BIN)          # body
    for stripe in range(4):
        sx = x + 7 + 6 * stripe
        c.rect(sx, y + 9, sx + 2, y + 29, BIN_DARK)
    c.rect(x + 4, y + 32, x + 32, y + 34, SHADOW)


def sheet_position(t, start_x, end_x, base_y, height):
    x = start_x + (end_x - start_x) * t
    y = base_y - height * math.sin(math.pi * t)
    return int(round(x)), int(round(y))


def copy_frame(i):
    c = Canvas()
    draw_folder(c, 14, 14)
    t = i / FRAMES
    x, y = sheet_position(t, 27, 215, 14, 16)
    draw_paper(c, x, y)
    draw_folder(c, 202, 14)
    return c


def delete_frame(i):
    c = Canvas()
    draw_folder(c, 14, 14)
    t = i / FRAMES
    x, y = sheet_position(t, 27, 219, 12, 14)
    draw_paper(c, x, y)
    # The bin's body hides the sheet once it has dropped in.
    draw_bin(c, 210, 12)
    return c


def rle8(canvas):
    """Encodes a frame bottom-up in RLE8 runs (no absolute mode needed)."""
    out = bytearray()
    for y in range(HEIGHT - 1, -1, -1):
        row = canvas.px[y]
        x = 0
        while x < WIDTH:
            color = row[x]
            run = 1
            while x + run < WIDTH and run < 255 and row[x + run] == color:
                run += 1
            out += bytes((run, color))
            x += run
        out += b"\x00\x00"                     # end of line
    out[-2:] = b"\x00\x01"                     # end of bitmap
    return bytes(out)


def chunk(fourcc, data):
    body = fourcc + struct.pack("<I", len(data)) + data
    return body + (b"\x00" if len(data) % 2 else b"")


def riff_list(kind, fourcc, data):
    return kind + struct.pack("<I", len(data) + 4) + fourcc + data


def write_avi(path, frames):
    encoded = [rle8(f) for f in frames]
    largest = max(len(e) for e in encoded)
    largest += largest % 2

    avih = struct.pack("<14I", MICROSECONDS_PER_FRAME, largest * 1000000 // MICROSECONDS_PER_FRAME,
                       0, 0x10, len(frames), 0, 1, largest, WIDTH, HEIGHT, 0, 0, 0, 0)
    strh = struct.pack("<4s4sIHHIIIIIIIIhhhh", b"vids", b"RLE ", 0, 0, 0, 0,
                       MICROSECONDS_PER_FRAME, 1000000, 0, len(frames), largest, 0xFFFFFFFF,
                       0, 0, 0, WIDTH, HEIGHT)
    # biSizeImage is the largest frame: the control hands every frame to GDI
    # with this one header.
    bih = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 1, largest, 0, 0,
                      len(PALETTE), len(PALETTE))
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    strl = riff_list(b"LIST", b"strl", chunk(b"strh", strh) + chunk(b"strf", bih + palette))
    hdrl = riff_list(b"LIST", b"hdrl", chunk(b"avih", avih) + strl)

    movi_data = bytearray()
    index = bytearray()
    for e in encoded:
        offset = 4 + len(movi_data)            # from the 'movi' fourcc
        movi_data += chunk(b"00dc", e)
        index += struct.pack("<4sIII", b"00dc", 0x10, offset, len(e))
    movi = riff_list(b"LIST", b"movi", bytes(movi_data))
    body = hdrl + movi + chunk(b"idx1", bytes(index))
    with open(path, "wb") as f:
        f.write(riff_list(b"RIFF", b"AVI ", body))


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else "."
    write_avi(f"{root}/resources/progress_copy.avi", [copy_frame(i) for i in range(FRAMES)])
    write_avi(f"{root}/resources/progress_delete.avi", [delete_frame(i) for i in range(FRAMES)])


if __name__ == "__main__":
    main()
