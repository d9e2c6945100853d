// The session worker's handling of decoded messages, server and client side, driven with
// real datagrams over loopback in one thread. The worker hosts a server; a remote client
// sends the input's server-side datagrams to it, and a fake server sends its client-side
// datagrams to the worker's own connection. Each pass must leave nothing unhandled, keep its
// queues bounded, and send only well-formed datagrams.
//
// Input: records of a direction byte (even: to the server, odd: to the worker's connection),
// a 16-bit little-endian length and that many bytes.
#include <cstdint>
#include <cstring>
#include <vector>

#include "NetSupport.h"
#include "net/ZyHawkNetwork.h"
#include "net/ZyHawkWorker.h"

using TAVELOR::ZyHawkNetwork;
using TAVELOR::ZyHawkWorker;

namespace {

struct Session {
  ZyHawkNetwork net;
  NLsocket client = NL_INVALID;  // the remote client of the server
  NLsocket srv = NL_INVALID;     // the fake server's end of the worker's own connection
  ZyHawkWorker* worker = nullptr;

  Session() {
    net.StartNetwork();
    net.listenSocket = nlOpen(0, NL_UNRELIABLE);
    nlListen(net.listenSocket);
    // The worker's own connection goes to a fake server that the target speaks for.
    NLsocket fake = nlOpen(0, NL_UNRELIABLE);
    nlListen(fake);
    net.connSocket = nlOpen(0, NL_UNRELIABLE);
    NLaddress to = fuzz::Loopback(fake);
    nlConnect(net.connSocket, &to);
    while ((srv = nlAcceptConnection(fake)) == NL_INVALID) std::this_thread::yield();
    if (!fuzz::HandshakeDone(net.connSocket)) __builtin_trap();
    worker = new ZyHawkWorker(&net);
    worker->Start();
    client = nlOpen(0, NL_UNRELIABLE);
    to = fuzz::Loopback(net.listenSocket);
    nlConnect(client, &to);
    // The worker's passes accept the client.
    char none = 0;
    while (nlWrite(client, &none, 0) == NL_INVALID) worker->Pass();
  }
};

void Reset(ZyHawkNetwork& net) {
  ZyHawkNetwork::Lock(&net);
  net.serverPlayers.clear();
  net.localPlayers.clear();
  net.replies.clear();
  int serial = 1;
  for (int id : {101, 102, -3}) {
    ZyHawkNetwork::Player& p = net.localPlayers.emplace_back();
    p.id = id;
    p.serial = static_cast<unsigned>(serial++);
    std::strcpy(p.name, id == -3 ? "waiting" : "local");
  }
  ZyHawkNetwork::Unlock(&net);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Kept to the end of the process: no worker thread exists whose end could be awaited.
  static Session& s = *new Session;
  Reset(s.net);
  int records = 0;
  while (size >= 3 && records++ < 32) {
    const bool toServer = data[0] % 2 == 0;
    std::size_t n = data[1] | (data[2] << 8);
    data += 3;
    size -= 3;
    if (n > size) n = size;
    if (n > static_cast<std::size_t>(ZyHawkNetwork::kMaxDatagram)) n = ZyHawkNetwork::kMaxDatagram;
    nlWrite(toServer ? s.client : s.srv, data, static_cast<NLint>(n));
    data += n;
    size -= n;
  }
  for (int pass = 0; pass < 2; ++pass) {
    if (!s.worker->Pass()) __builtin_trap();
    ZyHawkNetwork::Lock(&s.net);
    if (!s.net.incoming.empty() || s.net.replies.size() > 64) __builtin_trap();
    for (const ZyHawkNetwork::Player& p : s.net.localPlayers) {
      if (p.messages.size() > 4096) __builtin_trap();
    }
    ZyHawkNetwork::Unlock(&s.net);
  }
  // What the server sends to its clients, and the worker's own requests to its server.
  ZyHawkNetwork::Message msg;
  fuzz::Drain(s.client, [&](const unsigned char* b, int n) {
    if (!ZyHawkNetwork::Decode(b, n, false, &msg)) __builtin_trap();
  });
  fuzz::Drain(s.srv, [&](const unsigned char* b, int n) {
    if (!ZyHawkNetwork::Decode(b, n, true, &msg)) __builtin_trap();
  });
  return 0;
}
