// The base of the grid planners: owns the cost map, the node pool, the open list and the
// closed set of one request.
//
// The open list is a binary min-heap keyed by (f, entry order) kept in a FixedDeque, with each
// node's heap position stored in the node. Popping the smallest key expands the node of
// smallest f and, among equal f, the one that entered the list first. A per-cell index finds
// the node of a cell in O(1), so a whole search costs O(n log n).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "pathfinding/FixedDeque.h"
#include "pathfinding/Node.h"
#include "pathfinding/NodeFactory.h"
#include "pathfinding/NodeHashTable.h"

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
  std::size_t getClosedSize() const { return closed_.size(); }
  const Node* getGoal() const { return goal_; }
  const float* getMap() const { return map_.get(); }
  const Description& getDescription() const { return desc_; }
  unsigned int getNumSlices() const { return slices_; }
  float getRunningTime() const { return runningTime_; }
  bool isDone() const { return done_; }
  bool isLoaded() const { return map_ != nullptr; }
  // Bytes held for the loaded map: cost map, cell index, pool, open list and closed set.
  std::size_t getMemorySize() const;

  // The entry counter that orders equal-f nodes is renumbered when it reaches this limit
  // (the largest 32-bit value unless lowered, which tests do to exercise the renumbering).
  void setEntryOrderLimit(std::uint32_t limit) { orderLimit_ = limit < 2 ? 2 : limit; }

 protected:
  static constexpr std::uint32_t kNoNode = UINT32_MAX;

  // The node of a cell (open, closed or loose), or null.
  Node* nodeOfCell(std::size_t cell) const {
    const std::uint32_t i = cellNode_[cell];
    return i == kNoNode ? nullptr : pool_.at(i);
  }
  // A fresh node from the pool for a cell without one; null when the pool is used up.
  Node* fetchForCell(std::size_t cell) {
    Node* node = pool_.fetch();
    if (node) cellNode_[cell] = static_cast<std::uint32_t>(pool_.indexOf(node));
    return node;
  }

  // Open list operations. openPush gives the node the next entry order; it fails, leaving the
  // node loose, when the list is full. openReorder takes an open node whose f changed and
  // gives it a new entry order, as if it had been taken out and inserted again.
  bool openPush(Node* node);
  Node* openPop();
  void openReorder(Node* node);

  bool done_ = true;
  NodeFactory pool_;
  Description desc_;
  std::unique_ptr<float[]> map_;
  unsigned int slices_ = 0;
  float runningTime_ = 0.0f;
  FixedDeque<Node*> open_;
  NodeHashTable closed_;
  Node* goal_ = nullptr;

 private:
  static bool before(const Node* a, const Node* b) {
    return a->f < b->f || (a->f == b->f && a->order < b->order);
  }
  void siftUp(Node** heap, std::size_t i);
  void siftDown(Node** heap, std::size_t i, std::size_t n);
  std::uint32_t nextOrder();
  void renumberOpen();
  void dropSearch();

  std::unique_ptr<std::uint32_t[]> cellNode_;  // pool index of each cell's node, or kNoNode
  std::uint32_t order_ = 0;
  std::uint32_t orderLimit_ = UINT32_MAX;
};

}  // namespace TAVELOR::pathfinding
