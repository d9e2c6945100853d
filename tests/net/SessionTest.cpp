// Sessions end to end through the NET commands: a host here, clients in child processes or
// as further session objects in this process. Loopback only; every wait is bounded.
#include <gtest/gtest.h>
#include <tavelor/net.h>

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

// Gives a child a command and returns its answer.
std::string Command(const fs::path& dir, const std::string& role, int n, const std::string& cmd) {
  WriteFile(dir / (role + ".cmd." + std::to_string(n)), cmd);
  return Await(dir / (role + ".out." + std::to_string(n)));
}

}  // namespace

TEST_F(NetSession, HostAndTwoClientProcesses) {
  const int port = FreePort();
  const fs::path dir = ExchangeDir("two_clients");
  ASSERT_EQ(Host(port), 1);
  ASSERT_EQ(Str(NETCREATEPLAYER_Str("hostp")), "101");
  // Each join announces a test player first (102, 104) and logs it off again.
  SpawnChild("alice", port, dir);
  ASSERT_EQ(Await(dir / "alice.id"), "1 103") << ReadFile(dir / "alice.log");
  SpawnChild("bob", port, dir);
  ASSERT_EQ(Await(dir / "bob.id"), "1 105") << ReadFile(dir / "bob.log");

  EXPECT_TRUE(WaitFor([] { return NETNUMPLAYERS() == 3; }, 3000));
  for (const auto& [index, id] : {std::pair<double, const char*>{0, "101"}, {1, "103"}, {2.9, "105"}, {3, "0"}, {-1, "0"}}) {
    EXPECT_EQ(Str(NETGETPLAYERID_Str(index)), id) << index;
  }
  for (const auto& [id, name] : {std::pair<const char*, const char*>{"103", "alice"}, {"105", "bob"}, {"101", "hostp"}, {"999", ""}}) {
    EXPECT_EQ(Str(NETPLAYERNAME_Str(id)), name) << id;
  }
  // Player to player across two clients, then to everybody (recipient "0").
  EXPECT_EQ(Command(dir, "alice", 1, "send 105 hello bob"), "1");
  EXPECT_EQ(Command(dir, "alice", 2, "send 0 hi all"), "1");
  EXPECT_TRUE(WaitFor([&] { return ReadFile(dir / "bob.msgs") == "hello bob\nhi all\n"; }, 3000)) << ReadFile(dir / "bob.msgs");
  EXPECT_TRUE(WaitFor([&] { return ReadFile(dir / "alice.msgs") == "hi all\n"; }, 3000)) << ReadFile(dir / "alice.msgs");
  EXPECT_EQ(HostGets("101"), "hi all");
  EXPECT_EQ(Str(NETGETMSG_Str("101")), "");
  EXPECT_EQ(Str(NETGETMSG_Str("555")), "");

  // A destroyed player disappears from the server's table for everybody; messages to it go
  // nowhere, the others still get theirs.
  EXPECT_EQ(Command(dir, "bob", 1, "destroy 105"), "1");
  EXPECT_TRUE(WaitFor([] { return NETNUMPLAYERS() == 2; }, 3000));
  EXPECT_EQ(Str(NETGETPLAYERID_Str(1)), "103");
  EXPECT_EQ(Str(NETGETPLAYERID_Str(2)), "0");
  EXPECT_EQ(Str(NETPLAYERNAME_Str("105")), "");
  EXPECT_EQ(Command(dir, "alice", 3, "send 105 lost"), "1");
  EXPECT_EQ(Command(dir, "alice", 4, "send 101 for host"), "1");
  EXPECT_EQ(HostGets("101"), "for host");
  EXPECT_EQ(ReadFile(dir / "bob.msgs"), "hello bob\nhi all\n");
  EndChildren(dir);
}

