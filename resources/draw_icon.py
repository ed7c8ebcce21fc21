#!/usr/bin/env python3
"""Draws the updater's icon (a page with an upward arrow) and writes Updater.ico.

One group of eight images, 16, 20, 24, 32, 40, 48, 64 and 256 pixels square, each drawn from
the same shapes at its own size (so Windows picks an image of the size it shows at 100 % to
300 % and in Explorer's large views instead of stretching a small one), 32 bits per pixel with
alpha; the 256-pixel image is stored as PNG, as Windows expects that size. The output depends
on nothing but this script: run twice, it writes the same bytes (the build uses the committed
file, and a test checks that this script still gives it).

usage: draw_icon.py [OUT.ico]   (default: Updater.ico beside this script)
Python's standard library only.
"""

import os
import struct
import sys
import zlib

SIZES = [256, 64, 48, 40, 32, 24, 20, 16]
PNG_SIZES = {256, 64, 48}

# The picture lies on a 32 x 32 grid; every size scales it.
VIOLET = (88, 78, 160)  # page outline, larkspur violet
PAGE = (255, 255, 255)
LILAC = (176, 168, 222)  # page lines and folded corner
DARK_GREEN = (20, 128, 60)  # arrow outline
GREEN = (60, 190, 90)
LIGHT_GREEN = (140, 230, 150)  # arrow highlight

PAGE_OUTLINE = [(4, 1), (15, 1), (22, 8), (22, 29), (4, 29)]
CORNER = [(15, 1), (22, 8), (15, 8)]
ARROW = [(23, 12), (32, 21), (28, 21), (28, 31), (18, 31), (18, 21), (14, 21)]
LINES = [(8, 10, 18, 12), (8, 14, 18, 16), (8, 18, 18, 20)]
HIGHLIGHT = (20, 16, 22, 29)

# Sub-rows per pixel row: coverage across a row is exact, down a column it is sampled.
SUB_ROWS = 8


def inset(polygon, width):
    """The polygon (clockwise on screen) with each edge moved `width` inwards (mitred)."""
    count = len(polygon)
    lines = []
    for i in range(count):
        (x0, y0), (x1, y1) = polygon[i], polygon[(i + 1) % count]
        dx, dy = x1 - x0, y1 - y0
        length = (dx * dx + dy * dy) ** 0.5
        # Inwards is to the right of the direction of travel on a y-down screen.
        nx, ny = -dy / length, dx / length
        lines.append(((x0 + nx * width, y0 + ny * width), (dx, dy)))
    result = []
    for i in range(count):
        (px, py), (ax, ay) = lines[i - 1]
        (qx, qy), (bx, by) = lines[i]
        cross = ax * by - ay * bx
        t = ((qx - px) * by - (qy - py) * bx) / cross
        result.append((px + ax * t, py + ay * t))
    return result


def rectangle(x0, y0, x1, y1):
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]


def shapes(size):
    """The layers, bottom first: (polygon in pixels, colour). Corners fall on whole pixels and
    outlines are whole pixels wide, one at the small sizes, so that straight edges stay sharp
    at every size; only the slanted ones are smoothed."""
    scale = size / 32.0
    width = max(1, round(scale))

    def snap(polygon):
        return [(round(x * scale), round(y * scale)) for x, y in polygon]

    page, corner, arrow = snap(PAGE_OUTLINE), snap(CORNER), snap(ARROW)
    return [
        (page, VIOLET),
        (inset(page, width), PAGE),
        (corner, VIOLET),
        (inset(corner, width), LILAC),
        *[(snap(rectangle(*line)), LILAC) for line in LINES],
        (arrow, DARK_GREEN),
        (inset(arrow, width), GREEN),
        (snap(rectangle(*HIGHLIGHT)), LIGHT_GREEN),
    ]


def spans(polygon, y):
    """The x intervals where the horizontal line at y is inside the polygon (even-odd)."""
    crossings = []
    count = len(polygon)
    for i in range(count):
        (x0, y0), (x1, y1) = polygon[i], polygon[(i + 1) % count]
        if (y0 <= y < y1) or (y1 <= y < y0):
            crossings.append(x0 + (y - y0) * (x1 - x0) / (y1 - y0))
    crossings.sort()
    return list(zip(crossings[0::2], crossings[1::2]))


def render(size):
    """Rows, top to bottom, of (r, g, b, a) tuples, 8 bits each, straight alpha."""
    layers = shapes(size)
    image = []
    for row in range(size):
        # Premultiplied sums over the sub-rows.
        total = [[0.0, 0.0, 0.0, 0.0] for _ in range(size)]
        for sub in range(SUB_ROWS):
            y = row + (sub + 0.5) / SUB_ROWS
            line = [[0.0, 0.0, 0.0, 0.0] for _ in range(size)]
            for polygon, (r, g, b) in layers:
                for left, right in spans(polygon, y):
                    first = max(int(left), 0)
                    last = min(int(right), size - 1)
                    for x in range(first, last + 1):
                        cover = min(right, x + 1) - max(left, x)
                        if cover <= 0:
                            continue
                        pixel = line[x]
                        keep = 1.0 - cover
                        pixel[0] = pixel[0] * keep + r * cover
                        pixel[1] = pixel[1] * keep + g * cover
                        pixel[2] = pixel[2] * keep + b * cover
                        pixel[3] = pixel[3] * keep + cover
            for x in range(size):
                for k in range(4):
                    total[x][k] += line[x][k]
        pixels = []
        for r, g, b, a in total:
            a /= SUB_ROWS
            if a <= 0.0:
                pixels.append((0, 0, 0, 0))
                continue
            unpremultiply = 1.0 / (a * SUB_ROWS)
            pixels.append(tuple(min(255, int(c * unpremultiply + 0.5)) for c in (r, g, b)) +
                          (min(255, int(a * 255 + 0.5)),))
        image.append(pixels)
    return image


def bitmap(size, image):
    """A 32-bit icon image: BITMAPINFOHEADER (height doubled for the mask), BGRA rows bottom
    up, then the 1-bit mask (set where fully transparent) for systems without alpha."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(image) for r, g, b, a in row)
    stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(image):
        bits = bytearray(stride)
        for x, pixel in enumerate(row):
            if pixel[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + colour + mask


def png(size, image):
    """An 8-bit RGBA PNG, without time or text chunks."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    raw = b"".join(b"\0" + bytes(c for pixel in row for c in pixel) for row in image)
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def icon():
    images = []
    for size in SIZES:
        image = render(size)
        images.append(png(size, image) if size in PNG_SIZES else bitmap(size, image))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        # Width and height 0 stand for 256.
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    default = os.path.join(os.path.dirname(os.path.abspath(__file__)), "Updater.ico")
    path = sys.argv[1] if len(sys.argv) > 1 else default
    with open(path, "wb") as file:
        file.write(icon())


if __name__ == "__main__":
    main()
