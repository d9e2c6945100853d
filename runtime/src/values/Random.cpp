// The ISAAC random number generator (32-bit words, 256-word tables) and its start-up seed.
#include <tavelor/maths.h>

#include <cstdint>
#include <cstring>

#include "frame/Runtime.h"
#include "values/Random.h"

namespace TAVELOR {

ZyRandContext __g_ctx = {};

namespace {

constexpr std::uint32_t kGolden = 0x9E3779B9u;

void Mix(std::uint32_t w[8]) {
  w[0] ^= w[1] << 11; w[3] += w[0]; w[1] += w[2];
  w[1] ^= w[2] >> 2;  w[4] += w[1]; w[2] += w[3];
  w[2] ^= w[3] << 8;  w[5] += w[2]; w[3] += w[4];
  w[3] ^= w[4] >> 16; w[6] += w[3]; w[4] += w[5];
  w[4] ^= w[5] << 10; w[7] += w[4]; w[5] += w[6];
  w[5] ^= w[6] >> 4;  w[0] += w[5]; w[6] += w[7];
  w[6] ^= w[7] << 8;  w[1] += w[6]; w[7] += w[0];
  w[7] ^= w[0] >> 9;  w[2] += w[7]; w[0] += w[1];
}

// Adds (when given) a table group to the words, mixes, and stores them into memory.
void Pass(ZyRandContext& ctx, std::uint32_t w[8], const std::uint32_t* add) {
  for (int g = 0; g < 256; g += 8) {
    if (add) {
      for (int k = 0; k < 8; ++k) w[k] += add[g + k];
    }
    Mix(w);
    std::memcpy(ctx.memory + g, w, sizeof(std::uint32_t) * 8);
  }
}

void Generate(ZyRandContext& ctx) {
  std::uint32_t* m = ctx.memory;
  std::uint32_t a = ctx.a;
  std::uint32_t b = ctx.b + (++ctx.c);
  for (int i = 0; i < 256; ++i) {
    const std::uint32_t x = m[i];
    switch (i & 3) {
      case 0: a ^= a << 13; break;
      case 1: a ^= a >> 6; break;
      case 2: a ^= a << 2; break;
      default: a ^= a >> 16; break;
    }
    a += m[(i + 128) & 255];
    const std::uint32_t y = m[(x >> 2) & 255] + a + b;
    m[i] = y;
    b = m[(y >> 10) & 255] + x;
    ctx.results[i] = b;
  }
  ctx.a = a;
  ctx.b = b;
}

}  // namespace

void ZyRandSeed(ZyRandContext& ctx, std::uint32_t seed) {
  // The output table takes part in seeding; it is cleared first so that a seed always
  // gives the same sequence, whatever was drawn before.
  std::memset(ctx.results, 0, sizeof ctx.results);
  ctx.a = ctx.b = ctx.c = 0;
  std::uint32_t w[8];
  for (std::uint32_t& word : w) word = kGolden;
  // First pass: the seed is folded into the first word before every group is mixed.
  for (int g = 0; g < 256; g += 8) {
    w[0] += seed;
    Mix(w);
    std::memcpy(ctx.memory + g, w, sizeof w);
  }
  for (int i = 0; i < 4; ++i) Mix(w);
  Pass(ctx, w, ctx.results);
  Pass(ctx, w, ctx.memory);
  Generate(ctx);
  ctx.count = 256;
}

std::uint32_t ZyRandNext(ZyRandContext& ctx) {
  Generate(ctx);
  return ctx.results[0];
}

void Zysrand(unsigned long seed) { ZyRandSeed(__g_ctx, static_cast<std::uint32_t>(seed)); }

unsigned long Zyrand() { return ZyRandNext(__g_ctx); }

void SeedRandomFromClock(std::uint32_t seed) { Zysrand(seed); }

}  // namespace TAVELOR
