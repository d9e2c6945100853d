// The socket layer on its own: handshake bytes and connection emulation, errors, groups,
// polling and addresses. Loopback only.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "NetTestSupport.h"

using nettest::Connected;
using nettest::Loopback;
using nettest::WaitFor;

namespace {

const char kRequest[] = "HawkNL request connection.";
const char kReply[] = "HawkNL connection OK.";

class NlLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(nlInit());
    ASSERT_TRUE(nlSelectNetwork(NL_IP));
  }
  void TearDown() override { nlShutdown(); }
  static int PortOf(NLsocket s) {
    NLaddress a;
    nlGetLocalAddr(s, &a);
    return nlGetPortFromAddr(&a);
  }
  // One datagram, waiting up to 3 seconds; its length or -1.
  static int ReadOne(NLsocket s, unsigned char* buf, int size) {
    int n = 0;
    WaitFor([&] { return (n = nlRead(s, buf, size)) != 0; }, 3000);
    return n;
  }
  // Waits until a datagram is waiting on s and checks that it is empty. (A read returns 0
  // both for nothing and for an empty datagram, so readiness is polled first.)
  static void ExpectEmptyDatagram(NLsocket s) {
    NLint group = nlGroupCreate();
    nlGroupAddSocket(group, s);
    NLsocket ready[2];
    ASSERT_TRUE(WaitFor([&] { return nlPollGroup(group, NL_READ_STATUS, ready, 2, 0) == 1; }, 3000));
    unsigned char buf[8];
    EXPECT_EQ(nlRead(s, buf, sizeof(buf)), 0);
    nlGroupDestroy(group);
  }
};

}  // namespace

TEST_F(NlLayer, ErrorsAreKeptPerThreadWithTheirTexts) {
  EXPECT_STREQ(nlGetErrorStr(NL_NO_ERROR), "No HawkNL error.");
  EXPECT_STREQ(nlGetErrorStr(NL_SOCK_DISCONNECT), "Connection error: Close socket.");
  EXPECT_STREQ(nlGetErrorStr(NL_CONNECTED), "The socket is already connected.");
  EXPECT_STREQ(nlGetErrorStr(-7), "Undefined HawkNL error.");

  EXPECT_FALSE(nlClose(987654));
  EXPECT_EQ(nlGetError(), NL_INVALID_SOCKET);
  // A success leaves the error alone; another thread has its own.
  NLsocket s = nlOpen(0, NL_UNRELIABLE);
  ASSERT_NE(s, NL_INVALID);
  EXPECT_EQ(nlGetError(), NL_INVALID_SOCKET);
  NLenum other = -1;
  std::thread([&] { other = nlGetError(); }).join();
  EXPECT_EQ(other, NL_NO_ERROR);

  EXPECT_EQ(nlOpen(0, NL_RELIABLE), NL_INVALID);
  EXPECT_EQ(nlGetError(), NL_INVALID_ENUM);
  EXPECT_EQ(nlOpen(static_cast<NLushort>(PortOf(s)), NL_UNRELIABLE), NL_INVALID);  // port taken
  EXPECT_EQ(nlGetError(), NL_SYSTEM_ERROR);
  EXPECT_NE(nlGetSystemError(), 0);
  EXPECT_FALSE(nlSelectNetwork(0x0005));
  EXPECT_EQ(nlGetError(), NL_INVALID_TYPE);

  char big[NL_MAX_PACKET_LENGTH + 1] = {};
  EXPECT_EQ(nlWrite(s, big, sizeof(big)), NL_INVALID);
  EXPECT_EQ(nlGetError(), NL_PACKET_SIZE);
  EXPECT_EQ(nlRead(s, nullptr, 10), NL_INVALID);
  EXPECT_EQ(nlGetError(), NL_NULL_POINTER);
  EXPECT_EQ(nlAcceptConnection(s), NL_INVALID);
  EXPECT_EQ(nlGetError(), NL_NOT_LISTEN);
  EXPECT_EQ(nlRead(s, big, 10), 0);  // nothing pending is not an error
  EXPECT_TRUE(nlClose(s));
}

TEST_F(NlLayer, SocketsNeedTheLayerStarted) {
  nlShutdown();
  EXPECT_EQ(nlOpen(0, NL_UNRELIABLE), NL_INVALID);
  EXPECT_EQ(nlGetError(), NL_NO_NETWORK);
  // Reference counted: two starts need two shutdowns.
  nlInit();
  nlInit();
  nlSelectNetwork(NL_IP);
  nlShutdown();
  NLsocket s = nlOpen(0, NL_UNRELIABLE);
  EXPECT_NE(s, NL_INVALID);
  // The last shutdown closes what is still open.
  nlShutdown();
  EXPECT_FALSE(nlClose(s));
  nlInit();
  nlSelectNetwork(NL_IP);
}

