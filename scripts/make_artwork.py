#!/usr/bin/env python3
"""Draw the player's artwork into Img/: the window icon, the ten button icons and the logo.

Everything is drawn from code with the standard library only (shapes as signed distance
functions, anti-aliased by 4x4 supersampling), so the output is the same bytes on every run.

    scripts/make_artwork.py

Writes Img/T.ico (32x32, 256 colours), ten 24x24 RGBA PNGs and Img/tamrel.bmp (472x151, 24-bit,
stored upside down because the view hands the decoded top row to glDrawPixels, which puts it at
the bottom).

Also writes the application icon for the desktop's icon theme: the window icon's design drawn
afresh at each size (not scaled from the 32x32 bitmap), as RGBA PNGs in
data/icons/hicolor/<size>x<size>/apps/org.example.TamrelYUVPlayer.png.
"""

import math
import os
import struct
import zlib

SUPERSAMPLE = 4

# One palette for every piece of artwork.
INK = (44, 54, 74)  # outlines and dark parts
BLUE = (46, 118, 206)  # transport glyphs, help disc
AMBER = (236, 176, 56)  # folder back
AMBER_LIGHT = (250, 208, 110)  # folder front
GREY = (150, 162, 180)  # gear, floppy shutter
WHITE = (255, 255, 255)
PAPER = (240, 242, 246)  # floppy label
RED = (212, 66, 58)  # the V plane
LUMA = (226, 226, 226)  # the Y plane

STROKE = 1.5  # outline width of the button icons, in pixels


# ---------------------------------------------------------------------------------------------
# Signed distance shapes: a shape is a function (x, y) -> distance, negative inside.
# Coordinates are continuous pixel units with the origin at the top left, y downward.


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def box(x0, y0, x1, y1, radius=0.0):
    """Axis-aligned rectangle from (x0, y0) to (x1, y1), corners rounded by radius."""
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - radius, (y1 - y0) / 2 - radius

    def d(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - radius

    return d


def rotated_box(cx, cy, hx, hy, angle):
    """Rectangle of half sizes hx, hy centred on (cx, cy), turned by angle (radians)."""
    c, s = math.cos(angle), math.sin(angle)

    def d(x, y):
        px, py = x - cx, y - cy
        lx, ly = px * c + py * s, -px * s + py * c
        qx, qy = abs(lx) - hx, abs(ly) - hy
        return math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0)

    return d


