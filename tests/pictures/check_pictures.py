#!/usr/bin/env python3
"""Check the seven background pictures against the screen layout.

    python3 tests/pictures/check_pictures.py DIR

DIR holds BG_BMP.bmp and BG0_BMP.bmp .. BG5_BMP.bmp as written by
resources/make_pictures.py. Everything is judged from the files' bytes and
pixels: the program draws its text over these pictures at fixed positions,
so the places it writes to must be blank and the level digit must sit where
the decimals (drawn at 510,135) complete it.
"""

import os
import struct
import sys

W, H = 640, 480
ROW = W * 3

# name -> (DIB size without the 14-byte file header, biSizeImage)
SIZES = {"BG_BMP": (921640, 921600)}
SIZES.update({"BG%d_BMP" % d: (921642, 921602) for d in range(6)})
RESULTS = ["BG%d_BMP" % d for d in range(6)]

# Inclusive rectangles: x0, y0, x1, y1.
COUNTDOWN_TEXT = (378, 128, 630, 300)  # first-paint line at x 380, countdown at x 400
FIGURES = (398, 158, 630, 258)
FRACTION = (514, 132, 600, 162)
DIGIT_BOX = (452, 81, 513, 153)
DIGIT_SURROUND = (444, 79, 560, 165)  # the digit must not spill into this
MIN_INK = 600        # a bold digit of ~60x72 px covers far more than this
MIN_DARK_INK = 300   # pixels with every channel below 128
MIN_INK_BOTTOM = 146  # the digit ends on the decimals' baseline
MIN_INK_RIGHT = 500   # ... and reaches over to where they start


class Picture:
    def __init__(self, name, data):
        self.name = name
        self.data = data

    def pixel(self, x, y):
        # Rows are stored bottom-up.
        at = 54 + (H - 1 - y) * ROW + 3 * x
        return self.data[at:at + 3]

    def region(self, rect):
        x0, y0, x1, y1 = rect
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                yield x, y, self.pixel(x, y)


class Report:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, ok, what, expected, got):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print("FAIL %s: expected %s, got %s" % (what, expected, got))
        return ok


def colour(px):
    b, g, r = px
    return "#%02x%02x%02x" % (r, g, b)


def header_problems(name, data):
    """Differences from a 640x480 24-bit bottom-up BI_RGB BMP, as strings."""
    dib_size, image_size = SIZES[name]
    if len(data) < 54 or data[:2] != b"BM":
        return ["not a BMP (%d bytes)" % len(data)]
    bf_size, _, _, off_bits = struct.unpack("<IHHI", data[2:14])
    (bi_size, width, height, planes, bpp, compression, bi_image, _, _,
     clr_used, _) = struct.unpack("<IiiHHIIiiII", data[14:54])
    fields = [
        ("file size", len(data), 14 + dib_size),
        ("bfSize", bf_size, len(data)),
        ("bfOffBits", off_bits, 54),
        ("biSize", bi_size, 40),
        ("biWidth", width, W),
        ("biHeight", height, H),
        ("biPlanes", planes, 1),
        ("biBitCount", bpp, 24),
        ("biCompression", compression, 0),
        ("biSizeImage", bi_image, image_size),
        ("biClrUsed", clr_used, 0),
    ]
    problems = ["%s %d (want %d)" % (f, got, want) for f, got, want in fields
                if got != want]
    if not problems and any(data[54 + ROW * H:]):
        problems.append("non-zero bytes after the pixel rows")
    return problems


def check_plain(rep, pic, rect, what, want=None):
    """The area is one colour (and that colour is `want`, if given)."""
    first = want if want is not None else pic.pixel(rect[0], rect[1])
    bad = [(x, y, px) for x, y, px in pic.region(rect) if px != first]
    got = "ok" if not bad else "%d other pixels, first %s at (%d,%d)" % (
        len(bad), colour(bad[0][2]), bad[0][0], bad[0][1])
    rep.check(not bad, "%s %s %s" % (pic.name, what, rect),
              "plain %s" % colour(first), got)
    return first


def check_ink(rep, pic, rect, what):
    """Something is drawn in the area (a caption, say)."""
    first = pic.pixel(rect[0], rect[1])
    n = sum(1 for _, _, px in pic.region(rect) if px != first)
    rep.check(n >= 100, "%s %s %s" % (pic.name, what, rect),
              ">= 100 drawn pixels", n)


