// Sessions end to end through the NET commands: a host here, clients in child processes or
// as further session objects in this process. Loopback only; every wait is bounded.
#include <gtest/gtest.h>
#include <tavelor/net.h>

#include <filesystem>
#include <string>

#include "NetTestSupport.h"
#include "frame/Runtime.h"

using namespace TAVELOR;
using nettest::WaitFor;
namespace fs = std::filesystem;

namespace {

class NetSession : public ::testing::Test {
 protected:
  void SetUp() override { pZyNet = new ZyHawkNetwork; }
  void TearDown() override { nettest::EndSession(); }
  static std::string Str(const DGStr& s) { return std::string(s.c_str(), s.Len()); }
  static std::string Host(int port) { return std::to_string(static_cast<int>(NETHOSTGAME(0, "", "", std::to_string(port).c_str()))); }
};

// Waits for a file written by a child and returns its text ("" on time-out).
std::string Await(const fs::path& p, int ms = 10000) {
  if (!WaitFor([&] { return fs::exists(p); }, ms)) return "";
  return nettest::ReadFile(p);
}

// Gives a child a command and returns its answer.
std::string Command(const fs::path& dir, const std::string& role, int n, const std::string& cmd) {
  nettest::WriteFile(dir / (role + ".cmd." + std::to_string(n)), cmd);
  return Await(dir / (role + ".out." + std::to_string(n)));
}

}  // namespace

TEST_F(NetSession, HostAndTwoClientProcesses) {
  const int port = nettest::FreePort();
  const fs::path dir = nettest::ExchangeDir("two_clients");
  ASSERT_EQ(Host(port), "1");
  ASSERT_EQ(Str(NETCREATEPLAYER_Str("hostp")), "101");

  // Each join announces a test player first (102, 104) and logs it off again.
  nettest::SpawnChild("alice", port, dir);
  ASSERT_EQ(Await(dir / "alice.id"), "1 103") << nettest::ReadFile(dir / "alice.log");
  nettest::SpawnChild("bob", port, dir);
  ASSERT_EQ(Await(dir / "bob.id"), "1 105") << nettest::ReadFile(dir / "bob.log");

  EXPECT_TRUE(WaitFor([] { return NETNUMPLAYERS() == 3; }, 3000));
  EXPECT_EQ(Str(NETGETPLAYERID_Str(0)), "101");
  EXPECT_EQ(Str(NETGETPLAYERID_Str(1)), "103");
  EXPECT_EQ(Str(NETGETPLAYERID_Str(2.9)), "105");
  EXPECT_EQ(Str(NETGETPLAYERID_Str(3)), "0");
  EXPECT_EQ(Str(NETGETPLAYERID_Str(-1)), "0");
  EXPECT_EQ(Str(NETPLAYERNAME_Str("103")), "alice");
  EXPECT_EQ(Str(NETPLAYERNAME_Str("105")), "bob");
  EXPECT_EQ(Str(NETPLAYERNAME_Str("101")), "hostp");
  EXPECT_EQ(Str(NETPLAYERNAME_Str("999")), "");

  // Player to player across two clients, then to everybody (recipient "0").
  EXPECT_EQ(Command(dir, "alice", 1, "send 105 hello bob"), "1");
  EXPECT_EQ(Command(dir, "alice", 2, "send 0 hi all"), "1");
  EXPECT_TRUE(WaitFor([&] { return nettest::ReadFile(dir / "bob.msgs") == "hello bob\nhi all\n"; }, 3000))
      << nettest::ReadFile(dir / "bob.msgs");
  EXPECT_TRUE(WaitFor([&] { return nettest::ReadFile(dir / "alice.msgs") == "hi all\n"; }, 3000))
      << nettest::ReadFile(dir / "alice.msgs");
  std::string hostGot;
  EXPECT_TRUE(WaitFor([&] { return !(hostGot = Str(NETGETMSG_Str("101"))).empty(); }, 3000));
  EXPECT_EQ(hostGot, "hi all");
  EXPECT_EQ(Str(NETGETMSG_Str("101")), "");
  EXPECT_EQ(Str(NETGETMSG_Str("555")), "");

  // A destroyed player disappears from the server's table for everybody.
  EXPECT_EQ(Command(dir, "bob", 1, "destroy 105"), "1");
  EXPECT_TRUE(WaitFor([] { return NETNUMPLAYERS() == 2; }, 3000));
  EXPECT_EQ(Str(NETGETPLAYERID_Str(1)), "103");
  EXPECT_EQ(Str(NETGETPLAYERID_Str(2)), "0");
  EXPECT_EQ(Str(NETPLAYERNAME_Str("105")), "");
  // Messages to it now go nowhere; the others still get theirs.
  EXPECT_EQ(Command(dir, "alice", 3, "send 105 lost"), "1");
  EXPECT_EQ(Command(dir, "alice", 4, "send 101 for host"), "1");
  EXPECT_TRUE(WaitFor([&] { return !(hostGot = Str(NETGETMSG_Str("101"))).empty(); }, 3000));
  EXPECT_EQ(hostGot, "for host");
  EXPECT_EQ(nettest::ReadFile(dir / "bob.msgs"), "hello bob\nhi all\n");

  nettest::EndChildren(dir);
}