TEST_F(NlLayer, ClientHandshakeBytes) {
  // A fake server built from plain sockets checks what nlConnect puts on the wire.
  NLsocket fake = nlOpen(0, NL_UNRELIABLE);
  NLsocket fakeNew = nlOpen(0, NL_UNRELIABLE);
  NLsocket client = nlOpen(0, NL_UNRELIABLE);
  NLaddress to = Loopback(PortOf(fake));
  ASSERT_TRUE(nlConnect(client, &to));
  EXPECT_FALSE(nlConnect(client, &to));
  EXPECT_EQ(nlGetError(), NL_CONNECTED);

  unsigned char buf[64];
  ASSERT_EQ(ReadOne(fake, buf, sizeof(buf)), 27);
  EXPECT_EQ(std::memcmp(buf, kRequest, 27), 0);
  // Until the reply, reads and writes report the pending connection.
  EXPECT_EQ(nlWrite(client, "x", 1), NL_INVALID);
  EXPECT_EQ(nlGetError(), NL_CON_PENDING);
  EXPECT_EQ(nlRead(client, buf, sizeof(buf)), NL_INVALID);
  EXPECT_EQ(nlGetError(), NL_CON_PENDING);

  // A short datagram is no reply; the real one names the port to talk to.
  ASSERT_EQ(nlWrite(fake, "OK", 2), 2);  // goes back to the requester
  unsigned char reply[24];
  const int newPort = PortOf(fakeNew);
  reply[0] = static_cast<unsigned char>(newPort >> 8);
  reply[1] = static_cast<unsigned char>(newPort & 0xff);
  std::memcpy(reply + 2, kReply, 22);
  ASSERT_EQ(nlWrite(fake, reply, 24), 24);
  ASSERT_TRUE(Connected(client));

  // The client greets the new port with an empty datagram, then talks there only.
  ExpectEmptyDatagram(fakeNew);
  ASSERT_EQ(nlWrite(client, "data", 4), 4);
  ASSERT_EQ(ReadOne(fakeNew, buf, sizeof(buf)), 4);
  EXPECT_EQ(std::memcmp(buf, "data", 4), 0);
  NLaddress from;
  ASSERT_TRUE(nlGetRemoteAddr(fakeNew, &from));
  EXPECT_EQ(nlGetPortFromAddr(&from), PortOf(client));
}

TEST_F(NlLayer, AcceptAnswersRequestsAndNothingElse) {
  NLsocket server = nlOpen(0, NL_UNRELIABLE);
  ASSERT_TRUE(nlListen(server));
  EXPECT_EQ(nlAcceptConnection(server), NL_INVALID);
  EXPECT_EQ(nlGetError(), NL_NO_PENDING);

  NLsocket peer = nlOpen(0, NL_UNRELIABLE);
  NLaddress to = Loopback(PortOf(server));
  ASSERT_TRUE(nlSetRemoteAddr(peer, &to));
  // Something that is not a request is consumed and refused without an answer: a wrong
  // character, or the 26 characters without the zero byte that makes the 27-byte request.
  for (const auto& [bytes, n] : {std::pair<const char*, int>{"HawkNL request connection!", 27}, {kRequest, 26}}) {
    ASSERT_EQ(nlWrite(peer, bytes, n), n);
    ASSERT_TRUE(WaitFor([&] { return nlAcceptConnection(server) == NL_INVALID && nlGetError() == NL_NO_PENDING; }, 100));
  }
  unsigned char none[64];
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(nlRead(peer, none, sizeof(none)), 0);
  ASSERT_EQ(nlWrite(peer, kRequest, 27), 27);
  NLsocket conn = NL_INVALID;
  ASSERT_TRUE(WaitFor([&] { return (conn = nlAcceptConnection(server)) != NL_INVALID; }, 3000));

  // The reply comes from the listening port and names the new socket's port.
  unsigned char buf[64];
  ASSERT_EQ(ReadOne(peer, buf, sizeof(buf)), 24);
  EXPECT_EQ((buf[0] << 8) | buf[1], PortOf(conn));
  EXPECT_EQ(std::memcmp(buf + 2, kReply, 22), 0);
  NLaddress from;
  nlGetRemoteAddr(peer, &from);
  EXPECT_EQ(nlGetPortFromAddr(&from), PortOf(server));
  // Then an empty datagram from the new socket, which is connected to the requester.
  ExpectEmptyDatagram(peer);
  nlGetRemoteAddr(peer, &from);
  EXPECT_EQ(nlGetPortFromAddr(&from), PortOf(conn));
  ASSERT_EQ(nlWrite(conn, "hello", 5), 5);
  ASSERT_EQ(ReadOne(peer, buf, sizeof(buf)), 5);

  // Every request makes a new connection.
  nlSetRemoteAddr(peer, &to);
  ASSERT_EQ(nlWrite(peer, kRequest, 27), 27);
  NLsocket second = NL_INVALID;
  ASSERT_TRUE(WaitFor([&] { return (second = nlAcceptConnection(server)) != NL_INVALID; }, 3000));
  EXPECT_NE(second, conn);
}

