// Batched reads and writes and the wait on many sockets, checked against what was sent
// datagram by datagram. Loopback only.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "NetTestSupport.h"
#include "net/nl/nlWait.h"

using nettest::Connected;
using nettest::Loopback;
using nettest::WaitFor;

namespace {

class NlBatch : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(nlInit());
    ASSERT_TRUE(nlSelectNetwork(NL_IP));
  }
  void TearDown() override { nlShutdown(); }

  // A connected pair: *client and the server side's *conn.
  static void Pair(NLsocket* client, NLsocket* conn) {
    NLsocket server = nlOpen(0, NL_UNRELIABLE);
    nlListen(server);
    NLaddress a;
    nlGetLocalAddr(server, &a);
    *client = nlOpen(0, NL_UNRELIABLE);
    NLaddress to = Loopback(nlGetPortFromAddr(&a));
    ASSERT_TRUE(nlConnect(*client, &to));
    ASSERT_TRUE(WaitFor([&] { return (*conn = nlAcceptConnection(server)) != NL_INVALID; }, 3000));
    ASSERT_TRUE(Connected(*client));
    nlClose(server);
    // Takes the empty datagrams of the handshake and of Connected off the connection.
    NLint group = nlGroupCreate();
    nlGroupAddSocket(group, *conn);
    NLsocket ready[1];
    unsigned char none[4];
    for (int wait = 3000; nlPollGroup(group, NL_READ_STATUS, ready, 1, wait) == 1; wait = 50) {
      ASSERT_EQ(nlRead(*conn, none, 4), 0);
    }
    nlGroupDestroy(group);
  }

  // Datagram i of a case: its length, filled with a pattern that names it.
  static std::string Payload(int i, int length) {
    std::string s(static_cast<std::size_t>(length), '\0');
    for (int k = 0; k < length; ++k) s[static_cast<std::size_t>(k)] = static_cast<char>(i * 31 + k);
    return s;
  }
};

}  // namespace

// Each case writes its datagrams with nlWriteMany and reads them back with nlReadMany in
// batches of a given size; what arrives must be exactly what nlWrite would have sent one by
// one, in order, and a datagram too large must stop the batch before it with nlWrite's error.
TEST_F(NlBatch, BatchesCarryTheSameDatagramsInOrder) {
  struct Case {
    std::vector<int> lengths;
    int readBatch;
    int accepted;  // how many datagrams go out before one too large (all when none is)
  };
  const std::vector<int> many(70, 64);  // more than one call's batch
  const Case cases[] = {
      {{1}, 1, 1},
      {{0, 17, 2065, 3}, 3, 4},
      {many, 64, 70},
      {many, 5, 70},
      {{NL_MAX_PACKET_LENGTH}, 2, 1},
      {{5, NL_MAX_PACKET_LENGTH + 1, 7}, 4, 1},
      {{NL_MAX_PACKET_LENGTH + 1}, 1, 0},
  };
  NLsocket client = NL_INVALID, conn = NL_INVALID;
  Pair(&client, &conn);
  std::vector<unsigned char> in(64 * static_cast<std::size_t>(NL_MAX_PACKET_LENGTH + 1));
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.lengths.size() << " datagrams, reads of " << c.readBatch);
    std::vector<std::string> sent;
    for (int i = 0; i < static_cast<int>(c.lengths.size()); ++i) sent.push_back(Payload(i, c.lengths[static_cast<std::size_t>(i)]));
    std::vector<NLdatagram> out(sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
      out[i].data = sent[i].data();
      out[i].length = static_cast<NLint>(sent[i].size());
    }
    // Write as a caller would: again from where the last call stopped.
    int written = 0;
    while (written < c.accepted) {
      const NLint n = nlWriteMany(client, out.data() + written, static_cast<NLint>(out.size()) - written);
      ASSERT_GT(n, 0);
      written += n;
    }
    EXPECT_EQ(written, c.accepted);
    if (written < static_cast<int>(out.size())) {
      EXPECT_EQ(nlWriteMany(client, out.data() + written, static_cast<NLint>(out.size()) - written), NL_INVALID);
      EXPECT_EQ(nlGetError(), NL_PACKET_SIZE);
    }
    std::vector<std::string> got;
    std::vector<NLdatagram> batch(static_cast<std::size_t>(c.readBatch));
    for (std::size_t i = 0; i < batch.size(); ++i) {
      batch[i].data = in.data() + i * static_cast<std::size_t>(NL_MAX_PACKET_LENGTH + 1);
      batch[i].size = NL_MAX_PACKET_LENGTH + 1;
    }
    WaitFor([&] {
      const NLint n = nlReadMany(conn, batch.data(), c.readBatch);
      EXPECT_GE(n, 0);
      EXPECT_LE(n, c.readBatch);
      for (NLint i = 0; i < n; ++i) {
        got.emplace_back(static_cast<const char*>(batch[static_cast<std::size_t>(i)].data),
                         static_cast<std::size_t>(batch[static_cast<std::size_t>(i)].length));
      }
      return got.size() >= static_cast<std::size_t>(c.accepted);
    }, 3000);
    sent.resize(static_cast<std::size_t>(c.accepted));
    EXPECT_EQ(got, sent);
  }
  // Errors are nlRead's and nlWrite's.
  NLdatagram d;
  char byte = 0;
  d.data = &byte;
  d.size = 1;
  d.length = 1;
  EXPECT_EQ(nlReadMany(424242, &d, 1), NL_INVALID);
  EXPECT_EQ(nlGetError(), NL_INVALID_SOCKET);
  EXPECT_EQ(nlWriteMany(424242, &d, 1), NL_INVALID);
  EXPECT_EQ(nlGetError(), NL_INVALID_SOCKET);
  EXPECT_EQ(nlReadMany(conn, nullptr, 1), NL_INVALID);
  EXPECT_EQ(nlGetError(), NL_NULL_POINTER);
  EXPECT_EQ(nlWriteMany(client, nullptr, 1), NL_INVALID);
  EXPECT_EQ(nlGetError(), NL_NULL_POINTER);
  EXPECT_EQ(nlReadMany(conn, &d, 1), 0);  // nothing waits
  ASSERT_EQ(nlWrite(client, "x", 1), 1);
  EXPECT_EQ(nlWriteMany(client, &d, 0), 0);
  EXPECT_EQ(nlReadMany(conn, &d, 0), 0);
  EXPECT_TRUE(WaitFor([&] { return nlReadMany(conn, &d, 1) == 1; }, 3000));  // the one written above
}

