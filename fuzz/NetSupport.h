// Loopback sockets for the network fuzz targets.
#pragma once

#include <chrono>
#include <cstddef>
#include <thread>

#include "net/nl/nl.h"

namespace fuzz {

inline NLaddress Loopback(NLsocket s) {
  NLaddress local;
  nlGetLocalAddr(s, &local);
  NLaddress a;
  nlStringToAddr("127.0.0.1", &a);
  nlSetAddrPort(&a, nlGetPortFromAddr(&local));
  return a;
}

inline NLushort PortOf(NLsocket s) {
  NLaddress a;
  nlGetLocalAddr(s, &a);
  return nlGetPortFromAddr(&a);
}

// True once a connecting socket's handshake has ended (connected or refused); waits at most
// about six seconds.
inline bool HandshakeDone(NLsocket s) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(6);
  char none = 0;
  while (std::chrono::steady_clock::now() < end) {
    if (nlWrite(s, &none, 0) != NL_INVALID || nlGetError() != NL_CON_PENDING) return true;
    std::this_thread::yield();
  }
  return false;
}

// Reads and drops everything waiting on s; calls check with each non-empty datagram.
template <class Check>
void Drain(NLsocket s, Check check) {
  unsigned char buf[NL_MAX_PACKET_LENGTH];
  for (int i = 0; i < 1024; ++i) {
    const NLint n = nlRead(s, buf, sizeof buf);
    if (n <= 0) {
      // 0 is both "nothing" and an empty datagram: look once more only if data waits.
      if (n < 0) return;
      NLint group = nlGroupCreate();
      nlGroupAddSocket(group, s);
      NLsocket ready[1];
      const bool more = nlPollGroup(group, NL_READ_STATUS, ready, 1, 0) == 1;
      nlGroupDestroy(group);
      if (!more) return;
      continue;
    }
    check(buf, static_cast<int>(n));
  }
}

}  // namespace fuzz
