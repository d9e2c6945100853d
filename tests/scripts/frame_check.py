#!/usr/bin/env python3
"""Measures screenshots of Hollerquast (any picture ImageMagick's convert can read).

  frame_check.py sky FRAME               share of night-sky pixels in the top band
  frame_check.py green FRAME             number of tree-green pixels
  frame_check.py text FRAME FONT TEXT    share of the text's glyph pixels shown white at (0, 0)
  frame_check.py diff FRAME FRAME        mean absolute difference per channel (0..255)
  frame_check.py ground FRAME            share of moonlit-grass pixels in the lowest third
"""
import subprocess
import sys


def load(path):
    """(width, height, rows of (r, g, b)) from a picture, through ImageMagick."""
    data = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], check=True, capture_output=True).stdout
    fields, pos = [], 0
    while len(fields) < 4:  # magic, width, height, maximum
        while data[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    pos += 1
    width, height = int(fields[1]), int(fields[2])
    pixels = data[pos:pos + width * height * 3]
    return width, height, [[tuple(pixels[(y * width + x) * 3:(y * width + x) * 3 + 3]) for x in range(width)]
                           for y in range(height)]


def sky(path):
    # The band above the horizon, right of the magic counter: dark and blue.
    w, _, rows = load(path)
    band = [p for y in range(2, 26) for p in rows[y][100:w]]
    night = [p for p in band if p[2] >= p[0] + 8 and p[2] >= p[1] + 4 and max(p) < 160]
    return len(night) / len(band)


def green(path):
    _, _, rows = load(path)
    return sum(1 for row in rows for r, g, b in row if g > r + 20 and g > b + 10)


def text(path, font, string):
    # Glyph cells of the font picture: 16 columns by 8 rows; white pixels are the glyph.
    fw, fh, glyphs = load(font)
    cw, ch = fw // 16, fh // 8
    _, _, rows = load(path)
    inked = shown = 0
    for n, c in enumerate(string.encode()):
        gx, gy = (c % 16) * cw, (c // 16) * ch
        for y in range(ch):
            for x in range(cw):
                if glyphs[gy + y][gx + x] != (0, 0, 0):
                    inked += 1
                    shown += min(rows[y][n * cw + x]) > 200
    return shown / inked


def diff(a, b):
    _, _, ra = load(a)
    _, _, rb = load(b)
    total = count = 0
    for row_a, row_b in zip(ra, rb):
        for pa, pb in zip(row_a, row_b):
            total += sum(abs(x - y) for x, y in zip(pa, pb))
            count += 3
    return total / count


def ground(path):
    # The ground's shades: grey-green, green over red by a third or so. Tree greens are twice
    # the red or more, their outlines black, the sky box's land below the horizon blue-grey.
    w, h, rows = load(path)
    band = [p for y in range(h * 2 // 3, h) for p in rows[y]]
    grass = [p for p in band if 1.15 * p[0] < p[1] < 1.75 * p[0] and p[2] < p[1] and 35 < p[1] < 120]
    return len(grass) / len(band)


def main(argv):
    commands = {"sky": sky, "green": green, "text": text, "diff": diff, "ground": ground}
    if len(argv) < 3 or argv[1] not in commands:
        sys.stderr.write(__doc__)
        return 2
    result = commands[argv[1]](*argv[2:])
    print(f"{result:.4f}" if isinstance(result, float) else result)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
