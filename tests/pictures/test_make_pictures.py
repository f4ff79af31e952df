#!/usr/bin/env python3
"""Unit tests for the PNG reader and BMP writer in resources/make_pictures.py.

Today's rsvg-convert may not use every PNG row filter; a newer one could, so
each filter is exercised here on PNGs built by the test itself.

    python3 tests/pictures/test_make_pictures.py
"""

import os
import random
import struct
import sys
import unittest
import zlib

sys.dont_write_bytecode = True  # keep resources/ free of __pycache__
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "..", "resources"))
import make_pictures as mp  # noqa: E402


def chunk(kind, body):
    return (struct.pack(">I", len(body)) + kind + body
            + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))


def predictor(kind, left, up, up_left):
    if kind == 1:
        return left
    if kind == 2:
        return up
    if kind == 3:
        return (left + up) // 2
    if kind == 4:
        p = left + up - up_left
        dists = [(abs(p - left), 0, left), (abs(p - up), 1, up),
                 (abs(p - up_left), 2, up_left)]
        return min(dists)[2]
    return 0


def encode_png(width, rows, colour_type, filters):
    """PNG bytes for 8-bit rows, row y filtered with filters[y % len]."""
    bpp = 4 if colour_type == 6 else 3
    raw = bytearray()
    prev = bytes(width * bpp)
    for y, row in enumerate(rows):
        kind = filters[y % len(filters)]
        raw.append(kind)
        for i, v in enumerate(row):
            left = row[i - bpp] if i >= bpp else 0
            up_left = prev[i - bpp] if i >= bpp else 0
            raw.append((v - predictor(kind, left, prev[i], up_left)) & 0xFF)
        prev = row
    ihdr = struct.pack(">IIBBBBB", width, len(rows), 8, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
            + chunk(b"IDAT", zlib.compress(bytes(raw))) + chunk(b"IEND", b""))


class PngDecodeTest(unittest.TestCase):
    def test_every_filter_type_round_trips(self):
        rng = random.Random(7)
        width, height = 9, 10
        for colour_type, bpp in ((6, 4), (2, 3)):
            rows = [bytes(rng.randrange(256) if colour_type == 2 or i % 4 != 3 else 255
                          for i in range(width * bpp)) for _ in range(height)]
            png = encode_png(width, rows, colour_type, [0, 1, 2, 3, 4])
            w, h, got = mp.decode_png(png)
            self.assertEqual((w, h), (width, height))
            want = [r if bpp == 3 else bytes(b for i, b in enumerate(r) if i % 4 != 3)
                    for r in rows]
            self.assertEqual(got, want, "colour type %d" % colour_type)

    def test_transparency_is_composited_onto_white(self):
        row = bytes([0, 0, 0, 0,   0, 0, 0, 255,   200, 100, 0, 128])
        _, _, got = mp.decode_png(encode_png(3, [row], 6, [0]))
        self.assertEqual(got[0], bytes([255, 255, 255,  0, 0, 0,  227, 177, 127]))

    def test_rejects_what_it_cannot_read(self):
        with self.assertRaises(mp.PictureError):
            mp.decode_png(b"GIF89a" + bytes(40))
        ihdr = struct.pack(">IIBBBBB", 1, 1, 16, 6, 0, 0, 0)
        with self.assertRaises(mp.PictureError):
            mp.decode_png(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
                          + chunk(b"IDAT", zlib.compress(bytes(9))) + chunk(b"IEND", b""))


class BmpLayoutTest(unittest.TestCase):
    def test_rows_bottom_up_and_blue_first(self):
        rows = [bytes(mp.ROW_BYTES) for _ in range(mp.HEIGHT)]
        rows[0] = bytes([10, 20, 30]) + rows[0][3:]        # top-left
        rows[-1] = rows[-1][:-3] + bytes([40, 50, 60])     # bottom-right
        data = mp.bmp_bytes(rows, 2)
        self.assertEqual(len(data), 14 + 921642)
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