// Hosted on the default port where it is free: a join to the empty address and port 0 finds it.
TEST_F(NetSession, BroadcastReachesEveryLocalPlayerOnce) {
  const int port = FreePort();
  const bool byDefault = NETHOSTGAME(0, "", "", "") == 1;
  ASSERT_TRUE(byDefault || Host(port) == 1);
  ASSERT_EQ(Str(NETCREATEPLAYER_Str("h")), "101");
  // A second session object in this process is a client with two players.
  ZyHawkNetwork client;
  ASSERT_EQ(byDefault ? client.JoinGame("", 0) : client.JoinGame("127.0.0.1", port), 1);
  const int c1 = client.CreatePlayer("c1"), c2 = client.CreatePlayer("c2");
  EXPECT_EQ(std::pair(c1, c2), std::pair(103, 104));
  // The join's test player (102) has left again.
  EXPECT_TRUE(WaitFor([] { return NETNUMPLAYERS() == 3; }, 3000));
  EXPECT_EQ(NETSENDMSG("101", "0", "all"), 1);
  std::string text;
  for (int id : {c1, c2}) {
    EXPECT_TRUE(WaitFor([&] { return client.TakeMessage(id, &text); }, 3000)) << id;
    EXPECT_EQ(text, "all");
  }
  EXPECT_EQ(HostGets("101"), "all");
  // Exactly one copy each: nothing else arrives.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(client.TakeMessage(c1, &text) || client.TakeMessage(c2, &text));
  EXPECT_EQ(Str(NETGETMSG_Str("101")), "");
  // Text with every byte value arrives unchanged, up to the limit of 2048 bytes.
  std::string binary;
  for (int i = 0; i < 2100; ++i) binary += static_cast<char>((i * 7 + 1) % 256);
  EXPECT_TRUE(client.SendText(c1, 101, binary.data(), binary.size()));
  EXPECT_EQ(HostGets("101"), binary.substr(0, 2048));
  client.Stop();
}

TEST_F(NetSession, CommandsWithoutSessionFailSoftly) {
  // Joining needs the socket layer started by an earlier host or address query.
  EXPECT_EQ(Join(1), 0);
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
  Failed(nlWrite(client, &byte, 1) == NL_INVALID, NL_CON_PENDING);
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
  const fs::path dir = ExchangeDir("cycles");
  const int remotePort = FreePort();
  SpawnChild("host", remotePort, dir);
  ASSERT_EQ(Await(dir / "host.ready"), "1 101") << ReadFile(dir / "host.log");
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
  ASSERT_EQ(Str(NETCREATEPLAYER_Str("last")), std::to_string(101 + 101 + 1));
  // Detached threads may take a moment to be gone.
  EXPECT_TRUE(WaitFor([&] { return fds() <= fds0 && threads() <= threads0; }, 3000))
      << "descriptors " << fds() << " (was " << fds0 << "), threads " << threads() << " (was " << threads0 << ")";
  EndChildren(dir);
}

// The other side of the multi-process tests. When TAVELOR_NET_CHILD is set to
// "role:port:dir", NetChild.Run plays that role and talks to the parent through files in dir:
//  - role "host": hosts on port, creates player "hostchild", writes host.ready.
//  - any other role is a client named after it: joins 127.0.0.1:port, creates a player of
//    that name, writes "<join result> <id>" to <role>.id, appends every message its player
//    receives as a line of <role>.msgs, and runs the commands of <role>.cmd.<n> (n = 1, 2, ...):
//    "send <to> <text>" or "destroy <id>", answering in <role>.out.<n>.
// Every role ends when dir/quit appears, or after 30 seconds.
TEST(NetChild, Run) {
  const char* setting = std::getenv("TAVELOR_NET_CHILD");
  if (!setting) GTEST_SKIP() << "runs only as a child of the session tests";
  const std::string s = setting;
  const std::size_t a = s.find(':'), b = s.find(':', a + 1);
  const std::string role = s.substr(0, a), port = s.substr(a + 1, b - a - 1);
  const fs::path dir = s.substr(b + 1);

  pZyNet = new ZyHawkNetwork;
  const bool host = role == "host";
  if (!host) NETGETIP_Str();  // starts the socket layer
  const double ok = host ? NETHOSTGAME(0, "", "", port.c_str()) : NETJOINGAME(0, "", "127.0.0.1", port.c_str());
  const std::string myId = NETCREATEPLAYER_Str(host ? "hostchild" : role.c_str()).c_str();
  WriteFile(dir / (host ? "host.ready" : role + ".id"), std::to_string(static_cast<int>(ok)) + " " + myId);

  std::string received;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (int next = 1; std::chrono::steady_clock::now() < end && !fs::exists(dir / "quit");) {
    for (DGStr m = NETGETMSG_Str(myId.c_str()); m.Len() > 0; m = NETGETMSG_Str(myId.c_str())) {
      received += std::string(m.c_str()) + "\n";
      WriteFile(dir / (role + ".msgs"), received);
    }
    const fs::path cmdFile = dir / (role + ".cmd." + std::to_string(next));
    if (fs::exists(cmdFile)) {
      const std::string cmd = ReadFile(cmdFile);
      const std::size_t sp = cmd.find(' ', 5);
      const double result = cmd.rfind("send ", 0) == 0
                                ? NETSENDMSG(myId.c_str(), cmd.substr(5, sp - 5).c_str(), cmd.substr(sp + 1).c_str())
                                : NETDESTROYPLAYER(cmd.substr(8).c_str());
      WriteFile(dir / (role + ".out." + std::to_string(next++)), std::to_string(static_cast<int>(result)));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
  }
  EndSession();
}
