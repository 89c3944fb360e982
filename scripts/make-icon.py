#!/usr/bin/env python3
"""Draws the program icon "TVXICON" and writes it as a classic .ico file.

The picture: a rounded teal tile (the archive), a light band across its top with a
zip-fastener track running down the middle, and a bold white "T" below it. Each size
(16, 32 and 48 pixels) is drawn from the same vector shapes with 4x4 supersampling,
and stored as a 32-bit BGRA bitmap with its AND mask, the format every Windows
version reads.

Usage: scripts/make-icon.py uninstall/resources/Tervix.ico
"""
import struct
import sys

SIZES = (16, 32, 48)
SAMPLES = 4

TILE = (0x0F, 0x76, 0x6E)      # teal
TILE_EDGE = (0x0A, 0x52, 0x4C)
BAND = (0xE8, 0xF4, 0xF2)
TRACK = (0x0A, 0x52, 0x4C)
LETTER = (0xFF, 0xFF, 0xFF)


def in_rounded_rect(x, y, left, top, right, bottom, radius):
    if x < left or x > right or y < top or y > bottom:
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def colour_at(u, v):
    """Colour and coverage of the point (u, v) of the unit square, or None."""
    if not in_rounded_rect(u, v, 0.04, 0.04, 0.96, 0.96, 0.18):
        return None
    inner = in_rounded_rect(u, v, 0.09, 0.09, 0.91, 0.91, 0.14)
    if not inner:
        return TILE_EDGE
    # The band with its fastener track.
    if 0.14 <= v <= 0.34 and 0.14 <= u <= 0.86:
        if 0.44 <= u <= 0.56:
            teeth = int((v - 0.14) / 0.05) % 2
            if (teeth == 0 and u <= 0.50) or (teeth == 1 and u >= 0.50):
                return TRACK
        return BAND
    # The letter T: a bar and a stem.
    if 0.42 <= v <= 0.54 and 0.24 <= u <= 0.76:
        return LETTER
    if 0.54 <= v <= 0.84 and 0.43 <= u <= 0.57:
        return LETTER
    return TILE


def render(size):
    """Rows of (b, g, r, a) from top to bottom."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = covered = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at((px + (sx + 0.5) / SAMPLES) / size, (py + (sy + 0.5) / SAMPLES) / size)
                    if c is None:
                        continue
                    covered += 1
                    r += c[0]
                    g += c[1]
                    b += c[2]
            if covered == 0:
                row.append((0, 0, 0, 0))
            else:
                alpha = round(255 * covered / (SAMPLES * SAMPLES))
                row.append((b // covered, g // covered, r // covered, alpha))
        rows.append(row)
    return rows


def icon_image(size):
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):  # bitmaps are stored bottom-up
        for b, g, r, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(pixels) + bytes(mask)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    images = [icon_image(size) for size in SIZES]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
