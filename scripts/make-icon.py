#!/usr/bin/env python3
"""Draws app/leafbook.ico (an open book, 16 and 32 pixels, 32-bit colour).

Run by hand when the icon should change; the build uses the committed file.
"""
import struct
import sys


def pixel(x, y, size):
    # An open book: two pages with a spine, on a transparent ground.
    s = size / 32.0
    top, bottom = 6 * s, 26 * s
    left, right, spine = 2 * s, 30 * s, 16 * s
    if not (top <= y < bottom and left <= x < right):
        return (0, 0, 0, 0)
    if abs(x + 0.5 - spine) < 1.0 * s:
        return (0x5a, 0x3b, 0x1e, 255)  # spine
    edge = (y < top + 1.5 * s or y >= bottom - 1.5 * s or x < left + 1.5 * s
            or x >= right - 1.5 * s)
    if edge:
        return (0x8b, 0x5a, 0x2b, 255)  # cover
    line = int((y - top) / (3 * s)) % 1 == 0 and int(y - top) % max(1, int(3 * s)) == 0
    if line and (left + 4 * s <= x < spine - 3 * s or spine + 3 * s <= x < right - 4 * s):
        return (0x9a, 0x92, 0x80, 255)  # lines of text
    return (0xfb, 0xf7, 0xec, 255)  # paper


def image(size):
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        for x in range(size):
            r, g, b, a = pixel(x, y, size)
            rows.append(struct.pack("BBBB", b, g, r, a))
    xor = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    and_mask = b"\0" * (mask_row * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(xor) + len(and_mask), 0, 0, 0, 0)
    return header + xor + and_mask


def main(path):
    sizes = [16, 32]
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "app/leafbook.ico")
