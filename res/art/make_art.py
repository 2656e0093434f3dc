#!/usr/bin/env python3
"""Draws Pelko's icons and bitmaps and makes its sound, into the folder given as argument.

Standard library only: shapes are rasterised here with 4 x 4 subsamples per pixel and written
as .ico (32-bit with alpha, 16 x 16 and 32 x 32 images) and .bmp (24-bit) files by hand.
"""
import math, os, struct, sys, wave

# --- colours (r, g, b, a) ------------------------------------------------------------------------

BASE = (0x20, 0x42, 0x34)           # the skin's default base colour
PAPER = (0xFF, 0xFF, 0xEB)          # the skin's paper colour
BOARD = (0x2F, 0x7A, 0x5B, 255)
BOARD_EDGE = (0x16, 0x3A, 0x2B, 255)
SHEET = (0xFF, 0xFF, 0xF2, 255)
INK = (0x8E, 0x99, 0x94, 255)
CLIP = (0xD8, 0xDC, 0xE0, 255)
CLIP_EDGE = (0x4F, 0x58, 0x61, 255)
WHITE = (255, 255, 255, 255)
NET_BLUE = (0x24, 0x72, 0xD0, 255)
GOLD = (0xE8, 0xB0, 0x2C, 255)
GOLD_EDGE = (0x6B, 0x48, 0x05, 255)
STEEL = (0x9A, 0xA1, 0xAA, 255)
STEEL_DARK = (0x4A, 0x51, 0x5A, 255)

# --- a tiny rasteriser ---------------------------------------------------------------------------
# A shape is a predicate inside(x, y) in pixel coordinates (pixel i covers i .. i + 1).

SUB = 4


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def segment(x0, y0, x1, y1, width):
    """A stroke with round caps."""
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy
    half = width / 2.0

    def inside(x, y):
        t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        px, py = x0 + t * dx, y0 + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= half * half
    return inside


def polyline(points, width):
    parts = [segment(*points[i], *points[i + 1], width) for i in range(len(points) - 1)]
    return lambda x, y: any(p(x, y) for p in parts)


def polygon(points):
    """Even-odd fill of a closed polygon."""
    def inside(x, y):
        result = False
        n = len(points)
        for i in range(n):
            ax, ay = points[i]
            bx, by = points[(i + 1) % n]
            if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                result = not result
        return result
    return inside


def inset_polygon(points, d):
    """Moves each edge of a convex, clockwise-on-screen polygon inwards by d."""
    n = len(points)
    lines = []
    for i in range(n):
        (ax, ay), (bx, by) = points[i], points[(i + 1) % n]
        ex, ey = bx - ax, by - ay
        length = math.hypot(ex, ey)
        nx, ny = -ey / length, ex / length          # inward normal for clockwise order (y down)
        lines.append((ax + nx * d, ay + ny * d, ex, ey))
    result = []
    for i in range(n):
        px, py, rx, ry = lines[i - 1]
        qx, qy, sx, sy = lines[i]
        denom = rx * sy - ry * sx
        t = ((qx - px) * sy - (qy - py) * sx) / denom
        result.append((px + t * rx, py + t * ry))
    return result


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def minus(shape, hole):
    return lambda x, y: shape(x, y) and not hole(x, y)


def clip_to(shape, area):
    return lambda x, y: shape(x, y) and area(x, y)


class Canvas:
    """Straight (not premultiplied) RGBA floats, 0..1, row 0 at the top."""

    def __init__(self, width, height, background=None):
        self.width, self.height = width, height
        fill = (0.0, 0.0, 0.0, 0.0) if background is None else tuple(c / 255.0 for c in background) + (1.0,)
        self.pixels = [[fill for _ in range(width)] for _ in range(height)]

    def fill(self, shape, colour):
        """colour: (r, g, b, a) or a function (x, y) -> (r, g, b, a)."""
        step = 1.0 / SUB
        for py in range(self.height):
            for px in range(self.width):
                hits = 0
                for sy in range(SUB):
                    for sx in range(SUB):
                        if shape(px + (sx + 0.5) * step, py + (sy + 0.5) * step):
                            hits += 1
                if hits:
                    c = colour(px + 0.5, py + 0.5) if callable(colour) else colour
                    self.blend(px, py, c, hits / (SUB * SUB))

    def blend(self, px, py, colour, coverage):
        r, g, b, a = (c / 255.0 for c in colour)
        a *= coverage
        dr, dg, db, da = self.pixels[py][px]
        out_a = a + da * (1 - a)
        if out_a == 0:
            return
        mix = lambda s, d: (s * a + d * da * (1 - a)) / out_a
        self.pixels[py][px] = (mix(r, dr), mix(g, dg), mix(b, db), out_a)

    def rgba(self, px, py):
        return tuple(int(round(c * 255)) for c in self.pixels[py][px])