def _segment_distance(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
    return math.hypot(x - ax - t * dx, y - ay - t * dy)


def polygon(points, rounding=0.0):
    """Closed polygon; rounding > 0 grows it by that much with round corners."""
    pts = list(points)
    edges = list(zip(pts, pts[1:] + pts[:1]))

    def d(x, y):
        dist = min(_segment_distance(x, y, ax, ay, bx, by) for (ax, ay), (bx, by) in edges)
        inside = False
        for (ax, ay), (bx, by) in edges:
            if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                inside = not inside
        return (-dist if inside else dist) - rounding

    return d


def stroke(points, width):
    """Open polyline drawn with a round pen of the given width."""
    segs = list(zip(points, points[1:]))

    def d(x, y):
        return min(_segment_distance(x, y, ax, ay, bx, by) for (ax, ay), (bx, by) in segs) - width / 2

    return d


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def subtract(a, b):
    return lambda x, y: max(a(x, y), -b(x, y))


def mirror_x(shape, width):
    return lambda x, y: shape(width - x, y)


def inset(shape, amount):
    """The shape shrunk by amount: its interior minus an outline of that width."""
    return lambda x, y: shape(x, y) + amount


# ---------------------------------------------------------------------------------------------
# Canvas with premultiplied RGBA floats and supersampled coverage.


class Canvas:
    def __init__(self, width, height, background=None):
        self.width, self.height = width, height
        fill = (0.0, 0.0, 0.0, 0.0) if background is None else (*map(float, background), 1.0)
        self.px = [list(fill) for _ in range(width * height)]

    def fill_rect(self, x0, y0, x1, y1, colour):
        """Paints whole pixels x0 <= x < x1, y0 <= y < y1 opaquely; colour may be a function."""
        for y in range(max(0, y0), min(self.height, y1)):
            for x in range(max(0, x0), min(self.width, x1)):
                c = colour(x + 0.5, y + 0.5) if callable(colour) else colour
                self.px[y * self.width + x] = [float(c[0]), float(c[1]), float(c[2]), 1.0]

    def draw(self, shape, colour, bbox=None):
        """Composites the shape over the canvas with supersampled coverage as alpha."""
        if bbox is None:
            bbox = (0, 0, self.width, self.height)
        x0, y0, x1, y1 = (max(0, bbox[0]), max(0, bbox[1]),
                          min(self.width, bbox[2]), min(self.height, bbox[3]))
        n = SUPERSAMPLE
        offsets = [(i + 0.5) / n for i in range(n)]
        for y in range(y0, y1):
            for x in range(x0, x1):
                hits = sum(1 for oy in offsets for ox in offsets if shape(x + ox, y + oy) <= 0)
                if not hits:
                    continue
                a = hits / (n * n)
                c = colour(x + 0.5, y + 0.5) if callable(colour) else colour
                p = self.px[y * self.width + x]
                for k in range(3):
                    p[k] = c[k] * a + p[k] * (1 - a)
                p[3] = a + p[3] * (1 - a)

    def draw_outlined(self, shape, fill, outline=INK, width=STROKE, bbox=None):
        """Fills the shape with an inner outline of the given width."""
        self.draw(shape, outline, bbox)
        self.draw(inset(shape, width), fill, bbox)

    def rgba_bytes(self):
        """Rows top first, 4 bytes a pixel, straight (not premultiplied) alpha."""
        out = bytearray()
        for r, g, b, a in self.px:
            alpha = round(a * 255)
            if alpha == 0:
                out += b"\0\0\0\0"
            else:
                # Colours were composited as premultiplied-by-coverage over transparent black.
                out += bytes(min(255, round(v / a)) for v in (r, g, b)) + bytes((alpha,))
        return out

    def rgb_rows(self):
        """Opaque RGB rows, top first."""
        rows = []
        for y in range(self.height):
            row = bytearray()
            for r, g, b, _ in self.px[y * self.width:(y + 1) * self.width]:
                row += bytes((round(r), round(g), round(b)))
            rows.append(row)
        return rows


# ---------------------------------------------------------------------------------------------
# File writers.


def png_bytes(width, height, rgba):
    def chunk(tag, data):
        return (struct.pack(">I", len(data)) + tag + data
                + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF))

    stride = width * 4
    raw = b"".join(b"\0" + bytes(rgba[y * stride:(y + 1) * stride]) for y in range(height))
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)  # 8 bits, RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def bmp24_bytes(width, height, rows_in_file_order):
    """24-bit BI_RGB BMP with positive height: the first row given is the first row in the file,
    which an image viewer shows at the bottom."""
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in rows_in_file_order:
        bgr = bytearray(len(row))
        bgr[0::3], bgr[1::3], bgr[2::3] = row[2::3], row[1::3], row[0::3]
        pixels += bgr + b"\0" * (stride - len(bgr))
    header_size = 14 + 40
    file_header = struct.pack("<2sIHHI", b"BM", header_size + len(pixels), 0, 0, header_size)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return file_header + info + bytes(pixels)


def quantise(colours):
    """Maps colours to at most 255 entries by dropping low bits until they fit (deterministic)."""
    for shift in range(0, 8):
        reduced = sorted({tuple((c >> shift) << shift for c in col) for col in colours})
        if len(reduced) <= 255:
            return shift, reduced
    raise AssertionError("unreachable")


