// The A* planner: map loading, search results and lifecycle, checked against a plain Dijkstra
// and against a straightforward sorted-list planner kept here as the reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <limits>
#include <map>
#include <queue>
#include <random>
#include <utility>
#include <vector>

#include "pathfinding/AStarPlanner.h"

using namespace TAVELOR::pathfinding;

namespace {

using Cell = std::pair<int, int>;

Planner::Description request(const std::vector<double>& cells, int w, int h, Cell start, Cell goal,
                             float weight = 0.5f) {
  Planner::Description d;
  d.width = w;
  d.height = h;
  d.cells = cells.data();
  d.startX = start.first;
  d.startY = start.second;
  d.goalX = goal.first;
  d.goalY = goal.second;
  d.weight = weight;
  d.closedBits = 8;
  return d;
}

std::vector<Cell> pathOf(const Planner& p) {
  std::vector<Cell> path;
  for (const Node* n = p.getGoal(); n; n = n->parent) path.emplace_back(n->x, n->y);
  std::reverse(path.begin(), path.end());
  return path;
}

void recordExpansion(void* context, const Node& node) {
  static_cast<std::vector<Cell>*>(context)->emplace_back(node.x, node.y);
}

// ---- Reference: the same search over a sorted list with a linear duplicate search ------------

struct RefNode {
  RefNode* parent;
  int x, y;
  float f, g;
};

struct RefResult {
  std::vector<Cell> expanded;
  std::vector<Cell> path;
  float cost = -1.0f;
  std::size_t open = 0;
  std::size_t closed = 0;
};

RefResult referenceSearch(const float* map, const Planner::Description& d, std::size_t openCapacity) {
  RefResult out;
  std::deque<RefNode> store;
  std::vector<RefNode*> open;  // f from largest (front) to smallest (back)
  std::map<Cell, RefNode*> closed;
  auto insert = [&](RefNode* n) {
    if (open.size() == openCapacity) return;
    std::size_t lo = 0, hi = open.size();
    while (lo < hi) {
      const std::size_t mid = (lo + hi) / 2;
      if (n->f < open[mid]->f)
        lo = mid + 1;
      else
        hi = mid;
    }
    open.insert(open.begin() + static_cast<std::ptrdiff_t>(lo), n);
  };
  store.push_back({nullptr, d.startX, d.startY, 0.0f, 0.0f});
  insert(&store.back());
  const int dx[8] = {-1, 0, 1, 1, -1, -1, 0, 1};
  const int dy[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
  const float factor = d.diagonalCost ? 1.4142137f : 1.0f;
  RefNode* goal = nullptr;
  while (!open.empty()) {
    RefNode* cur = open.back();
    open.pop_back();
    out.expanded.emplace_back(cur->x, cur->y);
    if (cur->x == d.goalX && cur->y == d.goalY) {
      closed[{cur->x, cur->y}] = cur;
      goal = cur;
      break;
    }
    for (int k = 0; k < 8; ++k) {
      const bool diagonal = dx[k] != 0 && dy[k] != 0;
      if (diagonal && !d.allowDiagonals) continue;
      const int nx = cur->x + dx[k], ny = cur->y + dy[k];
      if (nx < 0 || ny < 0 || nx >= d.width || ny >= d.height) continue;
      const float c = map[nx + d.width * ny];
      if (c == -1.0f) continue;
      const float g = diagonal ? cur->g + c * factor : cur->g + c;
      const float h = static_cast<float>(std::abs(d.goalX - nx) + std::abs(d.goalY - ny));
      const float f = (h - g) * d.weight + g;
      auto c_it = closed.find({nx, ny});
      if (c_it != closed.end()) {
        if (g < c_it->second->g) {
          RefNode* n = c_it->second;
          closed.erase(c_it);
          n->parent = cur;
          n->g = g;
          n->f = f;
          insert(n);
        }
        continue;
      }
      bool found = false;
      for (std::size_t i = open.size(); i-- > 0;) {
        RefNode* n = open[i];
        if (n->x != nx || n->y != ny) continue;
        found = true;
        if (g < n->g) {
          open.erase(open.begin() + static_cast<std::ptrdiff_t>(i));
          n->parent = cur;
          n->g = g;
          n->f = f;
          insert(n);
        }
        break;
      }
      if (found) continue;
      store.push_back({cur, nx, ny, f, g});
      insert(&store.back());
    }
    closed[{cur->x, cur->y}] = cur;
  }
  if (goal) {
    out.cost = goal->g;
    for (RefNode* n = goal; n; n = n->parent) out.path.emplace_back(n->x, n->y);
    std::reverse(out.path.begin(), out.path.end());
  }
  out.open = open.size();
  out.closed = closed.size();
  return out;
}

// Cheapest cost of entering cells from start to goal over 4-neighbours; infinity if unreachable.
double dijkstra(const float* map, int w, int h, Cell start, Cell goal) {
  std::vector<double> dist(static_cast<std::size_t>(w * h), std::numeric_limits<double>::infinity());
  using Item = std::pair<double, int>;
  std::priority_queue<Item, std::vector<Item>, std::greater<Item>> q;
  const int s = start.first + w * start.second;
  dist[s] = 0.0;
  q.push({0.0, s});
  const int dx[4] = {0, 1, -1, 0}, dy[4] = {-1, 0, 0, 1};
  while (!q.empty()) {
    auto [d, u] = q.top();
    q.pop();
    if (d > dist[u]) continue;
    for (int k = 0; k < 4; ++k) {
      const int nx = u % w + dx[k], ny = u / w + dy[k];
      if (nx < 0 || ny < 0 || nx >= w || ny >= h || map[nx + w * ny] < 0) continue;
      const int v = nx + w * ny;
      if (d + map[v] < dist[v]) {
        dist[v] = d + map[v];
        q.push({dist[v], v});
      }
    }
  }
  return dist[goal.first + w * goal.second];
}

struct RandomGrid {
  int w, h;
  std::vector<double> cells;
  Cell start, goal;
};

// Costs from a few levels so that equal f values are common; about `blocked` of cells blocked.
RandomGrid randomGrid(std::mt19937& rng, int minSide, int maxSide, double blocked, int levels) {
  RandomGrid g;
  g.w = std::uniform_int_distribution<int>(minSide, maxSide)(rng);
  g.h = std::uniform_int_distribution<int>(minSide, maxSide)(rng);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::uniform_int_distribution<int> level(1, levels);
  g.cells.resize(static_cast<std::size_t>(g.w * g.h));
  for (double& c : g.cells) c = unit(rng) < blocked ? (unit(rng) < 0.5 ? 0.0 : -3.0) : level(rng);
  std::uniform_int_distribution<int> px(0, g.w - 1), py(0, g.h - 1);
  do {
    g.start = {px(rng), py(rng)};
    g.goal = {px(rng), py(rng)};
  } while (g.start == g.goal);
  g.cells[g.start.first + g.w * g.start.second] = 1.0;
  g.cells[g.goal.first + g.w * g.goal.second] = 1.0;
  return g;
}

}  // namespace

// ---- Map loading ------------------------------------------------------------------------------

TEST(PlannerMap, ScalesPassableCellsIntoOneToTwoAndBlocksTheRest) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> cells = {2.0, 4.0, 0.0, -5.0, nan, inf, 1.0, 3.0};
  AStarPlanner p;
  ASSERT_TRUE(p.createMap(request(cells, 4, 2, {0, 0}, {3, 1})));
  const float* m = p.getMap();
  EXPECT_EQ(std::vector<float>(m, m + 8), (std::vector<float>{1.5f, 2.0f, -1, -1, -1, -1, 1.25f, 1.75f}));
  EXPECT_TRUE(p.isDone());
  EXPECT_EQ(p.getPathCost(), -1.0f);
}

