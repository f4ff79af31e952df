#!/usr/bin/env python3
"""Unit tests for what resources/make_pictures.py adds to the renderer and
Pillow: compositing onto white, the BMP layout the program embeds, and the
level digit of each results picture.

    python3 tests/pictures/test_make_pictures.py
"""

import io
import os
import struct
import sys
import unittest

from PIL import Image

sys.dont_write_bytecode = True  # keep resources/ free of __pycache__
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "..", "resources"))
import make_pictures as mp  # noqa: E402


class PngReadTest(unittest.TestCase):
    def test_transparency_is_composited_onto_white(self):
        image = Image.new("RGBA", (3, 1))
        image.putdata([(0, 0, 0, 0), (0, 0, 0, 255), (200, 100, 0, 128)])
        png = io.BytesIO()
        image.save(png, "PNG")
        got = list(mp.decode_png(png.getvalue()).getdata())
        self.assertEqual(got[:2], [(255, 255, 255), (0, 0, 0)])
        self.assertTrue(all(abs(a - b) <= 1 for a, b in zip(got[2], (227, 177, 127))), got[2])

    def test_rejects_what_it_cannot_read(self):
        with self.assertRaises(mp.PictureError):
            mp.decode_png(b"GIF89a" + bytes(40))


class BmpLayoutTest(unittest.TestCase):
    def test_rows_bottom_up_and_blue_first(self):
        image = Image.new("RGB", (mp.WIDTH, mp.HEIGHT))
        image.putpixel((0, 0), (10, 20, 30))                        # top-left
        image.putpixel((mp.WIDTH - 1, mp.HEIGHT - 1), (40, 50, 60))  # bottom-right
        data = mp.bmp_bytes(image, 2)
        self.assertEqual(len(data), 14 + 921642)
        header = struct.unpack_from("<2sIHHIIiiHHIIiiII", data)
        self.assertEqual(header, (b"BM", 14 + 921642, 0, 0, 54, 40, 640, 480, 1, 24, 0, 921602, 0, 0, 0, 0))
        self.assertEqual(data[54:54 + mp.ROW_BYTES][-3:], bytes([60, 50, 40]))
        top = 54 + (mp.HEIGHT - 1) * mp.ROW_BYTES
        self.assertEqual(data[top:top + 3], bytes([30, 20, 10]))
        self.assertEqual(data[-2:], b"\0\0")


class LevelTemplateTest(unittest.TestCase):
    def test_only_the_level_reference_changes(self):
        src = '<use id="level" href="#digit-0" xlink:href="#digit-0"/><use href="#digit-0"/>'
        self.assertEqual(mp.svg_for(src, 4),
                         '<use id="level" href="#digit-4" xlink:href="#digit-4"/>'
                         '<use href="#digit-0"/>')
        with self.assertRaises(mp.PictureError):
            mp.svg_for("<svg/>", 1)


if __name__ == "__main__":
    unittest.main()
