#!/usr/bin/env python3
"""Checks the frames the examples saved against what they must show.

Text is checked against the font picture itself: each glyph cell of the expected text,
taken from smalfont.bmp, must appear pixel for pixel in the frame. Everything else is checked
against geometry and a path search written here.

usage: example_frames.py bounce FRAME FONT STDOUT
       example_frames.py pathfind FRAME FONT STDOUT
       example_frames.py chat FRAME FONT TITLE LINE...
       example_frames.py viewer FRAME FONT TURNED_FRAME TITLE
"""
import heapq
import math
import re
import struct
import sys


def read_bmp(path):
    """(width, height, pixel(x, y) -> (r, g, b)) of a 24-bit BMP, y from the top."""
    data = open(path, "rb").read()
    if data[:2] != b"BM":
        raise SystemExit(f"{path}: not a BMP file")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    if bits != 24:
        raise SystemExit(f"{path}: {bits} bits per pixel, expected 24")
    row = (width * 3 + 3) // 4 * 4
    flipped = height > 0
    height = abs(height)

    def pixel(x, y):
        r = height - 1 - y if flipped else y
        i = offset + r * row + x * 3
        return data[i + 2], data[i + 1], data[i]

    return width, height, pixel


def rgb(number):
    return number & 255, (number >> 8) & 255, (number >> 16) & 255


def text_problems(frame, font, text, x, y):
    """How many pixels of the text's glyph cells differ from the font picture."""
    _, _, pixel = frame
    fw, fh, glyph_pixel = font
    cw, ch = fw // 16, fh // 8
    bad = 0
    for k, code in enumerate(text.encode("latin-1")):
        gx, gy = code % 16 * cw, code // 16 * ch
        for dy in range(ch):
            for dx in range(cw):
                ink = glyph_pixel(gx + dx, gy + dy)
                shown = pixel(x + k * cw + dx, y + dy)
                # Black is transparent in fonts: there the frame must not show ink.
                if (shown == ink) if ink != (0, 0, 0) else (shown != (255, 255, 255)):
                    continue
                bad += 1
    return bad


def expect_text(frame, font, text, x, y, failures):
    bad = text_problems(frame, font, text, x, y)
    if bad:
        failures.append(f"text {text!r} at ({x}, {y}): {bad} pixels differ from the font")


def check_bounce(frame, font, out, failures):
    radius, colours = 24, [0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF, 0xFF00FF, 0xFFFF00]
    score = re.search(r"^score (\d+)$", out, re.M)
    if not score:
        failures.append("no final score on standard output")
        return
    score = int(score.group(1))
    hits = re.findall(r"^hit (\d+) (\d+) (\S+) (\S+) (\S+) (\S+)$", out, re.M)
    if score < 1 or len(hits) != score:
        failures.append(f"score {score} with {len(hits)} reported contacts")
    # SPRCOLL answered for opaque pixels: the two discs must really overlap.
    for i, j, x1, y1, x2, y2 in hits:
        d = math.dist((float(x1), float(y1)), (float(x2), float(y2)))
        if d > 2 * radius:
            failures.append(f"balls {i} and {j} counted as touching {d:.1f} pixels apart")
    # Each ball shows as a disc: the key colour around it is transparent.
    w, h, pixel = frame
    counts = {rgb(c): 0 for c in colours}
    for y in range(h):
        for x in range(w):
            p = pixel(x, y)
            if p in counts:
                counts[p] += 1
    disc = math.pi * radius * radius
    for colour, n in counts.items():
        if not 0.5 * disc <= n <= 1.02 * disc:
            failures.append(f"ball of colour {colour}: {n} pixels, a disc has {disc:.0f}")
    expect_text(frame, font, f"Score: {score}", 8, 8, failures)


