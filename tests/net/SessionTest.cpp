// Sessions end to end through the NET commands: a host here, clients as further session
// objects in this process, a server to join in a child process. Loopback only; every wait is bounded.
#include <gtest/gtest.h>
#include <tavelor/net.h>

#include <cstdio>
#include <cstring>
#include <tuple>
#include <utility>

#include "NetTestSupport.h"

using namespace TAVELOR;
using namespace nettest;

namespace {

class NetSession : public ::testing::Test {
 protected:
  void SetUp() override { pZyNet = new ZyHawkNetwork; }
  void TearDown() override { EndSession(); }
  static std::string Str(const DGStr& s) { return std::string(s.c_str(), s.Len()); }
  static int Host(int port) { return static_cast<int>(NETHOSTGAME(0, "", "", std::to_string(port).c_str())); }
  static int Join(int port) { return static_cast<int>(NETJOINGAME(0, "", "127.0.0.1", std::to_string(port).c_str())); }
  // The host's next message for id, waiting for it ("" on time-out).
  static std::string HostGets(const char* id) {
    std::string got;
    WaitFor([&] { return !(got = Str(NETGETMSG_Str(id))).empty(); }, 3000);
    return got;
  }
};

// The next message of a player of session n ("" on time-out).
std::string Next(ZyHawkNetwork& n, int id) {
  std::string text;
  WaitFor([&] { return n.TakeMessage(id, &text); }, 3000);
  return text;
}

}  // namespace

// Hosted on the default port where it is free: a join to the empty address and port 0 finds
// it. The clients are further session objects in this process, alice with two players.
TEST_F(NetSession, HostAndTwoClients) {
  const int port = FreePort();
  const bool byDefault = NETHOSTGAME(0, "", "", "") == 1;
  ASSERT_TRUE(byDefault || Host(port) == 1);
  ASSERT_EQ(Str(NETCREATEPLAYER_Str("hostp")), "101");
  ZyHawkNetwork alice, bob;
  auto join = [&](ZyHawkNetwork& n) { return byDefault ? n.JoinGame("", 0) : n.JoinGame("127.0.0.1", port); };
  // Each join announces a test player first (102, 104) and logs it off again.
  ASSERT_EQ(join(alice), 1);
  const int a = alice.CreatePlayer("alice");
  ASSERT_EQ(join(bob), 1);
  const int b = bob.CreatePlayer("bob"), a2 = alice.CreatePlayer("alice2");
  ASSERT_EQ(std::tuple(a, b, a2), std::tuple(103, 105, 106));

  EXPECT_TRUE(WaitFor([] { return NETNUMPLAYERS() == 4; }, 3000));
  for (const auto& [index, id] : {std::pair<double, const char*>{0, "101"}, {1, "103"}, {2.9, "105"}, {4, "0"}, {-1, "0"}}) {
    EXPECT_EQ(Str(NETGETPLAYERID_Str(index)), id) << index;
  }
  for (const auto& [id, name] : {std::pair<const char*, const char*>{"103", "alice"}, {"105", "bob"}, {"101", "hostp"}, {"999", ""}}) {
    EXPECT_EQ(Str(NETPLAYERNAME_Str(id)), name) << id;
  }
  // Player to player across two clients, then to everybody (recipient 0): one copy each.
  EXPECT_TRUE(alice.SendText(a, b, "hello bob", 9));
  EXPECT_TRUE(alice.SendText(a, 0, "hi all", 6));
  EXPECT_EQ(Next(bob, b), "hello bob");
  for (const auto& [n, id] : {std::pair<ZyHawkNetwork*, int>{&bob, b}, {&alice, a}, {&alice, a2}}) EXPECT_EQ(Next(*n, id), "hi all") << id;
  EXPECT_EQ(HostGets("101"), "hi all");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::string text;
  EXPECT_FALSE(alice.TakeMessage(a, &text) || alice.TakeMessage(a2, &text) || bob.TakeMessage(b, &text)) << text;
  EXPECT_EQ(Str(NETGETMSG_Str("101")), "");
  EXPECT_EQ(Str(NETGETMSG_Str("555")), "");
  // Text with every byte value arrives unchanged, up to the limit of 2048 bytes.
  std::string binary;
  for (int i = 0; i < 2100; ++i) binary += static_cast<char>((i * 7 + 1) % 256);
  EXPECT_TRUE(alice.SendText(a2, 101, binary.data(), binary.size()));
  EXPECT_EQ(HostGets("101"), binary.substr(0, 2048));

  // A destroyed player disappears from the server's table for everybody; messages to it go
  // nowhere, the others still get theirs.
  bob.DeletePlayer(b);
  EXPECT_TRUE(WaitFor([] { return NETNUMPLAYERS() == 3; }, 3000));
  EXPECT_EQ(Str(NETPLAYERNAME_Str("105")), "");
  EXPECT_TRUE(alice.SendText(a, b, "lost", 4));
  EXPECT_EQ(NETSENDMSG("101", "103", "for alice"), 1);
  EXPECT_EQ(Next(alice, a), "for alice");
  EXPECT_FALSE(bob.TakeMessage(b, &text));
}

