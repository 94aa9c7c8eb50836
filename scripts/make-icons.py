#!/usr/bin/env python3
"""Draws the library's icons and writes them as .ico files (16, 32 and 48
pixels, 32-bit colour with alpha and a mask for old hosts):

  resources/module.ico          the module: a wireless module with a flash card
  resources/several_items.ico   a stack of sheets (property pages of a selection)
  resources/module_drive.ico    the flash card alone
  resources/module_search.ico   a magnifier over a flash card
  resources/module_folder.ico   a folder with a flash card
  resources/search_config.ico   a saved search: a sheet with a magnifier

Shapes are given in a 32-unit square and drawn 4x supersampled, then reduced,
so that the 16-pixel versions keep their outlines. Run from the repository's
root after changing a drawing; the .ico files are committed so that the build
needs no Python.
"""
import math
import struct

SUPER = 4


class Canvas:
    def __init__(self, size):
        self.size = size
        self.n = size * SUPER
        self.px = [[(0, 0, 0, 0)] * self.n for _ in range(self.n)]
        self.k = self.n / 32.0   # units to supersampled pixels

    def _blend(self, x, y, colour):
        r, g, b, a = colour
        if a >= 255:
            self.px[y][x] = (r, g, b, 255)
            return
        pr, pg, pb, pa = self.px[y][x]
        fa = a / 255.0
        out_a = fa + pa / 255.0 * (1 - fa)
        if out_a <= 0:
            return
        mix = lambda c, p: int((c * fa + p * (pa / 255.0) * (1 - fa)) / out_a)
        self.px[y][x] = (mix(r, pr), mix(g, pg), mix(b, pb), int(out_a * 255))

    def shape(self, inside, colour, box=None):
        """Fills every supersampled pixel whose centre (in units) is inside."""
        x0, y0, x1, y1 = box if box else (0, 0, 32, 32)
        for y in range(max(0, int(y0 * self.k)), min(self.n, int(math.ceil(y1 * self.k)))):
            for x in range(max(0, int(x0 * self.k)), min(self.n, int(math.ceil(x1 * self.k)))):
                ux, uy = (x + 0.5) / self.k, (y + 0.5) / self.k
                if inside(ux, uy):
                    self._blend(x, y, colour)

    def rect(self, x0, y0, x1, y1, colour, radius=0.0):
        def inside(x, y):
            if not (x0 <= x < x1 and y0 <= y < y1):
                return False
            if radius <= 0:
                return True
            cx = min(max(x, x0 + radius), x1 - radius)
            cy = min(max(y, y0 + radius), y1 - radius)
            return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2
        self.shape(inside, colour, (x0, y0, x1, y1))

    def framed(self, x0, y0, x1, y1, fill, outline, width=1.0, radius=0.0):
        """A filled rectangle with an outline at least one final pixel wide."""
        w = max(width, 32.0 / self.size)
        self.rect(x0, y0, x1, y1, outline, radius)
        self.rect(x0 + w, y0 + w, x1 - w, y1 - w, fill, max(0.0, radius - w))

    def polygon(self, points, colour):
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]

        def inside(x, y):
            hit = False
            j = len(points) - 1
            for i in range(len(points)):
                xi, yi = points[i]
                xj, yj = points[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    hit = not hit
                j = i
            return hit
        self.shape(inside, colour, (min(xs), min(ys), max(xs) + 1, max(ys) + 1))

    def line(self, x0, y0, x1, y1, colour, width=1.0):
        w = max(width, 32.0 / self.size) / 2.0
        dx, dy = x1 - x0, y1 - y0
        length2 = dx * dx + dy * dy or 1.0

        def inside(x, y):
            t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
            px, py = x0 + t * dx, y0 + t * dy
            return (x - px) ** 2 + (y - py) ** 2 <= w * w
        self.shape(inside, colour, (min(x0, x1) - w, min(y0, y1) - w, max(x0, x1) + w + 1, max(y0, y1) + w + 1))

    def circle(self, cx, cy, r, colour):
        self.shape(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, colour,
                   (cx - r, cy - r, cx + r + 1, cy + r + 1))

    def ring(self, cx, cy, r, colour, width):
        w = max(width, 32.0 / self.size)
        self.shape(lambda x, y: (r - w) ** 2 <= (x - cx) ** 2 + (y - cy) ** 2 <= r * r, colour,
                   (cx - r, cy - r, cx + r + 1, cy + r + 1))

    def pixels(self):
        """The reduced image, rows top to bottom, (r, g, b, a) with premultiplied averaging."""
        out = []
        s2 = SUPER * SUPER
        for y in range(self.size):
            row = []
            for x in range(self.size):
                tr = tg = tb = ta = 0
                for sy in range(SUPER):
                    for sx in range(SUPER):
                        r, g, b, a = self.px[y * SUPER + sy][x * SUPER + sx]
                        tr += r * a
                        tg += g * a
                        tb += b * a
                        ta += a
                if ta == 0:
                    row.append((0, 0, 0, 0))
                else:
                    row.append((tr // ta, tg // ta, tb // ta, ta // s2))
            out.append(row)
        return out


OUTLINE = (40, 44, 56, 255)
BODY = (92, 112, 140, 255)
BODY_LIGHT = (150, 170, 198, 255)
SCREEN = (170, 222, 190, 255)
KEY = (225, 230, 238, 255)
CARD = (40, 96, 190, 255)
CARD_LIGHT = (96, 150, 230, 255)
LABEL = (250, 250, 250, 255)
GOLD = (232, 184, 40, 255)
PAPER = (255, 255, 255, 255)
PAPER_LINE = (150, 160, 180, 255)
FOLDER = (255, 208, 90, 255)
FOLDER_DARK = (214, 160, 40, 255)
GLASS = (200, 230, 255, 200)
HANDLE = (120, 80, 40, 255)


def flash_card(c, x, y, w, h):
    """A flash card standing upright with a cut corner, a label and contacts."""
    cut = w * 0.3
    c.polygon([(x, y + cut), (x + cut, y), (x + w, y), (x + w, y + h), (x, y + h)], OUTLINE)
    e = max(1.0, 32.0 / c.size)
    c.polygon([(x + e, y + cut + e * 0.4), (x + cut + e * 0.4, y + e), (x + w - e, y + e),
               (x + w - e, y + h - e), (x + e, y + h - e)], CARD)
    c.rect(x + e, y + h * 0.55, x + w - e, y + h - e, CARD_LIGHT)
    c.rect(x + w * 0.22, y + h * 0.22, x + w * 0.8, y + h * 0.48, LABEL)
    # contacts along the bottom edge
    n = 3 if c.size < 32 else 4
    step = (w - 2 * e) / n
    for i in range(n):
        cx = x + e + i * step + step * 0.2
        c.rect(cx, y + h * 0.72, cx + step * 0.6, y + h - e, GOLD)


def module(c):
    # the module: a handset-like body with an antenna, a display and keys
    c.line(9, 1.5, 9, 6, OUTLINE, 2.2)
    c.framed(3, 5, 21, 30, BODY, OUTLINE, 1.3, 2.5)
    c.rect(5.5, 7.5, 18.5, 15, SCREEN)
    for row in range(3):
        for col in range(3):
            x = 6 + col * 4.3
            y = 17.5 + row * 3.8
            c.rect(x, y, x + 3, y + 2.4, KEY)
    flash_card(c, 16, 13, 15, 18)


def several_items(c):
    for i, (x, y) in enumerate([(12, 2), (8, 7), (4, 12)]):
        c.framed(x, y, x + 16, y + 19, PAPER, OUTLINE, 1.2)
        for k in range(3):
            ly = y + 5 + k * 4
            if ly < y + 17:
                c.rect(x + 3, ly, x + 13, ly + 1.4, PAPER_LINE)


def module_drive(c):
    flash_card(c, 6, 2, 20, 28)


def magnifier(c, cx, cy, r):
    c.line(cx + r * 0.7, cy + r * 0.7, cx + r * 1.8, cy + r * 1.8, HANDLE, max(2.6, r * 0.55))
    c.circle(cx, cy, r, GLASS)
    c.ring(cx, cy, r, OUTLINE, max(1.6, r * 0.28))


def module_search(c):
    flash_card(c, 2, 2, 18, 24)
    magnifier(c, 19, 17, 7)


def module_folder(c):
    c.polygon([(2, 8), (11, 8), (13, 11), (28, 11), (28, 27), (2, 27)], OUTLINE)
    c.rect(3.2, 12, 26.8, 26, FOLDER)
    c.rect(3.2, 9.2, 10.5, 12, FOLDER_DARK)
    flash_card(c, 17, 14, 13, 17)


def search_config(c):
    c.polygon([(5, 1), (19, 1), (26, 8), (26, 30), (5, 30)], OUTLINE)
    e = max(1.0, 32.0 / c.size)
    c.polygon([(5 + e, 1 + e), (19 - e * 0.4, 1 + e), (26 - e, 8 + e * 0.4), (26 - e, 30 - e), (5 + e, 30 - e)], PAPER)
    c.polygon([(19, 1), (19, 8), (26, 8)], PAPER_LINE)
    for k in range(3):
        c.rect(8, 11 + k * 4, 17, 12.4 + k * 4, PAPER_LINE)
    magnifier(c, 17, 19, 6.5)


def ico_bytes(drawing):
    images = []
    for size in (16, 32, 48):
        c = Canvas(size)
        drawing(c)
        rows = c.pixels()
        xor = bytearray()
        for row in reversed(rows):
            for r, g, b, a in row:
                xor += bytes((b, g, r, a))
        mask_stride = ((size + 31) // 32) * 4
        mask = bytearray()
        for row in reversed(rows):
            bits = bytearray(mask_stride)
            for x, (_, _, _, a) in enumerate(row):
                if a < 128:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bits
        header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        images.append((size, header + bytes(xor) + bytes(mask)))
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    return bytes(out)


def main():
    for name, drawing in [('module', module), ('several_items', several_items), ('module_drive', module_drive),
                          ('module_search', module_search), ('module_folder', module_folder),
                          ('search_config', search_config)]:
        with open('resources/%s.ico' % name, 'wb') as f:
            f.write(ico_bytes(drawing))


if __name__ == '__main__':
    main()