TEST(PlannerMap, InvalidRequestsFailAndLeaveTheLoadedMap) {
  std::vector<double> cells(9, 1.0);
  std::vector<double> walls(9, 0.0);
  AStarPlanner p;
  ASSERT_TRUE(p.createMap(request(cells, 3, 3, {0, 0}, {2, 2})));
  const float* before = p.getMap();
  EXPECT_FALSE(p.createMap(request(cells, 3, 3, {3, 0}, {2, 2})));
  EXPECT_FALSE(p.createMap(request(cells, 3, 3, {0, -1}, {2, 2})));
  EXPECT_FALSE(p.createMap(request(cells, 3, 3, {0, 0}, {2, 3})));
  EXPECT_FALSE(p.createMap(request(cells, 3, 3, {1, 1}, {1, 1})));
  EXPECT_FALSE(p.createMap(request(walls, 3, 3, {0, 0}, {2, 2})));
  Planner::Description none = request(cells, 3, 3, {0, 0}, {2, 2});
  none.cells = nullptr;
  EXPECT_FALSE(p.createMap(none));
  // Sizes whose product overflows, or exceeds the limit: refused before any cell is read.
  EXPECT_FALSE(p.createMap(request(cells, INT_MAX, INT_MAX, {0, 0}, {2, 2})));
  EXPECT_FALSE(p.createMap(request(cells, 4097, 4096, {0, 0}, {2, 2})));
  EXPECT_EQ(p.getMap(), before);
  EXPECT_EQ(p.getDescription().width, 3);
}

