// The planner's building blocks: ring buffer, node pool, closed-set table and its iterator.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "pathfinding/FixedDeque.h"
#include "pathfinding/NodeFactory.h"
#include "pathfinding/NodeHashTable.h"

using namespace TAVELOR::pathfinding;

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
  std::vector<int> got;
  for (std::size_t i = 0; i < d.size(); ++i) got.push_back(d[i]);
  EXPECT_EQ(got, (std::vector<int>{1, 2, 3, 4, 6}));
  EXPECT_EQ(std::vector<int>(d.data(), d.data() + 5), got);
  EXPECT_TRUE(d.popBack());
  EXPECT_EQ(d.back(), 4);
}

TEST(NodeFactory, HandsOutEachNodeOnceAndReusesReleasedOnes) {
  NodeFactory pool;
  EXPECT_FALSE(pool.allocate(SIZE_MAX / sizeof(Node) + 1)) << "the byte count would overflow";
  ASSERT_TRUE(pool.allocate(3));
  std::set<Node*> seen;
  for (int i = 0; i < 3; ++i) {
    Node* n = pool.fetch();
    ASSERT_TRUE(n && seen.insert(n).second);
    n->g = 7.0f;
  }
  EXPECT_EQ(pool.fetch(), nullptr);
  Node* back = *seen.begin();
  Node foreign;
  for (Node* n : {back, back, &foreign}) pool.release(n);  // a second release must not count twice
  EXPECT_EQ(pool.used(), 2u);
  Node* again = pool.fetch();
  EXPECT_EQ(again, back);
  EXPECT_EQ(again->g, 0.0f) << "fetched nodes are reset";
  EXPECT_EQ(pool.fetch(), nullptr) << "a released-then-fetched node is in use again";
  pool.reset();
  EXPECT_NE(pool.fetch(), nullptr);
}

TEST(NodeHashTable, HashBitsSetOperationsAndIterationStayConsistent) {
  NodeFactory pool;
  ASSERT_TRUE(pool.allocate(64));
  NodeHashTable t;
  ASSERT_TRUE(t.create(8, pool));
  EXPECT_EQ(t.hash(3, 5), t.hash(3 + 16, 5));
  EXPECT_EQ(t.hash(3, 5), 3u | (5u << 4));
  for (auto [asked, bits] : {std::pair{7u, 6u}, {31u, 24u}, {0u, 0u}}) {
    ASSERT_TRUE(t.create(asked, pool));
    EXPECT_EQ(t.bits(), bits);
  }
  EXPECT_EQ(t.hash(-7, 123), 0u);
  ASSERT_TRUE(t.create(2, pool));  // 4 buckets: long chains
  std::vector<Node*> nodes;
  for (int i = 0; i < 40; ++i) {
    nodes.push_back(pool.fetch());
    nodes.back()->x = i % 8;
    nodes.back()->y = i / 8;
    t.add(nodes.back());
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
  EXPECT_EQ(visited, std::multiset<Node*>(nodes.begin(), nodes.end()));

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
