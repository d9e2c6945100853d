// One grid cell on the search frontier or in the closed set. Nodes come from a NodeFactory
// pool; the search never allocates them itself.
#pragma once

#include <cstdint>

namespace TAVELOR::pathfinding {

struct Node {
  // Values of `where` besides an open-list position (which is 0 or more).
  static constexpr std::int32_t kLoose = -1;   // in neither the open list nor the closed set
  static constexpr std::int32_t kClosed = -2;  // in the closed set
  static constexpr std::int32_t kFree = -3;    // unused, in the pool

  Node* parent = nullptr;  // the node this one was reached from; null for the start
  int x = 0;
  int y = 0;
  float f = 0.0f;          // ordering key of the open list
  float g = 0.0f;          // cost of the best known way from the start
  Node* next = nullptr;    // closed-set chain link; null while the node is in no chain
  std::uint32_t order = 0; // when the node last entered the open list (earlier wins a tie)
  std::int32_t where = kFree;
};

}  // namespace TAVELOR::pathfinding
