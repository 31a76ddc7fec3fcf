#!/usr/bin/env python3
"""Converts an X window dump (xwd, 24/32-bit ZPixmap) to PNG, optionally cropped:
xwd_to_png.py IN.xwd OUT.png [WIDTHxHEIGHT+X+Y]"""
import re
import struct
import sys
import zlib


def read_xwd(path):
    data = open(path, "rb").read()
    fields = struct.unpack(">25I", data[:100])
    header_size, _, pixmap_format, depth, width, height = fields[:6]
    byte_order, bytes_per_line = fields[7], fields[12]
    red_mask, green_mask, blue_mask = fields[14:17]
    ncolors = fields[19]
    step = fields[11] // 8  # bits per pixel; lines may be padded beyond width * step
    if pixmap_format != 2 or depth < 24 or step not in (3, 4):
        sys.exit(f"xwd_to_png: unsupported dump (format {pixmap_format}, depth {depth})")
    start = header_size + ncolors * 12
    order = "<" if byte_order == 0 else ">"
    rows = []
    for y in range(height):
        line = data[start + y * bytes_per_line:start + y * bytes_per_line + width * step]
        row = bytearray()
        for x in range(width):
            chunk = line[x * step:(x + 1) * step] + b"\0" * (4 - step)
            pixel = struct.unpack(order + "I", chunk)[0]
            row += bytes(((pixel & red_mask) >> shift(red_mask), (pixel & green_mask) >> shift(green_mask),
                          (pixel & blue_mask) >> shift(blue_mask)))
        rows.append(bytes(row))
    return width, height, rows


def shift(mask):
    return (mask & -mask).bit_length() - 1


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
    raw = b"".join(b"\0" + row for row in rows)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    open(path, "wb").write(png)


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit("usage: xwd_to_png.py IN.xwd OUT.png [WIDTHxHEIGHT+X+Y]")
    width, height, rows = read_xwd(sys.argv[1])
    if len(sys.argv) == 4:
        match = re.fullmatch(r"(\d+)x(\d+)\+(\d+)\+(\d+)", sys.argv[3])
        if not match:
            sys.exit(f"xwd_to_png: bad crop {sys.argv[3]!r}")
        w, h, x, y = map(int, match.groups())
        w, h = min(w, width - x), min(h, height - y)
        rows = [row[x * 3:(x + w) * 3] for row in rows[y:y + h]]
        width, height = w, h
    write_png(sys.argv[2], width, height, rows)


if __name__ == "__main__":
    main()
