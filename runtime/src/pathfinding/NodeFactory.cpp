#include "pathfinding/NodeFactory.h"

#include <cstdint>
#include <new>
#include <utility>

namespace TAVELOR::pathfinding {

NodeFactory& NodeFactory::operator=(NodeFactory&& other) noexcept {
  if (this != &other) {
    free();
    nodes_ = std::exchange(other.nodes_, nullptr);
    capacity_ = std::exchange(other.capacity_, 0);
    fresh_ = std::exchange(other.fresh_, 0);
    used_ = std::exchange(other.used_, 0);
    freeList_ = std::exchange(other.freeList_, nullptr);
  }
  return *this;
}

NodeFactory::~NodeFactory() { free(); }

void NodeFactory::free() {
  ::operator delete(nodes_);  // nodes are trivially destructible
  nodes_ = nullptr;
  capacity_ = fresh_ = used_ = 0;
  freeList_ = nullptr;
}

bool NodeFactory::allocate(std::size_t n) {
  free();
  if (n == 0) return true;
  if (n > SIZE_MAX / sizeof(Node)) return false;
  nodes_ = static_cast<Node*>(::operator new(n * sizeof(Node), std::nothrow));
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
    node = nodes_ + fresh_++;
  } else {
    return nullptr;
  }
  ++used_;
  return new (node) Node{};
}

bool NodeFactory::handedOut(const Node* node) const {
  return nodes_ && node >= nodes_ && node < nodes_ + fresh_ && node->parent != node;
}

void NodeFactory::release(Node* node) {
  if (!handedOut(node)) return;
  node->parent = node;  // marks it released: in use a node is never its own parent
  node->next = freeList_;
  freeList_ = node;
  if (--used_ == 0) reset();  // everything is back: hand nodes out from the start again
}

void NodeFactory::reset() {
  fresh_ = used_ = 0;
  freeList_ = nullptr;
}

}  // namespace TAVELOR::pathfinding
