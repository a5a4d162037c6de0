#!/usr/bin/env python3
"""Draws the program icon, a window with an open eye in it, and writes
kestrune.ico beside this script with a 32x32 and a 16x16 image (32-bit BMP
entries with alpha and a matching AND mask). Standard library only."""

import math
import os
import struct

NAVY = (31, 58, 104)
TITLE = (43, 87, 151)
PAPER = (244, 247, 251)
TEAL = (26, 163, 154)
BLACK = (16, 20, 28)
WHITE = (255, 255, 255)

SUPERSAMPLE = 6


def inside_rounded_rect(x, y, left, top, right, bottom, radius):
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius**2 and left <= x <= right and top <= y <= bottom


def inside_eye(x, y, cx, cy, half_width, half_height):
    # An almond: the meeting of two circles through the eye's corners.
    radius = (half_width**2 + half_height**2) / (2 * half_height)
    offset = radius - half_height
    return math.hypot(x - cx, y - (cy - offset)) <= radius and math.hypot(
        x - cx, y - (cy + offset)) <= radius


def colour_at(x, y):
    """The colour of the point (x, y) of the unit square, or None outside."""
    if not inside_rounded_rect(x, y, 0.03, 0.08, 0.97, 0.94, 0.10):
        return None
    if not inside_rounded_rect(x, y, 0.09, 0.14, 0.91, 0.88, 0.05):
        return NAVY
    if y < 0.30:
        return TITLE
    cx, cy = 0.5, 0.60
    if inside_eye(x, y, cx, cy, 0.36, 0.21):
        if not inside_eye(x, y, cx, cy, 0.30, 0.16):
            return NAVY
        distance = math.hypot(x - cx, y - cy)
        if math.hypot(x - (cx + 0.05), y - (cy - 0.05)) <= 0.035:
            return WHITE
        if distance <= 0.065:
            return BLACK
        if distance <= 0.14:
            return TEAL
        return WHITE
    return PAPER


def render(size):
    """Rows of (r, g, b, a), top row first."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0, 0, 0]
            covered = 0
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    x = (px + (sx + 0.5) / SUPERSAMPLE) / size
                    y = (py + (sy + 0.5) / SUPERSAMPLE) / size
                    colour = colour_at(x, y)
                    if colour is None:
                        continue
                    covered += 1
                    for i in range(3):
                        total[i] += colour[i]
            if covered == 0:
                row.append((0, 0, 0, 0))
            else:
                alpha = round(255 * covered / SUPERSAMPLE**2)
                row.append(tuple(round(c / covered) for c in total) + (alpha,))
        rows.append(row)
    return rows


def bmp_entry(size):
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + bytes(pixels) + bytes(mask)


def write_icon(path, sizes):
    images = [bmp_entry(size) for size in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    write_icon(os.path.join(os.path.dirname(os.path.abspath(__file__)), "kestrune.ico"), [32, 16])
