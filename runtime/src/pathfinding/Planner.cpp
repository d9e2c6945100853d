#include "pathfinding/Planner.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace TAVELOR::pathfinding {

namespace {

// Infinite values block like NaN does: scaling by an infinite largest value is meaningless.
// Both tests are always made (no branch): blocked cells are scattered at random.
bool passable(double v) { return (v > 0.0) & (v <= 1.7976931348623157e308); }

// All bits set when the cell is passable, else none: the per-cell loops below choose between
// two values with this mask, because the compiler keeps a branch for a floating-point choice.
std::uint64_t passableMask(double v) { return std::uint64_t{0} - std::uint64_t{passable(v)}; }

// The bits of v when passable, else 0 (the bits of 0.0).
std::uint64_t passableBits(double v) { return std::bit_cast<std::uint64_t>(v) & passableMask(v); }

// The largest passable value, or 0 when no cell is passable. Positive finite doubles order
// like their bit patterns, so the maximum is taken over integers.
double LargestPassable(const double* cells, std::size_t n) {
  std::uint64_t largest = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint64_t bits = passableBits(cells[i]);
    largest = bits > largest ? bits : largest;
  }
  return std::bit_cast<double>(largest);
}

// Bit k of each cell's entry: neighbour k (in the order of kNeighbourX/Y) lies inside the grid
// and can be entered; diagonal bits only when diagonals are allowed. A neighbour outside the
// grid is read as the cell itself and its bit masked off afterwards, so the inner loop tests
// no edges.
void FillMoves(const float* map, int width, int height, bool diagonals, std::uint8_t* moves) {
  const std::size_t w = static_cast<std::size_t>(width);
  auto open = [](float cost) { return cost >= 0.0f ? 1u : 0u; };
  for (int y = 0; y < height; ++y) {
    const float* row = map + w * static_cast<std::size_t>(y);
    const float* up = y > 0 ? row - w : row;
    const float* down = y + 1 < height ? row + w : row;
    const unsigned rowMask = (y > 0 ? 0xFFu : 0xF8u) & (y + 1 < height ? 0xFFu : 0x1Fu);
    std::uint8_t* out = moves + w * static_cast<std::size_t>(y);
    auto bitsAt = [&](std::size_t x, std::size_t left, std::size_t right, unsigned mask) {
      unsigned bits = open(up[x]) << 1 | open(row[right]) << 3 | open(row[left]) << 4 | open(down[x]) << 6;
      if (diagonals)
        bits |= open(up[left]) | open(up[right]) << 2 | open(down[left]) << 5 | open(down[right]) << 7;
      return static_cast<std::uint8_t>(bits & mask);
    };
    if (w == 1) {
      out[0] = bitsAt(0, 0, 0, rowMask & 0x42u);
      continue;
    }
    out[0] = bitsAt(0, 0, 1, rowMask & ~0x31u);
    for (std::size_t x = 1; x + 1 < w; ++x) out[x] = bitsAt(x, x - 1, x + 1, rowMask);
    out[w - 1] = bitsAt(w - 1, w - 2, w - 1, rowMask & ~0x8Cu);
  }
}

// The cost of entering each cell: value / largest + 1 when passable, else kBlocked. The
// quotient is computed for every cell and then chosen by the mask; a blocked cell's is first
// raised to at least 0, since a large negative one would not fit a float. With `refill`, `map`
// holds the costs of a grid of the same size, and the result tells whether any cell was
// blocked before and is passable now or the reverse; without, it is true.
bool FillMap(const Planner::Description& d, double largest, float* map, bool refill) {
  const std::size_t cells = static_cast<std::size_t>(d.width) * static_cast<std::size_t>(d.height);
  const std::uint32_t blocked = std::bit_cast<std::uint32_t>(Planner::kBlocked);
  std::uint32_t changed = refill ? 0 : 1;
  for (std::size_t i = 0; i < cells; ++i) {
    const double v = d.cells[i];
    const double quotient = v / largest + 1.0;
    const std::uint32_t scaled = std::bit_cast<std::uint32_t>(static_cast<float>(quotient > 0.0 ? quotient : 0.0));
    const std::uint32_t keep = static_cast<std::uint32_t>(passableMask(v));
    // A cost's sign bit is set exactly when the cell is blocked.
    if (refill) changed |= (std::bit_cast<std::uint32_t>(map[i]) >> 31) == (keep & 1u);
    map[i] = std::bit_cast<float>((scaled & keep) | (blocked & ~keep));
  }
  return changed != 0;
}

}  // namespace

Planner::~Planner() = default;

