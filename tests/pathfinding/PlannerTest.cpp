// The A* planner: map loading, lifecycle, and every search checked against a plain planner over
// an ordered map kept here as the reference (same expansion order, path, cost and list sizes;
// at weight 0 it is Dijkstra). One planner serves every search, so reuse is checked too.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "pathfinding/AStarPlanner.h"

using namespace TAVELOR::pathfinding;

namespace {

using Cell = std::pair<int, int>;
using Step = std::tuple<int, int, float>;  // x, y and g of an expanded node

Planner::Description Request(const double* cells, int w, int h, Cell s, Cell g, float weight = 0.5f) {
  return {.startX = s.first, .startY = s.second, .goalX = g.first, .goalY = g.second, .closedBits = 8,
          .weight = weight, .width = w, .height = h, .cells = cells};
}

std::vector<Cell> PathOf(const Planner& p) {
  std::vector<Cell> path;
  for (const Node* n = p.getGoal(); n; n = n->parent) path.emplace_back(n->x, n->y);
  std::reverse(path.begin(), path.end());
  return path;
}

struct Result {
  std::vector<Step> expanded;
  std::vector<Cell> path;
  float cost = -1.0f;
  std::size_t open = 0, closed = 0;
};

const int kDx[8] = {-1, 0, 1, 1, -1, -1, 0, 1};
const int kDy[8] = {-1, -1, -1, 0, 0, 1, 1, 1};

// Open list ordered by (f, entry number): equal f values leave in the order they entered. A node
// that finds the list full is dropped and later counts as new.
Result Reference(const float* map, const Planner::Description& d, std::size_t capacity) {
  const int n = d.width * d.height, goal = d.goalX + d.width * d.goalY;
  std::vector<float> g(n);
  std::vector<int> parent(n, -1), state(n, 0);  // 0 unknown, 1 open, 2 closed
  std::vector<std::pair<float, long>> key(n);
  std::map<std::pair<float, long>, int> open;
  long entries = 0;
  auto push = [&](int c, float f) {
    state[c] = open.size() < capacity ? 1 : 0;
    if (state[c]) open[key[c] = {f, entries++}] = c;
  };
  const int start = d.startX + d.width * d.startY;
  g[start] = 0.0f;
  push(start, 0.0f);
  Result r;
  while (!open.empty()) {
    const int cur = open.begin()->second, x = cur % d.width, y = cur / d.width;
    open.erase(open.begin());
    r.expanded.emplace_back(x, y, g[cur]);
    state[cur] = 2;
    if (cur == goal) {
      r.cost = g[cur];
      for (int c = cur; c >= 0; c = parent[c]) r.path.emplace(r.path.begin(), c % d.width, c / d.width);
      break;
    }
    for (int k = 0; k < 8; ++k) {
      const int nx = x + kDx[k], ny = y + kDy[k], nb = nx + d.width * ny;
      const bool diagonal = kDx[k] && kDy[k];
      if ((diagonal && !d.allowDiagonals) || nx < 0 || ny < 0 || nx >= d.width || ny >= d.height || map[nb] < 0)
        continue;
      const float ng = diagonal ? g[cur] + map[nb] * (d.diagonalCost ? 1.4142137f : 1.0f) : g[cur] + map[nb];
      if (state[nb] != 0 && !(ng < g[nb])) continue;
      if (state[nb] == 1) open.erase(key[nb]);
      g[nb] = ng;
      parent[nb] = cur;
      push(nb, (static_cast<float>(std::abs(d.goalX - nx) + std::abs(d.goalY - ny)) - ng) * d.weight + ng);
    }
  }
  r.open = open.size();
  r.closed = static_cast<std::size_t>(std::count(state.begin(), state.end(), 2));
  return r;
}

}  // namespace

