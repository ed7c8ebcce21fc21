#!/usr/bin/env python3
"""The updater's icon: the committed Updater.ico is what draw_icon.py draws, byte for byte, and
holds one image of each size Windows asks for, 32 bits with alpha, the large ones as PNG.
usage: icon_test.py DRAW_ICON_PY COMMITTED_ICO SCRATCH_DIR"""

import os
import struct
import subprocess
import sys

# (size, stored as): every image the dialog (96 to 288 DPI) and Explorer pick from.
EXPECTED = [(256, "png"), (64, "png"), (48, "png"), (40, "bmp"), (32, "bmp"), (24, "bmp"),
            (20, "bmp"), (16, "bmp")]

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def bmp_header_fits(data, size):
    """A 32-bit bitmap of the size (twice as high: colour and mask), nothing after its mask."""
    header = struct.unpack("<IiiHHI", data[:20])
    check(header == (40, size, 2 * size, 1, 32, 0), f"{size}: header {header}")
    mask_stride = ((size + 31) // 32) * 4
    check(len(data) == 40 + 4 * size * size + mask_stride * size, f"{size}: {len(data)} bytes")


def main():
    draw, committed, scratch = sys.argv[1:4]
    os.makedirs(scratch, exist_ok=True)
    drawn = os.path.join(scratch, "Updater.ico")
    subprocess.run([sys.executable, draw, drawn], check=True)
    with open(drawn, "rb") as file:
        data = file.read()
    with open(committed, "rb") as file:
        check(file.read() == data, "the committed Updater.ico is not what draw_icon.py draws")

    reserved, kind, count = struct.unpack("<HHH", data[:6])
    check((reserved, kind, count) == (0, 1, len(EXPECTED)), f"directory {reserved} {kind} {count}")
    for index, (size, stored) in enumerate(EXPECTED[:count]):
        width, height, colours, _, planes, bits, length, offset = struct.unpack(
            "<BBBBHHII", data[6 + 16 * index:22 + 16 * index])
        check((width or 256, height or 256, colours, planes, bits) == (size, size, 0, 1, 32),
              f"entry {index}: {width}x{height}, {bits} bits")
        image = data[offset:offset + length]
        check(offset + length <= len(data), f"{size}: image past the end of the file")
        if stored == "png":
            # Colour type 6: red, green, blue and alpha, 8 bits each.
            check(image.startswith(b"\x89PNG\r\n\x1a\n"), f"{size}: not PNG")
            check(struct.unpack(">IIBB", image[16:26]) == (size, size, 8, 6), f"{size}: PNG header")
        else:
            bmp_header_fits(image, size)

    for failure in failures:
        print("FAIL:", failure)
    print(f"icon: {count} images, {len(data)} bytes; {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
