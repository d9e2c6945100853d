#include "pathfinding/GridRequest.h"

#include <cmath>
#include <cstdint>

#include <tavelor/arrays.h>
#include <tavelor/pathfinding.h>

#include "values/Numbers.h"

namespace TAVELOR::pathfinding {

bool LoadGridRequest(AStarPlanner& planner, int width, int height, const double* cells, double weight,
                     double startX, double startY, double goalX, double goalY) {
  Planner::Description d;
  d.startX = TruncToInt(startX);
  d.startY = TruncToInt(startY);
  d.goalX = TruncToInt(goalX);
  d.goalY = TruncToInt(goalY);
  d.diagonalCost = true;
  d.allowDiagonals = false;
  d.closedBits = 8;
  if (std::isnan(weight) || weight <= 0.0)
    d.weight = 0.0f;
  else if (weight >= 1.0)
    d.weight = 1.0f;
  else
    d.weight = static_cast<float>(weight);
  d.width = width;
  d.height = height;
  d.cells = cells;
  return planner.createMap(d);
}

}  // namespace TAVELOR::pathfinding

namespace TAVELOR {

double FINDPATH(DGIntArray& map, DGIntArray& path, double weight, double startX, double startY, double goalX,
                double goalY) {
  const int width = map.Size(0);
  const int height = map.Size(1);
  // The planner refuses grids over its limit before allocating; the capacity test guards
  // against an array whose buffer does not hold width x height elements.
  if (std::int64_t{width} * height > map.Capacity()) return 0.0;
  // One planner for every call: a grid of the size searched last reuses its storage, which is
  // already allocated and touched, instead of allocating and zeroing tens of megabytes again.
  static pathfinding::AStarPlanner planner;
  if (!pathfinding::LoadGridRequest(planner, width, height, map.Data(), weight, startX, startY, goalX, goalY))
    return 0.0;
  planner.initialize();
  planner.run();
  const std::size_t n = planner.getGoal() ? planner.getPathSize() : 0;
  if (n == 0) {
    DIM(path, 0);
    return 0.0;
  }
  DIM(path, static_cast<double>(n), 2);
  std::size_t row = n;
  for (const pathfinding::Node* node = planner.getGoal(); node && row > 0; node = node->parent) {
    --row;
    path(static_cast<double>(row), 0) = node->x;
    path(static_cast<double>(row), 1) = node->y;
  }
  return static_cast<double>(n);
}

}  // namespace TAVELOR
