// Numeric commands and the random number generator.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <utility>

#include <tavelor/maths.h>

#include "frame/Runtime.h"
#include "values/Random.h"

using namespace TAVELOR;

namespace {

// The value as printed with the given number of significant digits.
std::string Digits(double v, int significant = 17) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*g", significant, v);
  return buf;
}

// Trigonometry in degrees; ASIN and ACOS clamp arguments outside -1..1. MOD truncates both
// numbers, clamped to the int range (NaN: 0), and a divisor of 0 gives 0.
TEST(Maths, TrigonometryModAndAbs) {
  const std::pair<std::string, std::string> trig[] = {
      {Digits(SIN(30), 15), "0.500000000103536"},       {Digits(COS(90), 16), "-3.586592632296563e-10"},
      {Digits(TAN(45)), "1.0000000003586593"},          {Digits(ATAN(1, 1), 16), "44.99999998972517"},
      {Digits(ATAN(0, -1)), "179.99999995890067"},      {Digits(ASIN(0.5)), "29.999999993150116"},
      {Digits(ASIN(2)), "90"}, {Digits(ASIN(-5)), "-90"}, {Digits(ACOS(7)), "0"}, {Digits(ACOS(-1)), "180"}};
  for (const auto& [got, want] : trig) EXPECT_EQ(got, want);
  EXPECT_TRUE(std::signbit(ABS(-0.0)));  // the sign of zero is kept
  const std::pair<double, double> mods[] = {{MOD(-7, 3), -1}, {MOD(7, -3), 1}, {MOD(7.9, 3.9), 1}, {MOD(7, 0.5), 0},
                                            {MOD(-2147483648.0, -1), 0}, {MOD(1e20, 7), 2147483647 % 7},
                                            {MOD(std::nan(""), 3), 0}, {MOD(5, std::nan("")), 0}};
  for (const auto& [got, want] : mods) EXPECT_EQ(got, want);
}

std::set<double> Draws(double limit, int n) {
  std::set<double> seen;
  for (int i = 0; i < n; ++i) seen.insert(RND(limit));
  return seen;
}

TEST(Maths, RndRanges) {
  Zysrand(12345);
  EXPECT_EQ(Draws(0, 20), (std::set<double>{0}));
  EXPECT_EQ(Draws(2.7, 200), (std::set<double>{0, 1, 2}));
  // Negative limits: whole numbers from n to 0, never a negative zero.
  EXPECT_EQ(Draws(-2, 200), (std::set<double>{-2, -1, 0}));
  for (int i = 0; i < 20; ++i) {
    const double r = RND(-1);
    EXPECT_TRUE(r == -1 || (r == 0 && !std::signbit(r))) << r;
  }
  // Limits at or beyond the 32-bit range give the raw draw, never a wrapped divisor.
  Zysrand(7);
  const double raw = static_cast<double>(Zyrand());
  for (double limit : {4294967295.0, 4294967296.0, -1e30}) {
    Zysrand(7);
    EXPECT_EQ(RND(limit), limit < 0 ? -raw : raw);
  }
  EXPECT_EQ(RND(std::nan("")), 0);
}

// First 20 draws after seeding, from tests/values/isaac_reference.py: an independent
// computation written from the generator's description, which also checks its generation
// step against the published vector of the original generator.
struct SeedTable {
  std::uint32_t seed;
  std::uint32_t draws[20];
};
const SeedTable kTables[] = {
#include "isaac_table.inc"
};

TEST(Random, MatchesReferenceTablesAndDependsOnTheSeedOnly) {
  for (const SeedTable& t : kTables) {
    Zysrand(t.seed);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(Zyrand(), t.draws[i]) << "seed " << t.seed << " draw " << i;
    EXPECT_EQ(__g_ctx.count, 256u);
  }
  Zysrand(0x100000001UL);  // only the low 32 bits of the seed count
  EXPECT_EQ(Zyrand(), kTables[1].draws[0]);
  ZyRandContext one, two;
  ZyRandSeed(one, 99);
  for (int i = 0; i < 7; ++i) ZyRandNext(one);
  ZyRandSeed(one, 42);  // what was drawn before does not matter
  ZyRandSeed(two, 42);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(ZyRandNext(one), ZyRandNext(two));
}

}  // namespace
