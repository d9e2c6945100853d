// A pool of pre-allocated nodes, created once per map so that a search allocates nothing.
#pragma once

#include <cstddef>
#include <memory>

#include "pathfinding/Node.h"

namespace TAVELOR::pathfinding {

class NodeFactory {
 public:
  // Frees the old pool and creates n nodes. Returns false, leaving the pool empty, when the
  // memory cannot be had.
  bool allocate(std::size_t n);
  // The next unused node with its fields reset, or null when all are handed out.
  Node* fetch();
  // Takes one node back for reuse. Nodes of another pool and nodes already back are ignored.
  void release(Node* node);
  // Takes every node back at once.
  void reset();

  std::size_t capacity() const { return capacity_; }
  std::size_t used() const { return used_; }
  // Nodes [0, highWater()) have been handed out at least once since the last reset.
  std::size_t highWater() const { return fresh_; }
  Node* at(std::size_t i) const { return nodes_.get() + i; }
  std::size_t indexOf(const Node* node) const { return static_cast<std::size_t>(node - nodes_.get()); }
  bool owns(const Node* node) const {
    return capacity_ > 0 && node >= nodes_.get() && node < nodes_.get() + capacity_;
  }

 private:
  std::unique_ptr<Node[]> nodes_;
  std::size_t capacity_ = 0;
  std::size_t fresh_ = 0;   // nodes never handed out start here
  std::size_t used_ = 0;    // handed out and not released
  Node* freeList_ = nullptr;  // released nodes, linked through `next`
};

}  // namespace TAVELOR::pathfinding
