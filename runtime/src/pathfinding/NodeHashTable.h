// The closed set: bucket chains of nodes hashed by cell, and an iterator over them.
//
// Besides the chains the table keeps one marker byte per node of its pool, so adding,
// testing and taking a node out are O(1) however long the chains grow. A node taken out by
// erase() stays linked in its chain, skipped by lookups, until it is closed again or the
// table is released; a chain therefore never holds the same node twice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "pathfinding/Node.h"
#include "pathfinding/NodeFactory.h"
#include "pathfinding/ZeroedArray.h"

namespace TAVELOR::pathfinding {

class NodeHashTable {
 public:
  static constexpr unsigned kMaxBits = 24;

  // 2^bits empty buckets for nodes of `pool` (its current capacity); bits above 24 become 24
  // and odd values are rounded down to even. Returns false, leaving a table without buckets,
  // when the memory cannot be had.
  bool create(unsigned bits, const NodeFactory& pool);
  // (x AND m) OR ((y AND m) << h), with h = bits / 2 and m = 2^h - 1.
  std::size_t hash(int x, int y) const {
    return (static_cast<unsigned>(x) & mask_) | ((static_cast<unsigned>(y) & mask_) << half_);
  }

  // Closes the node: links it at the front of its bucket unless it is linked already.
  void add(Node* node) {
    if (!buckets_) return;
    std::uint8_t& mark = marks_[indexOf(node)];
    if (mark & kClosedMark) return;
    if (!(mark & kLinkedMark)) {
      Node*& head = buckets_[hash(node->x, node->y)];
      node->next = head;
      head = node;
    }
    mark = kClosedMark | kLinkedMark;
    ++size_;
  }
  // Takes a closed node out of the set; it stays linked until closed again or released.
  void erase(Node* node) { eraseIndex(indexOf(node)); }
  bool contains(const Node* node) const { return containsIndex(indexOf(node)); }
  // The same by the node's index in the pool.
  bool containsIndex(std::size_t i) const { return (marks_[i] & kClosedMark) != 0; }
  void eraseIndex(std::size_t i) {
    if (marks_[i] & kClosedMark) {
      marks_[i] &= ~kClosedMark;
      --size_;
    }
  }
  // Gives every closed node back to the pool and empties the table.
  void releaseAll(NodeFactory& pool);
  // Empties the table without touching its nodes, for when the whole pool is reset anyway.
  void clear();

  std::size_t size() const { return size_; }
  std::size_t bucketCount() const { return buckets_ ? std::size_t{1} << bits_ : 0; }
  unsigned bits() const { return bits_; }
  // Bytes held: buckets and markers.
  std::size_t memorySize() const { return bucketCount() * sizeof(Node*) + marksSize_; }

 private:
  friend class NodeHashIterator;
  static constexpr std::uint8_t kClosedMark = 1;
  static constexpr std::uint8_t kLinkedMark = 2;

  bool closed(const Node* node) const { return containsIndex(indexOf(node)); }
  std::size_t indexOf(const Node* node) const { return static_cast<std::size_t>(node - base_); }

  std::unique_ptr<Node*[]> buckets_;
  ZeroedArray<std::uint8_t> marks_;
  std::size_t marksSize_ = 0;
  const Node* base_ = nullptr;  // the pool's first node (it stays put when the pool is moved)
  unsigned bits_ = 0;
  unsigned half_ = 0;
  unsigned mask_ = 0;
  std::size_t size_ = 0;
};

// Walks the closed nodes of a table.
class NodeHashIterator {
 public:
  explicit NodeHashIterator(NodeHashTable& table) : table_(table) {}

  // The closed node of cell (x, y), or null; remembers its place for remove().
  Node* find(int x, int y);
  // Unlinks the node that find(), begin() or next() returned last and takes it out of the set.
  // Returns false when there is none. Iteration continues with the node after it.
  bool remove();
  // The first closed node, bucket by bucket, or null.
  Node* begin();
  // The closed node after the current one, or null.
  Node* next();

 private:
  Node* advance(std::size_t bucket, Node** link);

  NodeHashTable& table_;
  std::size_t bucket_ = 0;
  Node** link_ = nullptr;  // the link that points at the current node
  bool removed_ = false;   // the current node was removed; link_ points at its successor
};

}  // namespace TAVELOR::pathfinding
