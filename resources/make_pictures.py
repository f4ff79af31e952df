#!/usr/bin/env python3
"""Render the seven background pictures of KORU BENCH into .bmp files.

    python3 resources/make_pictures.py OUTDIR

writes OUTDIR/BG_BMP.bmp and OUTDIR/BG0_BMP.bmp .. BG5_BMP.bmp from the SVG
sources in resources/pictures/. Each SVG is rendered by rsvg-convert to PNG,
read with Pillow and rewritten as a 640x480, 24-bit, bottom-up BMP, the form
the executable embeds as bitmap resources. The build needs rsvg-convert, the
IPA Gothic font and Pillow (python3-pil). The output depends only on the
sources and the renderer: no timestamps.
"""

import io
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

from PIL import Image

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


def require_svg_images():
    """The measuring and results pictures draw the scene through an SVG
    <image>, which librsvg loads with gdk-pixbuf's SVG loader (from
    librsvg2-common); without it the scene is left out without a word and
    the pictures come out nearly blank. A black square drawn that way tells."""
    square = '<svg xmlns="http://www.w3.org/2000/svg" width="4" height="4"><rect width="4" height="4"/></svg>'
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "square.svg"), "w") as out:
            out.write(square)
        probe = os.path.join(folder, "probe.svg")
        with open(probe, "w") as out:
            out.write('<svg xmlns="http://www.w3.org/2000/svg" width="4" height="4">'
                      '<image href="square.svg" x="0" y="0" width="4" height="4"/></svg>')
        image = decode_png(render_png(probe))
    if image.getpixel((WIDTH // 2, HEIGHT // 2)) != (0, 0, 0):
        raise PictureError("rsvg-convert cannot draw an SVG inside an SVG picture, and the backgrounds "
                           "would lose their scene (install librsvg2-common)")


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


def decode_png(data):
    """The rendered PNG as an RGB image; transparent pixels are composited
    onto white, since a BMP has no alpha."""
    try:
        image = Image.open(io.BytesIO(data))
        image.load()
    except (OSError, SyntaxError) as e:  # what Pillow raises for bad images
        raise PictureError("renderer output is not a readable PNG: %s" % e)
    white = Image.new("RGBA", image.size, (255, 255, 255, 255))
    return Image.alpha_composite(white, image.convert("RGBA")).convert("RGB")


def bmp_bytes(image, trailing):
    """A 24-bit BI_RGB bottom-up BMP file of a 640x480 RGB image, with
    `trailing` zero bytes after the pixel rows."""
    pixels = image.transpose(Image.Transpose.FLIP_TOP_BOTTOM).tobytes("raw", "BGR") + bytes(trailing)
    image_size = len(pixels)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0,
                       image_size, 0, 0, 0, 0)
    offset = 14 + len(info)
    file_header = struct.pack("<2sIHHI", b"BM", offset + image_size, 0, 0, offset)
    return file_header + info + bytes(pixels)


def make_all(out_dir):
    require_tools()
    require_svg_images()
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
            image = decode_png(render_png(svg_path))
            if image.size != (WIDTH, HEIGHT):
                raise PictureError("%s rendered at %dx%d, expected %dx%d"
                                   % ((name,) + image.size + (WIDTH, HEIGHT)))
            data = bmp_bytes(image, trailing)
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
