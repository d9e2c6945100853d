// The socket layer on its own: handshake bytes and connection emulation against peers built
// from plain sockets, batched calls against single datagrams, errors, groups, waits and
// threads. Loopback only.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "NetTestSupport.h"
#include "net/nl/nlWait.h"

using namespace nettest;

namespace {

const char kRequest[] = "HawkNL request connection.", kReply[] = "HawkNL connection OK.";

class NlLayer : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(nlInit() && nlSelectNetwork(NL_IP)); }
  void TearDown() override { nlShutdown(); }
};

// One datagram, waiting up to 3 seconds; its length or -1.
int ReadOne(NLsocket s, void* buf, int size) {
  int n = 0;
  WaitFor([&] { return (n = nlRead(s, buf, size)) != 0; }, 3000);
  return n;
}

// Reads the empty datagrams that arrive on s, the first within 3 s and each next within 50 ms,
// and returns their count. (A read gives 0 both for nothing and for an empty datagram, so
// readiness is polled first.)
int TakeEmpty(NLsocket s) {
  NLint group = nlGroupCreate();
  nlGroupAddSocket(group, s);
  NLsocket ready[1];
  int n = 0;
  for (int wait = 3000; nlPollGroup(group, NL_READ_STATUS, ready, 1, wait) == 1; wait = 50, ++n) EXPECT_EQ(nlRead(s, &wait, 4), 0);
  nlGroupDestroy(group);
  return n;
}

// A connected pair: *client and the server side's *conn, the handshake's datagrams taken off.
void Pair(NLsocket* client, NLsocket* conn) {
  NLsocket server = nlOpen(0, NL_UNRELIABLE);
  nlListen(server);
  *client = nlOpen(0, NL_UNRELIABLE);
  NLaddress to = Loopback(Port(server));
  ASSERT_TRUE(nlConnect(*client, &to));
  ASSERT_TRUE(WaitFor([&] { return (*conn = nlAcceptConnection(server)) != NL_INVALID; }, 3000));
  ASSERT_TRUE(Connected(*client));
  nlClose(server);
  TakeEmpty(*conn);
}

}  // namespace

TEST_F(NlLayer, ErrorsAreKeptPerThreadAndTheLayerIsCounted) {
  EXPECT_STREQ(nlGetErrorStr(-7), "Undefined HawkNL error.");
  Failed(!nlClose(987654), NL_INVALID_SOCKET);
  // A success leaves the error alone; another thread has its own.
  NLsocket s = nlOpen(0, NL_UNRELIABLE);
  ASSERT_NE(s, NL_INVALID);
  EXPECT_EQ(nlGetError(), NL_INVALID_SOCKET);
  NLenum other = -1;
  std::thread([&] { other = nlGetError(); }).join();
  EXPECT_EQ(other, NL_NO_ERROR);
  Failed(nlOpen(0, NL_RELIABLE) == NL_INVALID, NL_INVALID_ENUM);
  Failed(nlOpen(static_cast<NLushort>(Port(s)), NL_UNRELIABLE) == NL_INVALID, NL_SYSTEM_ERROR);  // port taken
  EXPECT_NE(nlGetSystemError(), 0);
  Failed(!nlSelectNetwork(0x0005), NL_INVALID_TYPE);
  char big[NL_MAX_PACKET_LENGTH + 1] = {};
  Failed(nlWrite(s, big, sizeof(big)) == NL_INVALID, NL_PACKET_SIZE);
  Failed(nlRead(s, nullptr, 10) == NL_INVALID, NL_NULL_POINTER);
  Failed(nlAcceptConnection(s) == NL_INVALID, NL_NOT_LISTEN);
  // Two starts need two shutdowns, and the last shutdown closes what is still open.
  nlInit();
  nlShutdown();
  EXPECT_NE(nlOpen(0, NL_UNRELIABLE), NL_INVALID);
  nlShutdown();
  EXPECT_FALSE(nlClose(s));
  Failed(nlOpen(0, NL_UNRELIABLE) == NL_INVALID, NL_NO_NETWORK);
  nlInit();
  nlSelectNetwork(NL_IP);
}

