#include "pathfinding/Planner.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace TAVELOR::pathfinding {

Planner::~Planner() { unloadMap(); }

bool Planner::createMap(const Description& d) {
  if (d.width <= 0 || d.height <= 0 || d.cells == nullptr) return false;
  const std::int64_t cells64 = std::int64_t{d.width} * d.height;
  if (cells64 > kMaxCells) return false;
  if (d.startX < 0 || d.startX >= d.width || d.startY < 0 || d.startY >= d.height) return false;
  if (d.goalX < 0 || d.goalX >= d.width || d.goalY < 0 || d.goalY >= d.height) return false;
  if (d.startX == d.goalX && d.startY == d.goalY) return false;

  const std::size_t cells = static_cast<std::size_t>(cells64);
  // Infinite values block like NaN does: scaling by an infinite largest value is meaningless.
  auto passable = [](double v) { return v > 0.0 && std::isfinite(v); };
  double largest = 0.0;
  for (std::size_t i = 0; i < cells; ++i)
    if (passable(d.cells[i]) && d.cells[i] > largest) largest = d.cells[i];
  if (largest == 0.0) return false;

  // Build everything aside so a failure leaves the planner as it was.
  std::unique_ptr<float[]> map(new (std::nothrow) float[cells]);
  std::unique_ptr<std::uint32_t[]> cellNode(new (std::nothrow) std::uint32_t[cells]);
  if (!map || !cellNode) return false;
  const std::size_t poolSize = d.poolSize == 0 ? cells : std::min<std::size_t>(d.poolSize, cells);
  const std::size_t openSize = d.openCapacity == 0 ? cells : std::min<std::size_t>(d.openCapacity, cells);
  NodeFactory pool;
  FixedDeque<Node*> open;
  NodeHashTable closed;
  if (!pool.allocate(poolSize) || !open.allocate(openSize) || !closed.create(d.closedBits)) return false;

  for (std::size_t i = 0; i < cells; ++i) {
    const double v = d.cells[i];
    map[i] = passable(v) ? static_cast<float>(v / largest + 1.0) : kBlocked;
  }
  std::fill_n(cellNode.get(), cells, kNoNode);

  unloadMap();
  map_ = std::move(map);
  cellNode_ = std::move(cellNode);
  pool_ = std::move(pool);
  open_ = std::move(open);
  closed_ = std::move(closed);
  desc_ = d;
  const float w = d.weight;
  desc_.weight = w > 1.0f ? 1.0f : (w > 0.0f ? w : 0.0f);  // NaN fails both tests: 0
  goal_ = nullptr;
  slices_ = 0;
  runningTime_ = 0.0f;
  order_ = 0;
  done_ = true;
  return true;
}

void Planner::initialize() {
  dropSearch();
  done_ = false;
  slices_ = 0;
  goal_ = nullptr;
}

void Planner::cleanup() {
  dropSearch();
  goal_ = nullptr;
  done_ = true;
}

void Planner::dropSearch() {
  if (pool_.highWater() > 0) {
    const std::size_t width = static_cast<std::size_t>(desc_.width);
    for (std::size_t i = 0; i < pool_.highWater(); ++i) {
      const Node* node = pool_.at(i);
      if (node->where != Node::kFree)
        cellNode_[static_cast<std::size_t>(node->x) + width * static_cast<std::size_t>(node->y)] = kNoNode;
    }
  }
  open_.clear();
  closed_.releaseAll(pool_);
  pool_.reset();  // the open nodes, and any dropped from a full open list, go back too
  order_ = 0;
}

void Planner::unloadMap() {
  cleanup();
  map_.reset();
  cellNode_.reset();
  pool_.allocate(0);
  open_.allocate(0);
  closed_ = NodeHashTable{};
  desc_ = Description{};
}

std::size_t Planner::getPathSize() const {
  std::size_t n = 0;
  // A chain can never be longer than the pool; the bound keeps a corrupt chain from looping.
  for (const Node* node = goal_; node && n <= pool_.capacity(); node = node->parent) ++n;
  return n;
}

std::size_t Planner::getMemorySize() const {
  if (!isLoaded()) return 0;
  const std::size_t cells = static_cast<std::size_t>(desc_.width) * static_cast<std::size_t>(desc_.height);
  return cells * (sizeof(float) + sizeof(std::uint32_t)) + pool_.capacity() * sizeof(Node) +
         open_.capacity() * sizeof(Node*) + closed_.bucketCount() * sizeof(Node*);
}

std::uint32_t Planner::nextOrder() {
  if (order_ >= orderLimit_) renumberOpen();
  return order_++;
}

void Planner::renumberOpen() {
  // Renumbering in key order keeps every comparison's outcome, and a sorted array is a heap.
  Node** heap = open_.data();
  const std::size_t n = open_.size();
  std::sort(heap, heap + n, before);
  for (std::size_t i = 0; i < n; ++i) {
    heap[i]->order = static_cast<std::uint32_t>(i);
    heap[i]->where = static_cast<std::int32_t>(i);
  }
  order_ = static_cast<std::uint32_t>(n);
}

void Planner::siftUp(Node** heap, std::size_t i) {
  Node* node = heap[i];
  while (i > 0) {
    const std::size_t parent = (i - 1) / 2;
    if (!before(node, heap[parent])) break;
    heap[i] = heap[parent];
    heap[i]->where = static_cast<std::int32_t>(i);
    i = parent;
  }
  heap[i] = node;
  node->where = static_cast<std::int32_t>(i);
}

void Planner::siftDown(Node** heap, std::size_t i, std::size_t n) {
  Node* node = heap[i];
  for (;;) {
    std::size_t child = 2 * i + 1;
    if (child >= n) break;
    if (child + 1 < n && before(heap[child + 1], heap[child])) ++child;
    if (!before(heap[child], node)) break;
    heap[i] = heap[child];
    heap[i]->where = static_cast<std::int32_t>(i);
    i = child;
  }
  heap[i] = node;
  node->where = static_cast<std::int32_t>(i);
}

bool Planner::openPush(Node* node) {
  if (open_.size() == open_.capacity()) {
    node->where = Node::kLoose;
    return false;
  }
  node->order = nextOrder();  // before the push: a renumbering must not see this node
  open_.pushBack(node);
  siftUp(open_.data(), open_.size() - 1);
  return true;
}

Node* Planner::openPop() {
  if (open_.isEmpty()) return nullptr;
  Node** heap = open_.data();
  Node* top = heap[0];
  const std::size_t n = open_.size() - 1;
  if (n > 0) {
    heap[0] = heap[n];
    siftDown(heap, 0, n);
  }
  open_.popBack();
  top->where = Node::kLoose;
  return top;
}

void Planner::openReorder(Node* node) {
  node->order = nextOrder();  // may renumber the heap, which moves no node out of order
  Node** heap = open_.data();
  const std::size_t i = static_cast<std::size_t>(node->where);
  siftUp(heap, i);
  siftDown(heap, static_cast<std::size_t>(node->where), open_.size());
}

}  // namespace TAVELOR::pathfinding
