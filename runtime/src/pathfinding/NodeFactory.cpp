#include "pathfinding/NodeFactory.h"

#include <new>

namespace TAVELOR::pathfinding {

bool NodeFactory::allocate(std::size_t n) {
  nodes_.reset();
  capacity_ = fresh_ = used_ = 0;
  freeList_ = nullptr;
  if (n == 0) return true;
  nodes_.reset(new (std::nothrow) Node[n]);
  if (!nodes_) return false;
  capacity_ = n;
  return true;
}

Node* NodeFactory::fetch() {
  Node* node;
  if (freeList_) {
    node = freeList_;
    freeList_ = node->next;
  } else if (fresh_ < capacity_) {
    node = nodes_.get() + fresh_++;
  } else {
    return nullptr;
  }
  ++used_;
  *node = Node{};
  node->where = Node::kLoose;
  return node;
}

void NodeFactory::release(Node* node) {
  if (!owns(node) || node->where == Node::kFree || indexOf(node) >= fresh_) return;
  node->where = Node::kFree;
  node->next = freeList_;
  freeList_ = node;
  if (--used_ == 0) reset();  // everything is back: hand nodes out from the start again
}

void NodeFactory::reset() {
  for (std::size_t i = 0; i < fresh_; ++i) nodes_[i].where = Node::kFree;
  fresh_ = used_ = 0;
  freeList_ = nullptr;
}

}  // namespace TAVELOR::pathfinding
