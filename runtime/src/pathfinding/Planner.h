// The base of the grid planners: owns the cost map, the node pool, the open list and the
// closed set of one request.
//
// The open list is a 4-ary min-heap kept in a FixedDeque. Each entry carries its node's key,
// f and the order in which the node entered the list, so popping the smallest key expands
// the node of smallest f and, among equal f, the one that entered first. Each node's heap
// position and each cell's node are kept in flat arrays, so a whole search costs O(n log n).
// Each cell's record also holds the g of its node, so the common test of a neighbour (is the
// new way cheaper than the known one?) reads one record and not the node itself.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "pathfinding/FixedDeque.h"
#include "pathfinding/Node.h"
#include "pathfinding/NodeFactory.h"
#include "pathfinding/NodeHashTable.h"
#include "pathfinding/ZeroedArray.h"

namespace TAVELOR::pathfinding {

class Planner {
 public:
  // The request. Cell (x, y) of `cells` is at index x + width * y.
  struct Description {
    int startX = 0;
    int startY = 0;
    int goalX = 0;
    int goalY = 0;
    bool diagonalCost = false;    // diagonal steps cost the cell value times kDiagonalFactor
    bool allowDiagonals = false;  // the four diagonal neighbours are considered
    unsigned int poolSize = 0;      // 0: width x height
    unsigned int openCapacity = 0;  // 0: width x height
    unsigned int closedBits = 0;    // bucket count exponent of the closed set
    float weight = 0.0f;            // clamped to [0, 1] by createMap
    int width = 0;
    int height = 0;
    const double* cells = nullptr;
  };

  // One open-list entry: the node's entry order and f (as ordered bits), and its pool index.
  // Order comes first so that the two words read as one 64-bit key, f in the high half.
  struct OpenEntry {
    std::uint32_t order;
    std::uint32_t fKey;
    std::uint32_t node;
  };

