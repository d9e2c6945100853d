#!/usr/bin/env python3
"""Writes the runtime's default font picture from a console font.

The picture is a 24-bit BMP of 128 x 128 pixels holding 16 x 8 glyph cells of 8 x 16
pixels; cell n (left to right, top to bottom) shows the character with code n, white on
black. The glyphs come from a PSF console font (version 1 or 2, optionally gzipped) through
its Unicode table, so the font's own glyph order does not matter. Codes without a glyph in
the font stay black.

usage: make_font.py FONT.psf[.gz] OUT.bmp
"""
import gzip
import struct
import sys

CELL_W, CELL_H = 8, 16
COLUMNS, ROWS = 16, 8

# Control codes are shown as the symbols PC text mode draws for them.
CONTROL_SYMBOLS = [
    None, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022, 0x25D8, 0x25CB, 0x25D9,
    0x2642, 0x2640, 0x266A, 0x266B, 0x263C, 0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7,
    0x25AC, 0x21A8, 0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC,
]


def read_psf(data):
    """Returns (width, height, glyph bitmaps, {code point: glyph index})."""
    if data[:2] == b"\x36\x04":
        mode, charsize = data[2], data[3]
        count = 512 if mode & 1 else 256
        width, height, offset = 8, charsize, 4
        glyphs = [data[offset + i * charsize: offset + (i + 1) * charsize] for i in range(count)]
        table = {}
        if mode & 6:
            pos, glyph = offset + count * charsize, 0
            while glyph < count and pos + 1 < len(data):
                (value,) = struct.unpack_from("<H", data, pos)
                pos += 2
                if value == 0xFFFF:
                    glyph += 1
                elif value != 0xFFFE:
                    table.setdefault(value, glyph)
        return width, height, glyphs, table
    if data[:4] == b"\x72\xb5\x4a\x86":
        _, header, flags, count, charsize, height, width = struct.unpack_from("<7I", data, 4)
        glyphs = [data[header + i * charsize: header + (i + 1) * charsize] for i in range(count)]
        table = {}
        if flags & 1:
            pos, glyph = header + count * charsize, 0
            while glyph < count and pos < len(data):
                end = data.index(b"\xff", pos) if b"\xff" in data[pos:] else len(data)
                entry = data[pos:end].split(b"\xfe")[0]  # single characters before any sequence
                for ch in entry.decode("utf-8", errors="ignore"):
                    table.setdefault(ord(ch), glyph)
                pos, glyph = end + 1, glyph + 1
        return width, height, glyphs, table
    raise ValueError("not a PSF console font")


def glyph_pixels(bitmap, width, height):
    """Yields (x, y) of the set pixels of a glyph, clipped to one cell."""
    row_bytes = (width + 7) // 8
    for y in range(min(height, CELL_H)):
        row = bitmap[y * row_bytes:(y + 1) * row_bytes]
        for x in range(min(width, CELL_W)):
            if row[x // 8] & (0x80 >> (x % 8)):
                yield x, y


def write_bmp(path, pixels, width, height):
    row_size = (width * 3 + 3) // 4 * 4
    body = bytearray()
    for y in range(height - 1, -1, -1):  # bottom row first
        row = bytearray()
        for x in range(width):
            v = pixels[y][x]
            row += bytes((v, v, v))
        row += bytes(row_size - len(row))
        body += row
    header = struct.pack("<2sIHHI", b"BM", 54 + len(body), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    with open(path, "wb") as out:
        out.write(header + info + body)


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    raw = open(argv[1], "rb").read()
    if raw[:2] == b"\x1f\x8b":
        raw = gzip.decompress(raw)
    width, height, glyphs, table = read_psf(raw)
    size_w, size_h = COLUMNS * CELL_W, ROWS * CELL_H
    pixels = [[0] * size_w for _ in range(size_h)]
    for code in range(COLUMNS * ROWS):
        glyph = table.get(code)
        if glyph is None and code < len(CONTROL_SYMBOLS) and CONTROL_SYMBOLS[code]:
            glyph = table.get(CONTROL_SYMBOLS[code])
        if glyph is None and code == 127:
            glyph = table.get(0x2302)
        if glyph is None:
            continue
        left, top = (code % COLUMNS) * CELL_W, (code // COLUMNS) * CELL_H
        for x, y in glyph_pixels(glyphs[glyph], width, height):
            pixels[top + y][left + x] = 255
    write_bmp(argv[2], pixels, size_w, size_h)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