def check_digit(rep, pic, balloon):
    x0, y0, x1, y1 = DIGIT_BOX
    ink = [(x, y, px) for x, y, px in pic.region(DIGIT_BOX) if px != balloon]
    dark = sum(1 for _, _, px in ink if max(px) < 128)
    rep.check(len(ink) >= MIN_INK and dark >= MIN_DARK_INK,
              "%s digit ink in %s" % (pic.name, DIGIT_BOX),
              ">= %d ink pixels, >= %d dark" % (MIN_INK, MIN_DARK_INK),
              "%d ink, %d dark" % (len(ink), dark))
    spill = [(x, y) for x, y, px in pic.region(DIGIT_SURROUND)
             if not (x0 <= x <= x1 and y0 <= y <= y1) and px != balloon]
    rep.check(not spill, "%s digit stays inside %s" % (pic.name, DIGIT_BOX),
              "balloon colour all around it",
              "%d pixels outside, first at %s" % (len(spill), spill[:1]))
    if ink:
        bottom = max(y for _, y, _ in ink)
        right = max(x for x, _, _ in ink)
        rep.check(bottom >= MIN_INK_BOTTOM and right >= MIN_INK_RIGHT,
                  "%s digit meets the decimals at (510,135)" % pic.name,
                  "ink reaching y >= %d and x >= %d" % (MIN_INK_BOTTOM, MIN_INK_RIGHT),
                  "y %d, x %d" % (bottom, right))


def box_bytes(pic):
    x0, y0, x1, y1 = DIGIT_BOX
    return b"".join(pic.pixel(x, y) for y in range(y0, y1 + 1)
                    for x in range(x0, x1 + 1))


def outside_box_differences(a, b):
    """Pixels outside the digit box where pictures a and b differ."""
    x0, y0, x1, y1 = DIGIT_BOX
    count, first = 0, None
    for y in range(H):
        start = 54 + (H - 1 - y) * ROW
        if a.data[start:start + ROW] == b.data[start:start + ROW]:
            continue
        for x in range(W):
            if (x0 <= x <= x1 and y0 <= y <= y1) or a.pixel(x, y) == b.pixel(x, y):
                continue
            count += 1
            first = first or (x, y)
    return count, first


def run(directory):
    rep = Report()
    pics = {}
    for name in SIZES:
        path = os.path.join(directory, name + ".bmp")
        if not rep.check(os.path.isfile(path), "%s present" % name, path, "missing"):
            continue
        with open(path, "rb") as f:
            data = f.read()
        problems = header_problems(name, data)
        if rep.check(not problems, "%s format" % name,
                     "640x480 24-bit BI_RGB, %d-byte DIB" % SIZES[name][0],
                     "; ".join(problems)):
            pics[name] = Picture(name, data)

    if "BG_BMP" in pics:
        pic = pics["BG_BMP"]
        check_ink(rep, pic, (380, 65, 620, 100), "heading")
        check_plain(rep, pic, COUNTDOWN_TEXT, "countdown text area")

    for name in RESULTS:
        if name not in pics:
            continue
        pic = pics[name]
        balloon = check_plain(rep, pic, FIGURES, "figure band")
        check_plain(rep, pic, FRACTION, "decimals area", balloon)
        check_ink(rep, pic, (380, 261, 620, 307), "closing lines")
        check_digit(rep, pic, balloon)

    present = [pics[n] for n in RESULTS if n in pics]
    for i, a in enumerate(present):
        for b in present[i + 1:]:
            if a is present[0]:
                count, first = outside_box_differences(a, b)
                rep.check(count == 0, "%s and %s alike outside the digit" % (a.name, b.name),
                          "no differing pixels", "%d, first at %s" % (count, first))
            rep.check(box_bytes(a) != box_bytes(b),
                      "%s and %s digits differ" % (a.name, b.name),
                      "different glyphs", "identical")

    print("%d passed, %d failed" % (rep.passed, rep.failed))
    return 0 if rep.failed == 0 else 1


if __name__ == "__main__":
    if len(sys.argv) != 2:
        print("usage: check_pictures.py DIR", file=sys.stderr)
        sys.exit(2)
    sys.exit(run(sys.argv[1]))
