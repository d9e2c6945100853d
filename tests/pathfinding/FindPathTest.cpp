// FINDPATH: the language command over number arrays.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include <tavelor/arrays.h>
#include <tavelor/pathfinding.h>

#include "pathfinding/GridRequest.h"

using namespace TAVELOR;

namespace {

void Fill(DGIntArray& a, int w, int h, double v) {
  DIM(a, w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) a(x, y) = v;
}

}  // namespace

TEST(FindPath, WritesTheCellsFromStartToGoalWithCoordinatesTruncated) {
  DGIntArray map, path;
  Fill(map, 10, 10, 1.0);
  ASSERT_EQ(FINDPATH(map, path, 0.5, 0, 0, 9, 9), 19.0);
  ASSERT_EQ(BOUNDS(path, 1), 2.0);
  EXPECT_EQ(path(0, 0) + path(0, 1), 0.0);
  for (int i = 1; i < 19; ++i)
    EXPECT_EQ(std::abs(path(i, 0) - path(i - 1, 0)) + std::abs(path(i, 1) - path(i - 1, 1)), 1.0) << i;
  EXPECT_EQ(path(18, 0) + path(18, 1), 18.0);
  ASSERT_EQ(FINDPATH(map, path, 0.5, 2.9, 0, 2.1, 5), 6.0) << "toward zero: column 2";
  for (int i = 0; i < 6; ++i) EXPECT_EQ(path(i, 0) * 10 + path(i, 1), 20.0 + i);
  EXPECT_EQ(FINDPATH(map, path, 0.5, -0.9, 0, 1, 0), 2.0) << "-0.9 selects cell 0";
  EXPECT_EQ(path(0, 0), 0.0);

  // The map may serve as its own path array.
  EXPECT_EQ(FINDPATH(map, map, 0.5, 9, 0, 0, 0), 10.0);
  EXPECT_EQ(BOUNDS(map, 0), 10.0);
  EXPECT_EQ(map(0, 0) * 10 + map(9, 1), 90.0);
}

TEST(FindPath, FailedSearchesEmptyThePathAndInvalidRequestsLeaveIt) {
  DGIntArray map, path, line, never, huge;
  Fill(map, 5, 5, 1.0);
  DIM(line, 8);
  line(1) = 1.0;
  DIM(huge, 4097, 4096);  // one column over the cell limit
  huge(0, 0) = huge(1, 0) = 1.0;
  DIM(path, 3, 1);
  path(1, 0) = 42.0;
  EXPECT_EQ(FINDPATH(map, path, 0.5, 2, 2, 2.9, 2), 0.0);  // start equals goal
  EXPECT_EQ(FINDPATH(map, path, 0.5, 0, 0, 5, 0), 0.0);    // goal outside
  EXPECT_EQ(FINDPATH(map, path, 0.5, 0, 0, 0, 5), 0.0);
  EXPECT_EQ(FINDPATH(line, path, 0.5, 0, 0, 3, 0), 0.0);   // one dimension only
  EXPECT_EQ(FINDPATH(never, path, 0.5, 0, 0, 1, 0), 0.0);
  EXPECT_EQ(FINDPATH(huge, path, 0.5, 0, 0, 1, 0), 0.0);
  EXPECT_EQ(BOUNDS(path, 0), 3.0);
  EXPECT_EQ(path(1, 0), 42.0);

  map(4, 4) = 0.0;  // a blocked goal
  EXPECT_EQ(FINDPATH(map, path, 0.5, 0, 0, 4, 4), 0.0);
  EXPECT_EQ(BOUNDS(path, 0), 0.0);
  EXPECT_EQ(BOUNDS(path, 1), 0.0);
}

TEST(FindPath, RequestUsesFourNeighboursAndMapsTheWeight) {
  const double cells[4] = {1, 1, 1, 1};
  const std::pair<double, float> weights[] = {
      {7.0, 1.0f}, {1.0, 1.0f}, {0.3, 0.3f}, {0.0, 0.0f}, {-2.0, 0.0f}, {std::numeric_limits<double>::quiet_NaN(), 0.0f}};
  for (auto [given, expected] : weights) {
    pathfinding::AStarPlanner p;
    ASSERT_TRUE(pathfinding::LoadGridRequest(p, 2, 2, cells, given, 0.5, 0, 1.7, 1));
    const auto& d = p.getDescription();
    EXPECT_EQ(d.weight, expected) << given;
    EXPECT_FALSE(d.allowDiagonals);
    EXPECT_TRUE(d.diagonalCost);
    EXPECT_EQ(d.goalX, 1);
  }
}