// What nlConnect puts on the wire, against a fake server of plain sockets, and what the
// listening side answers to a peer that sends the bytes by hand.
TEST_F(NlLayer, HandshakeBytesOnBothSides) {
  NLsocket fake = nlOpen(0, NL_UNRELIABLE), fakeNew = nlOpen(0, NL_UNRELIABLE), client = nlOpen(0, NL_UNRELIABLE);
  NLaddress to = Loopback(Port(fake));
  ASSERT_TRUE(nlConnect(client, &to));
  Failed(!nlConnect(client, &to), NL_CONNECTED);
  unsigned char buf[64];
  ASSERT_EQ(ReadOne(fake, buf, sizeof(buf)), 27);
  EXPECT_EQ(std::memcmp(buf, kRequest, 27), 0);
  // Until the reply, reads and writes report the pending connection.
  Failed(nlWrite(client, "x", 1) == NL_INVALID, NL_CON_PENDING);
  Failed(nlRead(client, buf, sizeof(buf)) == NL_INVALID, NL_CON_PENDING);
  // A short datagram is no reply; the real one names the port to talk to.
  ASSERT_EQ(nlWrite(fake, "OK", 2), 2);  // goes back to the requester
  unsigned char reply[24] = {static_cast<unsigned char>(Port(fakeNew) >> 8), static_cast<unsigned char>(Port(fakeNew))};
  std::memcpy(reply + 2, kReply, 22);
  ASSERT_EQ(nlWrite(fake, reply, 24), 24);
  ASSERT_TRUE(Connected(client));
  // The client greets the new port with an empty datagram, then talks there only.
  EXPECT_GE(TakeEmpty(fakeNew), 1);
  ASSERT_EQ(nlWrite(client, "data", 4), 4);
  ASSERT_EQ(ReadOne(fakeNew, buf, sizeof(buf)), 4);
  EXPECT_EQ(std::memcmp(buf, "data", 4), 0);
  EXPECT_EQ(Port(fakeNew, true), Port(client));

  NLsocket server = nlOpen(0, NL_UNRELIABLE), peer = nlOpen(0, NL_UNRELIABLE);
  ASSERT_TRUE(nlListen(server));
  Failed(nlAcceptConnection(server) == NL_INVALID, NL_NO_PENDING);
  to = Loopback(Port(server));
  ASSERT_TRUE(nlSetRemoteAddr(peer, &to));
  // Something that is not a request is consumed and refused without an answer: a wrong
  // character, or the 26 characters without the zero byte that makes the 27-byte request.
  for (const auto& [bytes, n] : {std::pair<const char*, int>{"HawkNL request connection!", 27}, {kRequest, 26}}) {
    ASSERT_EQ(nlWrite(peer, bytes, n), n);
    ASSERT_TRUE(WaitFor([&] { return nlAcceptConnection(server) == NL_INVALID && nlGetError() == NL_NO_PENDING; }, 100));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(nlRead(peer, buf, sizeof(buf)), 0);
  // Every request makes a new connection. The reply comes from the listening port and names
  // the new socket's port; then an empty datagram from the new socket, connected to the peer.
  NLsocket conns[2];
  for (NLsocket& conn : conns) {
    nlSetRemoteAddr(peer, &to);
    ASSERT_EQ(nlWrite(peer, kRequest, 27), 27);
    ASSERT_TRUE(WaitFor([&] { return (conn = nlAcceptConnection(server)) != NL_INVALID; }, 3000));
    ASSERT_EQ(ReadOne(peer, buf, sizeof(buf)), 24);
    EXPECT_EQ((buf[0] << 8) | buf[1], Port(conn));
    EXPECT_EQ(std::memcmp(buf + 2, kReply, 22), 0);
    EXPECT_EQ(Port(peer, true), Port(server));
    EXPECT_EQ(TakeEmpty(peer), 1);
    EXPECT_EQ(Port(peer, true), Port(conn));
    ASSERT_EQ(nlWrite(conn, "hello", 5), 5);
    ASSERT_EQ(ReadOne(peer, buf, sizeof(buf)), 5);
  }
  EXPECT_NE(conns[0], conns[1]);
}

// Each case writes its datagrams with nlWriteMany and reads them back with nlReadMany in
// batches of a given size; what arrives must be exactly what nlWrite would have sent one by
// one, in order, and a datagram too large must stop the batch before it with nlWrite's error.
TEST_F(NlLayer, BatchesCarryTheSameDatagramsInOrder) {
  const std::vector<int> many(70, 64);  // more than one call's batch
  const struct {
    std::vector<int> lengths;
    int readBatch, accepted;  // accepted: how many go out before one too large (all when none is)
  } cases[] = {{{1}, 1, 1},  {{0, 17, 2065, 3}, 3, 4}, {many, 64, 70}, {many, 5, 70}, {{NL_MAX_PACKET_LENGTH}, 2, 1},
               {{5, NL_MAX_PACKET_LENGTH + 1, 7}, 4, 1}, {{NL_MAX_PACKET_LENGTH + 1}, 1, 0}};
  NLsocket client = NL_INVALID, conn = NL_INVALID;
  Pair(&client, &conn);
  const std::size_t slot = NL_MAX_PACKET_LENGTH + 1;
  std::vector<unsigned char> in(64 * slot);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.lengths.size() << " datagrams, reads of " << c.readBatch);
    std::vector<std::string> sent, got;
    std::vector<NLdatagram> out, batch(static_cast<std::size_t>(c.readBatch));
    for (std::size_t i = 0; i < c.lengths.size(); ++i) {
      sent.emplace_back(static_cast<std::size_t>(c.lengths[i]), '\0');
      for (std::size_t k = 0; k < sent[i].size(); ++k) sent[i][k] = static_cast<char>(i * 31 + k);
    }
    for (std::string& s : sent) out.push_back({s.data(), 0, static_cast<NLint>(s.size())});
    // Write as a caller would: again from where the last call stopped.
    const NLint total = static_cast<NLint>(out.size());
    int written = 0;
    for (NLint n = 1; written < c.accepted && n > 0; written += n) n = nlWriteMany(client, out.data() + written, total - written);
    EXPECT_EQ(written, c.accepted);
    if (written < total) Failed(nlWriteMany(client, out.data() + written, total - written) == NL_INVALID, NL_PACKET_SIZE);
    for (std::size_t i = 0; i < batch.size(); ++i) batch[i] = {in.data() + i * slot, static_cast<NLint>(slot), 0};
    WaitFor([&] {
      const NLint n = nlReadMany(conn, batch.data(), c.readBatch);
      EXPECT_TRUE(n >= 0 && n <= c.readBatch) << n;
      for (NLint i = 0; i < n; ++i) got.emplace_back(static_cast<const char*>(batch[i].data), batch[i].length);
      return got.size() >= static_cast<std::size_t>(c.accepted);
    }, 3000);
    sent.resize(static_cast<std::size_t>(c.accepted));
    EXPECT_EQ(got, sent);
  }
  // Errors are nlRead's and nlWrite's.
  char byte = 0;
  NLdatagram d{&byte, 1, 1};
  Failed(nlReadMany(424242, &d, 1) == NL_INVALID, NL_INVALID_SOCKET);
  Failed(nlWriteMany(424242, &d, 1) == NL_INVALID, NL_INVALID_SOCKET);
  Failed(nlReadMany(conn, nullptr, 1) == NL_INVALID, NL_NULL_POINTER);
  Failed(nlWriteMany(client, nullptr, 1) == NL_INVALID, NL_NULL_POINTER);
  ASSERT_EQ(nlWrite(client, "x", 1), 1);
  EXPECT_EQ(nlWriteMany(client, &d, 0) + nlReadMany(conn, &d, 0), 0);
  EXPECT_TRUE(WaitFor([&] { return nlReadMany(conn, &d, 1) == 1; }, 3000));  // the one written above
  // A connection survives its peer going away without a word: UDP says nothing.
  nlClose(conn);
  EXPECT_NE(nlWrite(client, "x", 1), NL_INVALID);
}

