#!/usr/bin/env python3
"""Draws the launcher's icon (a box with a downward arrow, "unpack and
install") at 32x32 and 16x16 in 16 colours and writes it as launcher.ico.

The output is committed; run this again only to change the picture:
    python3 resources/make_icon.py resources/launcher.ico
"""
import struct
import sys

# 16-colour palette (B, G, R, 0); only the first few are used.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x40, 0x10), (0xD0, 0x80, 0x30), (0xFF, 0xFF, 0xFF),
    (0xF0, 0xC8, 0x90), (0x20, 0x20, 0x20),
] + [(0, 0, 0)] * 10
TRANSPARENT, DARK, BLUE, WHITE, LIGHT, OUTLINE = range(6)


def draw(size):
    """Rows top to bottom of palette indices; TRANSPARENT outside the box."""
    s = size / 32.0
    px = [[TRANSPARENT] * size for _ in range(size)]

    def inside(x, y, x0, y0, x1, y1):
        return x0 * s <= x + 0.5 < x1 * s and y0 * s <= y + 0.5 < y1 * s

    for y in range(size):
        for x in range(size):
            if inside(x, y, 3, 12, 29, 30):          # the box
                edge = not inside(x, y, 4, 13, 28, 29)
                px[y][x] = OUTLINE if edge else (LIGHT if y < 16 * s else BLUE)
            # the arrow: a shaft and a head pointing into the box
            cx = x + 0.5 - 16 * s
            if abs(cx) < 1.5 * s + 1 and 2 * s <= y + 0.5 < 17 * s:
                px[y][x] = WHITE if abs(cx) < 1.5 * s else DARK
            head_top, head_bottom = 15 * s, 24 * s
            if head_top <= y + 0.5 < head_bottom:
                half = (head_bottom - (y + 0.5)) * 0.9
                if abs(cx) < half:
                    px[y][x] = WHITE if abs(cx) < half - 1 else DARK
    return px


def bitmap(size):
    px = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (b, g, r) in PALETTE)
    xor_rows, and_rows = [], []
    for row in reversed(px):                  # bottom-up
        xor = bytearray()
        for i in range(0, size, 2):
            xor.append((row[i] << 4) | row[i + 1])
        xor_rows.append(bytes(xor).ljust((len(xor) + 3) // 4 * 4, b'\0'))
        bits = 0
        mask = bytearray()
        for i, v in enumerate(row):
            bits = (bits << 1) | (1 if v == TRANSPARENT else 0)
            if i % 8 == 7:
                mask.append(bits)
                bits = 0
        and_rows.append(bytes(mask).ljust((len(mask) + 3) // 4 * 4, b'\0'))
    return header + palette + b''.join(xor_rows) + b''.join(and_rows)


def main(path):
    images = [(32, bitmap(32)), (16, bitmap(16))]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b''.join(data for _, data in images)
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'launcher.ico')
