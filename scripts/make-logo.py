#!/usr/bin/env python3
"""Draws the application icon, a white "Z" on a green disc, into resources/:
logo_zel.png (the window icon: an 87 by 87 palette PNG), icons/zel-qt-patcher-N.png
(smoothed RGBA copies for the desktop's icon theme), icons/zel-qt-patcher.svg (the same
shapes for the theme's scalable size) and zel-qt-patcher.ico (the Windows executable's
icon). Run it again to get the same bytes; it needs only the standard library."""
import os
import struct
import zlib

SIZE = 87  # the drawing's own grid; other sizes are sampled from it
PALETTE = [(0, 0, 0), (32, 128, 64), (255, 255, 255), (20, 80, 40)]  # 0 stays transparent
THEME_SIZES = [16, 32, 48, 128, 256]
ICO_SIZES = [16, 24, 32, 48, 256]
SUBSAMPLES = 4
RESOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")


# The drawing's shapes, in the grid's units: pixel (x, y) is centred on (x, y).
CENTRE = (SIZE - 1) / 2
DISC, RING = 42.5, 39.5  # outer radius; the ring lies between them
LEFT, RIGHT, TOP, BOTTOM, BAR = 24, 62, 24, 62, 7
STROKE = BAR * 0.75  # half the diagonal's width, measured across x


def pixel(x, y):
    d2 = (x - CENTRE) ** 2 + (y - CENTRE) ** 2
    if d2 > DISC ** 2:
        return 0
    if d2 > RING ** 2:
        return 3
    if LEFT <= x <= RIGHT and TOP <= y < TOP + BAR:
        return 2
    if LEFT <= x <= RIGHT and BOTTOM - BAR < y <= BOTTOM:
        return 2
    if TOP <= y <= BOTTOM:
        # the diagonal from the top right to the bottom left
        t = (y - TOP) / (BOTTOM - TOP)
        xd = RIGHT - t * (RIGHT - LEFT)
        if abs(x - xd) <= STROKE:
            return 2
    return 1


def svg():
    """The shapes pixel() tests, as vectors. Pixel (x, y) covers the square from (x, y) to
    (x + 1, y + 1) of the view box, so every coordinate of the grid moves by half a unit."""
    def colour(index):
        return "#%02x%02x%02x" % PALETTE[index]

    def at(value):
        return "%g" % (value + 0.5)

    c = at(CENTRE)
    # The diagonal is the band |x - xd(y)| <= STROKE between the bars' outer edges, not cut at the sides.
    diagonal = [(RIGHT - STROKE, TOP), (RIGHT + STROKE, TOP), (LEFT + STROKE, BOTTOM), (LEFT - STROKE, BOTTOM)]
    lines = [
        '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">' % ((SIZE,) * 4),
        '  <circle cx="%s" cy="%s" r="%g" fill="%s"/>' % (c, c, DISC, colour(3)),
        '  <circle cx="%s" cy="%s" r="%g" fill="%s"/>' % (c, c, RING, colour(1)),
        '  <g fill="%s">' % colour(2),
        '    <rect x="%s" y="%s" width="%g" height="%g"/>' % (at(LEFT), at(TOP), RIGHT - LEFT, BAR),
        '    <rect x="%s" y="%s" width="%g" height="%g"/>' % (at(LEFT), at(BOTTOM - BAR), RIGHT - LEFT, BAR),
        '    <polygon points="%s"/>' % " ".join("%s,%s" % (at(x), at(y)) for x, y in diagonal),
        '  </g>',
        '</svg>',
    ]
    return ("\n".join(lines) + "\n").encode("ascii")


def rgba(size):
    """Rows of RGBA pixels at any size, each the average of SUBSAMPLES squared samples."""
    n = SUBSAMPLES
    scale = SIZE / size
    rows = []
    for y in range(size):
        row = bytearray()
        for x in range(size):
            r = g = b = a = 0
            for j in range(n):
                for i in range(n):
                    index = pixel((x + (i + 0.5) / n) * scale - 0.5, (y + (j + 0.5) / n) * scale - 0.5)
                    if index:
                        pr, pg, pb = PALETTE[index]
                        r, g, b, a = r + pr, g + pg, b + pb, a + 1
            # colours are averaged over the covered samples only, so edges do not darken
            row += bytes((r // a, g // a, b // a, a * 255 // (n * n))) if a else bytes(4)
        rows.append(bytes(row))
    return rows


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png(size, colour_type, rows, extra=b""):
    data = b"".join(b"\x00" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, colour_type, 0, 0, 0))
            + extra + chunk(b"IDAT", zlib.compress(data, 9)) + chunk(b"IEND", b""))


def palette_png():
    rows = [bytes(pixel(x, y) for x in range(SIZE)) for y in range(SIZE)]
    extra = chunk(b"PLTE", b"".join(bytes(c) for c in PALETTE)) + chunk(b"tRNS", b"\x00")
    return png(SIZE, 3, rows, extra)


def ico_bitmap(size, rows):
    """A 32-bit device-independent bitmap: bottom-up BGRA rows, then the 1-bit mask of
    transparent pixels that renderers without alpha use."""
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes(p for i in range(0, len(row), 4) for p in (row[i + 2], row[i + 1], row[i], row[i + 3]))
                      for row in reversed(rows))
    stride = (size + 31) // 32 * 4
    mask = b""
    for row in reversed(rows):
        bits = bytearray(stride)
        for x in range(size):
            if row[4 * x + 3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + colour + mask


def ico():
    # Sizes up to 48 as bitmaps, which every Windows reads; 256 as PNG, which Vista and later read.
    images = [png(s, 6, rgba(s)) if s == 256 else ico_bitmap(s, rgba(s)) for s in ICO_SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = len(out) + 16 * len(images)
    for s, image in zip(ICO_SIZES, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def write(name, data):
    path = os.path.join(RESOURCES, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main():
    write("logo_zel.png", palette_png())
    for s in THEME_SIZES:
        write(os.path.join("icons", "zel-qt-patcher-%d.png" % s), png(s, 6, rgba(s)))
    write(os.path.join("icons", "zel-qt-patcher.svg"), svg())
    write("zel-qt-patcher.ico", ico())


if __name__ == "__main__":
    main()