// The wait reports exactly the sockets that have something to read and are still added,
// lasts its time without them, and another thread's wake-up ends it at once.
TEST_F(NlLayer, WaiterReportsReadableSocketsAndWakesUp) {
  NLwaiter waiter;
  NLsocket clients[3], conns[3], ready[4];
  for (int i = 0; i < 3; ++i) Pair(&clients[i], &conns[i]);
  for (NLsocket s : conns) ASSERT_TRUE(waiter.Add(s));
  EXPECT_FALSE(waiter.Add(424242));
  waiter.Remove(conns[1]);
  for (int i : {1, 2, 0}) ASSERT_EQ(nlWrite(clients[i], "x", 1), 1);
  std::set<NLsocket> seen;
  WaitFor([&] {
    seen.insert(ready, ready + std::max<NLint>(waiter.Wait(ready, 4, 0), 0));
    return seen.size() >= 2;
  }, 3000);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  seen.insert(ready, ready + std::max<NLint>(waiter.Wait(ready, 4, 0), 0));
  EXPECT_EQ(seen, (std::set<NLsocket>{conns[0], conns[2]}));
  for (int i : {0, 2}) EXPECT_EQ(nlRead(conns[i], ready, sizeof ready), 1);
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

// Readiness of a group's sockets; its waiting with a time is what TakeEmpty relies on.
TEST_F(NlLayer, GroupsAndPolling) {
  NLint g = nlGroupCreate();
  NLsocket ready[3], a = nlOpen(0, NL_UNRELIABLE), b = nlOpen(0, NL_UNRELIABLE), c = nlOpen(0, NL_UNRELIABLE);
  EXPECT_EQ(nlPollGroup(g, NL_READ_STATUS, ready, 3, 0), 0);  // empty
  Failed(nlPollGroup(9999, NL_READ_STATUS, ready, 3, 0) == NL_INVALID, NL_INVALID_GROUP);
  Failed(nlPollGroup(g, 0x1234, ready, 3, 0) == NL_INVALID, NL_INVALID_ENUM);
  for (NLsocket s : {a, b, c}) ASSERT_TRUE(nlGroupAddSocket(g, s));
  Failed(!nlGroupAddSocket(g, 424242), NL_INVALID_SOCKET);
  // c then a become readable; they are reported in group order.
  for (NLsocket s : {c, a}) {
    NLaddress to = Loopback(Port(s));
    nlSetRemoteAddr(b, &to);
    ASSERT_EQ(nlWrite(b, "x", 1), 1);
  }
  ASSERT_TRUE(WaitFor([&] { return nlPollGroup(g, NL_READ_STATUS, ready, 3, 0) == 2; }, 3000));
  EXPECT_EQ(std::vector<NLsocket>(ready, ready + 2), (std::vector<NLsocket>{a, c}));
  Failed(nlPollGroup(g, NL_READ_STATUS, ready, 1, 0) == NL_INVALID, NL_BUFFER_SIZE);
  EXPECT_EQ(nlPollGroup(g, NL_WRITE_STATUS, ready, 3, 0), 3);
  EXPECT_TRUE(nlGroupDeleteSocket(g, b));
  Failed(!nlGroupDeleteSocket(g, b), NL_SOCKET_NOT_FOUND);
  // A closed socket leaves its groups.
  nlClose(a);
  NLint count = 3;
  ASSERT_TRUE(nlGroupGetSockets(g, ready, &count));
  EXPECT_EQ(std::vector<NLsocket>(ready, ready + count), std::vector<NLsocket>{c});
  EXPECT_TRUE(nlGroupDestroy(g));
  Failed(!nlGroupAddSocket(g, c), NL_INVALID_GROUP);
  // A group holds at most NL_MAX_GROUP_SOCKETS sockets.
  g = nlGroupCreate();
  for (int i = 0; i < NL_MAX_GROUP_SOCKETS; ++i) ASSERT_TRUE(nlGroupAddSocket(g, nlOpen(0, NL_UNRELIABLE))) << i;
  Failed(!nlGroupAddSocket(g, c), NL_OUT_OF_GROUP_SOCKETS);
}

TEST_F(NlLayer, AddressesThreadsAndMutexes) {
  char text[NL_MAX_STRING_LENGTH];
  NLaddress a;
  for (const auto& [name, shown] : {std::pair<std::string, const char*>{"127.0.0.1:27013", "127.0.0.1:27013"}, {"localhost", "127.0.0.1"}}) {
    ASSERT_TRUE(nlGetAddrFromName(name.c_str(), &a));
    EXPECT_STREQ(nlAddrToString(&a, text), shown);
  }
  for (const auto& [name, err] : {std::pair<std::string, NLenum>{"127.0.0.1%eth0", NL_STRING_OVER_RUN},
                                  {std::string(300, 'a'), NL_STRING_OVER_RUN}, {"127.0.0.1:99999", NL_BAD_ADDR}}) {
    Failed(!nlGetAddrFromName(name.c_str(), &a), err);
  }
  EXPECT_FALSE(a.valid);
  // A socket bound to every address reports the host's address with its own port.
  ASSERT_TRUE(nlGetLocalAddr(nlOpen(0, NL_UNRELIABLE), &a));
  EXPECT_NE(nlGetPortFromAddr(&a), 0);
  EXPECT_EQ(std::string(nlAddrToString(&a, text)).find("0.0.0.0"), std::string::npos);

  // Two threads count under one mutex; joining gives back a thread's result.
  static HTmutex m = nullptr;
  static int counter = 0;
  ASSERT_EQ(htMutexInit(&m), 0);
  auto body = [](void* p) -> void* {
    for (int i = 0; i < 10000; ++i) htMutexLock(&m), ++counter, htMutexUnlock(&m);
    return p;
  };
  HThreadID t1 = htThreadCreate(body, &a, NL_TRUE), t2 = htThreadCreate(body, &a, NL_TRUE);
  void* r1 = nullptr;
  EXPECT_EQ(htThreadJoin(t1, &r1) + htThreadJoin(t2, nullptr), 0);
  EXPECT_EQ(r1, &a);
  EXPECT_EQ(counter, 20000);
  htMutexDestroy(&m);
}
