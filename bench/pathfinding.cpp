// FINDPATH on square grids of random costs 1 to 9 with 15% of the cells blocked, from one
// corner to the other at weight 0.5, against the Boost Graph Library's A* on the same grid: a
// compressed-sparse-row graph of the same 4-neighbour steps, each weighted with the same
// scaled cost of the cell entered, and the same 4-neighbour distance heuristic. Boost's graph
// and property maps are built once outside the timed region; FINDPATH keeps its own storage
// between calls. Both paths are checked to have the same cost and length.
#include <benchmark/benchmark.h>

#include <boost/graph/astar_search.hpp>
#include <boost/graph/compressed_sparse_row_graph.hpp>
#include <boost/property_map/property_map.hpp>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <tavelor/arrays.h>
#include <tavelor/pathfinding.h>

#include "Compare.h"

namespace {

constexpr double kWeight = 0.5;

struct Grid {
  int side = 0;
  std::vector<double> values;  // 0 = blocked, else 1..9
  std::vector<float> cost;     // scaled cost of entering each cell, as the planner computes it
  TAVELOR::DGIntArray map;

  explicit Grid(int n) : side(n) {
    std::mt19937 rng(20261206);
    std::uniform_int_distribution<int> value(1, 9);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    values.resize(static_cast<std::size_t>(n) * n);
    for (double& v : values) v = unit(rng) < 0.15 ? 0.0 : value(rng);
    values.front() = 1.0;
    values.back() = 1.0;
    cost.resize(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
      cost[i] = values[i] > 0 ? static_cast<float>(values[i] / 9.0 + 1.0) : -1.0f;
    TAVELOR::DIM(map, n, n);
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) map(x, y) = values[x + static_cast<std::size_t>(n) * y];
  }
};

using BoostGraph = boost::compressed_sparse_row_graph<boost::directedS, boost::no_property, float, boost::no_property,
                                                      std::uint32_t, std::uint32_t>;
using Vertex = boost::graph_traits<BoostGraph>::vertex_descriptor;

struct FoundGoal {};

class GoalVisitor : public boost::default_astar_visitor {
 public:
  explicit GoalVisitor(Vertex goal) : goal_(goal) {}
  template <class G>
  void examine_vertex(Vertex u, const G&) {
    if (u == goal_) throw FoundGoal{};
  }

 private:
  Vertex goal_;
};

class Manhattan : public boost::astar_heuristic<BoostGraph, float> {
 public:
  Manhattan(Vertex goal, int side)
      : side_(side), gx_(static_cast<int>(goal % side)), gy_(static_cast<int>(goal / side)) {}
  float operator()(Vertex v) const {
    return static_cast<float>(std::abs(gx_ - static_cast<int>(v % side_)) + std::abs(gy_ - static_cast<int>(v / side_)));
  }

 private:
  int side_, gx_, gy_;
};

struct BoostSearch {
  const Grid& g;
  BoostGraph graph;
  std::vector<Vertex> pred;
  std::vector<float> dist, rank;
  std::vector<boost::default_color_type> color;

  explicit BoostSearch(const Grid& grid) : g(grid) {
    const int n = g.side;
    std::vector<std::pair<Vertex, Vertex>> edges;
    std::vector<float> weights;
    const int dx[4] = {0, 1, -1, 0}, dy[4] = {-1, 0, 0, 1};
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) {
        if (g.cost[x + static_cast<std::size_t>(n) * y] < 0) continue;
        for (int k = 0; k < 4; ++k) {
          const int nx = x + dx[k], ny = y + dy[k];
          if (nx < 0 || ny < 0 || nx >= n || ny >= n || g.cost[nx + static_cast<std::size_t>(n) * ny] < 0) continue;
          edges.emplace_back(x + n * y, nx + n * ny);
          weights.push_back(g.cost[nx + static_cast<std::size_t>(n) * ny]);
        }
      }
    const std::size_t cells = g.cost.size();
    graph = BoostGraph(boost::edges_are_sorted, edges.begin(), edges.end(), weights.begin(), cells);
    pred.resize(cells);
    dist.resize(cells);
    rank.resize(cells);
    color.resize(cells);
  }