def ico_bytes(canvas):
    """Windows icon with one 8-bit palettised image: palette entry 0 is the transparent black,
    the AND mask marks transparent pixels."""
    w, h = canvas.width, canvas.height
    rgba = canvas.rgba_bytes()
    opaque = [rgba[i * 4 + 3] >= 128 for i in range(w * h)]
    colours = [tuple(rgba[i * 4:i * 4 + 3]) for i in range(w * h) if opaque[i]]
    shift, palette = quantise(colours)
    index = {col: i + 1 for i, col in enumerate(palette)}
    palette_bytes = b"\0\0\0\0" + b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    palette_bytes += b"\0" * (256 * 4 - len(palette_bytes))

    xor_rows, and_rows = [], []
    and_stride = ((w + 31) // 32) * 4
    for y in range(h - 1, -1, -1):  # bottom-up
        row, mask = bytearray(), bytearray(and_stride)
        for x in range(w):
            i = y * w + x
            if opaque[i]:
                col = tuple((c >> shift) << shift for c in rgba[i * 4:i * 4 + 3])
                row.append(index[col])
            else:
                row.append(0)
                mask[x // 8] |= 0x80 >> (x % 8)
        row += b"\0" * (((w + 3) & ~3) - w)
        xor_rows.append(bytes(row))
        and_rows.append(bytes(mask))
    image = (struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 8, 0,
                         len(b"".join(xor_rows)) + len(b"".join(and_rows)), 0, 0, 0, 0)
             + palette_bytes + b"".join(xor_rows) + b"".join(and_rows))
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 8, len(image), 6 + 16)
    return icondir + entry + image


# ---------------------------------------------------------------------------------------------
# Button icons, 24 x 24.

S = 24


def icon_play(c):
    c.draw_outlined(polygon([(8, 5.5), (19, 12), (8, 18.5)], rounding=1.0), BLUE)


def icon_stop(c):
    c.draw_outlined(box(5.5, 5.5, 18.5, 18.5, radius=2.0), BLUE)


def _step_back():
    bar = box(4, 4.5, 9, 19.5, radius=1.0)
    tri = polygon([(19, 5.5), (10.5, 12), (19, 18.5)], rounding=1.0)
    return bar, tri


def icon_prev(c):
    bar, tri = _step_back()
    c.draw_outlined(bar, BLUE)
    c.draw_outlined(tri, BLUE)


def icon_next(c):
    bar, tri = _step_back()
    c.draw_outlined(mirror_x(bar, S), BLUE)
    c.draw_outlined(mirror_x(tri, S), BLUE)


def _jump_first():
    bar = box(2, 4.5, 6.5, 19.5, radius=1.0)
    near = polygon([(14, 5.5), (8.5, 12), (14, 18.5)], rounding=1.0)
    far = polygon([(21.5, 5.5), (16, 12), (21.5, 18.5)], rounding=1.0)
    return bar, near, far


def icon_start(c):
    for part in _jump_first():
        c.draw_outlined(part, BLUE)


def icon_end(c):
    for part in _jump_first():
        c.draw_outlined(mirror_x(part, S), BLUE)


def icon_open(c):
    back = union(box(2, 5.5, 21, 19.5, radius=1.5), box(2, 3.5, 10, 8, radius=1.5))
    c.draw_outlined(back, AMBER)
    front = polygon([(6.2, 10.5), (22.2, 10.5), (19.3, 19.5), (2.8, 19.5)], rounding=0.5)
    c.draw_outlined(front, AMBER_LIGHT)


def icon_tools(c):
    teeth = [rotated_box(12, 12, 1.9, 10.2, k * math.pi / 4) for k in range(4)]
    gear = subtract(union(circle(12, 12, 7.4), *teeth), circle(12, 12, 3.0))
    c.draw_outlined(gear, GREY)


