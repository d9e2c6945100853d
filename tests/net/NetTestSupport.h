// Helpers of the network tests: bounded waits, free loopback ports, and counts of this
// process's descriptors and threads.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <thread>

#include "frame/Runtime.h"
#include "net/ZyHawkNetwork.h"
#include "net/nl/nl.h"

namespace nettest {

namespace fs = std::filesystem;

// Polls cond until it holds or ms have passed, times four: sanitizers and a loaded machine slow
// the workers down, and a condition that holds returns at once.
inline bool WaitFor(const std::function<bool()>& cond, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(4 * ms);
  while (!cond()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
  }
  return true;
}

// A UDP port that was free a moment ago, below the kernel's ephemeral range: sockets bound to
// port 0 never get it while a test closes and hosts on it again.
inline int FreePort() {
  int low = 32768;
  if (std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range"); range) range >> low;
  static std::mt19937 rng(std::random_device{}());
  nlInit();
  nlSelectNetwork(NL_IP);
  int port = 0;
  for (int tries = 0; tries < 200 && port == 0; ++tries) {
    const int candidate = std::uniform_int_distribution<int>(10000, low > 11000 ? low - 1 : 30000)(rng);
    NLsocket s = nlOpen(static_cast<NLushort>(candidate), NL_UNRELIABLE);
    if (s != NL_INVALID && nlClose(s)) port = candidate;
  }
  nlShutdown();
  return port;
}

inline NLaddress Loopback(int port) {
  NLaddress a;
  nlStringToAddr("127.0.0.1", &a);
  nlSetAddrPort(&a, static_cast<NLushort>(port));
  return a;
}

inline int Port(NLsocket s, bool remote = false) {
  NLaddress a;
  remote ? nlGetRemoteAddr(s, &a) : nlGetLocalAddr(s, &a);
  return nlGetPortFromAddr(&a);
}

// Checks that the last socket call failed with err.
inline void Failed(bool failed, NLenum err) {
  EXPECT_TRUE(failed);
  EXPECT_EQ(nlGetError(), err);
}

// True once a connecting socket's handshake is done and it accepts writes.
inline bool Connected(NLsocket s) {
  char none = 0;
  return WaitFor([&] { return nlWrite(s, &none, 0) == 0; }, 3000);
}

// Ends the session behind the NET commands: its worker, its players and the object.
inline void EndSession() {
  TAVELOR::pZyNet->Stop();
  TAVELOR::pZyNet->LogOffPlayers();
  delete TAVELOR::pZyNet;
  TAVELOR::pZyNet = nullptr;
}

inline int CountEntries(const char* dir) {
  return static_cast<int>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

}  // namespace nettest
