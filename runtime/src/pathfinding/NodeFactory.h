// A pool of pre-allocated nodes, created once per map so that a search allocates nothing.
// The storage is reserved but a node is only written when it is first handed out, so a
// search that touches part of a large grid pays only for that part.
#pragma once

#include <cstddef>

#include "pathfinding/Node.h"

namespace TAVELOR::pathfinding {

class NodeFactory {
 public:
  NodeFactory() = default;
  NodeFactory(NodeFactory&& other) noexcept { *this = static_cast<NodeFactory&&>(other); }
  NodeFactory& operator=(NodeFactory&& other) noexcept;
  NodeFactory(const NodeFactory&) = delete;
  NodeFactory& operator=(const NodeFactory&) = delete;
  ~NodeFactory();

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
  Node* at(std::size_t i) const { return nodes_ + i; }
  std::size_t indexOf(const Node* node) const { return static_cast<std::size_t>(node - nodes_); }
  // True for a node of this pool that has been handed out since the last reset.
  bool handedOut(const Node* node) const;

 private:
  void free();

  Node* nodes_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t fresh_ = 0;     // nodes never handed out start here
  std::size_t used_ = 0;      // handed out and not released
  Node* freeList_ = nullptr;  // released nodes, linked through `next`; each is its own parent
};

}  // namespace TAVELOR::pathfinding
