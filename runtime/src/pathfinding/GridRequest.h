// The request FINDPATH makes of the A* planner, over plain grid data.
#pragma once

#include "pathfinding/AStarPlanner.h"

namespace TAVELOR::pathfinding {

// Loads a 4-neighbour request into the planner: coordinates truncated toward zero, weight 1
// when 1 or more and 0 when 0, negative or not a number, diagonal cost flag set, closed set of
// 256 buckets, pool and open list of one node per cell. Returns false when the request is
// invalid (see Planner::createMap); a grid over Planner::kMaxCells fails before allocating.
bool LoadGridRequest(AStarPlanner& planner, int width, int height, const double* cells, double weight,
                     double startX, double startY, double goalX, double goalY);

}  // namespace TAVELOR::pathfinding