TEST_F(NetSession, CommandsWithoutSessionFailSoftly) {
  // Joining needs the socket layer started by an earlier host or address query.
  EXPECT_EQ(Join(1), 0);
  // No local player: queries and messages fail at once; no worker: no player is announced.
  EXPECT_EQ(NETNUMPLAYERS(), 0);
  EXPECT_EQ(Str(NETPLAYERNAME_Str("101")), "NO_DATA");
  EXPECT_EQ(NETSENDMSG("101", "102", "x"), 0);
  EXPECT_EQ(NETDESTROYPLAYER("101"), 1);
  EXPECT_EQ(Str(NETCREATEPLAYER_Str("nobody")), "-1");
  // Without the session object at all.
  ZyHawkNetwork* keep = std::exchange(pZyNet, nullptr);
  EXPECT_EQ(NETHOSTGAME(0, "", "", "0"), 0);
  EXPECT_EQ(Str(NETGETIP_Str()), "");
  pZyNet = keep;
}

// A join and a plain connect that get no answer both give up after the handshake's time-out;
// the two run side by side so that the test waits for it once.
TEST_F(NetSession, JoinAndConnectWithoutAnswerAreRefused) {
  const std::string ip = Str(NETGETIP_Str());
  EXPECT_EQ(ip.find(':'), std::string::npos) << ip;  // dotted quads without a port, separated by '|'
  EXPECT_EQ(NETHOSTGAME(0, "", "", "70000"), 0);
  EXPECT_EQ(NETJOINGAME(0, "", "no%such%host", "5000"), 0);
  nlInit();
  nlSelectNetwork(NL_IP);
  NLsocket silent = nlOpen(0, NL_UNRELIABLE), client = nlOpen(0, NL_UNRELIABLE);  // silent never answers
  NLaddress to = Loopback(Port(silent));
  ASSERT_TRUE(nlConnect(client, &to));
  char byte = 0;
  // Closing during a handshake is safe.
  NLsocket again = nlOpen(0, NL_UNRELIABLE);
  ASSERT_TRUE(nlConnect(again, &to));
  EXPECT_TRUE(nlClose(again));

  EXPECT_EQ(Join(FreePort()), 0);  // nobody listens there
  EXPECT_FALSE(pZyNet->WorkerAlive());
  ASSERT_TRUE(WaitFor([&] { return nlWrite(client, &byte, 1) == NL_INVALID && nlGetError() == NL_CON_REFUSED; }, 2000));
  Failed(nlRead(client, &byte, 1) == NL_INVALID, NL_CON_REFUSED);
  nlShutdown();
}

TEST_F(NetSession, RepeatedHostAndJoinLeakNothing) {
  // The server joined runs in a child process (NetChild.Host): what it keeps is not counted here.
  const int remotePort = FreePort();
  const std::string cmd = "TAVELOR_NET_HOST=" + std::to_string(remotePort) + " '" + fs::read_symlink("/proc/self/exe").string() +
                          "' --gtest_filter=NetChild.Host";
  FILE* child = popen(cmd.c_str(), "r");
  char line[256] = "";
  while (std::fgets(line, sizeof line, child) && std::strncmp(line, "hosted", 6) != 0) {
  }
  ASSERT_STREQ(line, "hosted 1\n");
  // One cycle of each first, so that lazily created resources are counted in the base line.
  const int port = FreePort();
  ASSERT_EQ(Host(port), 1);
  ASSERT_EQ(Join(remotePort), 1);
  auto fds = [] { return CountEntries("/proc/self/fd"); };
  auto threads = [] { return CountEntries("/proc/self/task"); };
  const int fds0 = fds(), threads0 = threads();
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(Host(port), 1) << i;
    // Every new server numbers its players from 101 again.
    ASSERT_EQ(Str(NETCREATEPLAYER_Str("p")), "101") << i;
    ASSERT_EQ(Join(remotePort), 1) << i;
    ZyHawkNetwork another;  // a session object that ends joined gives back its sockets
    ASSERT_EQ(another.JoinGame("127.0.0.1", remotePort), 1) << i;
  }
  // Each of the 101 joins announced a test player of its own.
  ASSERT_EQ(Str(NETCREATEPLAYER_Str("last")), std::to_string(100 + 101 + 1));
  // Detached threads may take a moment to be gone.
  EXPECT_TRUE(WaitFor([&] { return fds() <= fds0 && threads() <= threads0; }, 3000))
      << "descriptors " << fds() << " (was " << fds0 << "), threads " << threads() << " (was " << threads0 << ")";
  pclose(child);
}

// The server of the test above: hosts on the port TAVELOR_NET_HOST names, says so, and ends
// when its parent stops reading (a write to the closed pipe), or after two minutes.
TEST(NetChild, Host) {
  const char* port = std::getenv("TAVELOR_NET_HOST");
  if (!port) GTEST_SKIP() << "runs only as a child of the session tests";
  pZyNet = new ZyHawkNetwork;
  std::printf("hosted %d\n", static_cast<int>(NETHOSTGAME(0, "", "", port)));
  for (int i = 0; i < 1200 && std::fflush(stdout) == 0 && std::puts(".") >= 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EndSession();
}
