#!/usr/bin/env python3
"""Draws the test banner picture: a 100 x 40 PNG (an orange band with a blue frame and
an arrow), written with the standard library only. Usage: make-picture.py OUTPUT.png"""
import struct
import sys
import zlib

WIDTH, HEIGHT = 100, 40


def pixel(x, y):
    if x < 2 or y < 2 or x >= WIDTH - 2 or y >= HEIGHT - 2:
        return (0x1F, 0x4E, 0x9A)  # frame
    # A right-pointing arrow in the middle.
    cx, cy = x - 50, y - 20
    if (-20 <= cx < 5 and -4 <= cy <= 4) or (5 <= cx <= 20 and abs(cy) <= 20 - cx and abs(cy) <= 12):
        return (0xFF, 0xFF, 0xFF)
    shade = 0x60 + (x * 0x50) // WIDTH
    return (0xF0, shade, 0x20)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def main():
    rows = bytearray()
    for y in range(HEIGHT):
        rows.append(0)  # no filter
        for x in range(WIDTH):
            rows.extend(pixel(x, y))
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(rows), 9))
    png += chunk(b"IEND", b"")
    with open(sys.argv[1], "wb") as out:
        out.write(png)


if __name__ == "__main__":
    main()