def check_pathfind(frame, font, out, failures):
    cols, rows, cell, top = 20, 14, 32, 32
    terrain_colours = {rgb(0xC8C8C8): 1, rgb(0x2A5A8C): 5, rgb(0x303030): None}
    _, _, pixel = frame
    terrain, marks = {}, {}
    for gy in range(rows):
        for gx in range(cols):
            left, upper = gx * cell, top + gy * cell
            kind = pixel(left + 3, upper + 3)
            if kind not in terrain_colours:
                failures.append(f"cell ({gx}, {gy}) has no ground colour: {kind}")
                return
            terrain[gx, gy] = terrain_colours[kind]
            marks[gx, gy] = pixel(left + cell // 2, upper + cell // 2)
    starts = [c for c, m in marks.items() if m == rgb(0x00C000)]
    goals = [c for c, m in marks.items() if m == rgb(0x0000E0)]
    if len(starts) != 1 or len(goals) != 1:
        failures.append(f"{len(starts)} start and {len(goals)} goal cells shown")
        return
    start, goal = starts[0], goals[0]
    on_path = {c for c, m in marks.items() if m == rgb(0x00E0FF)} | {start, goal}

    # The cheapest cost from start to goal, entering cells only through their four sides.
    best = {start: 0}
    queue = [(0, start)]
    while queue:
        cost, (x, y) = heapq.heappop(queue)
        if cost > best[(x, y)]:
            continue
        for nxt in ((x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)):
            step = terrain.get(nxt)
            if step is not None and cost + step < best.get(nxt, math.inf):
                best[nxt] = cost + step
                heapq.heappush(queue, (cost + step, nxt))

    # The drawn path: a chain of neighbouring cells from start to goal over open ground.
    def neighbours(c):
        x, y = c
        return [n for n in ((x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)) if n in on_path]

    chain, previous, current = [start], None, start
    while current != goal:
        ahead = [n for n in neighbours(current) if n != previous]
        if len(ahead) != 1:
            failures.append(f"the path branches or breaks at {current}")
            return
        previous, current = current, ahead[0]
        chain.append(current)
    if len(chain) != len(on_path):
        failures.append(f"{len(on_path) - len(chain)} path cells lie off the chain")
    if any(terrain[c] is None for c in chain):
        failures.append("the path crosses a wall")
        return
    cost = sum(terrain[c] for c in chain[1:])
    if cost != best.get(goal):
        failures.append(f"the path costs {cost}, the cheapest costs {best.get(goal)}")
    if f"path {len(chain)} cells, cost {cost}" not in out:
        failures.append("standard output does not report the drawn path")
    expect_text(frame, font, f"FINDPATH: {len(chain)} cells, cost {cost}", 8, 8, failures)


def check_viewer(frame, turned, font, title, failures):
    w, h, pixel = frame
    _, _, other = turned
    shade, changed = [], 0
    for y in range(32, h):
        for x in range(w):
            p = pixel(x, y)
            if p != (0, 0, 0):
                shade.append(0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2])
            changed += p != other(x, y)
    if not 0.05 * w * h <= len(shade) <= 0.5 * w * h:
        failures.append(f"the object covers {len(shade)} pixels")
        return
    # The hole of the torus, seen from above, shows the black background.
    if pixel(w // 2, h // 2) != (0, 0, 0):
        failures.append("no hole in the middle of the torus")
    # The torus has one colour: unlit it would show one shade, lit it shows light and shadow.
    shade.sort()
    dark, bright = shade[len(shade) // 20], shade[len(shade) * 19 // 20]
    if bright < 1.2 * max(dark, 1):
        failures.append(f"no light and shadow: brightness from {dark:.0f} to {bright:.0f}")
    if changed < 0.05 * len(shade):
        failures.append(f"turning the object changed only {changed} pixels")
    expect_text(frame, font, title, 8, 8, failures)


def main(argv):
    kind, frame_file, font_file = argv[1:4]
    frame, font = read_bmp(frame_file), read_bmp(font_file)
    failures = []
    if kind == "bounce":
        check_bounce(frame, font, open(argv[4]).read(), failures)
    elif kind == "pathfind":
        check_pathfind(frame, font, open(argv[4]).read(), failures)
    elif kind == "viewer":
        check_viewer(frame, read_bmp(argv[4]), font, argv[5], failures)
    elif kind == "chat":
        expect_text(frame, font, argv[4], 8, 8, failures)
        for i, line in enumerate(argv[5:]):
            expect_text(frame, font, line, 16, 48 + 20 * i, failures)
    else:
        raise SystemExit(f"unknown example {kind}")
    for f in failures:
        print(f"FAIL {kind}: {f}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
