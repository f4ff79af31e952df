"""Reading KORU BENCH's screens from screenshots: where the client area is,
which picture it shows, and where text was drawn over it. Checks look at
regions, not whole images, so antialiasing and font differences between the
Linux build and the Windows build under Wine do not matter."""

import struct

import numpy as np

WIDTH, HEIGHT = 640, 480
NAMES = ["BG_BMP"] + ["BG%d_BMP" % d for d in range(6)]

# Text areas drawn over the pictures (x0, y0, x1, y1), client coordinates.
COUNTDOWN_LINES = {"seconds": (400, 130, 630, 168), "cpu": (400, 180, 630, 214),
                   "fpu": (400, 220, 630, 254), "sd": (400, 260, 630, 294)}
RESULTS_LINES = {"fraction": (510, 135, 600, 162), "cpu": (400, 170, 630, 194),
                 "fpu": (400, 195, 630, 219), "sd": (400, 220, 630, 244)}
DIGIT_BOX = (452, 81, 514, 130)  # above where the fraction is drawn
ILLUSTRATION = (20, 40, 360, 400)  # never drawn over


def load_bmp(path):
    """A 24-bit bottom-up BMP as an RGB array, rows top-down."""
    data = open(path, "rb").read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    rows = np.frombuffer(data, np.uint8, width * height * 3, offset).reshape(height, width, 3)
    return rows[::-1, :, ::-1].astype(np.int16)


def load_pictures(directory):
    return [load_bmp("%s/%s.bmp" % (directory, name)) for name in NAMES]


def as_shown(picture, depth):
    """The picture as a screen of `depth` bits shows it, read back at 8 bits
    a channel: 16-bit colour keeps the top 5, 6 and 5 bits of red, green and
    blue; 24- and 30-bit colour keep all 8."""
    if depth != 16:
        return picture
    bits = np.array([5, 6, 5])
    return ((picture >> (8 - bits)) * 255 // ((1 << bits) - 1)).astype(np.int16)


def region(image, box):
    x0, y0, x1, y1 = box
    return image[y0:y1, x0:x1]


def mean_difference(a, b):
    return float(np.abs(a - b).mean())


# How far from the window's position the client area may start, and the
# patch of the illustration that finds it.
FRAME_REACH = (8, 24, 8, 64)  # left, right, up, down
PROBE = (100, 200, 140, 240)
# The shot locate_client needs round a window's position, 16 pixels before it.
LOCATE_AREA = (16 + FRAME_REACH[1] + PROBE[2], 16 + FRAME_REACH[3] + PROBE[3])


def locate_client(shot, picture, near):
    """The screen offset of the client area: the window's position `near`
    plus whatever frame the window system draws, found by matching a patch
    of the illustration (the right and bottom edges may be cut off)."""
    x0, y0, x1, y1 = PROBE
    probe = picture[y0:y1, x0:x1]
    height, width = shot.shape[:2]
    nx, ny = near
    for oy in range(max(0, ny - FRAME_REACH[2]), min(height - y1, ny + FRAME_REACH[3])):
        for ox in range(max(0, nx - FRAME_REACH[0]), min(width - x1, nx + FRAME_REACH[1])):
            if abs(int(shot[oy + y0, ox + x0].sum()) - int(probe[0, 0].sum())) > 9:
                continue
            if mean_difference(shot[oy + y0:oy + y1, ox + x0:ox + x1], probe) < 2.0:
                return ox, oy
    return None


def client_view(shot, origin, scale=1):
    """The part of the screenshot covering the client area (may be smaller
    than the picture where the window frame cuts it), `scale` screen pixels
    to a frame pixel."""
    ox, oy = origin
    view = shot[oy:oy + HEIGHT * scale, ox:ox + WIDTH * scale]
    return view


def scaled(picture, scale):
    """A picture as a window at that scale shows it: each pixel a square."""
    return picture.repeat(scale, axis=0).repeat(scale, axis=1) if scale > 1 else picture


def best_picture(view, pictures, box):
    """Index of the picture whose `box` region is closest to the view's."""
    scores = [mean_difference(region(view, box), region(p, box)) for p in pictures]
    best = int(np.argmin(scores))
    return best, scores


def ink_extent(view, picture, box, threshold=60):
    """Columns and rows where the view is darker than the plain picture in
    `box` (text drawn in black): (x0, x1, y0, y1) in client coordinates, or
    None if nothing was drawn there."""
    drawn = region(view, box).sum(axis=2)
    plain = region(picture, box).sum(axis=2)
    ink = (plain - drawn) > threshold
    if not ink.any():
        return None
    ys, xs = np.nonzero(ink)
    return (box[0] + int(xs.min()), box[0] + int(xs.max()) + 1,
            box[1] + int(ys.min()), box[1] + int(ys.max()) + 1)
