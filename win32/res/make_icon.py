#!/usr/bin/env python3
"""Draws the application's main icon and writes it as a .ico file.

One file, six images: 48, 32 and 16 pixels, each in 256 colours (8-bit
palette with a transparency mask) and in 32-bit colour with alpha. The
picture is a gaming mouse seen from above: a dark body with a red rim and a
red wheel. Only the standard library is used.

usage: make_icon.py OUT.ico
"""
import struct
import sys

SIZES = (48, 32, 16)
SUPERSAMPLE = 4

BODY_TOP = (0x44, 0x48, 0x50)
BODY_BOTTOM = (0x12, 0x13, 0x16)
RIM = (0xE0, 0x19, 0x1F)
WHEEL = (0xFF, 0x3A, 0x40)
SEAM = (0x08, 0x08, 0x0A)


def in_round_rect(x, y, left, top, right, bottom, radius):
    if x < left or x > right or y < top or y > bottom:
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def shade(x, y):
    """Colour and coverage (0 or 1) of one point of the unit square."""
    if not in_round_rect(x, y, 0.18, 0.04, 0.82, 0.96, 0.30):
        return None
    if not in_round_rect(x, y, 0.245, 0.105, 0.755, 0.895, 0.24):
        return RIM
    if in_round_rect(x, y, 0.45, 0.17, 0.55, 0.36, 0.05):
        return WHEEL
    if abs(x - 0.5) < 0.018 and y < 0.42:
        return SEAM
    if abs(y - 0.42) < 0.018:
        return SEAM
    t = (y - 0.105) / 0.79
    return tuple(int(a + (b - a) * t) for a, b in zip(BODY_TOP, BODY_BOTTOM))


def render(size):
    """RGBA rows, top row first, anti-aliased by supersampling."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0
            for sy in range(n):
                for sx in range(n):
                    c = shade((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    if c is not None:
                        r += c[0]
                        g += c[1]
                        b += c[2]
                        a += 1
            if a:
                row.append((r // a, g // a, b // a, 255 * a // (n * n)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def palette():
    """256 colours: a 6x6x6 cube, a 24-step grey ramp and 16 reds."""
    pal = []
    for r in range(6):
        for g in range(6):
            for b in range(6):
                pal.append((r * 51, g * 51, b * 51))
    for i in range(24):
        v = 8 + i * 10
        pal.append((v, v, v))
    for i in range(16):
        pal.append((0x60 + i * 10, 0x10 + i, 0x14 + i))
    return pal


def nearest(pal, c):
    best, best_d = 0, None
    for i, p in enumerate(pal):
        d = (p[0] - c[0]) ** 2 + (p[1] - c[1]) ** 2 + (p[2] - c[2]) ** 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def mask_rows(rows, size):
    """AND mask, bottom row first, 1 = transparent, rows padded to 4 bytes."""
    stride = ((size + 31) // 32) * 4
    out = b""
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bytes(bits)
    return out


def header(size, bpp, colors):
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, 0, 0, 0, colors, 0)


def image_32(rows, size):
    data = header(size, 32, 0)
    for row in reversed(rows):
        for r, g, b, a in row:
            data += bytes((b, g, r, a))
    return data + mask_rows(rows, size)


def image_8(rows, size, pal):
    data = header(size, 8, 256)
    for r, g, b in pal:
        data += bytes((b, g, r, 0))
    stride = (size + 3) // 4 * 4
    cache = {}
    for row in reversed(rows):
        line = bytearray(stride)
        for x, (r, g, b, a) in enumerate(row):
            if a < 128:
                continue
            key = (r, g, b)
            if key not in cache:
                cache[key] = nearest(pal, key)
            line[x] = cache[key]
        data += bytes(line)
    return data + mask_rows(rows, size)


def build():
    pal = palette()
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, 8, image_8(rows, size, pal)))
        images.append((size, 32, image_32(rows, size)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for size, bpp, blob in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bpp, len(blob), offset)
        offset += len(blob)
        blobs += blob
    return out + entries + blobs


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as f:
        f.write(build())


if __name__ == "__main__":
    main()
