// The random number generator's state and its steps, for any number of generators.
#pragma once

#include <cstdint>

namespace TAVELOR {

// The ISAAC generator state (32-bit words, 256-word tables).
struct ZyRandContext {
  std::uint32_t count;
  std::uint32_t results[256];
  std::uint32_t memory[256];
  std::uint32_t a, b, c;
};

// The program's generator (Zysrand and Zyrand work on it).
extern ZyRandContext __g_ctx;

// Seeds a generator; the same seed always gives the same sequence.
void ZyRandSeed(ZyRandContext& ctx, std::uint32_t seed);
// One generation step of 256 words; returns the first.
std::uint32_t ZyRandNext(ZyRandContext& ctx);

}  // namespace TAVELOR
