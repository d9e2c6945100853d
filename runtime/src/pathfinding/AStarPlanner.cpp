#include "pathfinding/AStarPlanner.h"

#include <bit>
#include <cstdlib>

namespace TAVELOR::pathfinding {

AStarPlanner::~AStarPlanner() = default;

void AStarPlanner::initialize() {
  Planner::initialize();
  if (!isLoaded()) {
    done_ = true;
    return;
  }
  const std::size_t cell = static_cast<std::size_t>(desc_.startX) +
                           static_cast<std::size_t>(desc_.width) * static_cast<std::size_t>(desc_.startY);
  Node* start = fetchForCell(cell);
  if (!start) {  // a pool of size 0 cannot hold even the start
    done_ = true;
    return;
  }
  start->x = desc_.startX;
  start->y = desc_.startY;
  cellState(cell).g = 0.0f;
  openPush(pool_.indexOf(start), 0.0f);
}

bool AStarPlanner::run() {
  ++slices_;
  if (done_) return true;  // a finished search stays as it is
  const float diagonalFactor = desc_.diagonalCost ? kDiagonalFactor : 1.0f;
  const float w = desc_.weight;
  const std::ptrdiff_t width = desc_.width;
  const int goalX = desc_.goalX;
  const int goalY = desc_.goalY;
  const float* map = map_.get();
  // Cell index offset of each neighbour.
  std::ptrdiff_t offset[8];
  for (int k = 0; k < 8; ++k) offset[k] = kNeighbourX[k] + width * kNeighbourY[k];

  for (;;) {
    if (open_.isEmpty()) {
      done_ = true;
      return true;
    }
    Node* current = pool_.at(openPop());
    if (hook_) hook_(hookContext_, *current);
    if (current->x == goalX && current->y == goalY) {
      closed_.add(current);
      goal_ = current;
      done_ = true;
      return true;
    }
    const std::size_t here = static_cast<std::size_t>(current->x + width * current->y);
    // Only neighbours inside the grid and passable, in the fixed order (lowest bit first).
    for (unsigned m = moves(here); m != 0; m &= m - 1) {
      const unsigned dir = static_cast<unsigned>(std::countr_zero(m));
      const int nx = current->x + kNeighbourX[dir];
      const int ny = current->y + kNeighbourY[dir];
      const std::size_t cell = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(here) + offset[dir]);
      const float cost = map[cell];
      const float g = ((kDiagonalMask >> dir) & 1u) ? current->g + cost * diagonalFactor : current->g + cost;
      const auto fOf = [&] {
        const float h = static_cast<float>(std::abs(goalX - nx) + std::abs(goalY - ny));
        return (h - g) * w + g;
      };

      CellState& state = cellState(cell);
      Node* node;
      std::size_t index;
      if (state.slot != 0) {
        if (!(g < state.g)) continue;  // no cheaper than the known way
        index = state.slot - 1;
        node = pool_.at(index);
        if (isOpen(index)) {
          const float f = fOf();
          node->parent = current;
          node->g = g;
          node->f = f;
          state.g = g;
          openReorder(index, f);
          continue;
        }
        // A cheaper way into a closed cell opens it again. A node in neither list was dropped
        // from a full open list and counts as new.
        closed_.eraseIndex(index);
      } else {
        node = fetchForCell(cell);
        if (!node) continue;  // pool used up: the cell cannot be tracked
        node->x = nx;
        node->y = ny;
        index = pool_.indexOf(node);
      }
      const float f = fOf();
      node->parent = current;
      node->g = g;
      node->f = f;
      state.g = g;
      openPush(index, f);
    }
    closed_.add(current);
  }
}

}  // namespace TAVELOR::pathfinding
