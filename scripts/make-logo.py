#!/usr/bin/env python3
"""Draws resources/logo_zel.png: an 87 by 87 palette PNG, a white "Z" on a green
disc. Run it again to get the same bytes; it needs only the standard library."""
import os
import struct
import zlib

SIZE = 87
PALETTE = [(0, 0, 0), (32, 128, 64), (255, 255, 255), (20, 80, 40)]  # 0 stays transparent


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


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def main():
    rows = b"".join(b"\x00" + bytes(pixel(x, y) for x in range(SIZE)) for y in range(SIZE))
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 3, 0, 0, 0))
    png += chunk(b"PLTE", b"".join(bytes(c) for c in PALETTE))
    png += chunk(b"tRNS", b"\x00")
    png += chunk(b"IDAT", zlib.compress(rows, 9))
    png += chunk(b"IEND", b"")
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "logo_zel.png")
    with open(out, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main()
