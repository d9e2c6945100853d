// Arrays: sizing, layout, resizing with contents kept, copies, and the error exits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <tavelor/arrays.h>
#include <tavelor/frame.h>

using namespace TAVELOR;

namespace {

// Position of an element inside the buffer.
template <class A, class T>
long Offset(A& a, T& element) {
  return static_cast<long>(&element - a.Data());
}

TEST(Arrays, DimOneDimension) {
  DGIntArray a;
  EXPECT_EQ(a.Dimensions(), -1);
  EXPECT_EQ(BOUNDS(a, 0), 0);  // never dimensioned: no error
  DIM(a, 3);
  EXPECT_EQ(a.Dimensions(), 1);
  EXPECT_EQ(a.Capacity(), 8);
  EXPECT_EQ(BOUNDS(a, 0), 3);
  EXPECT_EQ(BOUNDS(a, 1), 0);
  EXPECT_EQ(BOUNDS(a, -1), 0);
  EXPECT_EQ(BOUNDS(a, 8), 0);
  EXPECT_EQ(BOUNDS(a, 0.9), 3);
  EXPECT_EQ(BOUNDS(a, std::nan("")), 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(a(i), 0);
}

TEST(Arrays, CapacityStepsOfEight) {
  DGIntArray a;
  DIM(a, 7);
  EXPECT_EQ(a.Capacity(), 8);
  DIM(a, 8);
  EXPECT_EQ(a.Capacity(), 16);  // strictly above the count
  DIM(a, 4, 5);
  EXPECT_EQ(a.Capacity(), 24);
  // Smaller sizes reuse the buffer.
  const double* before = a.Data();
  DIM(a, 2, 2);
  EXPECT_EQ(a.Data(), before);
  EXPECT_EQ(a.Capacity(), 24);
}

TEST(Arrays, LayoutFirstIndexFastest) {
  DGIntArray a;
  DIM(a, 4, 5);
  EXPECT_EQ(a.Dimensions(), 2);
  EXPECT_EQ(Offset(a, a(3, 4)), 19);
  EXPECT_EQ(Offset(a, a(1, 2)), 9);
  DGIntArray c;
  DIM(c, 2, 3, 4);
  EXPECT_EQ(c.Dimensions(), 3);
  EXPECT_EQ(Offset(c, c(1, 2, 3)), 1 + 2 * 2 + 3 * 6);
  DGIntArray d;
  DIM(d, 2, 2, 2, 2, 2, 2, 2, 2);
  EXPECT_EQ(d.Dimensions(), 8);
  EXPECT_EQ(Offset(d, d(1, 1, 1, 1, 1, 1, 1, 1)), 255);
  EXPECT_EQ(Offset(d, d(0, 0, 0, 0, 0, 0, 0, 1)), 128);
}

TEST(Arrays, FractionalSizesAndIndicesTruncate) {
  DGIntArray a;
  DIM(a, 2.9);
  EXPECT_EQ(BOUNDS(a, 0), 2);
  a(1.7) = 5;
  EXPECT_EQ(a(1), 5);
  DGIntArray b;
  DIM(b, 3);
  b(2.5) = 7;  // below the size of 3 when compared as a double
  EXPECT_EQ(b(2), 7);
}

TEST(Arrays, SizeBelowOneLeavesNoDimensions) {
  DGIntArray a;
  DIM(a, 5);
  DIM(a, 0);
  EXPECT_EQ(BOUNDS(a, 0), 0);
  EXPECT_EQ(a.Dimensions(), 1);
  EXPECT_EQ(a.Capacity(), 8);
  EXPECT_NE(a.Data(), nullptr);
  DIM(a, -1, 4);
  EXPECT_EQ(BOUNDS(a, 0), 0);
  EXPECT_EQ(BOUNDS(a, 1), 0);
}

TEST(Arrays, DimClearsExistingData) {
  DGIntArray a;
  DIM(a, 3);
  a(0) = 1;
  a(2) = 3;
  DIM(a, 3);
  EXPECT_EQ(a(0), 0);
  EXPECT_EQ(a(2), 0);
  DGStrArray s;
  DIM(s, 2);
  s(1) = "x";
  DIM(s, 2);
  EXPECT_STREQ(s(1).c_str(), "");
  EXPECT_STREQ(s(0).c_str(), "");
}

TEST(Arrays, RedimOneDimension) {
  DGIntArray a;
  DIM(a, 3);
  a(0) = 1;
  a(1) = 2;
  a(2) = 3;
  REDIM(a, 5);
  ASSERT_EQ(BOUNDS(a, 0), 5);
  std::vector<double> got;
  for (int i = 0; i < 5; ++i) got.push_back(a(i));
  EXPECT_EQ(got, (std::vector<double>{1, 2, 3, 0, 0}));
  REDIM(a, 2);
  ASSERT_EQ(BOUNDS(a, 0), 2);
  EXPECT_EQ(a(0), 1);
  EXPECT_EQ(a(1), 2);
  // The buffer follows the new size, and a later DIM grows it again.
  DIM(a, 100);
  EXPECT_GT(a.Capacity(), 100);
  a(99) = 1;
}

TEST(Arrays, RedimTwoAndThreeDimensionsKeepIndices) {
  DGIntArray a;
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

  // Dropping a dimension keeps the elements whose dropped index is 0.
  REDIM(c, 2);
  EXPECT_EQ(c.Dimensions(), 1);
  EXPECT_EQ(c(1), 100);
}

TEST(Arrays, RedimStringsAndUndimensioned) {
  DGStrArray s;
  REDIM(s, 2);  // from nothing
  EXPECT_STREQ(s(1).c_str(), "");
  s(0) = "first";
  s(1) = "second";
  REDIM(s, 3);
  EXPECT_STREQ(s(0).c_str(), "first");
  EXPECT_STREQ(s(1).c_str(), "second");
  EXPECT_STREQ(s(2).c_str(), "");
}

TEST(Arrays, AssignmentCopiesByValue) {
  DGStrArray s;
  DIM(s, 2);
  EXPECT_STREQ(s(0).c_str(), "");
  s(0) = "alpha";
  s(1) = "beta";
  DGStrArray t;
  t = s;
  EXPECT_STREQ(t(0).c_str(), "alpha");
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

  // Self-assignment keeps the contents.
  DGIntArray& same = a;
  a = same;
  EXPECT_EQ(a(2, 1), 6);

  // An undimensioned source leaves the target without dimensions.
  DGIntArray none;
  b = none;
  EXPECT_EQ(BOUNDS(b, 0), 0);
}

TEST(Arrays, MoveLeavesSourceNew) {
  DGIntArray a;
  DIM(a, 4);
  a(3) = 9;
  DGIntArray b(std::move(a));
  EXPECT_EQ(b(3), 9);
  EXPECT_EQ(a.Dimensions(), -1);  // NOLINT: checking the moved-from state
  EXPECT_EQ(a.Data(), nullptr);
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

TEST(ArraysDeathTest, IndexOutOfRangeIsError9) {
  ExpectErrorExit(9, [] {
    DGIntArray a;
    DIM(a, 4, 5);
    a(4, 0) = 1;
  });
  ExpectErrorExit(9, [] {
    DGIntArray a;
    DIM(a, 4, 5);
    a(0, 5) = 1;
  });
  ExpectErrorExit(9, [] {
    DGIntArray a;
    DIM(a, 4, 5);
    a(-1, 0) = 1;
  });
  ExpectErrorExit(9, [] {
    DGIntArray a;
    DIM(a, 4);
    a(0, 1) = 1;  // a dimension the array does not have
  });
  ExpectErrorExit(9, [] {
    DGStrArray a;
    DIM(a, 4);
    a(std::nan("")) = "x";
  });
  ExpectErrorExit(9, [] {
    DGIntArray a;
    DIM(a, 3, -2);  // a negative size admits no index
    a(0, 0) = 1;
  });
}

TEST(ArraysDeathTest, NoDimensionsIsError8) {
  ExpectErrorExit(8, [] {
    DGIntArray a;
    a(0) = 1;
  });
  ExpectErrorExit(8, [] {
    DGStrArray a;
    DIM(a, 0);
    a(0) = "x";
  });
}

TEST(ArraysDeathTest, ImpossibleSizesAreError7) {
  ExpectErrorExit(7, [] {
    DGIntArray a;
    DIM(a, 65536, 65536);  // the element count overflows an int
  });
  ExpectErrorExit(7, [] {
    DGIntArray a;
    DIM(a, 1e300, 1e300);
  });
  ExpectErrorExit(7, [] {
    DGIntArray a;
    DIM(a, std::nan(""));
  });
  ExpectErrorExit(7, [] {
    DGIntArray a;
    DIM(a, 3, std::numeric_limits<double>::infinity());
  });
  ExpectErrorExit(7, [] {
    DGIntArray a;
    DIM(a, static_cast<double>(kMaxNumberArrayElements) + 1);
  });
  ExpectErrorExit(7, [] {
    DGStrArray a;
    DIM(a, 2);
    REDIM(a, static_cast<double>(kMaxStringArrayElements) + 1);
  });
}

}  // namespace