TEST_F(NetSession, BroadcastReachesEveryLocalPlayerOnce) {
  const int port = nettest::FreePort();
  ASSERT_EQ(Host(port), "1");
  ASSERT_EQ(Str(NETCREATEPLAYER_Str("h")), "101");
  // A second session object in this process is a client with two players.
  ZyHawkNetwork client;
  ASSERT_EQ(client.JoinGame("127.0.0.1", port), 1);
  const int c1 = client.CreatePlayer("c1");
  const int c2 = client.CreatePlayer("c2");
  EXPECT_EQ(c1, 103);
  EXPECT_EQ(c2, 104);

  EXPECT_EQ(NETSENDMSG("101", "0", "all"), 1);
  std::string text;
  for (int id : {c1, c2}) {
    EXPECT_TRUE(WaitFor([&] { return client.TakeMessage(id, &text); }, 3000)) << id;
    EXPECT_EQ(text, "all");
  }
  EXPECT_TRUE(WaitFor([] { return Str(NETGETMSG_Str("101")) == "all"; }, 3000));
  // Exactly one copy each: nothing else arrives.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(client.TakeMessage(c1, &text));
  EXPECT_FALSE(client.TakeMessage(c2, &text));
  EXPECT_EQ(Str(NETGETMSG_Str("101")), "");

  // Text with every byte value arrives unchanged, up to the limit of 2048 bytes.
  std::string binary;
  for (int i = 0; i < 2100; ++i) binary += static_cast<char>((i * 7 + 1) % 256);
  EXPECT_TRUE(client.SendText(c1, 101, binary.data(), binary.size()));
  DGStr got;
  EXPECT_TRUE(WaitFor([&] { return (got = NETGETMSG_Str("101")).Len() > 0; }, 3000));
  EXPECT_EQ(Str(got), binary.substr(0, 2048));
  client.Stop();
}

TEST_F(NetSession, CommandsWithoutSessionFailSoftly) {
  // Joining needs the socket layer started by an earlier host or address query.
  EXPECT_EQ(NETJOINGAME(0, "", "127.0.0.1", "1"), 0);
  // No local player: queries fail at once.
  EXPECT_EQ(NETNUMPLAYERS(), 0);
  EXPECT_EQ(Str(NETGETPLAYERID_Str(0)), "0");
  EXPECT_EQ(Str(NETPLAYERNAME_Str("101")), "NO_DATA");
  EXPECT_EQ(Str(NETGETMSG_Str("101")), "");
  EXPECT_EQ(NETSENDMSG("101", "102", "x"), 0);
  EXPECT_EQ(NETDESTROYPLAYER("101"), 1);
  // No worker: a player can never be announced.
  EXPECT_EQ(Str(NETCREATEPLAYER_Str("nobody")), "-1");
  // Without the session object at all.
  ZyHawkNetwork* keep = pZyNet;
  pZyNet = nullptr;
  EXPECT_EQ(NETHOSTGAME(0, "", "", "0"), 0);
  EXPECT_EQ(Str(NETCREATEPLAYER_Str("x")), "-1");
  EXPECT_EQ(Str(NETGETIP_Str()), "");
  pZyNet = keep;
}

TEST_F(NetSession, JoinFailsWithoutServerAndPortsAreChecked) {
  const std::string ip = Str(NETGETIP_Str());
  // Addresses are dotted quads without a port, separated by '|'.
  if (!ip.empty()) {
    EXPECT_EQ(ip.find(':'), std::string::npos) << ip;
  }
  EXPECT_EQ(NETHOSTGAME(0, "", "", "70000"), 0);
  EXPECT_EQ(NETJOINGAME(0, "", "no%such%host", "5000"), 0);
  // Nobody listens there: the handshake gets no answer and the join gives up.
  EXPECT_EQ(NETJOINGAME(0, "", "127.0.0.1", std::to_string(nettest::FreePort()).c_str()), 0);
  EXPECT_FALSE(pZyNet->WorkerAlive());
}

TEST_F(NetSession, DefaultPortAndEmptyAddress) {
  if (NETHOSTGAME(0, "", "", "") != 1) GTEST_SKIP() << "port 27013 is in use";
  EXPECT_EQ(Str(NETCREATEPLAYER_Str("h")), "101");
  ZyHawkNetwork client;
  // Empty address: this machine; port "0": the default port.
  ASSERT_EQ(client.JoinGame("", 0), 1);
  EXPECT_EQ(client.CreatePlayer("c"), 103);
  // The join's test player (102) has left again.
  EXPECT_TRUE(WaitFor([] { return NETNUMPLAYERS() == 2; }, 3000));
  client.Stop();
}

TEST_F(NetSession, RepeatedHostAndJoinLeakNothing) {
  const fs::path dir = nettest::ExchangeDir("cycles");
  const int remotePort = nettest::FreePort();
  nettest::SpawnChild("host", remotePort, dir);
  ASSERT_EQ(Await(dir / "host.ready"), "1 101") << nettest::ReadFile(dir / "host.log");

  // One cycle of each first, so that lazily created resources are counted in the base line.
  const int port = nettest::FreePort();
  ASSERT_EQ(Host(port), "1");
  ASSERT_EQ(NETJOINGAME(0, "", "127.0.0.1", std::to_string(remotePort).c_str()), 1);
  const int fds = nettest::OpenDescriptors();
  const int threads = nettest::Threads();

  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(Host(port), "1") << i;
    // Every new server numbers its players from 101 again.
    ASSERT_EQ(Str(NETCREATEPLAYER_Str("p")), "101") << i;
    ASSERT_EQ(NETJOINGAME(0, "", "127.0.0.1", std::to_string(remotePort).c_str()), 1) << i;
  }
  ASSERT_EQ(Str(NETCREATEPLAYER_Str("last")), std::to_string(101 + 51 + 1));
  // Detached threads may take a moment to be gone.
  EXPECT_TRUE(WaitFor([&] { return nettest::OpenDescriptors() <= fds && nettest::Threads() <= threads; }, 3000))
      << "descriptors " << nettest::OpenDescriptors() << " (was " << fds << "), threads " << nettest::Threads()
      << " (was " << threads << ")";
  nettest::EndChildren(dir);
}
