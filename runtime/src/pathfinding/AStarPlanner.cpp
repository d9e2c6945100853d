#include "pathfinding/AStarPlanner.h"

#include <cstdlib>

namespace TAVELOR::pathfinding {

namespace {

// The neighbours in visiting order; the diagonal ones are at 0, 2, 5 and 7.
constexpr int kDx[8] = {-1, 0, 1, 1, -1, -1, 0, 1};
constexpr int kDy[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
constexpr bool kDiagonal[8] = {true, false, true, false, false, true, false, true};
constexpr int kStraight[4] = {1, 3, 4, 6};
constexpr int kAll[8] = {0, 1, 2, 3, 4, 5, 6, 7};

}  // namespace

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
  start->parent = nullptr;
  start->x = desc_.startX;
  start->y = desc_.startY;
  start->g = 0.0f;
  start->f = 0.0f;
  openPush(start);
}

bool AStarPlanner::run() {
  if (done_) return true;
  ++slices_;
  const float diagonalFactor = desc_.diagonalCost ? kDiagonalFactor : 1.0f;
  const float w = desc_.weight;
  const int width = desc_.width;
  const int height = desc_.height;
  const int goalX = desc_.goalX;
  const int goalY = desc_.goalY;
  const int* order = desc_.allowDiagonals ? kAll : kStraight;
  const int count = desc_.allowDiagonals ? 8 : 4;
  const float* map = map_.get();

  for (;;) {
    Node* current = openPop();
    if (!current) {
      done_ = true;
      return true;
    }
    if (hook_) hook_(hookContext_, *current);
    if (current->x == goalX && current->y == goalY) {
      closed_.add(current);
      goal_ = current;
      done_ = true;
      return true;
    }
    for (int k = 0; k < count; ++k) {
      const int dir = order[k];
      const int nx = current->x + kDx[dir];
      const int ny = current->y + kDy[dir];
      if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
      const std::size_t cell = static_cast<std::size_t>(nx) + static_cast<std::size_t>(width) * static_cast<std::size_t>(ny);
      const float cost = map[cell];
      if (cost < 0.0f) continue;
      const float g = kDiagonal[dir] ? current->g + cost * diagonalFactor : current->g + cost;
      const float h = static_cast<float>(std::abs(goalX - nx) + std::abs(goalY - ny));
      const float f = (h - g) * w + g;

      Node* node = nodeOfCell(cell);
      if (node) {
        if (node->where == Node::kClosed) {
          if (!(g < node->g)) continue;
          closed_.erase(node);  // a cheaper way into a closed cell: open it again
        } else if (node->where >= 0) {
          if (g < node->g) {
            node->parent = current;
            node->g = g;
            node->f = f;
            openReorder(node);
          }
          continue;
        }
        // Otherwise the node was dropped from a full open list and counts as new.
      } else {
        node = fetchForCell(cell);
        if (!node) continue;  // pool used up: the cell cannot be tracked
        node->x = nx;
        node->y = ny;
      }
      node->parent = current;
      node->g = g;
      node->f = f;
      openPush(node);
    }
    closed_.add(current);
  }
}

}  // namespace TAVELOR::pathfinding
