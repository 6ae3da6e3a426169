#!/usr/bin/env python3
"""Draws the setup program's icon and the pictures of its wizard pages.

    make_pictures.py OUTPUT_FOLDER

Writes setup.ico, banner.bmp, banner_small.bmp, side.bmp, link_web.bmp, link_mail.bmp,
finish.bmp and mark.bmp. The output depends on nothing but this file, so every build
makes the same bytes. Palette bitmaps keep the program small.
"""
import os
import struct
import sys

NAVY = (31, 58, 104)
TEAL = (30, 110, 140)
SKY = (220, 232, 242)
ORANGE = (224, 123, 26)
WHITE = (255, 255, 255)
FACE = (240, 240, 240)  # the dialog background the pictures sit on
GREEN = (46, 139, 87)


class Canvas:
    """An RGBA picture drawn at `scale` times its size and averaged down (smooth edges)."""

    def __init__(self, width, height, background, scale=4):
        self.w, self.h, self.s = width, height, scale
        r, g, b = background[:3]
        a = background[3] if len(background) > 3 else 255
        self.px = [[(r, g, b, a)] * (width * scale) for _ in range(height * scale)]

    def _span(self, x0, y0, x1, y1):
        s = self.s
        return (max(0, int(round(x0 * s))), max(0, int(round(y0 * s))),
                min(self.w * s, int(round(x1 * s))), min(self.h * s, int(round(y1 * s))))

    def rect(self, x0, y0, x1, y1, colour):
        c = tuple(colour) + ((255,) if len(colour) == 3 else ())
        a, b, e, f = self._span(x0, y0, x1, y1)
        for y in range(b, f):
            row = self.px[y]
            for x in range(a, e):
                row[x] = c

    def shape(self, inside, x0, y0, x1, y1, colour):
        """Fills the points (in picture units) for which inside(x, y) is true."""
        c = tuple(colour) + ((255,) if len(colour) == 3 else ())
        a, b, e, f = self._span(x0, y0, x1, y1)
        s = self.s
        for y in range(b, f):
            row = self.px[y]
            for x in range(a, e):
                if inside((x + 0.5) / s, (y + 0.5) / s):
                    row[x] = c

    def circle(self, cx, cy, r, colour):
        self.shape(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r,
                   cx - r, cy - r, cx + r, cy + r, colour)

    def ring(self, cx, cy, r, width, colour):
        self.shape(lambda x, y: (r - width) ** 2 <= (x - cx) ** 2 + (y - cy) ** 2 <= r * r,
                   cx - r, cy - r, cx + r, cy + r, colour)

    def rounded(self, x0, y0, x1, y1, radius, colour):
        def inside(x, y):
            dx = max(x0 + radius - x, 0, x - (x1 - radius))
            dy = max(y0 + radius - y, 0, y - (y1 - radius))
            return dx * dx + dy * dy <= radius * radius
        self.shape(inside, x0, y0, x1, y1, colour)

    def line(self, xa, ya, xb, yb, width, colour):
        """A thick segment with round ends."""
        lx, ly = xb - xa, yb - ya
        length2 = lx * lx + ly * ly or 1.0
        half = width / 2.0

        def inside(x, y):
            t = max(0.0, min(1.0, ((x - xa) * lx + (y - ya) * ly) / length2))
            px, py = xa + t * lx - x, ya + t * ly - y
            return px * px + py * py <= half * half
        self.shape(inside, min(xa, xb) - half, min(ya, yb) - half,
                   max(xa, xb) + half, max(ya, yb) + half, colour)

    def pixels(self):
        """The averaged RGBA rows, top row first."""
        s, n = self.s, self.s * self.s
        out = []
        for y in range(self.h):
            row = []
            for x in range(self.w):
                tr = tg = tb = ta = 0
                for sy in range(y * s, y * s + s):
                    src = self.px[sy]
                    for sx in range(x * s, x * s + s):
                        r, g, b, a = src[sx]
                        tr += r * a
                        tg += g * a
                        tb += b * a
                        ta += a
                if ta:
                    row.append((tr // ta, tg // ta, tb // ta, ta // n))
                else:
                    row.append((0, 0, 0, 0))
            out.append(row)
        return out


def flatten(rows, background):
    """RGBA rows over a solid background, as RGB."""
    out = []
    for row in rows:
        out.append([tuple((c * a + bg * (255 - a)) // 255 for c, bg in zip(p[:3], background))
                    for p in row for a in (p[3],)])
    return out


def write_bmp(path, rows, bits):
    """A bottom-up palette bitmap of 4 or 8 bits per pixel; colours are reduced to fit."""
    limit = 1 << bits
    step = 1
    while True:
        def q(p):
            return tuple(min(255, (c + step // 2) // step * step) for c in p)
        quantised = [[q(p) for p in row] for row in rows]
        palette = sorted({p for row in quantised for p in row})
        if len(palette) <= limit:
            break
        step *= 2
    index = {p: i for i, p in enumerate(palette)}
    height, width = len(rows), len(rows[0])
    stride = ((width * bits + 31) // 32) * 4
    data = bytearray()
    for row in reversed(quantised):
        line = bytearray()
        if bits == 8:
            line.extend(index[p] for p in row)
        else:
            for x in range(0, width, 2):
                hi = index[row[x]]
                lo = index[row[x + 1]] if x + 1 < width else 0
                line.append((hi << 4) | lo)
        line.extend(b"\0" * (stride - len(line)))
        data.extend(line)
    # Exactly the colours used: a bitmap resource has no file header, and the loader finds
    # the pixels right after biClrUsed palette entries.
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    offset = 14 + 40 + len(colours)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(data), 2835, 2835,
                       len(palette), 0)
    with open(path, "wb") as f:
        f.write(header + info + colours + bytes(data))


def ico_file(images):
    """An icon file's bytes from its images: (size, colours or 0, bits per pixel, DIB bytes)."""
    entries, blobs = b"", b""
    offset = 6 + 16 * len(images)
    for size, colours, bits, blob in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bits, len(blob), offset)
        blobs += blob
        offset += len(blob)
    return struct.pack("<HHH", 0, 1, len(images)) + entries + blobs


def write_ico(path, images):
    """An icon file of 32-bit images (RGBA rows, square)."""
    dibs = []
    for rows in images:
        size = len(rows)
        xor = bytearray()
        for row in reversed(rows):
            for r, g, b, a in row:
                xor.extend((b, g, r, a))
        mask_stride = ((size + 31) // 32) * 4
        mask = bytes(mask_stride * size)  # alpha decides; the mask shows everything
        info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask),
                           0, 0, 0, 0)
        dibs.append((size, 0, 32, info + bytes(xor) + mask))
    with open(path, "wb") as f:
        f.write(ico_file(dibs))


def mark(c, x, y, size):
    """The product's mark: a navy tile with a white F and an orange bar."""
    u = size / 32.0
    c.rounded(x + 1 * u, y + 1 * u, x + 31 * u, y + 31 * u, 6 * u, NAVY)
    c.rect(x + 10 * u, y + 7 * u, x + 14 * u, y + 25 * u, WHITE)
    c.rect(x + 10 * u, y + 7 * u, x + 23 * u, y + 11 * u, WHITE)
    c.rect(x + 10 * u, y + 14.5 * u, x + 20 * u, y + 18.5 * u, WHITE)
    c.rect(x + 17 * u, y + 22 * u, x + 25 * u, y + 25 * u, ORANGE)


def banner(width, height):
    """A navy-to-teal band with the mark on the left and an orange rule below (16 colours)."""
    c = Canvas(width, height, NAVY, scale=1)
    bands = 8
    for i in range(bands):
        t = i / (bands - 1)
        colour = tuple(int(a + (b - a) * t) for a, b in zip(NAVY, TEAL))
        c.rect(width * i / bands, 0, width * (i + 1) / bands, height - 3, colour)
    c.rect(0, height - 3, width, height, ORANGE)
    size = height - 16
    m = Canvas(size, size, FACE + (0,), scale=1)  # crisp: the palette has 16 colours
    mark(m, 0, 0, size)
    rows = flatten(c.pixels(), NAVY)
    for y, row in enumerate(flatten(m.pixels(), NAVY)):
        rows[8 + y][12:12 + size] = row
    # A few light squares on the right, fading out.
    for i in range(4):
        x = width - 30 - i * 22
        for yy in range(height // 2 - 6, height // 2 + 6):
            for xx in range(x, x + 12):
                rows[yy][xx] = SKY if i == 0 else tuple((s + t) // 2 for s, t in zip(SKY, rows[yy][xx]))
    return rows


def side(width, height):
    """The destination page's picture: a folder under the mark on a light field."""
    c = Canvas(width, height, SKY, scale=2)
    c.rect(0, height - 6, width, height, NAVY)
    mark(c, (width - 40) / 2, 10, 40)
    fx, fy = 18, 62
    c.rounded(fx, fy, fx + 26, fy + 12, 3, ORANGE)
    c.rounded(fx, fy + 6, fx + 60, fy + 40, 4, ORANGE)
    c.rect(fx + 4, fy + 12, fx + 56, fy + 16, (246, 190, 120))
    return flatten(c.pixels(), SKY)


def link_web():
    """A globe."""
    c = Canvas(32, 32, FACE + (0,), scale=4)
    c.circle(16, 16, 14, TEAL)
    c.ring(16, 16, 14, 2, NAVY)
    c.line(3, 16, 29, 16, 1.6, WHITE)
    c.line(16, 3, 16, 29, 1.6, WHITE)
    c.shape(lambda x, y: 0.6 <= abs(((x - 16) / 7.0) ** 2 + ((y - 16) / 13.0) ** 2 - 0.82) * 8 <= 1.6,
            2, 2, 30, 30, WHITE)
    return flatten(c.pixels(), FACE)


def link_mail():
    """An envelope."""
    c = Canvas(32, 32, FACE + (0,), scale=4)
    c.rounded(2, 7, 30, 26, 2, WHITE)
    c.shape(lambda x, y: (2 <= x <= 30 and 7 <= y <= 26) and
            not (3.5 <= x <= 28.5 and 8.5 <= y <= 24.5), 2, 7, 30, 26, NAVY)
    c.line(3.5, 8.5, 16, 18, 1.5, NAVY)
    c.line(28.5, 8.5, 16, 18, 1.5, NAVY)
    c.circle(26, 23, 5, ORANGE)
    return flatten(c.pixels(), FACE)


def finish():
    """The finishing window's picture: the mark with a green tick."""
    c = Canvas(64, 64, FACE + (0,), scale=4)
    mark(c, 4, 4, 44)
    c.circle(46, 46, 15, GREEN)
    c.line(38, 46, 44, 52, 4, WHITE)
    c.line(44, 52, 54, 40, 4, WHITE)
    return flatten(c.pixels(), FACE)


def icon(size):
    c = Canvas(size, size, (0, 0, 0, 0), scale=4)
    mark(c, 0, 0, size)
    return c.pixels()


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(out, exist_ok=True)
    write_bmp(os.path.join(out, "banner.bmp"), banner(624, 64), 4)
    write_bmp(os.path.join(out, "banner_small.bmp"), banner(409, 48), 4)
    write_bmp(os.path.join(out, "side.bmp"), side(96, 112), 8)
    write_bmp(os.path.join(out, "link_web.bmp"), link_web(), 8)
    write_bmp(os.path.join(out, "link_mail.bmp"), link_mail(), 8)
    write_bmp(os.path.join(out, "finish.bmp"), finish(), 8)
    mark_canvas = Canvas(32, 32, FACE + (0,), scale=4)
    mark(mark_canvas, 0, 0, 32)
    write_bmp(os.path.join(out, "mark.bmp"), flatten(mark_canvas.pixels(), FACE), 8)
    write_ico(os.path.join(out, "setup.ico"), [icon(32), icon(16)])


if __name__ == "__main__":
    main()
