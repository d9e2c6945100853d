// Arrays: sizing, layout, resizing with contents kept, copies, and the error exits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include <tavelor/arrays.h>
#include <tavelor/frame.h>

#include "frame/ErrorLog.h"

using namespace TAVELOR;

namespace {

TEST(Arrays, DimSizesClearsBoundsAndLaysOutFirstIndexFastest) {
  DGIntArray a, d;
  EXPECT_EQ(BOUNDS(a, 0), 0);  // never dimensioned: no error
  DIM(a, 3);
  EXPECT_EQ(a.Capacity(), 8);
  a(2.5) = 3;  // fractional indices truncate once the double is below the size
  EXPECT_EQ(a(2), 3);
  for (double k : {1.0, -1.0, 8.0, std::nan("")}) EXPECT_EQ(BOUNDS(a, k), 0) << k;
  EXPECT_EQ(BOUNDS(a, 0.9), 3);
  DIM(a, 8);  // capacity strictly above the count, and the data is cleared
  EXPECT_EQ(a.Capacity(), 16);
  EXPECT_EQ(a(2), 0);
  const double* before = a.Data();
  DIM(a, 2.9, 2);  // a smaller size reuses the buffer
  EXPECT_EQ(a.Data(), before);
  EXPECT_EQ(BOUNDS(a, 0), 2);
  DIM(a, -1, 4);  // a first size below 1 leaves no dimensions
  EXPECT_EQ(BOUNDS(a, 0) + BOUNDS(a, 1), 0);

  DIM(a, 4, 5);
  DIM(d, 2, 2, 2, 2, 2, 2, 2, 2);
  EXPECT_EQ(a.Dimensions() * 10 + d.Dimensions(), 28);
  EXPECT_EQ(&a(3, 4) - a.Data(), 19);
  EXPECT_EQ(&d(1, 1, 1, 1, 1, 1, 1, 1) - d.Data(), 255);
  EXPECT_EQ(&d(0, 0, 0, 0, 0, 0, 0, 1) - d.Data(), 128);

  DGStrArray s;
  DIM(s, 2);
  s(1) = "x";
  DIM(s, 2);
  EXPECT_STREQ(s(1).c_str(), "");
}

// Every element of an array sized `from` and filled with 1 + its flat index, after REDIM to
// `to`: kept where its indices fit both sizes, else 0.
void CheckRedim(const std::vector<int>& from, const std::vector<int>& to) {
  DGIntArray a;
  std::vector<int> old = from, now = to;
  old.resize(3, 0);  // sizes of 0: no such dimension
  now.resize(3, 0);
  DIM(a, old[0], old[1], old[2]);
  for (int& n : old) n = std::max(n, 1);
  for (int& n : now) n = std::max(n, 1);
  for (int i = 0; i < old[0] * old[1] * old[2]; ++i) const_cast<double*>(a.Data())[i] = i + 1;
  REDIM(a, to[0], to.size() > 1 ? to[1] : 0, to.size() > 2 ? to[2] : 0);
  EXPECT_EQ(a.Dimensions(), static_cast<int>(to.size()));
  for (int z = 0; z < now[2]; ++z)
    for (int y = 0; y < now[1]; ++y)
      for (int x = 0; x < now[0]; ++x) {
        const bool kept = x < old[0] && y < old[1] && z < old[2];
        EXPECT_EQ(a.Data()[x + now[0] * (y + now[1] * z)], kept ? 1 + x + old[0] * (y + old[1] * z) : 0)
            << x << "," << y << "," << z;
      }
}

TEST(Arrays, RedimKeepsElementsInOneToThreeDimensions) {
  CheckRedim({3}, {5});
  CheckRedim({3}, {2});
  CheckRedim({2, 2}, {3, 3});
  CheckRedim({3, 2, 4}, {2, 3, 2});
  CheckRedim({3, 2, 4}, {2});  // dropping dimensions keeps the elements whose dropped indices are 0
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
  DGStrArray t, u(s);
  t = s;
  t(0) = "changed";
  EXPECT_STREQ(s(0).c_str(), "alpha");
  EXPECT_STREQ(u(1).c_str(), "beta");

  DGIntArray a, b;
  DIM(a, 3, 2);
  a(2, 1) = 6;
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

// Each error runs in a child; __EndProgram exits with code 0 and, with the debug setting on,
// appends the report "-End On Line", code, line - 1, line, file.
TEST(ArraysDeathTest, BadIndicesSizesAndMissingDimensionsEndTheProgram) {
  const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
  auto index = [](double s1, double s2, double i, double j) {
    return [=] {
      DGIntArray a;
      DIM(a, s1, s2);
      a(i, j) = 1;
    };
  };
  const std::vector<std::pair<int, std::function<void()>>> cases = {
      {9, index(4, 5, 4, 0)}, {9, index(4, 5, 0, 5)}, {9, index(4, 5, -1, 0)},
      {9, index(4, 0, 0, 1)},  // a dimension the array does not have
      {9, index(3, -2, 0, 0)},  // a negative size admits no index
      {9, [nan] { DGStrArray a; DIM(a, 4); a(nan) = "x"; }},
      {8, [] { DGIntArray()(0) = 1; }}, {8, [] { DGStrArray a; DIM(a, 0); a(0) = "x"; }},
      {7, index(65536, 65536, 0, 0)},  // the count overflows an int
      {7, index(nan, 0, 0, 0)}, {7, index(3, inf, 0, 0)}, {7, index(kMaxNumberArrayElements + 1.0, 0, 0, 0)},
      {7, [] { DGStrArray a; DIM(a, 2); REDIM(a, kMaxStringArrayElements + 1.0); }}};
  for (const auto& [code, trigger] : cases) {
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
    std::ifstream in(ErrorLogPath().c_str(), std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line.substr(0, line.find('\r')));
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(lines.end() - 5, lines.end()),
              (std::vector<std::string>{"-End On Line", std::to_string(code), "41", "42", "3"}));
  }
}

}  // namespace
