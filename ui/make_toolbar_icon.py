#!/usr/bin/env python3
"""Writes ui/toolbaricon.bmp: the 20 x 20 toolbar bitmap of the transform.

The picture is a room impulse response: a tall direct-sound spike, a few
early reflections and a dense tail whose envelope dies away exponentially,
drawn over a time axis, with the envelope traced in a second colour.

Format: Windows BMP, BITMAPINFOHEADER, 4 bits per pixel, 16-colour palette
(the standard Windows system colours), bottom-up rows padded to 4 bytes.
Standard library only; run from anywhere:  python3 ui/make_toolbar_icon.py
"""
import math
import os
import struct

WIDTH = 20
HEIGHT = 20

# The 16 standard system colours, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BACKGROUND = 7   # light grey, the toolbar face colour
AXIS = 0         # black
IMPULSE = 4      # dark blue
ENVELOPE = 9     # red

AXIS_ROW = 17          # row of the time axis (row 0 is the top)
FIRST_COLUMN = 2       # column of the vertical axis
DIRECT_COLUMN = 4      # the direct sound
DIRECT_HEIGHT = 15     # pixels above the axis
DECAY_COLUMNS = 4.5    # columns per 1/e of the envelope


def envelope_height(column):
    """Height above the axis of the exponential envelope at a column."""
    return DIRECT_HEIGHT * math.exp(-(column - DIRECT_COLUMN) / DECAY_COLUMNS)


def draw():
    pixels = [[BACKGROUND] * WIDTH for _ in range(HEIGHT)]
    # Axes: time along the bottom, level up the left.
    for x in range(FIRST_COLUMN, WIDTH - 1):
        pixels[AXIS_ROW][x] = AXIS
    for y in range(2, AXIS_ROW + 1):
        pixels[y][FIRST_COLUMN] = AXIS
    # Impulse: the direct sound, then reflections under the envelope; the
    # pseudo-random fractions give the tail its irregular look.
    fractions = [1.0, 0.0, 0.55, 0.0, 0.8, 0.35, 0.9, 0.5, 0.75, 0.6,
                 0.95, 0.45, 0.85, 0.65, 1.0]
    for index, fraction in enumerate(fractions):
        x = DIRECT_COLUMN + index
        if x >= WIDTH - 1:
            break
        height = int(round(envelope_height(x) * fraction))
        for step in range(1, height + 1):
            pixels[AXIS_ROW - step][x] = IMPULSE
    # Envelope dots just above each column, where they fit in the picture.
    for x in range(DIRECT_COLUMN + 1, WIDTH - 1):
        y = AXIS_ROW - int(round(envelope_height(x))) - 1
        if 0 <= y < AXIS_ROW:
            pixels[y][x] = ENVELOPE
    return pixels


def encode(pixels):
    row_bytes = ((WIDTH * 4 + 31) // 32) * 4
    data = bytearray()
    for y in reversed(range(HEIGHT)):  # BMP rows run bottom-up
        row = bytearray()
        for x in range(0, WIDTH, 2):
            row.append((pixels[y][x] << 4) | pixels[y][x + 1])
        row.extend(b"\0" * (row_bytes - len(row)))
        data.extend(row)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    offset = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 4, 0, len(data),
                       2835, 2835, 16, 16)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    return header + info + palette + bytes(data)


def main():
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "toolbaricon.bmp")
    with open(path, "wb") as out:
        out.write(encode(draw()))


if __name__ == "__main__":
    main()
