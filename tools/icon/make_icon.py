#!/usr/bin/env python3
"""Draws the launcher's icon (a white arrow on a blue square) at every size Windows asks for at
100 % to 200 % scale and beyond, and writes launcher/res/TevLauncher.ico: 32-bit images with alpha
for 16 to 64 pixels, a PNG image for 256. The drawing is geometry on a 32-unit grid, sampled 8 x 8
times per pixel, so each size is drawn sharp rather than scaled from another.
    tools/icon/make_icon.py [OUTPUT.ico]"""
import os
import struct
import sys
import zlib

BLUE = (0x1E, 0x6E, 0xC8)
SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
SAMPLES = 8


def inside_square(u, v):
    return 1 <= u < 31 and 1 <= v < 31


def inside_arrow(u, v):
    shaft = 6 <= u < 16 and 12 <= v < 20
    head = 16 <= u < 25 and abs(v - 16) < 25 - u
    return shaft or head


def pixels(size):
    """Rows top to bottom of (r, g, b, a)."""
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            square = arrow = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    u = (x + (sx + 0.5) / SAMPLES) * 32 / size
                    v = (y + (sy + 0.5) / SAMPLES) * 32 / size
                    if inside_square(u, v):
                        square += 1
                        arrow += inside_arrow(u, v)
            if square == 0:
                row.append((0, 0, 0, 0))
                continue
            white = arrow / square  # of the square's part of the pixel, how much is arrow
            color = tuple(round(c + (255 - c) * white) for c in BLUE)
            row.append((*color, round(255 * square / SAMPLES ** 2)))
        rows.append(row)
    return rows


def bmp_image(size):
    rows = pixels(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    mask = b"\0" * (mask_row * size)  # alpha decides; the AND mask is kept empty
    return header + xor + mask


def png_image(size):
    rows = pixels(size)
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "launcher", "res", "TevLauncher.ico")
    images = [png_image(s) if s >= 256 else bmp_image(s) for s in SIZES]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(output, "wb") as f:
        f.write(directory + b"".join(images))


if __name__ == "__main__":
    main()
