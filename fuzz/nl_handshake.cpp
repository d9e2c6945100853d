// The socket layer's connection emulation on real loopback sockets. Server side: a datagram
// at a listening socket makes a connection exactly when it is the 27-byte request (only its
// first 26 characters compared), and the reply names the new socket's port. Client side: a
// datagram arriving while a connection is pending is taken as the reply exactly when it has
// at least 24 bytes with the reply text behind the port; anything else is ignored.
#include <cstdint>
#include <cstring>

#include "NetSupport.h"

namespace {

const char kRequest[] = "HawkNL request connection.";
const char kReply[] = "HawkNL connection OK.";

struct Sockets {
  NLsocket listener, peer, fake, sink;
  Sockets() {
    nlInit();
    nlSelectNetwork(NL_IP);
    listener = nlOpen(0, NL_UNRELIABLE);
    nlListen(listener);
    peer = nlOpen(0, NL_UNRELIABLE);
    fake = nlOpen(0, NL_UNRELIABLE);
    sink = nlOpen(0, NL_UNRELIABLE);
  }
};

void Accept(const Sockets& s, const std::uint8_t* data, int size) {
  const NLaddress to = fuzz::Loopback(s.listener);
  nlSetRemoteAddr(s.peer, &to);
  if (nlWrite(s.peer, data, size) != size) return;
  const NLsocket conn = nlAcceptConnection(s.listener);
  const bool request = size >= 27 && std::memcmp(data, kRequest, 26) == 0;
  if ((conn != NL_INVALID) != request) __builtin_trap();
  bool replied = false;
  fuzz::Drain(s.peer, [&](const unsigned char* buf, int n) {
    if (!request || replied || n != 24 || ((buf[0] << 8) | buf[1]) != fuzz::PortOf(conn) ||
        std::memcmp(buf + 2, kReply, 22) != 0) {
      __builtin_trap();
    }
    replied = true;
  });
  if (request != replied) __builtin_trap();
  if (conn != NL_INVALID) nlClose(conn);
}

void Connect(const Sockets& s, const std::uint8_t* data, int size) {
  const NLsocket client = nlOpen(0, NL_UNRELIABLE);
  const NLaddress to = fuzz::Loopback(s.fake);
  if (client == NL_INVALID || !nlConnect(client, &to)) __builtin_trap();
  unsigned char request[64];
  if (nlRead(s.fake, request, sizeof request) != 27) __builtin_trap();  // and the fake now answers the client
  nlWrite(s.fake, data, size);
  unsigned char reply[24] = {static_cast<unsigned char>(fuzz::PortOf(s.sink) >> 8),
                             static_cast<unsigned char>(fuzz::PortOf(s.sink) & 0xff)};
  std::memcpy(reply + 2, kReply, 22);
  nlWrite(s.fake, reply, 24);
  if (!fuzz::HandshakeDone(client)) __builtin_trap();
  const bool taken = size >= 24 && std::memcmp(data + 2, kReply, 21) == 0;
  const int port = taken ? (data[0] << 8) | data[1] : fuzz::PortOf(s.sink);
  NLaddress remote;
  nlGetRemoteAddr(client, &remote);
  if (port != 0 && nlGetPortFromAddr(&remote) != port) __builtin_trap();
  nlClose(client);
  fuzz::Drain(s.sink, [](const unsigned char*, int) {});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Sockets sockets;
  if (size > 1024) return 0;
  // A reply taken earlier may have sent its empty datagram to one of ours.
  for (NLsocket s : {sockets.listener, sockets.peer, sockets.fake}) fuzz::Drain(s, [](const unsigned char*, int) {});
  Accept(sockets, data, static_cast<int>(size));
  Connect(sockets, data, static_cast<int>(size));
  return 0;
}
