// Shared state of the socket layer: the socket and group tables and the per-thread errors.
#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "net/nl/nl.h"

namespace nlimpl {

enum ConnectState { kUnconnected, kPending, kConnected, kRefused };

struct Socket {
  int fd = -1;
  bool listening = false;
  std::atomic<int> state{kUnconnected};
  // The peer: the connected address, or the sender of the last datagram read.
  std::mutex peerLock;
  bool hasPeer = false;
  sockaddr_in peer{};
  // A handshake thread may still use fd; whoever finishes last closes it.
  std::mutex closeLock;
  bool handshakeRunning = false;
  bool closed = false;
};

struct Tables {
  std::mutex lock;
  int initCount = 0;
  bool networkSelected = false;
  NLsocket nextSocket = 1;
  NLint nextGroup = 1;
  std::map<NLsocket, std::shared_ptr<Socket>> sockets;
  std::map<NLint, std::vector<NLsocket>> groups;
};

Tables& State();
void SetError(NLenum err);
// Records errno as the system error and sets NL_SYSTEM_ERROR.
void SetSystemError(int err);
// The socket, or null with NL_INVALID_SOCKET.
std::shared_ptr<Socket> Find(NLsocket socket);
// Closes fd now, or leaves it to a handshake thread that still runs.
void Release(const std::shared_ptr<Socket>& sock);
// The socket for a read or write of nbytes, with its connection state, or null with the
// error set: a null buffer, nbytes outside 0..limit (sizeError), an unknown socket, or a
// handshake that is still pending or has failed.
std::shared_ptr<Socket> FindForIo(NLsocket socket, const void* buffer, NLint nbytes, NLint limit, NLenum sizeError,
                                  int* state);
// What a read or write returns for the system call's result n: the byte count, 0 when the
// call would block (or, for a write, the system is short of buffers), else NL_INVALID.
NLint IoResult(ssize_t n, bool writing);

}  // namespace nlimpl