  // The neighbours in visiting order; the diagonal ones are 0, 2, 5 and 7.
  static constexpr int kNeighbourX[8] = {-1, 0, 1, 1, -1, -1, 0, 1};
  static constexpr int kNeighbourY[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
  static constexpr unsigned kDiagonalMask = 0xA5u;

  // The float with bits 0x3FB504F4.
  static constexpr float kDiagonalFactor = 1.4142137f;
  // Largest map createMap accepts (width x height); larger requests fail before allocating.
  static constexpr std::int64_t kMaxCells = std::int64_t{1} << 24;
  // Cost map value of a blocked cell.
  static constexpr float kBlocked = -1.0f;

  Planner() = default;
  Planner(const Planner&) = delete;
  Planner& operator=(const Planner&) = delete;
  virtual ~Planner();

  // Loads a request. Fails, changing nothing, when the grid is empty or larger than kMaxCells,
  // `cells` is null, start or goal lie outside the grid, start equals goal, no cell is
  // passable, or the memory cannot be had. A cell value greater than 0 (and finite) is
  // passable and costs value / largest + 1, in (1, 2]; every other value blocks the cell.
  // Pool and open list hold poolSize and openCapacity nodes, 0 or more than the grid meaning
  // one per cell.
  bool createMap(const Description& description);
  // Starts a search (dropping the state of an earlier one).
  virtual void initialize();
  // Searches; returns true when the search has finished.
  virtual bool run() = 0;
  // Gives every node back to the pool and marks the planner done.
  virtual void cleanup();
  // Ends any search and frees the map and everything sized by it.
  void unloadMap();

  float getPathCost() const { return goal_ ? goal_->g : -1.0f; }
  // Nodes on the parent chain from the goal, both ends included; 0 without a goal.
  std::size_t getPathSize() const;
  std::size_t getOpenSize() const { return open_.size(); }
  // The open list's capacity (its buffer holds a few more entries as end markers).
  std::size_t getOpenCapacity() const { return openLimit_; }
  std::size_t getClosedSize() const { return closed_.size(); }
  const Node* getGoal() const { return goal_; }
  const float* getMap() const { return map_.get(); }
  const Description& getDescription() const { return desc_; }
  unsigned int getNumSlices() const { return slices_; }
  float getRunningTime() const { return runningTime_; }
  bool isDone() const { return done_; }
  bool isLoaded() const { return map_ != nullptr; }
  // Bytes reserved for the loaded map: cost map, cell index, pool, open list, heap positions
  // and closed set.
  std::size_t getMemorySize() const;

  // The entry counter that orders equal-f nodes is renumbered when it reaches this limit
  // (the largest 32-bit value unless lowered, which tests do to exercise the renumbering).
  void setEntryOrderLimit(std::uint32_t limit) { orderLimit_ = limit < 2 ? 2 : limit; }

 protected:
  static constexpr std::int32_t kNotOpen = -1;

  // Per cell: the pool index of its node plus one (0 for a cell without a node) and that
  // node's g, which is infinite while the node is in neither list (dropped from a full open
  // list), so that any way into the cell counts as cheaper.
  struct CellState {
    float g;
    std::uint32_t slot;
  };
  CellState& cellState(std::size_t cell) { return cells_[cell]; }
  // A fresh node from the pool for a cell without one; null when the pool is used up.
  Node* fetchForCell(std::size_t cell) {
    Node* node = pool_.fetch();
    if (node) {
      const std::size_t i = pool_.indexOf(node);
      cells_[cell].slot = static_cast<std::uint32_t>(i + 1);
      openPos_[i] = kNotOpen;
    }
    return node;
  }
  bool isOpen(std::size_t i) const { return openPos_[i] >= 0; }
  // Bit k set when neighbour k of the cell is inside the grid, passable and allowed.
  unsigned moves(std::size_t cell) const { return moves_[cell]; }

  // Open list operations on a node by its pool index. openPush gives the node the next entry
  // order; it fails, leaving the node in neither list (its cell's g infinite), when the list
  // is full. openReorder takes an open node whose f changed and gives it a new entry order, as
  // if it had been taken out and inserted again. openPop returns the pool index of the
  // smallest key. openPush and openPop run for every node the search reaches, so they are
  // defined inline below; the rarer paths stay in Planner.cpp.
  bool openPush(std::size_t i, float f);
  std::size_t openPop();
  void openReorder(std::size_t i, float f);

  bool done_ = true;
  NodeFactory pool_;
  Description desc_;
  std::unique_ptr<float[]> map_;
  unsigned int slices_ = 0;
  float runningTime_ = 0.0f;
  FixedDeque<OpenEntry> open_;
  NodeHashTable closed_;
  Node* goal_ = nullptr;

 private:
  static std::uint64_t key(const OpenEntry& e) { return (std::uint64_t{e.fKey} << 32) | e.order; }
  // The bits of a float as an unsigned number in the same order as the floats themselves.
  static std::uint32_t orderedBits(float f) {
    const std::uint32_t b = std::bit_cast<std::uint32_t>(f);
    return (b & 0x80000000u) ? ~b : (b | 0x80000000u);
  }
  // Heap arity, and the entry that fills the slots past the last one, so that a parent always
  // has kArity children to compare without testing which of them exist.
  static constexpr std::size_t kArity = 4;
  static constexpr OpenEntry kSentinel{UINT32_MAX, UINT32_MAX, UINT32_MAX};

  // Places `entry` at position i or above it.
  void siftUp(OpenEntry* heap, std::size_t i, OpenEntry entry);
  void siftDown(OpenEntry* heap, std::size_t i, std::size_t n);
  // The full open list refuses node i: it is left in neither list.
  void dropFromOpen(std::size_t i);
  std::uint32_t nextOrder() {
    if (order_ >= orderLimit_) renumberOpen();
    return order_++;
  }
  void renumberOpen();
  void dropSearch();

  ZeroedArray<CellState> cells_;             // each cell's node and its g
  std::unique_ptr<std::int32_t[]> openPos_;  // heap position of each pool node, or kNotOpen
  std::unique_ptr<std::uint8_t[]> moves_;    // per cell: the neighbours that can be entered
  std::size_t openLimit_ = 0;
  std::uint32_t order_ = 0;
  std::uint32_t orderLimit_ = UINT32_MAX;
};

inline void Planner::siftUp(OpenEntry* heap, std::size_t i, OpenEntry entry) {
  const std::uint64_t k = key(entry);
  while (i > 0) {
    const std::size_t parent = (i - 1) / kArity;
    if (k >= key(heap[parent])) break;
    heap[i] = heap[parent];
    openPos_[heap[i].node] = static_cast<std::int32_t>(i);
    i = parent;
  }
  heap[i] = entry;
  openPos_[entry.node] = static_cast<std::int32_t>(i);
}

inline bool Planner::openPush(std::size_t i, float f) {
  const std::size_t n = open_.size();
  if (n == openLimit_) {
    dropFromOpen(i);
    return false;
  }
  const std::uint32_t order = nextOrder();  // before the push: a renumbering must not see it
  const OpenEntry entry{.order = order, .fKey = orderedBits(f), .node = static_cast<std::uint32_t>(i)};
  open_.pushBack(entry);
  OpenEntry* heap = open_.data();
  heap[n + kArity] = kSentinel;  // the buffer holds openLimit_ + kArity entries
  siftUp(heap, n, entry);
  return true;
}

inline std::size_t Planner::openPop() {
  OpenEntry* heap = open_.data();
  const std::size_t top = heap[0].node;
  const std::size_t n = open_.size() - 1;
  if (n > 0) {
    heap[0] = heap[n];
    heap[n] = kSentinel;
    siftDown(heap, 0, n);
  } else {
    heap[0] = kSentinel;
  }
  open_.popBack();
  openPos_[top] = kNotOpen;
  return top;
}

}  // namespace TAVELOR::pathfinding