def vertical_gradient(top, bottom, y0, y1):
    def colour(x, y):
        t = max(0.0, min(1.0, (y - y0) / (y1 - y0)))
        return tuple(int(round(a + (b - a) * t)) for a, b in zip(top, bottom))
    return colour


def outlined(canvas, outer, inner, edge, body):
    canvas.fill(outer, edge)
    canvas.fill(inner, body)

# --- file writers --------------------------------------------------------------------------------


def ico_image(canvas):
    """One icon image: BITMAPINFOHEADER (height doubled), BGRA rows bottom-up, AND mask."""
    w, h = canvas.width, canvas.height
    xor = bytearray()
    for py in reversed(range(h)):
        for px in range(w):
            r, g, b, a = canvas.rgba(px, py)
            xor += bytes((b, g, r, a))
    mask_stride = ((w + 31) // 32) * 4
    mask = bytearray()
    for py in reversed(range(h)):
        row = bytearray(mask_stride)
        for px in range(w):
            if canvas.rgba(px, py)[3] == 0:
                row[px // 8] |= 0x80 >> (px % 8)
        mask += row
    header = struct.pack('<IiiHHIIiiII', 40, w, 2 * h, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def write_ico(path, canvases):
    images = [ico_image(c) for c in canvases]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for c, data in zip(canvases, images):
        out += struct.pack('<BBBBHHII', c.width % 256, c.height % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(path, 'wb') as f:
        f.write(out)


def write_bmp(path, canvas):
    """24-bit bottom-up BMP; transparent parts have already been drawn over a background."""
    w, h = canvas.width, canvas.height
    stride = (w * 3 + 3) & ~3
    pixels = bytearray()
    for py in reversed(range(h)):
        row = bytearray()
        for px in range(w):
            r, g, b, _ = canvas.rgba(px, py)
            row += bytes((b, g, r))
        row += bytes(stride - len(row))
        pixels += row
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, 'wb') as f:
        f.write(header + info + pixels)

# --- icons ---------------------------------------------------------------------------------------
# Each drawing has its own 16 x 16 and 32 x 32 layout: at 16 pixels details are thickened and
# placed on whole pixels rather than scaled down.


def clipboard(canvas, size):
    """The program's clipboard: a green board, a sheet with a few lines, a metal clip."""
    if size == 32:
        outlined(canvas, rounded_rect(4, 3, 27, 31, 3), rounded_rect(5, 4, 26, 30, 2.2), BOARD_EDGE,
                 vertical_gradient((0x3A, 0x8C, 0x69, 255), (0x27, 0x68, 0x4D, 255), 4, 30))
        canvas.fill(rect(8, 8, 23, 28), (0, 0, 0, 60))
        canvas.fill(rect(7, 7, 22, 27), SHEET)
        for y, x1 in ((11, 19), (14, 17), (17, 15)):
            canvas.fill(rect(9, y, x1, y + 1), INK)
        outlined(canvas, rounded_rect(10, 1, 21, 8, 2), rounded_rect(11, 2, 20, 7, 1.3), CLIP_EDGE,
                 vertical_gradient((0xF2, 0xF4, 0xF6, 255), (0xB4, 0xBA, 0xC0, 255), 2, 7))
        canvas.fill(circle(15.5, 3.8, 1.1), CLIP_EDGE)
    else:
        outlined(canvas, rounded_rect(1, 1.5, 14, 16, 1.6), rounded_rect(2, 2.5, 13, 15, 1), BOARD_EDGE,
                 vertical_gradient((0x3A, 0x8C, 0x69, 255), (0x27, 0x68, 0x4D, 255), 2, 15))
        canvas.fill(rect(3, 4, 12, 14), SHEET)
        canvas.fill(rect(4, 6, 10, 7), INK)
        canvas.fill(rect(4, 8, 8, 9), INK)
        outlined(canvas, rounded_rect(4, 0, 11, 4, 1), rounded_rect(5, 1, 10, 3, 0.5), CLIP_EDGE, CLIP)


def network_badge(canvas, size):
    """A blue disc with a small network: one node above, a bus, two nodes below."""
    if size == 32:
        cx, cy, r = 23.5, 23.5, 8.5
        canvas.fill(circle(cx, cy, r), WHITE)
        canvas.fill(circle(cx, cy, r - 1.3), vertical_gradient((0x3C, 0x8E, 0xE8, 255), (0x1D, 0x5E, 0xB4, 255), cy - r, cy + r))
        canvas.fill(union(rounded_rect(21, 17, 26, 21, 0.8),        # node above
                          rect(23, 21, 24, 23),                      # its link
                          rect(19, 23, 28, 24),                      # the bus
                          rect(19, 24, 20, 25), rect(27, 24, 28, 25),
                          rounded_rect(17, 25, 22, 29, 0.8),         # two nodes below
                          rounded_rect(25, 25, 30, 29, 0.8)), WHITE)
    else:
        cx, cy, r = 11.5, 11.5, 4.5
        canvas.fill(circle(cx, cy, r), WHITE)
        canvas.fill(circle(cx, cy, r - 0.9), NET_BLUE)
        canvas.fill(union(rect(10, 8, 13, 10), rect(11, 10, 12, 11), rect(9, 11, 14, 12),
                          rect(9, 12, 10, 13), rect(13, 12, 14, 13),
                          rect(8, 13, 11, 15), rect(12, 13, 15, 15)), WHITE)


def padlock(canvas, size):
    """A gold padlock: the local clipboard is locked."""
    if size == 32:
        shackle = minus(circle(24, 20, 5.2), circle(24, 20, 2.9))
        canvas.fill(clip_to(shackle, rect(0, 0, 32, 22)), STEEL_DARK)
        canvas.fill(clip_to(minus(circle(24, 20, 4.3), circle(24, 20, 3.7)), rect(0, 0, 32, 22)), STEEL)
        outlined(canvas, rounded_rect(16.5, 20, 31.5, 31, 2), rounded_rect(17.5, 21, 30.5, 30, 1.3), GOLD_EDGE,
                 vertical_gradient((0xF8, 0xD0, 0x5A, 255), (0xD4, 0x96, 0x1A, 255), 21, 30))
        canvas.fill(union(circle(24, 24.3, 1.5), rect(23.3, 24.5, 24.7, 28)), GOLD_EDGE)
    else:
        shackle = minus(rounded_rect(8.5, 5, 15, 12, 3), rect(10, 7, 13.5, 12))
        canvas.fill(shackle, STEEL_DARK)
        outlined(canvas, rect(7.5, 9.5, 16, 16), rect(8.5, 10.5, 15, 15), GOLD_EDGE, GOLD)
        canvas.fill(rect(11.5, 11.5, 12.5, 14), GOLD_EDGE)


def icon_pelko(size):
    c = Canvas(size, size)
    clipboard(c, size)
    network_badge(c, size)
    return c


def icon_pelko_locked(size):
    c = Canvas(size, size)
    clipboard(c, size)
    padlock(c, size)
    return c


def icon_host(size):
    """A small computer: monitor with a blue screen, neck and foot."""
    c = Canvas(size, size)
    screen = vertical_gradient((0x5A, 0xA8, 0xF0, 255), (0x1E, 0x5C, 0xAE, 255), 0, size * 0.7)
    if size == 32:
        outlined(c, rounded_rect(2, 4, 30, 24, 2), rounded_rect(3, 5, 29, 23, 1.3), (0x1C, 0x20, 0x26, 255),
                 (0x3A, 0x41, 0x4A, 255))
        c.fill(rect(5, 7, 27, 21), screen)
        c.fill(polygon([(5, 7), (17, 7), (5, 16)]), (255, 255, 255, 40))
        c.fill(rect(13, 24, 19, 27), STEEL_DARK)
        outlined(c, rounded_rect(8, 26.5, 24, 30, 1.2), rounded_rect(9, 27.2, 23, 29.3, 0.6), STEEL_DARK, STEEL)
        c.fill(circle(26.5, 22.5, 0.6), (0x5C, 0xE0, 0x6C, 255))
    else:
        outlined(c, rect(0, 2, 16, 12), rect(1, 3, 15, 11), (0x1C, 0x20, 0x26, 255), (0x3A, 0x41, 0x4A, 255))
        c.fill(rect(2, 4, 14, 10), screen)
        c.fill(rect(6, 12, 10, 13), STEEL_DARK)
        outlined(c, rect(3, 13, 13, 15), rect(4, 13, 12, 14), STEEL_DARK, STEEL)
    return c


def icon_check(size):
    """A green check mark with a dark rim."""
    c = Canvas(size, size)
    if size == 32:
        points, rim, body = [(6, 17), (13, 24), (26, 8)], 6.4, 3.8
    else:
        points, rim, body = [(3, 8.5), (6.5, 12), (13, 4)], 3.4, 1.8
    c.fill(polyline(points, rim), (0x15, 0x55, 0x20, 255))
    c.fill(polyline(points, body), vertical_gradient((0x7A, 0xE0, 0x6E, 255), (0x2C, 0xA0, 0x3C, 255), 0, size))
    return c


def icon_message(size):
    """The message box's glyph: an amber warning triangle with an exclamation mark."""
    c = Canvas(size, size)
    if size == 32:
        outer = [(16, 1.5), (31, 29.5), (1, 29.5)]
        mark, dot, inset = rounded_rect(14.5, 10, 17.5, 21.5, 1.3), circle(16, 25, 1.8), 1.5
    else:
        outer = [(8, 0.5), (15.8, 15), (0.2, 15)]
        mark, dot, inset = rect(7, 5, 9, 10.5), rect(7, 11.5, 9, 13.5), 1.0
    c.fill(polygon(outer), (0x7A, 0x4E, 0x00, 255))
    c.fill(polygon(inset_polygon(outer, inset)),
           vertical_gradient((0xFF, 0xDE, 0x5C, 255), (0xF0, 0xAA, 0x10, 255), 0, size))
    c.fill(union(mark, dot), (0x33, 0x24, 0x00, 255))
    return c

# --- bitmaps for the skin ------------------------------------------------------------------------


def shade(colour, delta):
    return tuple(max(0, min(255, v + delta)) for v in colour)


def pattern(size, background, marks):
    """An opaque tile: background, and marks(x, y) -> brightness change or 0."""
    c = Canvas(size, size, background)
    for y in range(size):
        for x in range(size):
            d = marks(x, y)
            if d:
                c.pixels[y][x] = tuple(v / 255.0 for v in shade(background, d)) + (1.0,)
    return c


def bitmap_close_glyph():
    """The close button's glyph, 15 x 14: a light cross on the base colour."""
    c = Canvas(15, 14, shade(BASE, 12))
    c.fill(rounded_rect(0, 0, 15, 14, 2), BASE + (255,))
    c.fill(union(segment(4, 3.5, 11, 10.5, 1.8), segment(11, 3.5, 4, 10.5, 1.8)), PAPER + (255,))
    return c


BITMAPS = {
    # Pattern brushes (8 x 8 tiles)
    147: lambda: pattern(8, BASE, lambda x, y: 5 if (x + y) % 4 == 0 else 0),              # window background
    146: lambda: pattern(8, shade(BASE, 18), lambda x, y: 6 if x % 4 == 0 and y % 4 == 0 else 0),  # panel
    142: lambda: pattern(8, PAPER, lambda x, y: -8 if (x * 5 + y * 3) % 11 == 0 else 0),   # paper
    143: lambda: pattern(8, (0xB7, 0xFF, 0xB6), lambda x, y: 18 if (x - y) % 4 == 0 else 0),  # selection
    # Other bitmaps
    145: bitmap_close_glyph,                                                               # close glyph 15 x 14
    144: lambda: pattern(16, shade(BASE, 10), lambda x, y: (3 if y % 2 == 0 else -2) + (2 if (x + 3 * y) % 7 == 0 else 0)),  # panel texture
}

ICONS = {
    128: icon_pelko,
    151: icon_pelko_locked,
    132: icon_host,
    149: icon_check,
    141: icon_message,
}

# --- sound ---------------------------------------------------------------------------------------


def make_sound(path):
    # A short rising two-note chime: 44.1 kHz, 16-bit mono, soft attack and decay.
    rate, notes = 44100, [(659.25, 0.09), (987.77, 0.16)]
    frames = bytearray()
    for freq, seconds in notes:
        n = int(rate * seconds)
        for i in range(n):
            t = i / rate
            envelope = min(1.0, i / (0.005 * rate)) * math.exp(-4.0 * t / seconds)
            sample = 0.35 * envelope * (math.sin(2 * math.pi * freq * t) + 0.3 * math.sin(4 * math.pi * freq * t))
            frames += struct.pack('<h', int(max(-1.0, min(1.0, sample)) * 32767))
    with wave.open(path, 'wb') as w:
        w.setnchannels(1); w.setsampwidth(2); w.setframerate(rate); w.writeframes(bytes(frames))


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    make_sound(os.path.join(out, 'ReadyToTransfer.wav'))
    for number, draw in ICONS.items():
        write_ico(os.path.join(out, 'icon%d.ico' % number), [draw(16), draw(32)])
    for number, draw in BITMAPS.items():
        write_bmp(os.path.join(out, 'bitmap%d.bmp' % number), draw())


if __name__ == '__main__':
    main()
