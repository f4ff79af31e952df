#!/usr/bin/env python3
"""Render the seven background pictures of KORU BENCH into .bmp files.

    python3 resources/make_pictures.py OUTDIR

writes OUTDIR/BG_BMP.bmp and OUTDIR/BG0_BMP.bmp .. BG5_BMP.bmp from the SVG
sources in resources/pictures/. Each SVG is rendered by rsvg-convert to PNG;
the PNG is decoded here and rewritten as a 640x480, 24-bit, bottom-up BMP,
the form the executable embeds as bitmap resources. Python standard library
only, so the build needs nothing beyond rsvg-convert and the IPA Gothic font.
The output depends only on the sources and the renderer: no timestamps.
"""

import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

WIDTH = 640
HEIGHT = 480
ROW_BYTES = WIDTH * 3  # 1920, already a multiple of 4: no row padding
PIXEL_BYTES = ROW_BYTES * HEIGHT
FONT_FAMILY = "IPAGothic"

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.join(HERE, "pictures")

# (output name, SVG source, level digit or None, bytes after the pixel rows).
# The results pictures carry two zero bytes after the pixels: the resource
# sizes the program was built around are 921,642 bytes for those.
PICTURES = [("BG_BMP", "measuring.svg", None, 0)] + [
    ("BG%d_BMP" % d, "results.svg", d, 2) for d in range(6)
]

LEVEL_USE = re.compile(r'<use id="level"[^>]*>')
DIGIT_REF = re.compile(r'#digit-\d')


class PictureError(Exception):
    pass


def require_tools():
    if shutil.which("rsvg-convert") is None:
        raise PictureError("rsvg-convert not found (install librsvg2-bin)")
    # Without the font, librsvg silently falls back to another face and the
    # Japanese captions change shape; refuse rather than ship that.
    if shutil.which("fc-list") is not None:
        found = subprocess.run(["fc-list", ":family=" + FONT_FAMILY],
                               capture_output=True, text=True).stdout
        if not found.strip():
            raise PictureError("font %s not found (install fonts-ipafont-gothic)"
                               % FONT_FAMILY)


def svg_for(source_text, digit):
    if digit is None:
        return source_text
    # Both href and xlink:href point at the digit; renderers differ in
    # which one they honour, so rewrite every reference in the tag.
    text, count = LEVEL_USE.subn(
        lambda m: DIGIT_REF.sub("#digit-%d" % digit, m.group(0)), source_text)
    if count == 0:
        raise PictureError('results.svg has no <use id="level" href="#digit-N">')
    return text


def render_png(svg_path):
    proc = subprocess.run(
        ["rsvg-convert", "-f", "png", "-w", str(WIDTH), "-h", str(HEIGHT), svg_path],
        capture_output=True)
    if proc.returncode != 0:
        raise PictureError("rsvg-convert failed on %s: %s"
                           % (os.path.basename(svg_path),
                              proc.stderr.decode(errors="replace").strip()))
    return proc.stdout


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def decode_png(data):
    """Return (width, height, rows of RGB bytes) for an 8-bit RGB/RGBA PNG.

    Transparent pixels are composited onto white, since a BMP has no alpha.
    """
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise PictureError("renderer output is not a PNG")
    pos = 8
    header = None
    idat = []
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat.append(body)
        elif kind == b"IEND":
            break
    if header is None:
        raise PictureError("PNG without IHDR")
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace != 0:
        raise PictureError("unsupported PNG (bit depth %d, colour type %d, "
                           "interlace %d)" % (depth, colour, interlace))
    bpp = 4 if colour == 6 else 3
    stride = width * bpp
    raw = zlib.decompress(b"".join(idat))
    if len(raw) != (stride + 1) * height:
        raise PictureError("PNG data is %d bytes, expected %d"
                           % (len(raw), (stride + 1) * height))

    rows = []
    prev = bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind = raw[start]
        line = bytearray(raw[start + 1:start + 1 + stride])
        if kind == 1:
            for i in range(bpp, stride):
                line[i] = (line[i] + line[i - bpp]) & 0xFF
        elif kind == 2:
            line = bytearray((a + b) & 0xFF for a, b in zip(line, prev))
        elif kind == 3:
            for i in range(stride):
                left = line[i - bpp] if i >= bpp else 0
                line[i] = (line[i] + ((left + prev[i]) >> 1)) & 0xFF
        elif kind == 4:
            for i in range(stride):
                if i >= bpp:
                    line[i] = (line[i] + _paeth(line[i - bpp], prev[i],
                                                prev[i - bpp])) & 0xFF
                else:
                    line[i] = (line[i] + prev[i]) & 0xFF
        elif kind != 0:
            raise PictureError("bad PNG filter type %d in row %d" % (kind, y))
        prev = line
        if bpp == 3:
            rows.append(bytes(line))
            continue
        rgb = bytearray(width * 3)
        for x in range(width):
            r, g, b, a = line[4 * x:4 * x + 4]
            if a != 255:
                # PNG stores straight (not premultiplied) alpha.
                r = (r * a + 255 * (255 - a) + 127) // 255
                g = (g * a + 255 * (255 - a) + 127) // 255
                b = (b * a + 255 * (255 - a) + 127) // 255
            rgb[3 * x:3 * x + 3] = bytes((r, g, b))
        rows.append(bytes(rgb))
    return width, height, rows


def bmp_bytes(rows, trailing):
    """A 24-bit BI_RGB bottom-up BMP file for 640x480 rows of RGB bytes."""
    pixels = bytearray()
    for row in reversed(rows):
        bgr = bytearray(row)
        bgr[0::3], bgr[2::3] = row[2::3], row[0::3]
        pixels += bgr
    pixels += bytes(trailing)
    image_size = len(pixels)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0,
                       image_size, 0, 0, 0, 0)
    offset = 14 + len(info)
    file_header = struct.pack("<2sIHHI", b"BM", offset + image_size, 0, 0, offset)
    return file_header + info + bytes(pixels)


def make_all(out_dir):
    require_tools()
    os.makedirs(out_dir, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        # librsvg only loads images next to (or below) the SVG it renders,
        # so the sources and the per-level variants live side by side here.
        for name in os.listdir(SOURCE_DIR):
            if name.endswith(".svg"):
                shutil.copy(os.path.join(SOURCE_DIR, name), work)
        for name, source, digit, trailing in PICTURES:
            with open(os.path.join(SOURCE_DIR, source), encoding="utf-8") as f:
                text = svg_for(f.read(), digit)
            svg_path = os.path.join(work, name + ".svg")
            with open(svg_path, "w", encoding="utf-8") as f:
                f.write(text)
            width, height, rows = decode_png(render_png(svg_path))
            if (width, height) != (WIDTH, HEIGHT):
                raise PictureError("%s rendered at %dx%d, expected %dx%d"
                                   % (name, width, height, WIDTH, HEIGHT))
            data = bmp_bytes(rows, trailing)
            expected = 14 + 40 + PIXEL_BYTES + trailing
            if len(data) != expected:
                raise PictureError("%s is %d bytes, expected %d"
                                   % (name, len(data), expected))
            with open(os.path.join(out_dir, name + ".bmp"), "wb") as f:
                f.write(data)


def main(argv):
    if len(argv) != 2:
        print("usage: make_pictures.py OUTDIR", file=sys.stderr)
        return 2
    try:
        make_all(argv[1])
    except PictureError as e:
        print("make_pictures: " + str(e), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