bool Planner::createMap(const Description& d) {
  if (d.width <= 0 || d.height <= 0 || d.cells == nullptr) return false;
  const std::int64_t cells64 = std::int64_t{d.width} * d.height;
  if (cells64 > kMaxCells) return false;
  if (d.startX < 0 || d.startX >= d.width || d.startY < 0 || d.startY >= d.height) return false;
  if (d.goalX < 0 || d.goalX >= d.width || d.goalY < 0 || d.goalY >= d.height) return false;
  if (d.startX == d.goalX && d.startY == d.goalY) return false;

  const std::size_t cells = static_cast<std::size_t>(cells64);
  const double largest = LargestPassable(d.cells, cells);
  if (largest == 0.0) return false;

  const std::size_t poolSize = d.poolSize == 0 ? cells : std::min<std::size_t>(d.poolSize, cells);
  const std::size_t openSize = d.openCapacity == 0 ? cells : std::min<std::size_t>(d.openCapacity, cells);
  const unsigned closedBits = std::min(d.closedBits, NodeHashTable::kMaxBits) & ~1u;
  const std::size_t loadedCells = static_cast<std::size_t>(desc_.width) * static_cast<std::size_t>(desc_.height);
  if (map_ && loadedCells == cells && pool_.capacity() == poolSize && openLimit_ == openSize &&
      closed_.bucketCount() > 0 && closed_.bits() == closedBits) {
    // The same sizes as the loaded map: its storage is taken over, already touched, and only
    // the earlier search's traces are cleared. Nothing here can fail.
    dropSearch();
    // The neighbour masks depend on the shape, the diagonals and which cells are blocked: a
    // map that differs only in the costs keeps them.
    const bool blockingChanged = FillMap(d, largest, map_.get(), true);
    if (blockingChanged || d.width != desc_.width || d.allowDiagonals != desc_.allowDiagonals)
      FillMoves(map_.get(), d.width, d.height, d.allowDiagonals, moves_.get());
  } else {
    // Build everything aside so a failure leaves the planner as it was.
    std::unique_ptr<float[]> map(new (std::nothrow) float[cells]);
    ZeroedArray<CellState> cellStates = MakeZeroedArray<CellState>(cells);
    std::unique_ptr<std::int32_t[]> openPos(new (std::nothrow) std::int32_t[poolSize]);
    std::unique_ptr<std::uint8_t[]> moves(new (std::nothrow) std::uint8_t[cells]);
    NodeFactory pool;
    FixedDeque<OpenEntry> open;
    NodeHashTable closed;
    if (!map || !cellStates || !openPos || !moves || !pool.allocate(poolSize) || !open.allocate(openSize + kArity) ||
        !closed.create(d.closedBits, pool))
      return false;
    FillMap(d, largest, map.get(), false);
    FillMoves(map.get(), d.width, d.height, d.allowDiagonals, moves.get());
    map_ = std::move(map);
    cells_ = std::move(cellStates);
    openPos_ = std::move(openPos);
    moves_ = std::move(moves);
    pool_ = std::move(pool);
    open_ = std::move(open);
    openLimit_ = openSize;
    closed_ = std::move(closed);
  }
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
  if (pool_.used() > 0) {
    const std::size_t cells = static_cast<std::size_t>(desc_.width) * static_cast<std::size_t>(desc_.height);
    std::memset(cells_.get(), 0, cells * sizeof(CellState));
    closed_.clear();
    pool_.reset();  // the open and closed nodes, and any dropped from a full open list
  }
  open_.clear();
  std::fill_n(open_.data(), std::min(kArity, open_.capacity()), kSentinel);
  order_ = 0;
}

void Planner::unloadMap() {
  open_.allocate(0);
  closed_ = NodeHashTable{};
  pool_.allocate(0);
  openLimit_ = 0;
  openPos_.reset();
  moves_.reset();
  cells_.reset();
  map_.reset();
  desc_ = Description{};
  goal_ = nullptr;
  done_ = true;
  order_ = 0;
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
  return cells * (sizeof(float) + sizeof(CellState) + sizeof(std::uint8_t)) +
         pool_.capacity() * (sizeof(Node) + sizeof(std::int32_t)) + open_.capacity() * sizeof(OpenEntry) +
         closed_.memorySize();
}

void Planner::renumberOpen() {
  // Renumbering in key order keeps every comparison's outcome, and a sorted array is a heap.
  OpenEntry* heap = open_.data();
  const std::size_t n = open_.size();
  std::sort(heap, heap + n, [](const OpenEntry& a, const OpenEntry& b) { return key(a) < key(b); });
  for (std::size_t i = 0; i < n; ++i) {
    heap[i].order = static_cast<std::uint32_t>(i);
    openPos_[heap[i].node] = static_cast<std::int32_t>(i);
  }
  order_ = static_cast<std::uint32_t>(n);
}

void Planner::siftDown(OpenEntry* heap, std::size_t i, std::size_t n) {
  const OpenEntry entry = heap[i];
  const std::uint64_t k = key(entry);
  for (;;) {
    const std::size_t first = kArity * i + 1;
    if (first >= n) break;
    // The smallest of the children, chosen without branches (missing ones are sentinels).
    std::size_t best = first;
    std::uint64_t bestKey = key(heap[first]);
    for (std::size_t c = first + 1; c < first + kArity; ++c) {
      const std::uint64_t ck = key(heap[c]);
      const bool smaller = ck < bestKey;
      bestKey = smaller ? ck : bestKey;
      best = smaller ? c : best;
    }
    if (bestKey >= k) break;
    heap[i] = heap[best];
    openPos_[heap[i].node] = static_cast<std::int32_t>(i);
    i = best;
  }
  heap[i] = entry;
  openPos_[entry.node] = static_cast<std::int32_t>(i);
}

void Planner::dropFromOpen(std::size_t i) {
  openPos_[i] = kNotOpen;
  const Node* node = pool_.at(i);
  const std::size_t cell = static_cast<std::size_t>(node->x) + static_cast<std::size_t>(desc_.width) * static_cast<std::size_t>(node->y);
  cells_[cell].g = std::numeric_limits<float>::infinity();
}

void Planner::openReorder(std::size_t i, float f) {
  const std::uint32_t order = nextOrder();  // may renumber, which moves no entry out of order
  OpenEntry* heap = open_.data();
  const std::size_t pos = static_cast<std::size_t>(openPos_[i]);
  const std::uint64_t old = key(heap[pos]);
  heap[pos].fKey = orderedBits(f);
  heap[pos].order = order;
  if (key(heap[pos]) < old)
    siftUp(heap, pos, heap[pos]);
  else
    siftDown(heap, pos, open_.size());
}

}  // namespace TAVELOR::pathfinding