// ---- Search results -------------------------------------------------------------------------

TEST(AStarPlanner, ReportsUnreachableGoals) {
  std::vector<double> walled(100, 1.0);  // the goal walled in by 0 and negative values alike
  for (Cell c : {Cell{6, 5}, Cell{8, 5}, Cell{7, 4}, Cell{7, 6}}) walled[c.first + 10 * c.second] = c.first == 6 ? 0.0 : -2.0;
  AStarPlanner p;
  ASSERT_TRUE(p.createMap(request(walled, 10, 10, {0, 0}, {7, 5})));
  p.initialize();
  EXPECT_FALSE(p.isDone());
  EXPECT_TRUE(p.run());
  EXPECT_EQ(p.getNumSlices(), 1u);
  EXPECT_EQ(p.getGoal(), nullptr);
  EXPECT_EQ(p.getPathCost(), -1.0f);
  EXPECT_EQ(p.getOpenSize(), 0u);
  EXPECT_EQ(p.getClosedSize(), 95u) << "every reachable cell was expanded";
}

TEST(AStarPlanner, DiagonalStepsOnlyWhenAllowedAndCostedByTheFlag) {
  std::vector<double> ones(36, 1.0);
  AStarPlanner p;
  Planner::Description d = request(ones, 6, 6, {0, 0}, {5, 5});
  const float expected[3] = {20.0f, 5 * 2.0f * 1.4142137f, 10.0f};
  for (int i = 0; i < 3; ++i) {
    d.allowDiagonals = i > 0;
    d.diagonalCost = i < 2;
    ASSERT_TRUE(p.createMap(d));
    p.initialize();
    p.run();
    EXPECT_EQ(p.getPathSize(), i == 0 ? 11u : 6u) << i;
    EXPECT_FLOAT_EQ(p.getPathCost(), expected[i]) << i;
  }
}

TEST(AStarPlanner, PathCostMatchesDijkstraOnRandomGrids) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<double> value(0.01, 10.0);
  int reachable = 0;
  for (int round = 0; round < 50; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    RandomGrid g = randomGrid(rng, 5, 40, 0.25, 1);
    for (double& c : g.cells)
      if (c > 0) c = value(rng);
    AStarPlanner p;
    ASSERT_TRUE(p.createMap(request(g.cells, g.w, g.h, g.start, g.goal, 0.5f)));
    p.initialize();
    ASSERT_TRUE(p.run());
    const float* map = p.getMap();
    const double best = dijkstra(map, g.w, g.h, g.start, g.goal);
    if (std::isinf(best)) {
      EXPECT_EQ(p.getGoal(), nullptr);
      continue;
    }
    ++reachable;
    std::vector<Cell> path = pathOf(p);
    ASSERT_GE(path.size(), 2u);
    EXPECT_EQ(path.front(), g.start);
    EXPECT_EQ(path.back(), g.goal);
    double cost = 0.0;
    for (std::size_t i = 1; i < path.size(); ++i) {
      EXPECT_EQ(std::abs(path[i].first - path[i - 1].first) + std::abs(path[i].second - path[i - 1].second), 1);
      cost += map[path[i].first + g.w * path[i].second];
    }
    EXPECT_NEAR(cost, best, 1e-4 * best);
    EXPECT_NEAR(p.getPathCost(), best, 1e-4 * best);
  }
  EXPECT_GT(reachable, 30);
}

