#!/usr/bin/env python3
# Independent computation of the generator's tables kept in MathsTest.cpp.
#
# Written from the generator's description alone (seeding with the seed folded into the first
# pass, then the published 256-word generation step), without the runtime's code. Prints the
# first 20 draws after seeding with 0, 1 and 4294967295 as C++ initialisers.

M = 0xFFFFFFFF


def mix(w):
    a, b, c, d, e, f, g, h = w
    a ^= (b << 11) & M; d = (d + a) & M; b = (b + c) & M
    b ^= c >> 2;        e = (e + b) & M; c = (c + d) & M
    c ^= (d << 8) & M;  f = (f + c) & M; d = (d + e) & M
    d ^= e >> 16;       g = (g + d) & M; e = (e + f) & M
    e ^= (f << 10) & M; h = (h + e) & M; f = (f + g) & M
    f ^= g >> 4;        a = (a + f) & M; g = (g + h) & M
    g ^= (h << 8) & M;  b = (b + g) & M; h = (h + a) & M
    h ^= a >> 9;        c = (c + h) & M; a = (a + b) & M
    return [a, b, c, d, e, f, g, h]


class Generator:
    # seed None: the original generator's own initialisation of an all-zero seed table.
    def __init__(self, seed):
        self.rsl, self.mem = [0] * 256, [0] * 256
        self.a = self.b = self.c = 0
        w = [0x9E3779B9] * 8
        for g in range(32 if seed is not None else 0):
            w[0] = (w[0] + seed) & M
            w = mix(w)
            self.mem[8 * g:8 * g + 8] = w
        for _ in range(4):
            w = mix(w)
        for src in (self.rsl, self.mem):
            for g in range(32):
                w = mix([(w[k] + src[8 * g + k]) & M for k in range(8)])
                self.mem[8 * g:8 * g + 8] = w
        self.step()

    def step(self):
        self.c = (self.c + 1) & M
        self.b = (self.b + self.c) & M
        shifts = [lambda a: a << 13, lambda a: a >> 6, lambda a: a << 2, lambda a: a >> 16]
        for i in range(256):
            x = self.mem[i]
            self.a = (self.a ^ (shifts[i % 4](self.a) & M)) & M
            self.a = (self.a + self.mem[(i + 128) % 256]) & M
            y = (self.mem[(x >> 2) % 256] + self.a + self.b) & M
            self.mem[i] = y
            self.b = (self.mem[(y >> 10) % 256] + x) & M
            self.rsl[i] = self.b

    def draw(self):
        self.step()
        return self.rsl[0]


# The generation step reproduces the published test vector of the original generator.
published = Generator(None)
published.step()
assert published.rsl[:4] == [0xF650E4C8, 0xE448E96D, 0x98DB2FB4, 0xF5FAD54F], [hex(v) for v in published.rsl[:4]]
for seed in (0, 1, 4294967295):
    g = Generator(seed)
    values = [g.draw() for _ in range(20)]
    print("{%du, {" % seed)
    for row in range(0, 20, 5):
        print("    " + ", ".join("0x%08Xu" % v for v in values[row:row + 5]) + ",")
    print("    }},")