def icon_save(c):
    body = polygon([(3.5, 3.5), (17, 3.5), (20.5, 7), (20.5, 20.5), (3.5, 20.5)], rounding=0.8)
    c.draw_outlined(body, BLUE)
    c.draw(box(7.5, 3.5, 15.5, 9.5, radius=0.8), GREY)
    c.draw(box(12.2, 4.8, 14.2, 8.2), INK)
    c.draw_outlined(box(6.5, 12.5, 17.5, 20.5, radius=0.8), PAPER, width=1.0)


def icon_help(c):
    c.draw_outlined(circle(12, 12, 10.3), BLUE)
    arc = [(12 + 3.3 * math.cos(math.radians(a)), 9.3 + 3.3 * math.sin(math.radians(a)))
           for a in range(190, 406, 6)]
    hook = stroke(arc + [(12.2, 12.9), (12.2, 14.4)], 2.4)
    c.draw(union(hook, circle(12.2, 17.6, 1.45)), WHITE)


BUTTONS = [
    ("MediaOpen.png", icon_open),
    ("MediaPlay.png", icon_play),
    ("MediaStop.png", icon_stop),
    ("MediaPrev.png", icon_prev),
    ("MediaNext.png", icon_next),
    ("MediaStart.png", icon_start),
    ("MediaEnd.png", icon_end),
    ("Tools.png", icon_tools),
    ("SaveBmp.png", icon_save),
    ("Help.png", icon_help),
]


# ---------------------------------------------------------------------------------------------
# Window icon, 32 x 32: a screen showing the three planes, with a play triangle.


ICON_DESIGN_SIZE = 32
# Sizes of the application icon in the desktop's hicolor theme.
THEME_ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)
THEME_ICON_NAME = "org.example.TamrelYUVPlayer"


def scaled(shape, factor):
    """The shape drawn factor times larger. With factor 1.0 every value is unchanged to the bit,
    so the 32x32 window icon stays what it was before it could be scaled."""
    return lambda x, y: shape(x / factor, y / factor) * factor


def window_icon(size=ICON_DESIGN_SIZE):
    """The design is laid out on a 32x32 grid and drawn at size x size pixels."""
    f = size / ICON_DESIGN_SIZE
    c = Canvas(size, size)
    c.draw(scaled(box(12, 25, 20, 30, radius=1.0), f), INK)
    c.draw(scaled(box(1, 3, 31, 27, radius=3.5), f), INK)
    third = 24 / 3
    for k, colour in enumerate((LUMA, BLUE, RED)):
        c.draw(scaled(box(4 + k * third, 6, 4 + (k + 1) * third, 24), f), colour)
    c.draw_outlined(scaled(polygon([(12, 9.5), (22, 15), (12, 20.5)], rounding=0.8), f), WHITE,
                    width=1.6 * f)
    return c


# ---------------------------------------------------------------------------------------------
# Logo, 472 x 151.

LOGO_W, LOGO_H = 472, 151

