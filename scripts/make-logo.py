#!/usr/bin/env python3
"""Draws the application icon, a white "Z" on a green disc, into resources/:
logo_zel.png (the window icon: an 87 by 87 palette PNG), icons/zel-qt-patcher-N.png
(smoothed RGBA copies for the desktop's icon theme) and zel-qt-patcher.ico (the
Windows executable's icon). Run it again to get the same bytes; it needs only the
standard library."""
import os
import struct
import zlib

SIZE = 87  # the drawing's own grid; other sizes are sampled from it
PALETTE = [(0, 0, 0), (32, 128, 64), (255, 255, 255), (20, 80, 40)]  # 0 stays transparent
THEME_SIZES = [32, 48, 128, 256]
ICO_SIZES = [16, 24, 32, 48, 256]
SUBSAMPLES = 4
RESOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")


def pixel(x, y):
    cx = cy = (SIZE - 1) / 2
    d2 = (x - cx) ** 2 + (y - cy) ** 2
    if d2 > 42.5 ** 2:
        return 0
    if d2 > 39.5 ** 2:
        return 3
    left, right, top, bottom, bar = 24, 62, 24, 62, 7
    if left <= x <= right and top <= y < top + bar:
        return 2
    if left <= x <= right and bottom - bar < y <= bottom:
        return 2
    if top <= y <= bottom:
        # the diagonal from the top right to the bottom left
        t = (y - top) / (bottom - top)
        xd = right - t * (right - left)
        if abs(x - xd) <= bar * 0.75:
            return 2
    return 1


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
    write("zel-qt-patcher.ico", ico())


if __name__ == "__main__":
    main()
