// Arrays: sizing, layout, resizing with contents kept, copies, and the error exits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include <tavelor/arrays.h>
#include <tavelor/frame.h>

#include "frame/ErrorLog.h"

using namespace TAVELOR;

namespace {

// Position of an element inside the buffer.
template <class A, class T>
long Offset(A& a, T& element) {
  return static_cast<long>(&element - a.Data());
}

TEST(Arrays, DimSizesClearsAndBounds) {
  DGIntArray a;
  EXPECT_EQ(BOUNDS(a, 0), 0);  // never dimensioned: no error
  DIM(a, 3);
  EXPECT_EQ(a.Capacity(), 8);
  a(0) = 1;
  a(2.5) = 3;  // fractional indices truncate once the double is below the size
  EXPECT_EQ(a(2), 3);
  for (double k : {1.0, -1.0, 8.0, std::nan("")}) EXPECT_EQ(BOUNDS(a, k), 0) << k;
  EXPECT_EQ(BOUNDS(a, 0.9), 3);
  DIM(a, 8);  // capacity strictly above the count, and the data is cleared
  EXPECT_EQ(a.Capacity(), 16);
  EXPECT_EQ(a(0), 0);
  const double* before = a.Data();
  DIM(a, 2.9, 2);  // a smaller size reuses the buffer
  EXPECT_EQ(a.Data(), before);
  EXPECT_EQ(BOUNDS(a, 0), 2);
  DIM(a, -1, 4);  // a first size below 1 leaves no dimensions
  EXPECT_EQ(BOUNDS(a, 0), 0);
  EXPECT_EQ(BOUNDS(a, 1), 0);

  DGStrArray s;
  DIM(s, 2);
  s(1) = "x";
  DIM(s, 2);
  EXPECT_STREQ(s(1).c_str(), "");
}

TEST(Arrays, LayoutFirstIndexFastest) {
  DGIntArray a;
  DIM(a, 4, 5);
  EXPECT_EQ(a.Dimensions(), 2);
  EXPECT_EQ(Offset(a, a(3, 4)), 19);
  DGIntArray d;
  DIM(d, 2, 2, 2, 2, 2, 2, 2, 2);
  EXPECT_EQ(d.Dimensions(), 8);
  EXPECT_EQ(Offset(d, d(1, 1, 1, 1, 1, 1, 1, 1)), 255);
  EXPECT_EQ(Offset(d, d(0, 0, 0, 0, 0, 0, 0, 1)), 128);
}

TEST(Arrays, RedimKeepsElementsInOneToThreeDimensions) {
  DGIntArray a;
  DIM(a, 3);
  for (int i = 0; i < 3; ++i) a(i) = i + 1;
  REDIM(a, 5);
  std::vector<double> got;
  for (int i = 0; i < 5; ++i) got.push_back(a(i));
  EXPECT_EQ(got, (std::vector<double>{1, 2, 3, 0, 0}));
  REDIM(a, 2);
  EXPECT_EQ(BOUNDS(a, 0), 2);
  EXPECT_EQ(a(1), 2);

  DIM(a, 2, 2);
  for (int x = 0; x < 2; ++x)
    for (int y = 0; y < 2; ++y) a(x, y) = 10 * x + y + 1;
  REDIM(a, 3, 3);
  for (int x = 0; x < 3; ++x)
    for (int y = 0; y < 3; ++y) EXPECT_EQ(a(x, y), (x < 2 && y < 2) ? 10 * x + y + 1 : 0) << x << "," << y;

  DGIntArray c;
  DIM(c, 3, 2, 4);
  for (int x = 0; x < 3; ++x)
    for (int y = 0; y < 2; ++y)
      for (int z = 0; z < 4; ++z) c(x, y, z) = 100 * x + 10 * y + z;
  REDIM(c, 2, 3, 2);
  for (int x = 0; x < 2; ++x)
    for (int y = 0; y < 3; ++y)
      for (int z = 0; z < 2; ++z) EXPECT_EQ(c(x, y, z), y < 2 ? 100 * x + 10 * y + z : 0);
  REDIM(c, 2);  // dropping dimensions keeps the elements whose dropped indices are 0
  EXPECT_EQ(c.Dimensions(), 1);
  EXPECT_EQ(c(1), 100);

  DGStrArray s;
  REDIM(s, 2);  // from nothing
  s(0) = "first";
  REDIM(s, 3);
  EXPECT_STREQ(s(0).c_str(), "first");
  EXPECT_STREQ(s(2).c_str(), "");
}

TEST(Arrays, CopiesAreByValue) {
  DGStrArray s;
  DIM(s, 2);
  s(0) = "alpha";
  s(1) = "beta";
  DGStrArray t;
  t = s;
  t(0) = "changed";
  EXPECT_STREQ(s(0).c_str(), "alpha");
  DGStrArray u(s);
  EXPECT_STREQ(u(1).c_str(), "beta");

  DGIntArray a;
  DIM(a, 3, 2);
  a(2, 1) = 6;
  DGIntArray b;
  DIM(b, 50);
  b = a;
  EXPECT_EQ(BOUNDS(b, 1), 2);
  EXPECT_EQ(b(2, 1), 6);
  DGIntArray& same = a;
  a = same;
  EXPECT_EQ(a(2, 1), 6);
  b = DGIntArray();  // an undimensioned source leaves no dimensions
  EXPECT_EQ(BOUNDS(b, 0), 0);

  DGIntArray m(std::move(a));
  EXPECT_EQ(m(2, 1), 6);
  EXPECT_EQ(a.Data(), nullptr);  // NOLINT: checking the moved-from state
}

// ---- Error exits: each runs in a child; __EndProgram exits with code 0 and, with the debug
// setting on, appends the report "-End On Line", code, line - 1, line, file.

std::vector<std::string> LogLines() {
  std::ifstream in(ErrorLogPath().c_str(), std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

template <class F>
void ExpectErrorExit(int code, F trigger) {
  std::remove(ErrorLogPath().c_str());
  EXPECT_EXIT(
      {
        __DG_DEBUG = 1;
        __g_debugline = 42;
        __g_debugfile = 3;
        trigger();
        std::fprintf(stderr, "not ended\n");
        std::exit(5);
      },
      ::testing::ExitedWithCode(0), "");
  std::vector<std::string> lines = LogLines();
  ASSERT_GE(lines.size(), 5u);
  std::vector<std::string> report(lines.end() - 5, lines.end());
  EXPECT_EQ(report, (std::vector<std::string>{"-End On Line", std::to_string(code), "41", "42", "3"}));
}

// Sizes a number array and writes one element.
void Index(double s1, double s2, double i, double j) {
  DGIntArray a;
  DIM(a, s1, s2);
  a(i, j) = 1;
}

TEST(ArraysDeathTest, IndexOutOfRangeIsError9) {
  ExpectErrorExit(9, [] { Index(4, 5, 4, 0); });
  ExpectErrorExit(9, [] { Index(4, 5, 0, 5); });
  ExpectErrorExit(9, [] { Index(4, 5, -1, 0); });
  ExpectErrorExit(9, [] { Index(4, 0, 0, 1); });  // a dimension the array does not have
  ExpectErrorExit(9, [] { Index(3, -2, 0, 0); });  // a negative size admits no index
  ExpectErrorExit(9, [] {
    DGStrArray a;
    DIM(a, 4);
    a(std::nan("")) = "x";
  });
}

TEST(ArraysDeathTest, NoDimensionsIsError8) {
  ExpectErrorExit(8, [] { DGIntArray()(0) = 1; });
  ExpectErrorExit(8, [] {
    DGStrArray a;
    DIM(a, 0);
    a(0) = "x";
  });
}

TEST(ArraysDeathTest, ImpossibleSizesAreError7) {
  const double inf = std::numeric_limits<double>::infinity();
  ExpectErrorExit(7, [] { DGIntArray a; DIM(a, 65536, 65536); });  // the count overflows an int
  ExpectErrorExit(7, [] { DGIntArray a; DIM(a, std::nan("")); });
  ExpectErrorExit(7, [inf] { DGIntArray a; DIM(a, 3, inf); });
  ExpectErrorExit(7, [] { DGIntArray a; DIM(a, kMaxNumberArrayElements + 1.0); });
  ExpectErrorExit(7, [] {
    DGStrArray a;
    DIM(a, 2);
    REDIM(a, kMaxStringArrayElements + 1.0);
  });
}

}  // namespace
