// One grid cell on the search frontier or in the closed set. Nodes come from a NodeFactory
// pool; the search never allocates them itself.
#pragma once

namespace TAVELOR::pathfinding {

struct Node {
  Node* parent = nullptr;  // the node this one was reached from; null for the start
  int x = 0;
  int y = 0;
  float f = 0.0f;          // ordering key of the open list
  float g = 0.0f;          // cost of the best known way from the start
  Node* next = nullptr;    // link in a closed-set bucket chain (or the pool's free list)
};

}  // namespace TAVELOR::pathfinding
