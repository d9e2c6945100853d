// A planner loaded again with a map of the same size reuses its storage; nothing of the earlier
// map or search may show through. A fresh planner for each request is the reference.
#include <gtest/gtest.h>

#include <random>
#include <tuple>
#include <vector>

#include "pathfinding/AStarPlanner.h"

using namespace TAVELOR::pathfinding;

namespace {

using Step = std::tuple<int, int, float>;  // x, y and g of an expanded node

struct Search {
  std::vector<Step> expanded;
  std::vector<Step> path;
};

Search SearchWith(AStarPlanner& p, const Planner::Description& d) {
  Search s;
  EXPECT_TRUE(p.createMap(d));
  p.setExpandHook([](void* out, const Node& n) { static_cast<Search*>(out)->expanded.emplace_back(n.x, n.y, n.g); },
                  &s);
  p.initialize();
  p.run();
  for (const Node* n = p.getGoal(); n; n = n->parent) s.path.emplace_back(n->x, n->y, n->g);
  return s;
}

// The reused planner expands the same nodes and finds the same path as a fresh one.
void ExpectSameAsFresh(AStarPlanner& reused, const Planner::Description& d) {
  AStarPlanner fresh;
  const Search expected = SearchWith(fresh, d);
  const Search got = SearchWith(reused, d);
  EXPECT_EQ(got.expanded, expected.expanded);
  EXPECT_EQ(got.path, expected.path);
}

TEST(PlannerReuse, SameSizedMapsSearchAsOnAFreshPlanner) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  AStarPlanner reused;
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    // 24 x 16 and 16 x 24 alternate: the same cell count, a different shape.
    const int w = round % 2 ? 16 : 24, h = round % 2 ? 24 : 16;
    std::vector<double> cells(static_cast<std::size_t>(w * h));
    for (double& c : cells) c = unit(rng) < 0.2 ? 0.0 : 1.0 + 8.0 * unit(rng);
    Planner::Description d;
    d.width = w;
    d.height = h;
    d.cells = cells.data();
    d.startX = round % w;
    d.startY = 0;
    d.goalX = w - 1;
    d.goalY = h - 1 - round % 3;
    cells[d.startX] = cells[d.goalX + static_cast<std::size_t>(w) * d.goalY] = 1.0;
    d.weight = static_cast<float>(unit(rng));
    d.allowDiagonals = round % 3 == 0;
    d.diagonalCost = round % 4 < 2;
    d.closedBits = 8;
    ExpectSameAsFresh(reused, d);
  }
}

}  // namespace

// The same shape each time: the walls move, or only the costs change, between requests.
TEST(PlannerReuse, SameShapeWithMovedWallsOrNewCostsSearchesAsOnAFreshPlanner) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<double> cells(20 * 20);
  AStarPlanner reused;
  for (int round = 0; round < 8; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    for (double& c : cells) {
      const bool wall = round % 2 ? c <= 0.0 : unit(rng) < 0.3;  // odd rounds keep the walls
      c = wall ? 0.0 : 1.0 + 8.0 * unit(rng);
    }
    cells.front() = cells.back() = 1.0;
    Planner::Description d;
    d.width = d.height = 20;
    d.cells = cells.data();
    d.goalX = d.goalY = 19;
    d.weight = 0.5f;
    d.allowDiagonals = round % 4 == 3;
    d.closedBits = 8;
    ExpectSameAsFresh(reused, d);
  }
}