TEST(PlannerMap, ScalesCellsAndRefusesInvalidRequestsKeepingTheLoadedMap) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  const double cells[8] = {2.0, 4.0, 0.0, -5.0, nan, inf, 1.0, 3.0}, walls[8] = {};
  AStarPlanner p;
  ASSERT_TRUE(p.createMap(Request(cells, 4, 2, {0, 0}, {3, 1})));
  const float* m = p.getMap();
  EXPECT_EQ(std::vector<float>(m, m + 8), (std::vector<float>{1.5f, 2.0f, -1, -1, -1, -1, 1.25f, 1.75f}));
  EXPECT_TRUE(p.isDone());
  EXPECT_EQ(p.getPathCost(), -1.0f);
  // Start or goal one cell outside on each side; start equal to goal; no passable cell; no
  // cells; sizes empty, overflowing or over the limit (refused before any cell is read).
  const Planner::Description invalid[] = {
      Request(cells, 4, 2, {4, 0}, {3, 1}),  Request(cells, 4, 2, {-1, 0}, {3, 1}), Request(cells, 4, 2, {0, 2}, {3, 1}),
      Request(cells, 4, 2, {0, -1}, {3, 1}), Request(cells, 4, 2, {0, 0}, {4, 1}),  Request(cells, 4, 2, {0, 0}, {-1, 1}),
      Request(cells, 4, 2, {0, 0}, {3, 2}),  Request(cells, 4, 2, {0, 0}, {3, -1}), Request(cells, 4, 2, {1, 1}, {1, 1}),
      Request(walls, 4, 2, {0, 0}, {3, 1}),  Request(nullptr, 4, 2, {0, 0}, {3, 1}), Request(cells, 0, 2, {0, 0}, {3, 1}),
      Request(cells, INT_MAX, INT_MAX, {0, 0}, {3, 1}), Request(cells, 4097, 4096, {0, 0}, {3, 1})};
  for (const Planner::Description& d : invalid) EXPECT_FALSE(p.createMap(d)) << &d - invalid;
  EXPECT_EQ(p.getMap(), m);
  EXPECT_EQ(p.getDescription().width, 4);
}

// Random grids with few cost levels (many equal f values), weights that re-open closed nodes,
// open lists small enough to drop nodes, frequent renumbering of the entry order, grids one cell
// wide, and reloads of the same size: the shape swapped, the walls kept with new costs, or moved.
TEST(AStarPlanner, SearchesExactlyLikeTheReferenceAndFindsCheapestPaths) {
  std::mt19937 rng(777);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  AStarPlanner p;
  std::vector<double> cells;
  int w = 0, h = 0;
  Cell start, goal;
  for (int round = 0; round < 32; ++round) {
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    if (round % 4 == 0) {
      w = round % 8 == 0 ? 1 : 2 + pick(23);
      h = round % 16 == 4 ? 1 : 2 + pick(23);
    } else if (round % 4 == 1) {
      std::swap(w, h);
    }
    cells.resize(static_cast<std::size_t>(w * h));
    for (double& c : cells) {
      const bool keepWall = round % 4 == 2 && c <= 0.0, wall = round % 4 != 2 && unit(rng) < 0.2;
      c = keepWall ? c : wall ? (unit(rng) < 0.5 ? 0.0 : -3.0) : 1.0 + (round % 3 ? pick(9) : 0);
    }
    while (round % 4 != 2 && (start = {pick(w), pick(h)}) == (goal = {pick(w), pick(h)})) {
    }
    cells[start.first + w * start.second] = cells[goal.first + w * goal.second] = 1.0;
    const bool smallList = round % 5 == 4;
    p.setEntryOrderLimit(round % 7 == 3 ? 5 : UINT32_MAX);
    // Diagonals change only between the variants, and not from one round to the next, so that a
    // reload keeps the neighbour masks where the walls stay.
    for (int v = 0; v < 4; ++v) {
      const int variant = round % 2 ? 3 - v : v;
      for (float weight : {0.0f, 0.3f, 0.5f, 1.0f}) {
        SCOPED_TRACE(testing::Message() << "round " << round << " weight " << weight << " variant " << variant);
        Planner::Description d = Request(cells.data(), w, h, start, goal, weight);
        d.allowDiagonals = variant & 1;
        d.diagonalCost = variant & 2;
        if (smallList) d.openCapacity = 3;
        std::vector<Step> expanded;
        p.setExpandHook([](void* out, const Node& n) { static_cast<std::vector<Step>*>(out)->emplace_back(n.x, n.y, n.g); },
                        &expanded);
        ASSERT_TRUE(p.createMap(d));
        p.initialize();
        ASSERT_TRUE(p.run());
        const Result ref = Reference(p.getMap(), d, smallList ? 3 : cells.size());
        ASSERT_EQ(expanded, ref.expanded);
        EXPECT_EQ(PathOf(p), ref.path);
        EXPECT_EQ(p.getPathCost(), ref.cost);
        EXPECT_EQ(p.getPathSize(), ref.path.size());
        EXPECT_EQ(p.getOpenSize(), ref.open);
        EXPECT_EQ(p.getClosedSize(), ref.closed);
        // At weight 0 the reference is plain Dijkstra; A* at 0.5 on four neighbours finds its costs.
        if (!smallList && weight == 0.5f && !d.allowDiagonals) {
          Planner::Description dijkstra = d;
          dijkstra.weight = 0.0f;
          EXPECT_NEAR(ref.cost, Reference(p.getMap(), dijkstra, cells.size()).cost, 1e-5 * std::abs(ref.cost));
        }
      }
    }
  }
}

