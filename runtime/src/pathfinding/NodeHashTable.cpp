#include "pathfinding/NodeHashTable.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace TAVELOR::pathfinding {

bool NodeHashTable::create(unsigned bits, const NodeFactory& pool) {
  if (bits > kMaxBits) bits = kMaxBits;
  bits &= ~1u;
  buckets_.reset();
  marks_.reset();
  marksSize_ = 0;
  base_ = nullptr;
  bits_ = half_ = mask_ = 0;
  size_ = 0;
  const std::size_t count = std::size_t{1} << bits;
  std::unique_ptr<Node*[]> buckets(new (std::nothrow) Node*[count]);
  ZeroedArray<std::uint8_t> marks = MakeZeroedArray<std::uint8_t>(pool.capacity());
  if (!buckets || !marks) return false;
  std::fill_n(buckets.get(), count, nullptr);
  buckets_ = std::move(buckets);
  marks_ = std::move(marks);
  marksSize_ = pool.capacity();
  base_ = pool.at(0);
  bits_ = bits;
  half_ = bits / 2;
  mask_ = (1u << half_) - 1;
  return true;
}

void NodeHashTable::releaseAll(NodeFactory& pool) {
  if (!buckets_) return;
  const std::size_t count = bucketCount();
  for (std::size_t b = 0; b < count; ++b) {
    for (Node* node = buckets_[b]; node;) {
      Node* following = node->next;
      std::uint8_t& mark = marks_[indexOf(node)];
      const bool wasClosed = mark & kClosedMark;
      mark = 0;
      node->next = nullptr;
      if (wasClosed) pool.release(node);
      node = following;
    }
    buckets_[b] = nullptr;
  }
  size_ = 0;
}

void NodeHashTable::clear() {
  if (!buckets_) return;
  std::fill_n(buckets_.get(), bucketCount(), nullptr);
  std::memset(marks_.get(), 0, marksSize_);
  size_ = 0;
}

Node* NodeHashIterator::advance(std::size_t bucket, Node** link) {
  const std::size_t count = table_.bucketCount();
  while (bucket < count) {
    for (; *link; link = &(*link)->next) {
      if (table_.closed(*link)) {
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
  for (Node** link = &table_.buckets_[bucket]; *link; link = &(*link)->next) {
    Node* node = *link;
    if (node->x == x && node->y == y && table_.closed(node)) {
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
  table_.marks_[table_.indexOf(node)] = 0;
  --table_.size_;
  removed_ = true;
  return true;
}

}  // namespace TAVELOR::pathfinding
