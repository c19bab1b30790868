#!/usr/bin/env python3
"""Draws the program icon (res/ravelin.ico): an amber bastion emblem on a
dark round shield, at 16, 32 and 48 pixels, 32-bit with alpha.

Run it after changing the drawing; the output is committed."""
import math
import struct
import sys

SIZES = (16, 32, 48)


def lerp(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def inside_bastion(x, y):
    """A five-pointed bastion outline (a ravelin seen from above) in unit
    coordinates centred on the origin."""
    points = []
    for k in range(5):
        angle = -math.pi / 2 + k * 2 * math.pi / 5
        points.append((0.62 * math.cos(angle), 0.62 * math.sin(angle)))
        angle += math.pi / 5
        points.append((0.36 * math.cos(angle), 0.36 * math.sin(angle)))
    inside = False
    j = len(points) - 1
    for i, (xi, yi) in enumerate(points):
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def pixel(size, px, py):
    """RGBA of one pixel, supersampled 4x4."""
    acc = [0.0, 0.0, 0.0, 0.0]
    samples = 4
    for sy in range(samples):
        for sx in range(samples):
            x = ((px + (sx + 0.5) / samples) / size) * 2 - 1
            y = ((py + (sy + 0.5) / samples) / size) * 2 - 1
            r = math.hypot(x, y)
            if r > 0.96:
                continue
            if r > 0.86:
                colour = (196, 132, 38)  # amber rim
            elif inside_bastion(x, y):
                colour = lerp((255, 206, 96), (190, 110, 20), (y + 0.6) / 1.2)
            else:
                colour = lerp((58, 36, 18), (24, 14, 8), r / 0.86)
            acc[0] += colour[0]
            acc[1] += colour[1]
            acc[2] += colour[2]
            acc[3] += 255
    n = samples * samples
    alpha = acc[3] / n
    if alpha == 0:
        return (0, 0, 0, 0)
    scale = 255 / acc[3]
    return (int(acc[0] * scale), int(acc[1] * scale), int(acc[2] * scale), int(round(alpha)))


def image(size):
    rows = []
    for py in reversed(range(size)):  # bottom-up DIB
        row = bytearray()
        for px in range(size):
            r, g, b, a = pixel(size, px, py)
            row += bytes((b, g, r, a))
        rows.append(bytes(row))
    mask_row = ((size + 31) // 32) * 4
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + b"".join(rows) + bytes(mask_row * size)


def main(path):
    images = [image(s) for s in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "res/ravelin.ico")
