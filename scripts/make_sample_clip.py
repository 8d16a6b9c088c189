#!/usr/bin/env python3
"""Write a raw planar YUV test clip (no header): 8-bit Y plane, then U, then V, frame after frame.

    scripts/make_sample_clip.py OUT.yuv [--width 176] [--height 144] [--frames 100] [--format 420]

The picture: 75% colour bars (BT.601 studio range) over the top two thirds, a dark strip with the
frame number and a yellow marker that moves one step a frame, and a luma ramp at the bottom; a
white square bounces diagonally across the bars. Every frame differs from the next, the top row
differs from the bottom row, and both chroma planes change from frame to frame.

Chroma plane sizes and sample positions follow the player's own mapping: 4:2:0 holds (W*H)/4
samples, the one for pixel (x, y) at (y/2)*(W/2) + x/2; 4:2:2 holds (W*H)/2 at y*(W/2) + x/2;
4:4:4 holds W*H at y*W + x (integer divisions).
"""

import argparse
import sys

# 3 x 5 digits for the frame number.
DIGITS = {
    "0": ["###", "#.#", "#.#", "#.#", "###"],
    "1": [".#.", "##.", ".#.", ".#.", "###"],
    "2": ["###", "..#", "###", "#..", "###"],
    "3": ["###", "..#", "###", "..#", "###"],
    "4": ["#.#", "#.#", "###", "..#", "..#"],
    "5": ["###", "#..", "###", "..#", "###"],
    "6": ["###", "#..", "###", "#.#", "###"],
    "7": ["###", "..#", "..#", "..#", "..#"],
    "8": ["###", "#.#", "###", "#.#", "###"],
    "9": ["###", "#.#", "###", "..#", "###"],
}


def studio_yuv(r, g, b):
    """BT.601 studio-range Y, Cb, Cr of an RGB colour given in 0..1."""
    y = 0.299 * r + 0.587 * g + 0.114 * b
    return (round(16 + 219 * y), round(128 + 224 * (b - y) / 1.772),
            round(128 + 224 * (r - y) / 1.402))


# The usual 75% bars, left to right: white, yellow, cyan, green, magenta, red, blue.
BARS = [studio_yuv(*(0.75 * c for c in rgb)) for rgb in
        [(1, 1, 1), (1, 1, 0), (0, 1, 1), (0, 1, 0), (1, 0, 1), (1, 0, 0), (0, 0, 1)]]
WHITE = (235, 128, 128)
STRIP = (16, 128, 128)
MARKER = studio_yuv(1, 1, 0)  # full yellow, so the marker moves in both chroma planes


def bounce(t, span):
    """Triangle wave 0..span..0 with period 2*span."""
    if span <= 0:
        return 0
    t %= 2 * span
    return t if t <= span else 2 * span - t


class Frame:
    """Three full-resolution planes, subsampled when written."""

    def __init__(self, w, h, background):
        self.w, self.h = w, h
        self.planes = [bytearray(p) for p in background]

    def fill(self, x0, y0, x1, y1, yuv):
        x0, y0, x1, y1 = max(0, x0), max(0, y0), min(self.w, x1), min(self.h, y1)
        if x0 >= x1 or y0 >= y1:
            return
        for plane, value in zip(self.planes, yuv):
            run = bytes((value,)) * (x1 - x0)
            for y in range(y0, y1):
                plane[y * self.w + x0:y * self.w + x1] = run


def chroma_plane(full, w, h, fmt):
    """Samples a full-resolution chroma plane into the file's layout for fmt."""
    if fmt == "444":
        return bytes(full)
    stride = w // 2
    size = (w * h) // 4 if fmt == "420" else (w * h) // 2
    rows = range(0, h, 2) if fmt == "420" else range(h)
    out = bytearray(b"\x80" * size)
    for n, y in enumerate(rows):
        start = n * stride
        if start >= size:
            break
        # Even columns of the row; with an odd width the last one lands on the next row's first
        # index, which the next row then overwrites, as the player's own mapping does.
        samples = full[y * w:(y + 1) * w:2]
        count = min(len(samples), size - start)
        out[start:start + count] = samples[:count]
    return bytes(out)


def make_clip(path, w, h, frames, fmt):
    bars_h = h * 2 // 3
    strip_h = h // 6
    ramp_top = bars_h + strip_h

    # Static background, built once a row at a time.
    bar_row = [bytearray(w) for _ in range(3)]
    for x in range(w):
        for k in range(3):
            bar_row[k][x] = BARS[min(6, x * 7 // w)][k]
    ramp_y = bytes(16 + (219 * x) // max(1, w - 1) for x in range(w))
    background = []
    for k in range(3):
        strip = bytes((STRIP[k],)) * w
        ramp = ramp_y if k == 0 else b"\x80" * w
        background.append(bytes(bar_row[k]) * bars_h + strip * strip_h + ramp * (h - ramp_top))

    scale = max(1, strip_h // 7)
    digit_top = bars_h + (strip_h - 5 * scale) // 2
    square = max(2, min(w, h) // 6)
    marker_w = max(2, scale * 2)

    with open(path, "wb") as f:
        for n in range(frames):
            frame = Frame(w, h, background)
            x = bounce(3 * n, w - square)
            y = bounce(2 * n, bars_h - square)
            frame.fill(x, y, x + square, y + square, WHITE)

            left = 2 * scale
            for ch in str(n):
                for row, bits in enumerate(DIGITS[ch]):
                    for col, bit in enumerate(bits):
                        if bit == "#":
                            px, py = left + col * scale, digit_top + row * scale
                            frame.fill(px, py, px + scale, py + scale, WHITE)
                left += 4 * scale
            track = left + 2 * scale
            mx = track + (2 * n) % max(1, w - marker_w - track + 1)
            frame.fill(mx, bars_h + 1, mx + marker_w, ramp_top - 1, MARKER)

            luma, cb, cr = frame.planes
            f.write(luma)
            f.write(chroma_plane(cb, w, h, fmt))
            f.write(chroma_plane(cr, w, h, fmt))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("path", help="output file")
    parser.add_argument("--width", type=int, default=176)
    parser.add_argument("--height", type=int, default=144)
    parser.add_argument("--frames", type=int, default=100)
    parser.add_argument("--format", choices=["420", "422", "444"], default="420")
    args = parser.parse_args()
    if args.width < 1 or args.height < 1 or args.frames < 1:
        parser.error("width, height and frames must be at least 1")

    make_clip(args.path, args.width, args.height, args.frames, args.format)
    w, h = args.width, args.height
    chroma = {"420": (w * h) // 4, "422": (w * h) // 2, "444": w * h}[args.format]
    frame_size = w * h + 2 * chroma
    print(f"wrote {args.path}: {w}x{h} YUV {args.format}, {args.frames} frames, "
          f"{frame_size} bytes a frame, {frame_size * args.frames} bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main())
