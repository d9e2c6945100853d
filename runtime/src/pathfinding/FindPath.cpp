#include "pathfinding/GridRequest.h"

#include <cmath>

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
