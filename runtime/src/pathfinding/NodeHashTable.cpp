#include "pathfinding/NodeHashTable.h"

#include <new>

namespace TAVELOR::pathfinding {

bool NodeHashTable::create(unsigned bits) {
  if (bits > kMaxBits) bits = kMaxBits;
  bits &= ~1u;
  buckets_.reset();
  bits_ = half_ = mask_ = 0;
  size_ = 0;
  const std::size_t count = std::size_t{1} << bits;
  buckets_.reset(new (std::nothrow) Node*[count]);
  if (!buckets_) return false;
  for (std::size_t i = 0; i < count; ++i) buckets_[i] = end();
  bits_ = bits;
  half_ = bits / 2;
  mask_ = (1u << half_) - 1;
  return true;
}

void NodeHashTable::add(Node* node) {
  if (!buckets_ || node->where == Node::kClosed) return;
  if (node->next == nullptr) {
    Node*& head = buckets_[hash(node->x, node->y)];
    node->next = head;
    head = node;
  }
  node->where = Node::kClosed;
  ++size_;
}

void NodeHashTable::erase(Node* node) {
  if (node->where != Node::kClosed) return;
  node->where = Node::kLoose;
  --size_;
}

void NodeHashTable::releaseAll(NodeFactory& pool) {
  if (!buckets_) return;
  const std::size_t count = bucketCount();
  for (std::size_t b = 0; b < count; ++b) {
    Node* node = buckets_[b];
    while (node != end()) {
      Node* following = node->next;
      node->next = nullptr;
      if (node->where == Node::kClosed) {
        node->where = Node::kLoose;
        pool.release(node);
      }
      node = following;
    }
    buckets_[b] = end();
  }
  size_ = 0;
}

Node* NodeHashIterator::advance(std::size_t bucket, Node** link) {
  const std::size_t count = table_.bucketCount();
  while (bucket < count) {
    for (; *link != NodeHashTable::end(); link = &(*link)->next) {
      if ((*link)->where == Node::kClosed) {
        bucket_ = bucket;
        link_ = link;
        return *link;
      }
    }
    if (++bucket < count) link = &table_.buckets_[bucket];
  }
  bucket_ = count;
  link_ = nullptr;
  return nullptr;
}

Node* NodeHashIterator::begin() {
  removed_ = false;
  if (table_.bucketCount() == 0) return nullptr;
  return advance(0, &table_.buckets_[0]);
}

Node* NodeHashIterator::next() {
  if (!link_) return nullptr;
  if (removed_) {  // link_ already points at the node after the removed one
    removed_ = false;
    return advance(bucket_, link_);
  }
  return advance(bucket_, &(*link_)->next);
}

Node* NodeHashIterator::find(int x, int y) {
  link_ = nullptr;
  removed_ = false;
  if (table_.bucketCount() == 0) return nullptr;
  const std::size_t bucket = table_.hash(x, y);
  for (Node** link = &table_.buckets_[bucket]; *link != NodeHashTable::end(); link = &(*link)->next) {
    Node* node = *link;
    if (node->x == x && node->y == y && node->where == Node::kClosed) {
      bucket_ = bucket;
      link_ = link;
      return node;
    }
  }
  return nullptr;
}

bool NodeHashIterator::remove() {
  if (!link_ || removed_) return false;
  Node* node = *link_;
  *link_ = node->next;
  node->next = nullptr;
  node->where = Node::kLoose;
  --table_.size_;
  removed_ = true;
  return true;
}

}  // namespace TAVELOR::pathfinding