TEST(AStarPlanner, RepeatedSearchesCleanupUnloadAndSmallPoolsAreSafe) {
  std::vector<double> cells(400), ones(64, 1.0);
  for (std::size_t i = 0; i < cells.size(); ++i) cells[i] = (i * 7919) % 11 == 3 ? 0.0 : 1.0 + (i * 31) % 9;
  cells.front() = cells.back() = 1.0;
  AStarPlanner p;
  ASSERT_TRUE(p.createMap(Request(cells.data(), 20, 20, {0, 0}, {19, 19}, 0.9f)));
  p.initialize();
  EXPECT_FALSE(p.isDone());
  p.run();
  const std::vector<Cell> first = PathOf(p);
  ASSERT_FALSE(first.empty());
  EXPECT_TRUE(p.run()) << "a finished search stays finished";
  EXPECT_EQ(p.getNumSlices(), 2u) << "every call counts";
  for (int again = 0; again < 3; ++again) {  // the second time after a cleanup, else over the old search
    EXPECT_EQ(PathOf(p), first);
    if (again == 1) {
      p.cleanup();
      EXPECT_EQ(p.getGoal(), nullptr);
      EXPECT_EQ(p.getClosedSize(), 0u);
    }
    p.initialize();
    p.run();
  }
  p.unloadMap();
  EXPECT_FALSE(p.isLoaded());
  EXPECT_EQ(p.getMemorySize(), 0u);
  p.initialize();
  EXPECT_TRUE(p.run());
  EXPECT_EQ(p.getGoal(), nullptr);
  // Pools too small for the path end the search without a goal; 1000 is capped at one node per cell.
  for (unsigned pool : {1u, 5u, 1000u}) {
    Planner::Description d = Request(ones.data(), 8, 8, {0, 0}, {7, 7});
    d.poolSize = pool;
    ASSERT_TRUE(p.createMap(d));
    p.initialize();
    EXPECT_TRUE(p.run());
    EXPECT_EQ(p.getPathSize(), pool == 1000u ? 15u : 0u) << pool;
  }
  // At least the map, cell states, moves, node pool, open list and buckets; at most 64 bytes a
  // cell besides.
  EXPECT_GE(p.getMemorySize(), 64u * (13u + sizeof(Node) + sizeof(Planner::OpenEntry)) + 256u * sizeof(Node*));
  EXPECT_LE(p.getMemorySize(), 64u * 64u + 256u * sizeof(Node*) + 4u * sizeof(Planner::OpenEntry));
}
