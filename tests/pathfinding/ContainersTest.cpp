// The planner's building blocks: ring buffer, node pool, closed-set table and its iterator.
#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "pathfinding/FixedDeque.h"
#include "pathfinding/NodeFactory.h"
#include "pathfinding/NodeHashTable.h"

using namespace TAVELOR::pathfinding;

namespace {

std::vector<int> contents(const FixedDeque<int>& d) {
  std::vector<int> v;
  for (std::size_t i = 0; i < d.size(); ++i) v.push_back(d[i]);
  return v;
}

}  // namespace

TEST(FixedDeque, KeepsOrderThroughMiddleEditsAndRefusesBeyondCapacity) {
  FixedDeque<int> d;
  ASSERT_TRUE(d.allocate(5));
  EXPECT_FALSE(d.popBack());
  EXPECT_FALSE(d.remove(0));
  for (int i = 0; i < 5; ++i) d.pushBack(i);
  EXPECT_FALSE(d.pushBack(5));
  EXPECT_FALSE(d.insert(2, 5));
  d.popFront();
  d.popFront();
  EXPECT_FALSE(d.insert(4, 9)) << "position past the end";
  d.pushBack(5);
  d.pushBack(6);  // the ring now wraps: 2 3 4 | 5 6
  EXPECT_TRUE(d.remove(3));
  EXPECT_FALSE(d.remove(4));
  EXPECT_TRUE(d.insert(0, 1));
  EXPECT_EQ(contents(d), (std::vector<int>{1, 2, 3, 4, 6}));
  const int* p = d.data();
  EXPECT_EQ(std::vector<int>(p, p + 5), (std::vector<int>{1, 2, 3, 4, 6}));
  EXPECT_TRUE(d.popBack());
  EXPECT_EQ(d.back(), 4);
}

TEST(NodeFactory, HandsOutEachNodeOnceAndReusesReleasedOnes) {
  NodeFactory pool;
  ASSERT_TRUE(pool.allocate(3));
  std::set<Node*> seen;
  for (int i = 0; i < 3; ++i) {
    Node* n = pool.fetch();
    ASSERT_NE(n, nullptr);
    EXPECT_TRUE(seen.insert(n).second);
    n->g = 7.0f;
  }
  EXPECT_EQ(pool.fetch(), nullptr);
  Node* back = *seen.begin();
  pool.release(back);
  pool.release(back);  // a second release of the same node must not count twice
  Node foreign;
  pool.release(&foreign);
  EXPECT_EQ(pool.used(), 2u);
  Node* again = pool.fetch();
  EXPECT_EQ(again, back);
  EXPECT_EQ(again->g, 0.0f) << "fetched nodes are reset";
  EXPECT_EQ(pool.fetch(), nullptr) << "a released-then-fetched node is in use again";
  pool.reset();
  EXPECT_NE(pool.fetch(), nullptr);
}

TEST(NodeHashTable, BitsFollowTheHashRule) {
  NodeFactory pool;
  ASSERT_TRUE(pool.allocate(4));
  NodeHashTable t;
  ASSERT_TRUE(t.create(8, pool));
  EXPECT_EQ(t.hash(3, 5), t.hash(3 + 16, 5));
  EXPECT_EQ(t.hash(3, 5), 3u | (5u << 4));
  ASSERT_TRUE(t.create(7, pool));
  EXPECT_EQ(t.bits(), 6u);
  ASSERT_TRUE(t.create(31, pool));
  EXPECT_EQ(t.bits(), 24u);
  ASSERT_TRUE(t.create(0, pool));
  EXPECT_EQ(t.hash(-7, 123), 0u);
}

TEST(NodeHashTable, SetOperationsAndIterationStayConsistent) {
  NodeFactory pool;
  ASSERT_TRUE(pool.allocate(64));
  NodeHashTable t;
  ASSERT_TRUE(t.create(2, pool));  // 4 buckets: long chains
  std::vector<Node*> nodes;
  for (int i = 0; i < 40; ++i) {
    Node* n = pool.fetch();
    n->x = i % 8;
    n->y = i / 8;
    nodes.push_back(n);
    t.add(n);
  }
  t.add(nodes[5]);  // already closed: no change
  // Taken out and closed again: once in the set, once in its chain.
  t.erase(nodes[7]);
  t.erase(nodes[7]);
  EXPECT_EQ(t.size(), 39u);
  NodeHashIterator it(t);
  EXPECT_EQ(it.find(7, 0), nullptr) << "an erased node is not found";
  t.add(nodes[7]);
  EXPECT_EQ(it.find(7, 0), nodes[7]);
  std::multiset<Node*> visited;
  for (Node* n = it.begin(); n; n = it.next()) visited.insert(n);
  EXPECT_EQ(std::set<Node*>(visited.begin(), visited.end()).size(), 40u);
  EXPECT_EQ(visited.size(), 40u);

  // Removing while iterating visits every other node exactly once.
  ASSERT_NE(it.find(2, 1), nullptr);
  EXPECT_TRUE(it.remove());
  EXPECT_FALSE(it.remove()) << "nothing remembered after a remove";
  std::size_t count = 0;
  for (Node* n = it.begin(); n; n = it.next()) {
    ++count;
    if (n->x == 0) {
      EXPECT_TRUE(it.remove());
    }
  }
  EXPECT_EQ(count, 39u);
  EXPECT_EQ(t.size(), 39u - 5u);  // rows 0..4 each had x == 0
  for (Node* n = it.begin(); n; n = it.next()) EXPECT_NE(n->x, 0);

  t.releaseAll(pool);
  EXPECT_EQ(t.size(), 0u);
  EXPECT_EQ(it.begin(), nullptr);
  EXPECT_EQ(pool.used(), 6u) << "only the closed nodes went back, not the removed ones";
}
