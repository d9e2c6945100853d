// Path finding on grids.
#pragma once

#include <tavelor/arrays.h>

namespace TAVELOR {

// Finds a cheapest 4-neighbour path over the grid `map` (first index x, second y; a value
// greater than 0 is the relative cost of entering the cell, 0 or less blocks it) with weighted
// A*: weight 0.5 is plain A*, 1 greedy, 0 uniform cost. On success `path` becomes
// (number of cells, 2) holding x and y of each cell from start to goal and the number of cells
// is returned. Without a path it returns 0 and `path` has no elements. An invalid request
// (start or goal outside the map, start equal to goal, no passable cell, a map of more than
// 16,777,216 cells) returns 0 and leaves `path` as it was.
double FINDPATH(DGIntArray& map, DGIntArray& path, double weight, double startX, double startY,
                double goalX, double goalY);

}  // namespace TAVELOR