// Expansion order, path, cost and final list sizes equal those of the sorted-list reference
// planner, including ties (few cost levels), re-opened closed nodes (weights above 0.5) and
// nodes dropped from a full open list.
TEST(AStarPlanner, ExpandsExactlyLikeTheSortedListPlanner) {
  std::mt19937 rng(777);
  for (int round = 0; round < 20; ++round) {
    RandomGrid g = randomGrid(rng, 2, 14, 0.2, round % 3 == 0 ? 1 : 3);
    for (float w : {0.0f, 0.3f, 0.5f, 1.0f}) {
      for (int variant = 0; variant < 4; ++variant) {
        Planner::Description d = request(g.cells, g.w, g.h, g.start, g.goal, w);
        d.allowDiagonals = variant & 1;
        d.diagonalCost = variant & 2;
        const bool smallList = round % 5 == 4;
        if (smallList) d.openCapacity = 3;
        AStarPlanner p;
        std::vector<Cell> expanded;
        p.setExpandHook(recordExpansion, &expanded);
        if (round % 7 == 3) p.setEntryOrderLimit(5);  // renumber the entry order often
        ASSERT_TRUE(p.createMap(d));
        p.initialize();
        ASSERT_TRUE(p.run());
        const RefResult ref = referenceSearch(p.getMap(), p.getDescription(), smallList ? 3 : g.cells.size());
        SCOPED_TRACE(testing::Message() << "round " << round << " weight " << w << " variant " << variant);
        ASSERT_EQ(expanded, ref.expanded);
        EXPECT_EQ(pathOf(p), ref.path);
        EXPECT_EQ(p.getPathCost(), ref.cost);
        EXPECT_EQ(p.getOpenSize(), ref.open);
        EXPECT_EQ(p.getClosedSize(), ref.closed);
      }
    }
  }
}

// ---- Lifecycle ----------------------------------------------------------------------------

TEST(AStarPlanner, RepeatedSearchesCleanupAndUnloadAreSafe) {
  std::mt19937 rng(99);
  RandomGrid g = randomGrid(rng, 20, 20, 0.15, 9);
  AStarPlanner p;
  ASSERT_TRUE(p.createMap(request(g.cells, g.w, g.h, g.start, g.goal, 0.9f)));
  p.initialize();
  p.run();
  const std::vector<Cell> first = pathOf(p);
  EXPECT_TRUE(p.run()) << "a finished search stays finished";
  EXPECT_EQ(p.getNumSlices(), 2u) << "every call counts";
  EXPECT_EQ(pathOf(p), first);
  p.initialize();  // without cleanup: the old search is dropped
  p.run();
  EXPECT_EQ(pathOf(p), first);

  p.cleanup();
  EXPECT_EQ(p.getGoal(), nullptr);
  EXPECT_EQ(p.getClosedSize(), 0u);
  p.initialize();
  p.run();
  EXPECT_EQ(pathOf(p), first);

  p.unloadMap();
  EXPECT_FALSE(p.isLoaded());
  p.initialize();
  EXPECT_TRUE(p.run());
  EXPECT_EQ(p.getGoal(), nullptr);
}

TEST(AStarPlanner, SmallPoolsEndTheSearchWithoutAGoalInsteadOfFailing) {
  std::vector<double> ones(64, 1.0);
  for (unsigned pool : {1u, 5u, 1000u}) {
    Planner::Description d = request(ones, 8, 8, {0, 0}, {7, 7});
    d.poolSize = pool;  // 1000: more than the grid, capped at one node per cell
    AStarPlanner p;
    ASSERT_TRUE(p.createMap(d));
    p.initialize();
    EXPECT_TRUE(p.run());
    EXPECT_EQ(p.getPathSize(), pool == 1000u ? 15u : 0u) << pool;
    if (pool == 1000u) {
      EXPECT_LE(p.getMemorySize(), 64u * 64u + 256u * sizeof(Node*) + 4u * sizeof(Planner::OpenEntry));
    }
  }
}

// Grids one cell wide or high, where every cell lies on an edge of the grid.
TEST(AStarPlanner, OneCellWideGridsExpandLikeTheSortedListPlanner) {
  std::vector<double> cells = {3, 1, 0, 2, 5, 1, 4, 1, 2};
  for (Cell size : {Cell{9, 1}, Cell{1, 9}}) {
    for (bool diagonals : {false, true}) {
      const Cell goal = size.first == 1 ? Cell{0, 8} : Cell{8, 0};
      cells[2] = diagonals ? 0.0 : 1.0;  // blocked: no way round it
      Planner::Description d = request(cells, size.first, size.second, {0, 0}, goal);
      d.allowDiagonals = diagonals;
      AStarPlanner p;
      std::vector<Cell> expanded;
      p.setExpandHook(recordExpansion, &expanded);
      ASSERT_TRUE(p.createMap(d));
      p.initialize();
      p.run();
      const RefResult ref = referenceSearch(p.getMap(), p.getDescription(), cells.size());
      EXPECT_EQ(expanded, ref.expanded) << size.first << " x " << size.second;
      EXPECT_EQ(pathOf(p), ref.path);
    }
  }
}
