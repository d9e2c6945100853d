// The other side of the multi-process tests. When TAVELOR_NET_CHILD is set to
// "role:port:dir", NetChild.Run plays that role and talks to the parent through files in dir:
//  - role "host": hosts on port, creates player "hostchild", writes host.ready.
//  - any other role is a client named after it: joins 127.0.0.1:port, creates a player of
//    that name, writes "<join result> <id>" to <role>.id, appends every message its player
//    receives as a line of <role>.msgs, and runs the commands of <role>.cmd.<n> (n = 1, 2, ...):
//    "send <to> <text>" or "destroy <id>", answering in <role>.out.<n>.
// Every role ends when dir/quit appears, or after 30 seconds.
#include <gtest/gtest.h>
#include <tavelor/net.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "NetTestSupport.h"
#include "frame/Runtime.h"

using namespace TAVELOR;
namespace fs = std::filesystem;

TEST(NetChild, Run) {
  const char* setting = std::getenv("TAVELOR_NET_CHILD");
  if (!setting) GTEST_SKIP() << "runs only as a child of the session tests";
  std::string s = setting;
  const std::size_t a = s.find(':');
  const std::size_t b = s.find(':', a + 1);
  const std::string role = s.substr(0, a);
  const std::string port = s.substr(a + 1, b - a - 1);
  const fs::path dir = s.substr(b + 1);

  pZyNet = new ZyHawkNetwork;
  std::string myId;
  if (role == "host") {
    const double ok = NETHOSTGAME(0, "", "", port.c_str());
    myId = NETCREATEPLAYER_Str("hostchild").c_str();
    nettest::WriteFile(dir / "host.ready", std::to_string(static_cast<int>(ok)) + " " + myId);
  } else {
    NETGETIP_Str();  // starts the socket layer
    const double ok = NETJOINGAME(0, "", "127.0.0.1", port.c_str());
    myId = NETCREATEPLAYER_Str(role.c_str()).c_str();
    nettest::WriteFile(dir / (role + ".id"), std::to_string(static_cast<int>(ok)) + " " + myId);
  }

  std::string received;
  int next = 1;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < end && !fs::exists(dir / "quit")) {
    for (DGStr m = NETGETMSG_Str(myId.c_str()); m.Len() > 0; m = NETGETMSG_Str(myId.c_str())) {
      received += std::string(m.c_str()) + "\n";
      nettest::WriteFile(dir / (role + ".msgs"), received);
    }
    const fs::path cmdFile = dir / (role + ".cmd." + std::to_string(next));
    if (fs::exists(cmdFile)) {
      const std::string cmd = nettest::ReadFile(cmdFile);
      std::string result = "?";
      if (cmd.rfind("send ", 0) == 0) {
        const std::size_t sp = cmd.find(' ', 5);
        const std::string to = cmd.substr(5, sp - 5);
        const std::string text = cmd.substr(sp + 1);
        result = std::to_string(static_cast<int>(NETSENDMSG(myId.c_str(), to.c_str(), text.c_str())));
      } else if (cmd.rfind("destroy ", 0) == 0) {
        result = std::to_string(static_cast<int>(NETDESTROYPLAYER(cmd.substr(8).c_str())));
      }
      nettest::WriteFile(dir / (role + ".out." + std::to_string(next)), result);
      ++next;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
  }
  nettest::EndSession();
}