# 5 x 7 glyphs for the letters the logo needs.
FONT = {
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "a": [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    "m": [".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"],
    "r": [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    "e": [".....", ".....", ".###.", "#...#", "#####", "#....", ".###."],
    "l": [".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "Y": ["#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."],
    "U": ["#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "V": ["#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "P": ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
    "y": [".....", ".....", "#...#", "#...#", ".####", "....#", ".###."],
    " ": ["....."] * 7,
}


def text_width(text, scale):
    return (len(text) * 6 - 1) * scale


def draw_text(c, text, x0, y0, scale, colour):
    for n, ch in enumerate(text):
        for row, bits in enumerate(FONT[ch]):
            for col, bit in enumerate(bits):
                if bit == "#":
                    x = x0 + (n * 6 + col) * scale
                    y = y0 + row * scale
                    c.fill_rect(x, y, x + scale, y + scale, colour)


def player_rgb(yv, ud, vd):
    """The player's own YUV to RGB formula, so the plane bars show what each plane does."""
    def clamp(v):
        return max(0, min(255, int(v)))
    return (clamp(yv + 1.4075 * vd), clamp(yv - 0.3455 * ud - 0.7169 * vd), clamp(yv + 1.779 * ud))


def logo():
    background = (22, 26, 38)
    c = Canvas(LOGO_W, LOGO_H, background)
    # Frame: a 4-pixel light border on the outermost pixels, then a thin inner line.
    c.fill_rect(0, 0, LOGO_W, LOGO_H, (96, 108, 140))
    c.fill_rect(4, 4, LOGO_W - 4, LOGO_H - 4, background)
    c.fill_rect(8, 8, LOGO_W - 8, LOGO_H - 8, (50, 58, 82))
    c.fill_rect(9, 9, LOGO_W - 9, LOGO_H - 9, background)

    title, scale = "Tamrel YUV Player", 4
    tx = (LOGO_W - text_width(title, scale)) // 2
    draw_text(c, title, tx + 2, 28 + 2, scale, (8, 10, 16))
    draw_text(c, title, tx, 28, scale, (236, 238, 244))

    left, right = tx, tx + text_width(title, scale)
    c.fill_rect(left, 72, right, 74, (70, 80, 108))

    # Three bars, one per plane, each a sweep of that plane through the player's formula.
    gap = 22
    bar_w = (right - left - 2 * gap) / 3
    top, bottom = 88, 128
    sweeps = [
        ("Y", lambda t: player_rgb(16 + 219 * t, 0, 0)),
        ("U", lambda t: player_rgb(128, -112 + 224 * t, 0)),
        ("V", lambda t: player_rgb(128, 0, -112 + 224 * t)),
    ]
    for k, (letter, sweep) in enumerate(sweeps):
        x0 = left + k * (bar_w + gap)
        x1 = x0 + bar_w
        bbox = (int(x0) - 1, top - 1, int(x1) + 2, bottom + 1)
        c.draw(box(x0, top, x1, bottom, radius=7), (120, 132, 166), bbox)
        c.draw(box(x0 + 2, top + 2, x1 - 2, bottom - 2, radius=5),
               lambda x, y, x0=x0, sweep=sweep: sweep((x - x0) / bar_w), bbox)
        lx = int(x0 + (bar_w - text_width(letter, 3)) / 2)
        ly = (top + bottom - 21) // 2
        draw_text(c, letter, lx + 2, ly + 2, 3, (12, 14, 20))
        draw_text(c, letter, lx, ly, 3, WHITE)
    return c


# ---------------------------------------------------------------------------------------------


def main():
    root = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir))

    def write_file(relative, data, what):
        path = os.path.join(root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        print(f"wrote {relative}: {what}, {len(data)} bytes")

    def write(name, data, what):
        write_file(os.path.join("Img", name), data, what)

    # The logo first: it is the one image the view's tests look for.
    rows = logo().rgb_rows()
    # The view draws the decoded top row at the bottom, so the upright picture's top row goes
    # first in the (bottom-up) file, where a viewer shows it at the bottom: upside down.
    write("tamrel.bmp", bmp24_bytes(LOGO_W, LOGO_H, rows),
          f"logo {LOGO_W}x{LOGO_H} 24-bit BMP, stored upside down")

    write("T.ico", ico_bytes(window_icon()), "window icon 32x32, 8-bit palette")

    for name, paint in BUTTONS:
        c = Canvas(S, S)
        paint(c)
        write(name, png_bytes(S, S, c.rgba_bytes()), f"button icon {S}x{S} RGBA PNG")

    for size in THEME_ICON_SIZES:
        c = window_icon(size)
        write_file(os.path.join("data", "icons", "hicolor", f"{size}x{size}", "apps",
                                f"{THEME_ICON_NAME}.png"),
                   png_bytes(size, size, c.rgba_bytes()), f"application icon {size}x{size} RGBA PNG")


if __name__ == "__main__":
    main()
