// FINDPATH on a 1024 x 1024 grid of random costs 1 to 9 with 15% of the cells blocked, from
// (0, 0) to (1023, 1023) at weight 0.5, against the Boost Graph Library's A* on the same grid:
// a compressed-sparse-row graph of the same 4-neighbour steps, each weighted with the same
// scaled cost of the cell entered, and the same 4-neighbour distance heuristic. The graph and
// the arrays are built outside the timed region. Prints both times, the ratio, both path
// costs and the planner's memory per cell.
#include <benchmark/benchmark.h>

#include <boost/graph/astar_search.hpp>
#include <boost/graph/compressed_sparse_row_graph.hpp>
#include <boost/property_map/property_map.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <tavelor/arrays.h>
#include <tavelor/pathfinding.h>

#include "pathfinding/GridRequest.h"

namespace {

constexpr int kSide = 1024;
constexpr double kWeight = 0.5;

struct Grid {
  std::vector<double> values;  // 0 = blocked, else 1..9
  std::vector<float> cost;     // scaled cost of entering each cell, as the planner computes it
  TAVELOR::DGIntArray map;
};

Grid& TheGrid() {
  static Grid grid = [] {
    Grid g;
    std::mt19937 rng(20261206);
    std::uniform_int_distribution<int> value(1, 9);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    g.values.resize(kSide * kSide);
    for (double& v : g.values) v = unit(rng) < 0.15 ? 0.0 : value(rng);
    g.values.front() = 1.0;
    g.values.back() = 1.0;
    g.cost.resize(g.values.size());
    for (std::size_t i = 0; i < g.values.size(); ++i)
      g.cost[i] = g.values[i] > 0 ? static_cast<float>(g.values[i] / 9.0 + 1.0) : -1.0f;
    TAVELOR::DIM(g.map, kSide, kSide);
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x) g.map(x, y) = g.values[x + kSide * y];
    return g;
  }();
  return grid;
}

double ourCost = 0.0;
double boostCost = 0.0;
double ourCells = 0.0;
double boostCells = 0.0;
double ourBytesPerCell = 0.0;

void BM_FindPath(benchmark::State& state) {
  Grid& g = TheGrid();
  TAVELOR::DGIntArray path;
  double n = 0.0;
  for (auto _ : state) {
    n = TAVELOR::FINDPATH(g.map, path, kWeight, 0, 0, kSide - 1, kSide - 1);
    benchmark::DoNotOptimize(n);
  }
  double cost = 0.0;
  for (int i = 1; i < static_cast<int>(n); ++i) cost += g.cost[static_cast<int>(path(i, 0)) + kSide * static_cast<int>(path(i, 1))];
  ourCost = cost;
  ourCells = n;
  TAVELOR::pathfinding::AStarPlanner planner;
  TAVELOR::pathfinding::LoadGridRequest(planner, kSide, kSide, g.values.data(), kWeight, 0, 0, kSide - 1, kSide - 1);
  state.counters["path_cells"] = n;
  state.counters["path_cost"] = cost;
  ourBytesPerCell = static_cast<double>(planner.getMemorySize()) / (kSide * kSide);
  state.counters["bytes_per_cell"] = ourBytesPerCell;
}

using BoostGraph = boost::compressed_sparse_row_graph<boost::directedS, boost::no_property, float>;
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
  explicit Manhattan(Vertex goal) : gx_(static_cast<int>(goal % kSide)), gy_(static_cast<int>(goal / kSide)) {}
  float operator()(Vertex v) const {
    return static_cast<float>(std::abs(gx_ - static_cast<int>(v % kSide)) + std::abs(gy_ - static_cast<int>(v / kSide)));
  }

 private:
  int gx_, gy_;
};

// The graph is built once, outside the timed region. With `fresh` false the per-search
// property maps are allocated once as well (Boost's best case); with `fresh` true each search
// allocates its own, as FINDPATH does.
void BoostAStar(benchmark::State& state, bool fresh) {
  Grid& g = TheGrid();
  std::vector<std::pair<Vertex, Vertex>> edges;
  std::vector<float> weights;
  const int dx[4] = {0, 1, -1, 0}, dy[4] = {-1, 0, 0, 1};
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      if (g.cost[x + kSide * y] < 0) continue;
      for (int k = 0; k < 4; ++k) {
        const int nx = x + dx[k], ny = y + dy[k];
        if (nx < 0 || ny < 0 || nx >= kSide || ny >= kSide || g.cost[nx + kSide * ny] < 0) continue;
        edges.emplace_back(x + kSide * y, nx + kSide * ny);
        weights.push_back(g.cost[nx + kSide * ny]);
      }
    }
  const std::size_t n = g.cost.size();
  BoostGraph graph(boost::edges_are_sorted, edges.begin(), edges.end(), weights.begin(), n);
  std::vector<Vertex> pred(n);
  std::vector<float> dist(n), rank(n);
  std::vector<boost::default_color_type> color(n);
  const Vertex start = 0, goal = n - 1;
  auto index = get(boost::vertex_index, graph);
  for (auto _ : state) {
    if (fresh) {
      std::vector<Vertex>(n).swap(pred);
      std::vector<float>(n).swap(dist);
      std::vector<float>(n).swap(rank);
      std::vector<boost::default_color_type>(n).swap(color);
    }
    try {
      boost::astar_search(graph, start, Manhattan(goal),
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
  double cost = 0.0, cells = 1.0;
  for (Vertex v = goal; v != start; v = pred[v], ++cells) cost += g.cost[v];
  boostCost = cost;
  boostCells = cells;
  state.counters["path_cells"] = cells;
  state.counters["path_cost"] = cost;
}

void BM_BoostAStar(benchmark::State& state) { BoostAStar(state, false); }
void BM_BoostAStarFreshMaps(benchmark::State& state) { BoostAStar(state, true); }

BENCHMARK(BM_FindPath)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BoostAStar)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BoostAStarFreshMaps)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Keeps each benchmark's wall and CPU time per iteration for the summary.
class Recorder : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      std::string name = r.benchmark_name();
      name = name.substr(0, name.find('/'));
      times[name] = {r.GetAdjustedRealTime(), r.GetAdjustedCPUTime()};
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, std::pair<double, double>> times;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Recorder recorder;
  benchmark::RunSpecifiedBenchmarks(&recorder);
  const auto& t = recorder.times;
  const auto ours = t.find("BM_FindPath");
  if (ours != t.end()) {
    std::printf("\nFINDPATH: %.2f ms wall, %.2f ms CPU; %.2f bytes per cell\n", ours->second.first, ours->second.second,
                ourBytesPerCell);
    for (const char* name : {"BM_BoostAStar", "BM_BoostAStarFreshMaps"}) {
      const auto other = t.find(name);
      if (other == t.end()) continue;
      std::printf("%s: %.2f ms wall, %.2f ms CPU; ratio FINDPATH / Boost: %.3f wall, %.3f CPU (target <= 1.0)\n",
                  name, other->second.first, other->second.second, ours->second.first / other->second.first,
                  ours->second.second / other->second.second);
    }
    std::printf("path cost: FINDPATH %.6f over %.0f cells, Boost %.6f over %.0f cells\n", ourCost, ourCells,
                boostCost, boostCells);
  }
  benchmark::Shutdown();
  return 0;
}
