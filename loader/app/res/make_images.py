#!/usr/bin/env python3
"""Draws the loader's images: the status strip (bitmap 130), the product logo (bitmap 139)
and the application icon (141). The strip is drawn pixel by pixel here; the logo and the icon
are drawn with ImageMagick's convert.

Run from this folder: python3 make_images.py
"""
import struct
import subprocess

# The 16 colours of the standard Windows palette; magenta marks transparent pixels.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 192, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_RED, DARK_GREEN, GREY, RED, GREEN, YELLOW, MAGENTA, WHITE = 0, 1, 2, 8, 9, 10, 11, 13, 15


def warning(x, y):
    # A triangle with its apex at the top, outlined in black, with a black "!".
    for row in range(1, 15):
        half = row * 7 // 14
        left, right = 7 - half, 8 + half
        if left <= x <= right and row == y:
            edge = x in (left, right) or row == 14
            if edge:
                return BLACK
            if x in (7, 8) and (5 <= y <= 10 or y == 12):
                return BLACK
            return YELLOW
    return MAGENTA


def error(x, y):
    # A red disc with a dark rim and a white diagonal cross.
    dx, dy = x - 7.5, y - 7.5
    distance = dx * dx + dy * dy
    if distance > 7.5 * 7.5:
        return MAGENTA
    if distance > 6.3 * 6.3:
        return DARK_RED
    if (abs(dx - dy) < 1.5 or abs(dx + dy) < 1.5) and abs(dx) < 3.6:
        return WHITE
    return RED


def near_segment(x, y, ax, ay, bx, by, width):
    vx, vy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * vx + (y - ay) * vy) / (vx * vx + vy * vy)))
    px, py = ax + t * vx - x, ay + t * vy - y
    return px * px + py * py <= width * width


def check(x, y):
    # A thick green tick with a dark edge.
    if near_segment(x, y, 2.5, 8.5, 6, 12, 1.3) or near_segment(x, y, 6, 12, 13, 3, 1.3):
        return GREEN
    if near_segment(x, y, 2.5, 8.5, 6, 12, 2.1) or near_segment(x, y, 6, 12, 13, 3, 2.1):
        return DARK_GREEN
    return MAGENTA


def empty(x, y):
    return MAGENTA


def write_bmp4(path, width, height, pixel):
    row_bytes = (width * 4 + 31) // 32 * 4
    rows = []
    for y in reversed(range(height)):
        row = bytearray(row_bytes)
        for x in range(width):
            value = pixel(x, y)
            row[x // 2] |= value << 4 if x % 2 == 0 else value
        rows.append(bytes(row))
    palette = b"".join(struct.pack("<4B", b, g, r, 0) for r, g, b in PALETTE)
    offset = 14 + 40 + len(palette)
    image = b"".join(rows)
    with open(path, "wb") as f:
        f.write(struct.pack("<2sIHHI", b"BM", offset + len(image), 0, 0, offset))
        f.write(struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(image), 2835, 2835,
                            16, 0))
        f.write(palette)
        f.write(image)


def strip_pixel(x, y):
    return [empty, warning, error, check, empty][x // 16](x % 16, y)


write_bmp4("status.bmp", 80, 16, strip_pixel)

EMBLEM = ["-fill", "#1d5b8f", "-draw", "circle 15,15 15,1",
          "-fill", "white", "-draw", "path 'M 4,18 Q 10,11 16,18 T 28,18 L 28,21 Q 22,14 16,21 T 4,21 Z'",
          "-fill", "#f2b134", "-draw", "circle 19,9 19,6"]
subprocess.run(["convert", "-size", "95x30", "xc:white"] + EMBLEM +
               ["-fill", "#1d5b8f", "-font", "DejaVu-Sans-Bold", "-pointsize", "13",
                "-draw", "text 34,14 'Halcyon'",
                "-fill", "#5a6b7b", "-font", "DejaVu-Sans", "-pointsize", "10",
                "-draw", "text 35,26 'Imaging'",
                "-type", "TrueColor", "BMP3:logo.bmp"], check=True)
subprocess.run(["convert", "-size", "32x32", "xc:none"] + EMBLEM +
               ["-define", "icon:auto-resize=32,16", "SkiffApp.ico"], check=True)