  void Run() {
    const Vertex start = 0, goal = static_cast<Vertex>(g.cost.size() - 1);
    auto index = get(boost::vertex_index, graph);
    try {
      boost::astar_search(graph, start, Manhattan(goal, g.side),
                          boost::predecessor_map(boost::make_iterator_property_map(pred.begin(), index))
                              .distance_map(boost::make_iterator_property_map(dist.begin(), index))
                              .rank_map(boost::make_iterator_property_map(rank.begin(), index))
                              .color_map(boost::make_iterator_property_map(color.begin(), index))
                              .weight_map(get(boost::edge_bundle, graph))
                              .visitor(GoalVisitor(goal)));
    } catch (const FoundGoal&) {
    }
    benchmark::DoNotOptimize(dist[goal]);
  }

  // Cost and cell count of the path found, start and goal included.
  std::pair<double, int> Path() const {
    const Vertex goal = static_cast<Vertex>(g.cost.size() - 1);
    double cost = 0.0;
    int cells = 1;
    for (Vertex v = goal; v != 0 && cells <= static_cast<int>(g.cost.size()); v = pred[v], ++cells) cost += g.cost[v];
    return {cost, cells};
  }
};

std::pair<double, int> FindPath(Grid& g, TAVELOR::DGIntArray& path) {
  const int n = g.side;
  const double cells = TAVELOR::FINDPATH(g.map, path, kWeight, 0, 0, n - 1, n - 1);
  double cost = 0.0;
  for (int i = 1; i < static_cast<int>(cells); ++i)
    cost += g.cost[static_cast<std::size_t>(path(i, 0)) + static_cast<std::size_t>(n) * static_cast<std::size_t>(path(i, 1))];
  return {cost, static_cast<int>(cells)};
}

}  // namespace

int main(int argc, char** argv) {
  const double scale = argc > 1 ? std::atof(argv[1]) : 1.0;  // rounds multiplier
  const int only = argc > 2 ? std::atoi(argv[2]) : 0;          // one side only
  std::printf("FINDPATH against Boost astar_search, corner to corner, weight 0.5; times in ms, median (quartiles)\n");
  std::printf("%6s %22s %22s %20s %12s\n", "side", "FINDPATH", "Boost", "ratio (time)", "path cells");
  std::string summary, ours1024, boost1024, ratio1024;
  for (int side : {256, 512, 1024, 2048}) {
    if (only != 0 && side != only) continue;
    Grid grid(side);
    BoostSearch boost(grid);
    TAVELOR::DGIntArray path;
    std::pair<double, int> ours, theirs;
    const int rounds = std::max(5, static_cast<int>(scale * 40.0 * 256 / side));
    bench::Comparison c = bench::Interleave(
        rounds, [&] { ours = FindPath(grid, path); return -1.0; },
        [&] { boost.Run(); return -1.0; });
    theirs = boost.Path();
    bench::Require(ours.second == theirs.second && std::fabs(ours.first - theirs.first) <= 1e-6 * theirs.first,
                   "side " + std::to_string(side) + ": FINDPATH cost " + std::to_string(ours.first) + " over " +
                       std::to_string(ours.second) + " cells, Boost " + std::to_string(theirs.first) + " over " +
                       std::to_string(theirs.second));
    const bench::Spread r = c.TimeRatio();
    std::printf("%6d %22s %22s %20s %12d\n", side, bench::Format(c.Ours(), 1e3).c_str(),
                bench::Format(c.Reference(), 1e3).c_str(), bench::Format(r, 1.0, "%.3f").c_str(), ours.second);
    std::fflush(stdout);
    char part[160];
    std::snprintf(part, sizeof part, "%s%d: %.2f", summary.empty() ? "" : ", ", side, r.median);
    summary += part;
    if (side == 1024) {
      ours1024 = bench::Format(c.Ours(), 1e3, "%.1f") + " ms";
      boost1024 = "Boost Graph `astar_search` " + bench::Format(c.Reference(), 1e3, "%.1f") + " ms";
      ratio1024 = bench::Format(r, 1.0, "%.2f");
    }
  }
  std::printf("time ratio by side (target <= 0.8): %s\n", summary.c_str());
  if (!ours1024.empty())
    bench::Row("`bench_pathfinding`: 1024 x 1024 grid A*", ours1024, boost1024,
               ratio1024 + " (time; by side " + summary + ")");
  return 0;
}
