#!/usr/bin/env python3
"""Draws the updater's icon (a page with an upward arrow) and writes Updater.ico: one group
with a 32 x 32 and a 16 x 16 image, 8 bits per pixel (256-colour palette) with a 1-bit mask.
Run it by hand after changing the picture; the build uses the committed Updater.ico."""

import os
import struct

# Palette: index 0 transparent (black under the mask), then the picture's colours.
COLOURS = [
    (0, 0, 0),        # 0 transparent
    (255, 255, 255),  # 1 page
    (88, 78, 160),    # 2 page outline, larkspur violet
    (176, 168, 222),  # 3 page lines and folded corner
    (20, 128, 60),    # 4 arrow outline
    (60, 190, 90),    # 5 arrow
    (140, 230, 150),  # 6 arrow highlight
]


def draw():
    """Returns the 32 x 32 picture as rows, top to bottom, of palette indices."""
    size = 32
    pixels = [[0] * size for _ in range(size)]

    def fill(x0, y0, x1, y1, colour):
        for y in range(max(y0, 0), min(y1, size)):
            for x in range(max(x0, 0), min(x1, size)):
                pixels[y][x] = colour

    # The page with a folded top-right corner.
    fill(4, 1, 22, 29, 2)
    fill(5, 2, 21, 28, 1)
    for i in range(7):
        fill(15 + i, 1, 22, 1 + i, 0)
        fill(15 + i, 1 + i, 16 + i, 2 + i, 2)
    fill(15, 2, 16, 8, 2)
    fill(15, 7, 22, 8, 2)
    fill(16, 2, 21, 7, 3)
    for i in range(5):
        fill(16 + i, 2, 21, 2 + i, 0)
        fill(16 + i, 2 + i, 17 + i, 3 + i, 2)
    # Text lines on the page.
    for y in (10, 14, 18):
        fill(8, y, 18, y + 2, 3)

    # The upward arrow in the lower right: a triangle head over a shaft.
    for row in range(8):
        half = row + 1
        fill(23 - half - 1, 13 + row, 23 + half + 1, 14 + row, 4)
        if row > 0:
            fill(23 - half, 13 + row, 23 + half, 14 + row, 5)
    fill(14, 21, 32, 22, 4)
    fill(18, 21, 28, 31, 4)
    fill(19, 21, 27, 30, 5)
    fill(20, 16, 22, 29, 6)
    return pixels


# Which colour a 2 x 2 block of the large picture keeps in the small one: outlines first, so
# that the shapes stay closed.
PRIORITY = [4, 2, 5, 3, 6, 1]


def shrink(pixels):
    small = []
    for y in range(0, len(pixels), 2):
        row = []
        for x in range(0, len(pixels), 2):
            block = {pixels[y][x], pixels[y][x + 1], pixels[y + 1][x], pixels[y + 1][x + 1]}
            row.append(next((c for c in PRIORITY if c in block), 0))
        small.append(row)
    return small


def image(size):
    pixels = draw()
    while len(pixels) > size:
        pixels = shrink(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in COLOURS)
    palette += b"\0" * (256 * 4 - len(palette))
    xor = b"".join(bytes(row) for row in reversed(pixels))
    mask_stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, colour in enumerate(row):
            if colour == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + palette + xor + mask


def main():
    images = [image(32), image(16)]
    sizes = [32, 16]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "Updater.ico")
    with open(path, "wb") as file:
        file.write(out)


if __name__ == "__main__":
    main()