// The wait reports exactly the sockets that have something to read, whichever they are,
// and another thread's wake-up ends it at once.
TEST_F(NlBatch, WaiterReportsReadableSocketsAndWakesUp) {
  NLwaiter waiter;
  ASSERT_TRUE(waiter.Valid());
  NLsocket clients[3], conns[3];
  for (int i = 0; i < 3; ++i) Pair(&clients[i], &conns[i]);
  for (NLsocket s : conns) ASSERT_TRUE(waiter.Add(s));
  EXPECT_FALSE(waiter.Add(424242));
  const std::vector<std::vector<int>> subsets = {{}, {1}, {0, 2}, {2, 1, 0}};
  unsigned char buf[64];
  for (const auto& subset : subsets) {
    for (int i : subset) ASSERT_EQ(nlWrite(clients[i], "x", 1), 1);
    std::set<NLsocket> expected, seen;
    for (int i : subset) expected.insert(conns[i]);
    WaitFor([&] {
      NLsocket ready[4];
      const NLint n = waiter.Wait(ready, 4, 0);
      EXPECT_GE(n, 0);
      seen.insert(ready, ready + std::max<NLint>(n, 0));
      return seen.size() >= expected.size();
    }, expected.empty() ? 30 : 3000);
    EXPECT_EQ(seen, expected);
    for (int i : subset) EXPECT_EQ(nlRead(conns[i], buf, sizeof buf), 1);
  }
  // A removed socket is no longer reported.
  waiter.Remove(conns[1]);
  ASSERT_EQ(nlWrite(clients[1], "x", 1), 1);
  NLsocket ready[4];
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(waiter.Wait(ready, 4, 0), 0);

  // Without anything to read the wait lasts its time.
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(waiter.Wait(ready, 4, 200), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(190));

  start = std::chrono::steady_clock::now();
  std::thread waker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    waiter.Wake();
  });
  EXPECT_EQ(waiter.Wait(ready, 4, 20000), 0);
  waker.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}
