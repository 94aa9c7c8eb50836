#!/usr/bin/env python3
"""Draws the two pictures at the top left of the view's information pane and
writes them as 8-bit bitmaps, 125 x 175 pixels (the top 163 rows are shown,
the rest stays white):

  resources/pane_module.bmp        (268) a wireless module with its flash card
  resources/pane_module_zp03.bmp   (269) the ZP03: a wider module, two antennas

The pane writes its texts over the picture, so it is faded towards white like
a watermark. Shapes are drawn 3x supersampled on white, reduced, faded, and
the colours cut to a palette of 256 by popularity. Run from the repository's root after changing a
drawing; the .bmp files are committed so that the build needs no Python.
"""
import math
import struct

WIDTH, HEIGHT, USED = 125, 175, 163
SUPER = 3
FADE = 0.6   # share of white mixed into every colour
WHITE = (255, 255, 255)


class Canvas:
    def __init__(self):
        self.w, self.h = WIDTH * SUPER, HEIGHT * SUPER
        self.px = [[WHITE] * self.w for _ in range(self.h)]

    def shape(self, inside, colour, box, alpha=1.0):
        """Paints every supersampled pixel whose centre (in pixels) is inside."""
        x0, y0, x1, y1 = box
        for y in range(max(0, int(y0 * SUPER)), min(self.h, int(math.ceil(y1 * SUPER)))):
            row = self.px[y]
            for x in range(max(0, int(x0 * SUPER)), min(self.w, int(math.ceil(x1 * SUPER)))):
                ux, uy = (x + 0.5) / SUPER, (y + 0.5) / SUPER
                if inside(ux, uy):
                    c = colour(ux, uy) if callable(colour) else colour
                    if alpha < 1.0:
                        p = row[x]
                        c = tuple(int(c[i] * alpha + p[i] * (1 - alpha)) for i in range(3))
                    row[x] = c

    def rect(self, x0, y0, x1, y1, colour, radius=0.0, alpha=1.0):
        def inside(x, y):
            if not (x0 <= x < x1 and y0 <= y < y1):
                return False
            if radius <= 0:
                return True
            cx = min(max(x, x0 + radius), x1 - radius)
            cy = min(max(y, y0 + radius), y1 - radius)
            return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2
        self.shape(inside, colour, (x0, y0, x1, y1), alpha)

    def framed(self, x0, y0, x1, y1, fill, outline, radius=0.0, width=1.0):
        self.rect(x0, y0, x1, y1, outline, radius)
        self.rect(x0 + width, y0 + width, x1 - width, y1 - width, fill, max(0.0, radius - width))

    def polygon(self, points, colour, alpha=1.0):
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
        self.shape(inside, colour, (min(xs), min(ys), max(xs), max(ys)), alpha)

    def ellipse(self, cx, cy, rx, ry, colour, alpha=1.0):
        self.shape(lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0, colour,
                   (cx - rx, cy - ry, cx + rx, cy + ry), alpha)

    def arc(self, cx, cy, r, width, start, end, colour):
        """A ring segment between two angles (degrees, 0 = right, counter-clockwise)."""
        def inside(x, y):
            d = math.hypot(x - cx, y - cy)
            if abs(d - r) > width / 2:
                return False
            a = math.degrees(math.atan2(cy - y, x - cx)) % 360
            return start <= a <= end
        self.shape(inside, colour, (cx - r - width, cy - r - width, cx + r + width, cy + r + width))

    def pixels(self):
        """The reduced picture, rows top first; rows below the used part white."""
        out = []
        n = SUPER * SUPER
        for y in range(HEIGHT):
            row = []
            for x in range(WIDTH):
                if y >= USED:
                    row.append(WHITE)
                    continue
                r = g = b = 0
                for sy in range(SUPER):
                    src = self.px[y * SUPER + sy]
                    for sx in range(SUPER):
                        p = src[x * SUPER + sx]
                        r, g, b = r + p[0], g + p[1], b + p[2]
                row.append(tuple(int(v / n * (1 - FADE) + 255 * FADE) for v in (r, g, b)))
            out.append(row)
        return out


def vertical(top, bottom, y0, y1):
    """A colour function running from `top` at y0 to `bottom` at y1."""
    def colour(x, y):
        t = min(1.0, max(0.0, (y - y0) / float(y1 - y0)))
        return tuple(int(top[i] + (bottom[i] - top[i]) * t) for i in range(3))
    return colour


def waves(c, cx, cy, colour):
    for r in (6, 11, 16):
        c.arc(cx, cy, r, 2.0, 20, 70, colour)
        c.arc(cx, cy, r, 2.0, 110, 160, colour)


def flash_card(c, x, y, w, h, body, label):
    notch = w * 0.22
    outline = [(x, y), (x + w - notch, y), (x + w, y + notch), (x + w, y + h), (x, y + h)]
    c.polygon([(px + 1.5, py + 1.5) for px, py in outline], (200, 200, 205))
    c.polygon(outline, (30, 30, 40))
    c.polygon([(x + 1, y + 1), (x + w - notch - 0.4, y + 1), (x + w - 1, y + notch + 0.4), (x + w - 1, y + h - 1),
               (x + 1, y + h - 1)], body)
    c.rect(x + 4, y + h * 0.45, x + w - 4, y + h - 5, label, 1.5)
    for i in range(5):
        cx = x + 4 + i * (w - 10) / 5.0
        c.rect(cx, y + 3, cx + 3, y + 9, (222, 184, 72))


