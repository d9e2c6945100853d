// The language's numeric commands and its random number generator. Angles are degrees;
// every conversion uses the factor 57.2957795 degrees per radian.
#pragma once

#include <cstdint>

namespace TAVELOR {

constexpr double kDegreesPerRadian = 57.2957795;

double SIN(double x);
double COS(double x);
double TAN(double x);
// Clamped: 90 for x >= 1, -90 for x <= -1.
double ASIN(double x);
// Clamped: 0 for x >= 1, 180 for x <= -1.
double ACOS(double x);
// The angle of (x, y), in (-180, 180].
double ATAN(double y, double x);
double SQR(double x);
double POW(double x, double y);
// Remainder of the truncated integers, with the sign of a; 0 when b truncates to 0.
double MOD(double a, double b);
double ABS(double x);
// A whole random number from 0 to n (n truncated toward zero); for a negative n, a whole
// number from n to 0.
double RND(double n);

// The ISAAC generator state (32-bit words, 256-word tables).
struct ZyRandContext {
  std::uint32_t count;
  std::uint32_t results[256];
  std::uint32_t memory[256];
  std::uint32_t a, b, c;
};

// The program's generator.
extern ZyRandContext __g_ctx;

// Seeds a generator; the same seed always gives the same sequence.
void ZyRandSeed(ZyRandContext& ctx, std::uint32_t seed);
// One generation step of 256 words; returns the first.
std::uint32_t ZyRandNext(ZyRandContext& ctx);

// The same on the program's generator (the seed's low 32 bits are used).
void Zysrand(unsigned long seed);
unsigned long Zyrand();

}  // namespace TAVELOR