TEST_F(NlLayer, ConnectAndAcceptTogether) {
  NLsocket server = nlOpen(0, NL_UNRELIABLE);
  nlListen(server);
  NLsocket client = nlOpen(0, NL_UNRELIABLE);
  NLaddress to = Loopback(PortOf(server));
  ASSERT_TRUE(nlConnect(client, &to));
  NLsocket conn = NL_INVALID;
  ASSERT_TRUE(WaitFor([&] { return (conn = nlAcceptConnection(server)) != NL_INVALID; }, 3000));
  ASSERT_TRUE(Connected(client));
  unsigned char buf[NL_MAX_PACKET_LENGTH];
  std::string big(NL_MAX_PACKET_LENGTH, 'z');
  ASSERT_EQ(nlWrite(client, big.data(), NL_MAX_PACKET_LENGTH), NL_MAX_PACKET_LENGTH);
  int n = 0;
  ASSERT_TRUE(WaitFor([&] { return (n = nlRead(conn, buf, sizeof(buf))) > 0; }, 3000));
  EXPECT_EQ(n, NL_MAX_PACKET_LENGTH);
  // A connection survives its peer going away without a word: UDP says nothing.
  nlClose(conn);
  EXPECT_NE(nlWrite(client, "x", 1), NL_INVALID);
}

TEST_F(NlLayer, ConnectWithoutAnswerIsRefused) {
  NLsocket silent = nlOpen(0, NL_UNRELIABLE);  // receives the request, never answers
  NLsocket client = nlOpen(0, NL_UNRELIABLE);
  NLaddress to = Loopback(PortOf(silent));
  ASSERT_TRUE(nlConnect(client, &to));
  char byte = 0;
  EXPECT_EQ(nlWrite(client, &byte, 1), NL_INVALID);
  EXPECT_EQ(nlGetError(), NL_CON_PENDING);
  // The handshake gives up after five to six seconds.
  ASSERT_TRUE(WaitFor([&] { return nlWrite(client, &byte, 1) == NL_INVALID && nlGetError() == NL_CON_REFUSED; }, 8000));
  EXPECT_EQ(nlRead(client, &byte, 1), NL_INVALID);
  EXPECT_EQ(nlGetError(), NL_CON_REFUSED);
  // Closing during a handshake is safe too.
  NLsocket again = nlOpen(0, NL_UNRELIABLE);
  ASSERT_TRUE(nlConnect(again, &to));
  EXPECT_TRUE(nlClose(again));
}