def pcb(c, x0, y0, x1, y1, board, pads):
    c.rect(x0 + 3, y0 + 4, x1 + 3, y1 + 4, (205, 205, 210), 4)       # shadow
    c.framed(x0, y0, x1, y1, board, (20, 60, 30), 4)
    step = 7
    y = y0 + 8
    while y + 4 < y1 - 6:
        c.rect(x0 - 2, y, x0 + 4, y + 4, pads, 1)
        c.rect(x1 - 4, y, x1 + 2, y + 4, pads, 1)
        y += step


def shield(c, x0, y0, x1, y1, light, dark, mark):
    c.framed(x0, y0, x1, y1, vertical(light, dark, y0, y1), (90, 95, 105), 3)
    c.rect(x0 + 5, y0 + 6, x1 - 5, y0 + 10, mark, 1)
    c.rect(x0 + 5, y0 + 14, x0 + (x1 - x0) * 0.6, y0 + 17, mark, 1)
    for i in range(3):
        c.ellipse(x1 - 9 - i * 7, y1 - 8, 2, 2, (150, 155, 165))


def antenna(c, x, top, bottom, colour):
    c.rect(x - 2.5, top, x + 2.5, bottom, colour, 2.5)
    c.ellipse(x, top + 2, 3.5, 3.5, colour)


def backdrop(c, tint):
    c.ellipse(62, 150, 54, 9, tint)


def module_picture(c):
    backdrop(c, (232, 236, 244))
    antenna(c, 92, 18, 52, (40, 40, 48))
    waves(c, 92, 20, (90, 150, 220))
    pcb(c, 20, 46, 104, 136, (46, 132, 76), (222, 184, 72))
    shield(c, 30, 56, 94, 112, (236, 238, 242), (168, 174, 186), (120, 126, 140))
    c.rect(32, 120, 56, 128, (30, 30, 36), 1)                         # connector
    flash_card(c, 8, 96, 38, 50, (40, 96, 168), (120, 170, 225))


def zp03_picture(c):
    backdrop(c, (244, 236, 228))
    antenna(c, 24, 18, 50, (40, 40, 48))
    antenna(c, 100, 22, 50, (40, 40, 48))
    waves(c, 24, 20, (235, 140, 50))
    pcb(c, 10, 46, 114, 128, (30, 70, 140), (222, 184, 72))
    shield(c, 20, 54, 86, 116, (244, 240, 232), (184, 172, 160), (220, 120, 40))
    c.framed(92, 58, 108, 84, (60, 60, 70), (20, 20, 24), 2)           # SIM holder
    c.rect(95, 61, 105, 81, (222, 184, 72), 1)
    flash_card(c, 74, 100, 40, 52, (200, 90, 30), (245, 180, 120))


def palette_of(rows):
    """Up to 256 colours by popularity of 4-bit-per-channel boxes."""
    counts = {}
    sums = {}
    for row in rows:
        for p in row:
            key = (p[0] >> 4, p[1] >> 4, p[2] >> 4)
            counts[key] = counts.get(key, 0) + 1
            s = sums.setdefault(key, [0, 0, 0])
            s[0] += p[0]; s[1] += p[1]; s[2] += p[2]
    keys = sorted(counts, key=lambda k: -counts[k])[:255]
    palette = [WHITE] + [tuple(sums[k][i] // counts[k] for i in range(3)) for k in keys]
    return palette


def bmp_bytes(rows):
    palette = palette_of(rows)
    cache = {}

    def index(p):
        if p not in cache:
            cache[p] = min(range(len(palette)),
                           key=lambda i: sum((palette[i][k] - p[k]) ** 2 for k in range(3)))
        return cache[p]
    stride = (WIDTH + 3) & ~3
    data = bytearray()
    for row in reversed(rows):
        line = bytearray(index(p) for p in row)
        data += line + bytes(stride - WIDTH)
    table = bytearray()
    for r, g, b in palette + [(0, 0, 0)] * (256 - len(palette)):
        table += bytes((b, g, r, 0))
    info = struct.pack('<IiiHHIIiiII', 40, WIDTH, HEIGHT, 1, 8, 0, len(data), 2835, 2835, 256, 0)
    offset = 14 + len(info) + len(table)
    head = struct.pack('<2sIHHI', b'BM', offset + len(data), 0, 0, offset)
    return head + info + bytes(table) + bytes(data)


def main():
    for name, drawing in [('pane_module', module_picture), ('pane_module_zp03', zp03_picture)]:
        c = Canvas()
        drawing(c)
        with open('resources/%s.bmp' % name, 'wb') as f:
            f.write(bmp_bytes(c.pixels()))


if __name__ == '__main__':
    main()
