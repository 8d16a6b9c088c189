#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into fuzz/corpus/<target>/.

Each seed is a small input in the target's layout (see the comment at the top of each
fuzz/fuzz_*.cpp) that reaches one kind of case: a navigation tour, odd sizes in every
layout, the size limits, refused sizes, a file shorter than a frame, a file changed,
replaced or grown past 4 GiB while open, widths around the vector widths, switched-off
planes, and so on. The fuzzer mutates from these; the inputs it adds in a long campaign
are merged into the same folders (scripts/fuzz describes how). Run again after changing
an input layout, which drops those additions; name targets to write only theirs:

    scripts/make_fuzz_corpus.py [TARGET...]
"""

import os
import shutil
import struct
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fuzz", "corpus")


def u8(v):
    return struct.pack("<B", v & 0xFF)


def s8(v):
    return struct.pack("<b", v)


def u16(v):
    return struct.pack("<H", v & 0xFFFF)


def u32(v):
    return struct.pack("<I", v & 0xFFFFFFFF)


def s32(v):
    return struct.pack("<i", v)


# --- the frame source -------------------------------------------------------------------------

YUV420, YUV422, YUV444, NO_LAYOUT = 0, 1, 2, 3
INTERESTING = [0, -1, 1, 2, 3, 4, 1919, 1920, 1921, 1079, 1080, 1081, 65536, 2**31 - 1, -2**31,
               2073600]


def small(w, h, fmt):
    """A geometry of kind 0: 1..32 x 1..32."""
    return u8(0) + u8(w - 1) + u8(h - 1) + u8(fmt)


def wide(w, h, fmt):
    """Kind 5: a width of 1889..1920 with 1..4 rows."""
    return u8(5) + u8(1920 - w) + u8(h - 1) + u8(fmt)


def tall(w, h, fmt):
    """Kind 6: 1..4 columns with a height of 1049..1080."""
    return u8(6) + u8(w - 1) + u8(1080 - h) + u8(fmt)


def edge(w, h, fmt):
    """Kind 7: sizes from the list of edge and invalid values."""
    return u8(7) + u8(INTERESTING.index(w)) + u8(INTERESTING.index(h)) + u8(fmt)


def frame_size(w, h, fmt):
    uv = (w * h) // 4 if fmt in (YUV420, NO_LAYOUT) else ((w * h) // 2 if fmt == YUV422 else w * h)
    return w * h + 2 * uv


def frames(w, h, fmt, count, extra=0):
    """count frames whose samples name their frame, then extra bytes of one more."""
    size = frame_size(w, h, fmt)
    out = bytearray()
    for n in range(count + 1):
        out += bytes((32 + 6 * n + i % 4) & 0xFF for i in range(size))
    return bytes(out[: size * count + extra])


def stream(geometry, data, padded=0):
    return geometry + u16(len(data)) + data + u32(padded)


GOTO_SMALL, GOTO_NEAR_END, GOTO_ANY, GOTO_RELATIVE = 0, 1, 2, 3


def goto(sel, value):
    return u8(0) + u8(sel) + (s32(value) if sel == GOTO_ANY else (s8(value) if sel != 1 else u8(value)))


NEXT, PREVIOUS, START, END = u8(1), u8(2), u8(3), u8(4)


def plane(which, state):
    return u8(5 + "YUV".index(which)) + u8(state)


def params(geometry, reenter=None):
    return u8(8) + geometry + (u8(1) + s8(reenter) if reenter is not None else u8(0) + u8(0))


def open_file(which):  # 0 the stream, 1 a missing name, 2 a folder
    return u8(9) + u8(which)


CLOSE = u8(10)


def truncate(size):
    return u8(11) + u32(size)


def append(data):
    return u8(12) + u8(len(data)) + data


def overwrite_from_end(back, data):
    return u8(13) + u8(1) + u16(back) + u8(len(data)) + data


def replace(data):
    return u8(14) + u16(len(data)) + data


def extend_past_4gib(extra):
    return u8(15) + u16(extra)


RECOUNT = u8(16)

# No seed of the largest picture: a frame of it costs thousands of times a small one, and the
# fuzzer would keep spending that on its mutations (the input 255, 255, 255 reaches it).
READER_SEEDS = {
    "tour-420-4x4": stream(small(4, 4, YUV420), frames(4, 4, YUV420, 3))
    + NEXT + NEXT + NEXT + PREVIOUS + END + START + goto(GOTO_SMALL, 2) + goto(GOTO_SMALL, 2)
    + goto(GOTO_SMALL, -1) + goto(GOTO_NEAR_END, 2) + plane("Y", 0) + plane("U", 1)
    + plane("V", 2) + plane("Y", 2) + END + NEXT,
    "odd-422-5x3": stream(small(5, 3, YUV422), frames(5, 3, YUV422, 6, 20))
    + goto(GOTO_SMALL, 5) + PREVIOUS + plane("U", 0) + END + goto(GOTO_RELATIVE, -3),
    "odd-420-7x5": stream(small(7, 5, YUV420), frames(7, 5, YUV420, 4, 11))
    + END + plane("V", 0) + goto(GOTO_SMALL, 1),
    "odd-444-3x3": stream(small(3, 3, YUV444), frames(3, 3, YUV444, 5)) + END + PREVIOUS,
    "shorter-than-a-frame": stream(small(4, 4, YUV420), frames(4, 4, YUV420, 0, 17))
    + NEXT + END + PREVIOUS + START + goto(GOTO_SMALL, 0),
    "empty-file": stream(small(2, 2, YUV444), b"") + END + NEXT + plane("Y", 0),
    "width-limit": stream(wide(1920, 2, YUV420), frames(4, 1, YUV444, 1), 3 * 5760)
    + END + overwrite_from_end(10, b"\xc8" * 10) + END + plane("U", 0),
    "height-limit": stream(tall(3, 1080, YUV422), b"\x50" * 4000, 2 * 6480) + END + PREVIOUS,
    "refused-sizes": stream(edge(0, 1921, YUV420), frames(2, 2, YUV420, 3))
    + params(edge(1921, 1080, YUV420)) + params(edge(1920, 1081, YUV444))
    + params(edge(-1, 4, YUV420)) + params(edge(2**31 - 1, 2**31 - 1, YUV420))
    + params(small(2, 2, YUV420)) + NEXT + params(edge(2073600, 1, YUV420)) + NEXT,
    "no-layout-reads-as-420": stream(small(4, 2, NO_LAYOUT), frames(4, 2, YUV420, 4)) + END,
    "new-params-reenter": stream(small(4, 4, YUV444), frames(4, 4, YUV444, 8))
    + goto(GOTO_SMALL, 7) + params(small(4, 4, YUV420), 7) + params(small(6, 2, YUV422), 3)
    + params(small(4, 4, YUV444), -1),
    "truncated-while-open": stream(small(4, 4, YUV420), frames(4, 4, YUV420, 4))
    + goto(GOTO_SMALL, 3) + truncate(24 + 18) + goto(GOTO_SMALL, 1) + NEXT + END
    + RECOUNT + END,
    "appended-while-open": stream(small(4, 2, YUV422), frames(4, 2, YUV422, 2))
    + append(b"\x90" * 48) + NEXT + NEXT + RECOUNT + END,
    "replaced-while-open": stream(small(3, 2, YUV444), frames(3, 2, YUV444, 3))
    + replace(b"\x10" * 90) + NEXT + plane("Y", 0) + RECOUNT + open_file(0) + RECOUNT + END,
    "open-missing-and-folder": stream(small(4, 4, YUV420), frames(4, 4, YUV420, 3))
    + open_file(1) + NEXT + END + PREVIOUS + open_file(2) + goto(GOTO_SMALL, 1)
    + open_file(0) + START + RECOUNT + CLOSE + NEXT + plane("V", 0) + open_file(0) + END,
    "sparse-past-4gib": stream(small(32, 32, YUV444), frames(32, 32, YUV444, 1))
    + extend_past_4gib(77) + overwrite_from_end(5000, bytes(range(200)))
    + RECOUNT + END + PREVIOUS + goto(GOTO_ANY, 1000000),
    "one-byte-frames-clamped": stream(small(1, 1, YUV420), b"\x3c\x96")
    + extend_past_4gib(5) + RECOUNT + END + PREVIOUS + NEXT + NEXT
    + goto(GOTO_ANY, 2**31 - 1) + goto(GOTO_ANY, 2**31 - 2) + goto(GOTO_ANY, -2**31),
    "never-described": stream(edge(0, 0, 3), frames(2, 2, YUV420, 2))
    + NEXT + END + PREVIOUS + goto(GOTO_SMALL, 1) + plane("U", 0) + params(small(2, 2, YUV420))
    + END,
}

# --- the snapshot writer ----------------------------------------------------------------------

BMP_INTERESTING = [0, -1, 1, 1919, 1920, 1921, 1079, 1080, 1081, 2**31 - 1, -2**31, 65536]
NEW, OLD_FILE, LINK = 0, 1, 2


def bmp(w, h, target, pixels, keep_height=False):
    kind = 4 if keep_height else 0
    return u8(kind) + u16(w - 1) + u16(h - 1) + u8(target) + pixels


def bmp_edge(w, h, target):
    return u8(3) + u16(BMP_INTERESTING.index(w)) + u16(BMP_INTERESTING.index(h)) + u8(target) + b"\x01"


RAMP = bytes(range(256))

BMP_SEEDS = {
    "1x1": bmp(1, 1, NEW, b"\xff\x00\x00"),
    "odd-3x5": bmp(3, 5, NEW, RAMP),
    "width-353": bmp(353, 2, OLD_FILE, RAMP * 3),
    "width-352-over-old": bmp(352, 186, OLD_FILE, RAMP * 4),
    "full-width": bmp(1920, 34, NEW, RAMP * 8),
    "full-height": bmp(60, 1080, LINK, RAMP, keep_height=True),
    "through-link": bmp(17, 9, LINK, RAMP),
    "refused-0": bmp_edge(0, 1080, OLD_FILE),
    "refused-1921": bmp_edge(1921, 1, NEW),
    "refused-1081": bmp_edge(1, 1081, LINK),
    "refused-int-max": bmp_edge(2**31 - 1, 2**31 - 1, OLD_FILE),
    "largest-edge-1920x1": bmp_edge(1920, 1, NEW),
}


# --- the colour conversion -------------------------------------------------------------------

CONV_REFUSED = [0, -1, 1921, 1081, 2**31 - 1, -2**31, 65536]
Y_OFF, U_OFF, V_OFF = 1, 2, 4


def conv(kind, a, b, fmt, off=0, samples=RAMP):
    return u8(kind) + u16(a) + u16(b) + u8(fmt) + u8(off) + samples


def conv_small(w, h, fmt, off=0, samples=RAMP):
    """Kind 0: 1..136 x 1..9."""
    return conv(0, w - 1, h - 1, fmt, off, samples)


def conv_refused(w, h):
    """Kind 31: a (or b) odd picks a refused value, even a valid one."""
    a = 2 * CONV_REFUSED.index(w) + 1 if w in CONV_REFUSED else 2 * (w - 1)
    b = 2 * CONV_REFUSED.index(h) + 1 if h in CONV_REFUSED else 2 * (h - 1)
    return conv(31, a, b, YUV420)


FORMAT_NAMES = {YUV420: "420", YUV422: "422", YUV444: "444"}

CONVERSION_SEEDS = {
    f"width-{w}-{FORMAT_NAMES[f]}": conv_small(w, 3, f)
    for w in (1, 3, 15, 16, 17, 31, 32, 33, 63, 65, 97)
    for f in (YUV420, YUV422, YUV444)
}
CONVERSION_SEEDS.update({
    "planes-y-off": conv_small(33, 2, YUV420, Y_OFF),
    "planes-u-off": conv_small(34, 2, YUV422, U_OFF),
    "planes-v-off": conv_small(35, 2, YUV444, V_OFF),
    "planes-all-off": conv_small(17, 2, YUV420, Y_OFF | U_OFF | V_OFF),
    "extremes": conv_small(40, 2, YUV444, 0, b"\x00\xff" * 7 + b"\x80"),
    "wide-1920x2": conv(28, 1919, 1, YUV420),
    "tall-7x1080": conv(29, 6, 1079, YUV422),
    "any-1001x16": conv(30, 1000, 62, YUV444),
    "refused-0x1": conv_refused(0, 1),
    "refused-1921x1080": conv_refused(1921, 1080),
    "refused-int-min": conv_refused(-2**31, -2**31),
})

# --- the snapshot file in memory --------------------------------------------------------------


def built(kind, a, b, pixels=RAMP):
    return u8(kind) + u16(a) + u16(b) + pixels


BUILDER_SEEDS = {f"width-{w}": built(0, w - 1, 2) for w in (1, 2, 3, 4, 5, 63, 64)}
BUILDER_SEEDS.update({
    "red-1x1": built(0, 0, 0, b"\xff\x00\x00"),
    "wide-1920x2": built(13, 1919, 1),
    "tall-3x1080": built(14, 2, 1079),
    "any-353x46": built(15, 352, 184),
})


# --- the tool's command line -------------------------------------------------------------------


def args(*words):
    """A command line: the arguments separated by NUL bytes."""
    return b"\0".join(w.encode("latin-1") for w in words)


# Names as they are kept on disk: test sequences, clip collections, camera and decoder dumps.
SEQUENCE_NAMES = ["crowd_run_1080p50.yuv", "park_joy_1080p50.yuv", "station2_1080p25.yuv",
                  "in_to_tree_720p50.yuv", "720p60/clip.yuv", "foreman_sif.yuv", "akiyo_cif.yuv",
                  "QCIF-422.YUV", "mobile.4cif.yuv", "park_1920x1080_50fps_422.yuv",
                  "clip_1080p_yuv444p.yuv", "720p/clip_i420.yuv", "uhd_3840x2160.yuv"]

SNAP_SEEDS = {
    "names-of-test-sequences": args(*SEQUENCE_NAMES),
    "info-size-with-rate": args("--info", "crowd_run_1080p50.yuv"),
    "range-size-from-folder": args("-f", "3-9", "720p60/clip.yuv"),
    "pattern-sif": args("-f", "2-4", "-o", "shot_%n.bmp", "foreman_sif.yuv"),
    "all-options-name-not-read": args("-W", "1280", "-H", "720", "-l", "420",
                                      "cam_nv12_1280x720.yuv"),
    "width-option-height-from-name": args("-W", "176", "--no-y", "akiyo_cif.yuv"),
    "size-from-folder-layout-from-file": args("1080p25/station2_i420.yuv"),
    "oversized-2160p60": args("--info", "clip_2160p60.yuv"),
    "refused-10bit": args("MarketPlace_1920x1080_60fps_10bit_420.yuv"),
    "refused-yuv420p10le": args("-l", "420", "enc_1920x1080_yuv420p10le.yuv"),
    "refused-p010-in-folder": args("P010/clip_1920x1080_420.yuv"),
    "refused-yuyv422": args("capture_yuyv422_640x480.yuv"),
    "refused-rgb24-yv12": args("--no-u", "clip_rgb24_352x288.yuv", "dump_yv12_cif.yuv"),
    "refused-two-layouts": args("clip_1920x1080_422_420.yuv"),
    "refused-two-sizes": args("foreman_cif_1920x1080.yuv"),
    "frames-reversed": args("-f", "2-1", "QCIF-422.YUV"),
    "frames-beyond-64-bits": args("-f", "0-000099999999999999999999", "-o", "a%%b_%n.bmp",
                                  "mobile.4cif.yuv"),
    "compact-options": args("-W352", "-H288", "-l444", "--frames=5", "--output=x.bmp", "x.yuv"),
    "bad-values": args("-W", "0", "-H", "1081", "-l", "423", "clip.yuv"),
    "help": args("--help"),
    "version": args("--version"),
}


def write(target, seeds):
    folder = os.path.join(ROOT, target)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    return len(seeds), sum(len(d) for d in seeds.values())


def main():
    chosen = sys.argv[1:]
    for target, seeds in (("fuzz_yuvreader", READER_SEEDS), ("fuzz_conversion", CONVERSION_SEEDS),
                          ("fuzz_bmpbuilder", BUILDER_SEEDS), ("fuzz_bmpwriter", BMP_SEEDS),
                          ("fuzz_snapoptions", SNAP_SEEDS)):
        if chosen and target not in chosen:
            continue
        count, size = write(target, seeds)
        print(f"{target}: {count} seeds, {size} bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main())
