// Numeric commands and the random number generator.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>

#include <tavelor/maths.h>

#include "frame/Runtime.h"
#include "values/Random.h"

using namespace TAVELOR;

namespace {

// The value as printed with the given number of significant digits.
std::string Digits(double v, int significant) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*g", significant, v);
  return buf;
}

TEST(Maths, TrigonometryInDegrees) {
  EXPECT_EQ(Digits(SIN(30), 15), "0.500000000103536");
  EXPECT_EQ(Digits(COS(90), 16), "-3.586592632296563e-10");
  EXPECT_EQ(Digits(TAN(45), 17), "1.0000000003586593");
  EXPECT_EQ(Digits(ATAN(1, 1), 16), "44.99999998972517");
  EXPECT_EQ(Digits(ATAN(0, -1), 17), "179.99999995890067");
  EXPECT_EQ(Digits(ASIN(0.5), 17), "29.999999993150116");
  // Arguments outside -1..1 clamp to the end of the range.
  EXPECT_EQ(ASIN(2), 90);
  EXPECT_EQ(ASIN(-5), -90);
  EXPECT_EQ(ACOS(7), 0);
  EXPECT_EQ(ACOS(-1), 180);
}

TEST(Maths, ModAndAbs) {
  EXPECT_TRUE(std::signbit(ABS(-0.0)));  // the sign of zero is kept
  EXPECT_EQ(MOD(-7, 3), -1);
  EXPECT_EQ(MOD(7, -3), 1);
  EXPECT_EQ(MOD(7.9, 3.9), 1);
  EXPECT_EQ(MOD(7, 0.5), 0);  // a divisor truncated to 0
  EXPECT_EQ(MOD(-2147483648.0, -1), 0);
  EXPECT_EQ(MOD(1e20, 7), 2147483647 % 7);  // out-of-range numbers are clamped
  EXPECT_EQ(MOD(std::nan(""), 3), 0);
  EXPECT_EQ(MOD(5, std::nan("")), 0);
}

// The set of values n draws of RND(limit) give.
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
  for (double limit : {4294967295.0, 4294967296.0}) {
    Zysrand(7);
    EXPECT_EQ(RND(limit), raw);
  }
  Zysrand(7);
  EXPECT_EQ(RND(-1e30), -raw);
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

TEST(Random, MatchesReferenceTables) {
  for (const SeedTable& t : kTables) {
    Zysrand(t.seed);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(Zyrand(), t.draws[i]) << "seed " << t.seed << " draw " << i;
    EXPECT_EQ(__g_ctx.count, 256u);
  }
  // Only the low 32 bits of the seed count.
  Zysrand(0x100000001UL);
  EXPECT_EQ(Zyrand(), kTables[1].draws[0]);
}

TEST(Random, SameSeedSameSequence) {
  ZyRandContext one, two;
  ZyRandSeed(one, 99);
  for (int i = 0; i < 7; ++i) ZyRandNext(one);
  ZyRandSeed(one, 42);  // what was drawn before does not matter
  ZyRandSeed(two, 42);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(ZyRandNext(one), ZyRandNext(two));
}

}  // namespace
