#!/usr/bin/env python3
"""Writes the uninstallers' icon: a page with a red cross, 32x32 and 16x16, 16 colours.

    make-uninstall-icon.py OUTPUT.ico

The drawing is computed, so the file is the same on every run.
"""
import struct
import sys

sys.dont_write_bytecode = True  # the build leaves nothing in the source tree
from make_pictures import ico_file  # noqa: E402

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, DARK_RED, NAVY, SILVER, GREY, RED, WHITE = 0, 1, 4, 7, 8, 9, 15


def draw(n):
    """Rows top to bottom of palette indices; None is transparent."""
    px = [[None] * n for _ in range(n)]
    s = n / 32.0  # the drawing is laid out on a 32-pixel grid

    def at(v):
        return int(round(v * s))

    left, top, right, bottom, fold = at(5), at(2), at(23), at(28), at(6)
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            in_fold = x > right - fold and y < top + fold
            if in_fold and (x - (right - fold)) > (y - top):
                continue  # the corner cut away by the fold
            edge = x in (left, right) or y in (top, bottom) or (in_fold and (x - (right - fold)) == (y - top))
            px[y][x] = BLACK if edge else WHITE
    for y in range(top + 1, top + fold):  # the folded corner itself, with its outline
        for x in range(right - fold + 1, right - fold + (y - top)):
            px[y][x] = SILVER
    for i in range(fold + 1):
        px[top + i][right - fold] = BLACK
        px[top + fold][right - fold + i] = BLACK
    # Lines of text on the page.
    for line in range(at(10), bottom - at(2), max(1, at(4))):
        for x in range(left + at(3), right - at(3) + 1):
            px[line][x] = NAVY
    # The red cross of the removal, lower right, with a dark edge.
    c0, c1 = at(15), n - 1 - at(1)
    half = max(1, at(2.5))
    for y in range(c0, c1 + 1):
        for x in range(c0, c1 + 1):
            d1 = abs((x - c0) - (y - c0))
            d2 = abs((x - c0) - (c1 - y))
            if min(d1, d2) < half:
                px[y][x] = RED
            elif min(d1, d2) == half:
                px[y][x] = DARK_RED
    return px


def image(n):
    rows = draw(n)
    xor_stride = ((n * 4 + 31) // 32) * 4
    and_stride = ((n + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x, index in enumerate(row):
            value = 0 if index is None else index
            line[x // 2] |= value << (4 if x % 2 == 0 else 0)
            if index is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        xor += line
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    return header + palette + bytes(xor) + bytes(mask)


def icon(sizes):
    return ico_file([(n, 16, 4, image(n)) for n in sizes])


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: make-uninstall-icon.py OUTPUT.ico")
    with open(sys.argv[1], "wb") as f:
        f.write(icon([32, 16]))