TEST_F(NlLayer, GroupsAndPolling) {
  NLint g = nlGroupCreate();
  ASSERT_NE(g, NL_INVALID);
  NLsocket ready[3];
  EXPECT_EQ(nlPollGroup(g, NL_READ_STATUS, ready, 3, 0), 0);  // empty
  EXPECT_EQ(nlPollGroup(9999, NL_READ_STATUS, ready, 3, 0), NL_INVALID);
  EXPECT_EQ(nlGetError(), NL_INVALID_GROUP);
  EXPECT_EQ(nlPollGroup(g, 0x1234, ready, 3, 0), NL_INVALID);
  EXPECT_EQ(nlGetError(), NL_INVALID_ENUM);

  NLsocket a = nlOpen(0, NL_UNRELIABLE), b = nlOpen(0, NL_UNRELIABLE), c = nlOpen(0, NL_UNRELIABLE);
  for (NLsocket s : {a, b, c}) ASSERT_TRUE(nlGroupAddSocket(g, s));
  EXPECT_FALSE(nlGroupAddSocket(g, 424242));
  EXPECT_EQ(nlGetError(), NL_INVALID_SOCKET);
  EXPECT_EQ(nlPollGroup(g, NL_READ_STATUS, ready, 3, 0), 0);

  // c then a become readable; they are reported in group order.
  NLsocket sender = nlOpen(0, NL_UNRELIABLE);
  for (NLsocket s : {c, a}) {
    NLaddress to = Loopback(PortOf(s));
    nlSetRemoteAddr(sender, &to);
    ASSERT_EQ(nlWrite(sender, "x", 1), 1);
  }
  ASSERT_TRUE(WaitFor([&] { return nlPollGroup(g, NL_READ_STATUS, ready, 3, 0) == 2; }, 3000));
  EXPECT_EQ(ready[0], a);
  EXPECT_EQ(ready[1], c);
  EXPECT_EQ(nlPollGroup(g, NL_READ_STATUS, ready, 1, 0), NL_INVALID);
  EXPECT_EQ(nlGetError(), NL_BUFFER_SIZE);
  EXPECT_EQ(nlPollGroup(g, NL_WRITE_STATUS, ready, 3, 0), 3);

  // Waiting ends when data arrives.
  unsigned char buf[8];
  nlRead(a, buf, 8);
  nlRead(c, buf, 8);
  std::thread late([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    NLaddress to = Loopback(PortOf(b));
    nlSetRemoteAddr(sender, &to);
    nlWrite(sender, "y", 1);
  });
  EXPECT_EQ(nlPollGroup(g, NL_READ_STATUS, ready, 3, 3000), 1);
  EXPECT_EQ(ready[0], b);
  late.join();

  EXPECT_TRUE(nlGroupDeleteSocket(g, b));
  EXPECT_FALSE(nlGroupDeleteSocket(g, b));
  EXPECT_EQ(nlGetError(), NL_SOCKET_NOT_FOUND);
  // A closed socket leaves its groups.
  nlClose(a);
  NLsocket members[4];
  NLint count = 4;
  ASSERT_TRUE(nlGroupGetSockets(g, members, &count));
  ASSERT_EQ(count, 1);
  EXPECT_EQ(members[0], c);
  EXPECT_TRUE(nlGroupDestroy(g));
  EXPECT_FALSE(nlGroupAddSocket(g, c));
  EXPECT_EQ(nlGetError(), NL_INVALID_GROUP);
}

TEST_F(NlLayer, Addresses) {
  char text[NL_MAX_STRING_LENGTH];
  NLaddress a;
  ASSERT_TRUE(nlGetAddrFromName("127.0.0.1:27013", &a));
  EXPECT_STREQ(nlAddrToString(&a, text), "127.0.0.1:27013");
  ASSERT_TRUE(nlGetAddrFromName("localhost", &a));
  EXPECT_STREQ(nlAddrToString(&a, text), "127.0.0.1");
  EXPECT_FALSE(nlGetAddrFromName("127.0.0.1%eth0", &a));
  EXPECT_EQ(nlGetError(), NL_STRING_OVER_RUN);
  EXPECT_FALSE(nlGetAddrFromName(std::string(300, 'a').c_str(), &a));
  EXPECT_EQ(nlGetError(), NL_STRING_OVER_RUN);
  EXPECT_FALSE(nlGetAddrFromName("127.0.0.1:99999", &a));
  EXPECT_EQ(nlGetError(), NL_BAD_ADDR);
  EXPECT_FALSE(a.valid);

  NLint count = 0;
  NLaddress* all = nlGetAllLocalAddr(&count);
  ASSERT_GE(count, 1);
  EXPECT_EQ(nlGetPortFromAddr(&all[0]), 0);
  // A socket bound to every address reports the host's address with its own port.
  NLsocket s = nlOpen(0, NL_UNRELIABLE);
  ASSERT_TRUE(nlGetLocalAddr(s, &a));
  EXPECT_NE(nlGetPortFromAddr(&a), 0);
  EXPECT_EQ(std::string(nlAddrToString(&a, text)).find("0.0.0.0"), std::string::npos);
}

TEST_F(NlLayer, ThreadsAndMutexes) {
  static HTmutex m = nullptr;
  static int counter;
  counter = 0;
  ASSERT_EQ(htMutexInit(&m), 0);
  auto body = [](void* p) -> void* {
    for (int i = 0; i < 10000; ++i) {
      htMutexLock(&m);
      ++counter;
      htMutexUnlock(&m);
    }
    return p;
  };
  int tag = 0;
  HThreadID t1 = htThreadCreate(body, &tag, NL_TRUE);
  HThreadID t2 = htThreadCreate(body, &tag, NL_TRUE);
  void* r1 = nullptr;
  EXPECT_EQ(htThreadJoin(t1, &r1), 0);
  EXPECT_EQ(htThreadJoin(t2, nullptr), 0);
  EXPECT_EQ(r1, &tag);
  EXPECT_EQ(counter, 20000);
  htMutexDestroy(&m);
}
