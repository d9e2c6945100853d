// Sockets of the socket layer: UDP with the connection emulation, addresses and errors.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <thread>

#include "net/nl/nlInternal.h"

namespace nlimpl {

namespace {
thread_local NLenum t_error = NL_NO_ERROR;
thread_local int t_systemError = 0;

// The handshake datagrams, byte for byte.
constexpr char kRequest[] = "HawkNL request connection.";  // 26 characters and a NUL
constexpr int kRequestSize = 27;
constexpr char kReplyText[] = "HawkNL connection OK.";  // 21 characters and a NUL
constexpr int kReplySize = 24;
constexpr auto kHandshakeTimeout = std::chrono::milliseconds(5500);
}  // namespace

Tables& State() {
  static Tables* tables = new Tables;  // lives to process end: handshake threads may outlive main
  return *tables;
}

void SetError(NLenum err) { t_error = err; }

void SetSystemError(int err) {
  t_systemError = err;
  t_error = NL_SYSTEM_ERROR;
}

std::shared_ptr<Socket> Find(NLsocket socket) {
  Tables& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  auto it = st.sockets.find(socket);
  if (it == st.sockets.end()) {
    SetError(NL_INVALID_SOCKET);
    return nullptr;
  }
  return it->second;
}

void Release(const std::shared_ptr<Socket>& sock) {
  std::lock_guard<std::mutex> guard(sock->closeLock);
  if (sock->closed) return;
  sock->closed = true;
  if (!sock->handshakeRunning && sock->fd >= 0) {
    ::close(sock->fd);
    sock->fd = -1;
  }
}

namespace {

sockaddr_in ToSockaddr(const NLaddress* a) {
  sockaddr_in sa{};
  std::memcpy(&sa, a->addr, sizeof(sa));
  return sa;
}

void FromSockaddr(const sockaddr_in& sa, NLaddress* a) {
  std::memset(a, 0, sizeof(*a));
  std::memcpy(a->addr, &sa, sizeof(sa));
  a->valid = NL_TRUE;
}

bool IsConnectionError(int err) {
  switch (err) {
    case ECONNRESET:
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ECONNABORTED:
    case ETIMEDOUT:
    case ENETRESET:
    case ENETDOWN: return true;
    default: return false;
  }
}

void SetIoError(int err) {
  if (IsConnectionError(err)) {
    t_systemError = err;
    SetError(NL_SOCK_DISCONNECT);
  } else {
    SetSystemError(err);
  }
}

int OpenUdp(unsigned short port) {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_ANY);
  sa.sin_port = htons(port);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) != 0) {
    int err = errno;
    ::close(fd);
    errno = err;
    return -1;
  }
  return fd;
}

NLsocket Register(const std::shared_ptr<Socket>& sock) {
  Tables& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  NLsocket id = st.nextSocket++;
  st.sockets[id] = sock;
  return id;
}

// The socket, or null with the error set: NL_NULL_POINTER when the caller's pointer argument
// is null, else as Find.
std::shared_ptr<Socket> FindWith(NLsocket socket, const void* argument) {
  if (!argument) {
    SetError(NL_NULL_POINTER);
    return nullptr;
  }
  return Find(socket);
}

// Waits for the server's reply to a connection request, then connects to the port it names.
void Handshake(std::shared_ptr<Socket> sock) {
  const int fd = sock->fd;
  const auto deadline = std::chrono::steady_clock::now() + kHandshakeTimeout;
  bool connected = false;
  while (!connected && std::chrono::steady_clock::now() < deadline) {
    {
      std::lock_guard<std::mutex> guard(sock->closeLock);
      if (sock->closed) break;
    }
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    for (int i = 0; i < 256 && !connected; ++i) {
      unsigned char buf[512];
      sockaddr_in from{};
      socklen_t fromLen = sizeof(from);
      ssize_t n = ::recvfrom(fd, buf, sizeof(buf), 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
      if (n < 0) break;
      if (n < kReplySize || std::memcmp(buf + 2, kReplyText, sizeof(kReplyText) - 1) != 0) continue;
      from.sin_port = htons(static_cast<unsigned short>((buf[0] << 8) | buf[1]));
      if (::connect(fd, reinterpret_cast<sockaddr*>(&from), sizeof(from)) != 0) break;
      (void)::send(fd, "", 0, MSG_NOSIGNAL);
      {
        std::lock_guard<std::mutex> guard(sock->peerLock);
        sock->peer = from;
        sock->hasPeer = true;
      }
      connected = true;
    }
  }
  sock->state = connected ? kConnected : kRefused;
  std::lock_guard<std::mutex> guard(sock->closeLock);
  sock->handshakeRunning = false;
  if (sock->closed && sock->fd >= 0) {
    ::close(sock->fd);
    sock->fd = -1;
  }
}

}  // namespace

std::shared_ptr<Socket> FindForIo(NLsocket socket, const void* buffer, NLint nbytes, NLint limit, NLenum sizeError,
                                  int* state) {
  if (!buffer) {
    SetError(NL_NULL_POINTER);
    return nullptr;
  }
  if (nbytes < 0 || nbytes > limit) {
    SetError(sizeError);
    return nullptr;
  }
  auto sock = Find(socket);
  if (!sock) return nullptr;
  *state = sock->state;
  if (*state == kPending || *state == kRefused) {
    SetError(*state == kPending ? NL_CON_PENDING : NL_CON_REFUSED);
    return nullptr;
  }
  return sock;
}

NLint IoResult(ssize_t n, bool writing) {
  if (n >= 0) return static_cast<NLint>(n);
  const int err = errno;
  if (err == EAGAIN || err == EWOULDBLOCK || err == EINTR || (writing && err == ENOBUFS)) return 0;
  SetIoError(err);
  return NL_INVALID;
}

}  // namespace nlimpl

using namespace nlimpl;

NLboolean nlInit() {
  Tables& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  ++st.initCount;
  return NL_TRUE;
}

void nlShutdown() {
  Tables& st = State();
  std::map<NLsocket, std::shared_ptr<Socket>> toClose;
  {
    std::lock_guard<std::mutex> guard(st.lock);
    if (st.initCount == 0) return;
    if (--st.initCount > 0) return;
    toClose.swap(st.sockets);
    st.groups.clear();
    st.networkSelected = false;
  }
  for (auto& entry : toClose) Release(entry.second);
}

NLboolean nlSelectNetwork(NLenum network) {
  Tables& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  if (st.initCount == 0) {
    SetError(NL_NO_NETWORK);
    return NL_FALSE;
  }
  if (network != NL_IP) {
    SetError(NL_INVALID_TYPE);
    return NL_FALSE;
  }
  st.networkSelected = true;
  return NL_TRUE;
}

NLenum nlGetError() { return t_error; }

const char* nlGetErrorStr(NLenum err) {
  switch (err) {
    case NL_NO_ERROR: return "No HawkNL error.";
    case NL_NO_NETWORK: return "No network was found on init.";
    case NL_OUT_OF_MEMORY: return "Out of memory.";
    case NL_INVALID_ENUM: return "Invalid NLenum.";
    case NL_INVALID_SOCKET: return "Socket is not valid.";
    case NL_INVALID_PORT: return "Port could not be opened.";
    case NL_INVALID_TYPE: return "Network type is not available.";
    case NL_SYSTEM_ERROR: return "A system error occurred, call nlGetSystemError.";
    case NL_SOCK_DISCONNECT: return "Connection error: Close socket.";
    case NL_NOT_LISTEN: return "Socket has not been set to listen.";
    case NL_CON_REFUSED: return "Connection refused.";
    case NL_NO_PENDING: return "No pending connections to accept.";
    case NL_BAD_ADDR: return "The address or port are not valid.";
    case NL_MESSAGE_END: return "TCP message end.";
    case NL_NULL_POINTER: return "A NULL pointer was passed to a function.";
    case NL_INVALID_GROUP: return "The group is not valid.";
    case NL_OUT_OF_GROUPS: return "Out of groups.";
    case NL_OUT_OF_GROUP_SOCKETS: return "The group is full.";
    case NL_BUFFER_SIZE: return "The buffer is too small.";
    case NL_PACKET_SIZE: return "The packet is too large.";
    case NL_WRONG_TYPE: return "Wrong socket type.";
    case NL_CON_PENDING: return "A non-blocking connection is still pending.";
    case NL_SELECT_NET_ERROR: return "A network type is already selected.";
    case NL_TIMED_OUT: return "The function timed out.";
    case NL_SOCKET_NOT_FOUND: return "The socket was not found in the group.";
    case NL_STRING_OVER_RUN: return "The string could cause a buffer over-run or corrupt memory.";
    case NL_CONNECTED: return "The socket is already connected.";
    default: return "Undefined HawkNL error.";
  }
}

NLint nlGetSystemError() { return t_systemError; }

const char* nlGetSystemErrorStr(NLint err) { return std::strerror(err); }

NLsocket nlOpen(NLushort port, NLenum type) {
  {
    Tables& st = State();
    std::lock_guard<std::mutex> guard(st.lock);
    if (st.initCount == 0 || !st.networkSelected) {
      SetError(NL_NO_NETWORK);
      return NL_INVALID;
    }
  }
  if (type != NL_UNRELIABLE) {
    SetError(NL_INVALID_ENUM);
    return NL_INVALID;
  }
  int fd = OpenUdp(port);
  if (fd < 0) {
    SetSystemError(errno);
    return NL_INVALID;
  }
  auto sock = std::make_shared<Socket>();
  sock->fd = fd;
  return Register(sock);
}

NLboolean nlClose(NLsocket socket) {
  Tables& st = State();
  std::shared_ptr<Socket> sock;
  {
    std::lock_guard<std::mutex> guard(st.lock);
    auto it = st.sockets.find(socket);
    if (it == st.sockets.end()) {
      SetError(NL_INVALID_SOCKET);
      return NL_FALSE;
    }
    sock = it->second;
    st.sockets.erase(it);
    for (auto& group : st.groups) std::erase(group.second, socket);
  }
  Release(sock);
  return NL_TRUE;
}

NLboolean nlListen(NLsocket socket) {
  auto sock = Find(socket);
  if (!sock) return NL_FALSE;
  sock->listening = true;
  return NL_TRUE;
}

NLsocket nlAcceptConnection(NLsocket socket) {
  auto sock = Find(socket);
  if (!sock) return NL_INVALID;
  if (!sock->listening) {
    SetError(NL_NOT_LISTEN);
    return NL_INVALID;
  }
  unsigned char buf[512];
  sockaddr_in from{};
  socklen_t fromLen = sizeof(from);
  ssize_t n = ::recvfrom(sock->fd, buf, sizeof(buf), 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
  if (n < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || IsConnectionError(errno) ||
        errno == ECONNREFUSED) {
      SetError(NL_NO_PENDING);
    } else {
      SetSystemError(errno);
    }
    return NL_INVALID;
  }
  // A request is the whole 27-byte datagram; only its 26 characters are compared.
  if (n < kRequestSize || std::memcmp(buf, kRequest, kRequestSize - 1) != 0) {
    SetError(NL_NO_PENDING);
    return NL_INVALID;
  }
  int fd = OpenUdp(0);
  if (fd < 0) {
    SetSystemError(errno);
    return NL_INVALID;
  }
  sockaddr_in local{};
  socklen_t localLen = sizeof(local);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLen);
  const unsigned short newPort = ntohs(local.sin_port);
  unsigned char reply[kReplySize];
  reply[0] = static_cast<unsigned char>(newPort >> 8);
  reply[1] = static_cast<unsigned char>(newPort & 0xff);
  std::memcpy(reply + 2, kReplyText, sizeof(kReplyText));
  if (::sendto(sock->fd, reply, sizeof(reply), 0, reinterpret_cast<sockaddr*>(&from), sizeof(from)) < 0 ||
      ::connect(fd, reinterpret_cast<sockaddr*>(&from), sizeof(from)) != 0) {
    SetSystemError(errno);
    ::close(fd);
    return NL_INVALID;
  }
  (void)::send(fd, "", 0, MSG_NOSIGNAL);
  auto conn = std::make_shared<Socket>();
  conn->fd = fd;
  conn->state = kConnected;
  conn->peer = from;
  conn->hasPeer = true;
  return Register(conn);
}

NLboolean nlConnect(NLsocket socket, const NLaddress* address) {
  auto sock = FindWith(socket, address);
  if (!sock) return NL_FALSE;
  sockaddr_in to = ToSockaddr(address);
  if (!address->valid || to.sin_family != AF_INET || to.sin_port == 0) {
    SetError(NL_BAD_ADDR);
    return NL_FALSE;
  }
  if (sock->state == kConnected || sock->state == kPending) {
    SetError(NL_CONNECTED);
    return NL_FALSE;
  }
  if (::sendto(sock->fd, kRequest, kRequestSize, 0, reinterpret_cast<sockaddr*>(&to), sizeof(to)) < 0) {
    SetSystemError(errno);
    return NL_FALSE;
  }
  {
    std::lock_guard<std::mutex> guard(sock->closeLock);
    sock->handshakeRunning = true;
  }
  sock->state = kPending;
  try {
    std::thread(Handshake, sock).detach();
  } catch (...) {
    std::lock_guard<std::mutex> guard(sock->closeLock);
    sock->handshakeRunning = false;
    sock->state = kRefused;
    SetError(NL_OUT_OF_MEMORY);
    return NL_FALSE;
  }
  return NL_TRUE;
}

NLint nlRead(NLsocket socket, void* buffer, NLint nbytes) {
  int state = kUnconnected;
  auto sock = FindForIo(socket, buffer, nbytes, std::numeric_limits<NLint>::max(), NL_BUFFER_SIZE, &state);
  if (!sock) return NL_INVALID;
  if (state == kConnected) return IoResult(::recv(sock->fd, buffer, static_cast<size_t>(nbytes), 0), false);
  sockaddr_in from{};
  socklen_t fromLen = sizeof(from);
  const ssize_t n =
      ::recvfrom(sock->fd, buffer, static_cast<size_t>(nbytes), 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
  if (n >= 0) {
    std::lock_guard<std::mutex> guard(sock->peerLock);
    sock->peer = from;
    sock->hasPeer = true;
  }
  return IoResult(n, false);
}

NLint nlWrite(NLsocket socket, const void* buffer, NLint nbytes) {
  int state = kUnconnected;
  auto sock = FindForIo(socket, buffer, nbytes, NL_MAX_PACKET_LENGTH, NL_PACKET_SIZE, &state);
  if (!sock) return NL_INVALID;
  if (state == kConnected) return IoResult(::send(sock->fd, buffer, static_cast<size_t>(nbytes), MSG_NOSIGNAL), true);
  sockaddr_in to{};
  {
    std::lock_guard<std::mutex> guard(sock->peerLock);
    if (!sock->hasPeer) {
      SetError(NL_BAD_ADDR);
      return NL_INVALID;
    }
    to = sock->peer;
  }
  return IoResult(::sendto(sock->fd, buffer, static_cast<size_t>(nbytes), MSG_NOSIGNAL,
                           reinterpret_cast<sockaddr*>(&to), sizeof(to)),
                  true);
}

// ---- Addresses ----------------------------------------------------------------------------

namespace {

// The first IPv4 address of this host's name, else 127.0.0.1.
in_addr HostAddress() {
  in_addr result{};
  result.s_addr = htonl(INADDR_LOOPBACK);
  char name[256] = {0};
  if (::gethostname(name, sizeof(name) - 1) != 0) return result;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* list = nullptr;
  if (::getaddrinfo(name, nullptr, &hints, &list) != 0 || !list) return result;
  result = reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr;
  ::freeaddrinfo(list);
  return result;
}

}  // namespace

NLboolean nlGetLocalAddr(NLsocket socket, NLaddress* address) {
  auto sock = FindWith(socket, address);
  if (!sock) return NL_FALSE;
  sockaddr_in sa{};
  socklen_t len = sizeof(sa);
  if (::getsockname(sock->fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
    SetSystemError(errno);
    return NL_FALSE;
  }
  if (sa.sin_addr.s_addr == htonl(INADDR_ANY)) sa.sin_addr = HostAddress();
  FromSockaddr(sa, address);
  return NL_TRUE;
}

NLboolean nlGetRemoteAddr(NLsocket socket, NLaddress* address) {
  auto sock = FindWith(socket, address);
  if (!sock) return NL_FALSE;
  std::lock_guard<std::mutex> guard(sock->peerLock);
  if (!sock->hasPeer) {
    std::memset(address, 0, sizeof(*address));
    SetError(NL_BAD_ADDR);
    return NL_FALSE;
  }
  FromSockaddr(sock->peer, address);
  return NL_TRUE;
}

NLboolean nlSetRemoteAddr(NLsocket socket, const NLaddress* address) {
  auto sock = FindWith(socket, address);
  if (!sock) return NL_FALSE;
  if (sock->state != kUnconnected) {
    SetError(NL_CONNECTED);
    return NL_FALSE;
  }
  sockaddr_in sa = ToSockaddr(address);
  if (!address->valid || sa.sin_family != AF_INET) {
    SetError(NL_BAD_ADDR);
    return NL_FALSE;
  }
  std::lock_guard<std::mutex> guard(sock->peerLock);
  sock->peer = sa;
  sock->hasPeer = true;
  return NL_TRUE;
}

NLaddress* nlGetAllLocalAddr(NLint* count) {
  thread_local std::vector<NLaddress> addresses;
  addresses.clear();
  char name[256] = {0};
  addrinfo* list = nullptr;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  if (::gethostname(name, sizeof(name) - 1) == 0 && ::getaddrinfo(name, nullptr, &hints, &list) == 0) {
    for (addrinfo* ai = list; ai; ai = ai->ai_next) {
      sockaddr_in sa = *reinterpret_cast<sockaddr_in*>(ai->ai_addr);
      sa.sin_port = 0;
      bool seen = false;
      for (const NLaddress& a : addresses) seen = seen || ToSockaddr(&a).sin_addr.s_addr == sa.sin_addr.s_addr;
      if (seen) continue;
      NLaddress a;
      FromSockaddr(sa, &a);
      addresses.push_back(a);
    }
    ::freeaddrinfo(list);
  }
  if (addresses.empty()) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    NLaddress a;
    FromSockaddr(sa, &a);
    addresses.push_back(a);
  }
  if (count) *count = static_cast<NLint>(addresses.size());
  return addresses.data();
}

char* nlAddrToString(const NLaddress* address, char* string) {
  if (!address || !string) {
    SetError(NL_NULL_POINTER);
    return nullptr;
  }
  sockaddr_in sa = ToSockaddr(address);
  const unsigned long ip = ntohl(sa.sin_addr.s_addr);
  const unsigned port = ntohs(sa.sin_port);
  if (port != 0) {
    std::snprintf(string, NL_MAX_STRING_LENGTH, "%lu.%lu.%lu.%lu:%u", (ip >> 24) & 0xff, (ip >> 16) & 0xff,
                  (ip >> 8) & 0xff, ip & 0xff, port);
  } else {
    std::snprintf(string, NL_MAX_STRING_LENGTH, "%lu.%lu.%lu.%lu", (ip >> 24) & 0xff, (ip >> 16) & 0xff,
                  (ip >> 8) & 0xff, ip & 0xff);
  }
  return string;
}

namespace {

// Splits "host[:port]"; false when the port part is not a number from 0 to 65535.
bool SplitHostPort(const char* text, std::string* host, unsigned short* port) {
  std::string s = text;
  *port = 0;
  std::size_t colon = s.rfind(':');
  if (colon != std::string::npos) {
    std::string digits = s.substr(colon + 1);
    if (digits.empty() || digits.size() > 5) return false;
    unsigned long value = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (value > 65535) return false;
    *port = static_cast<unsigned short>(value);
    s.resize(colon);
  }
  *host = s;
  return true;
}

NLboolean ParseAddress(const char* name, NLaddress* address, bool resolve) {
  if (!name || !address) {
    SetError(NL_NULL_POINTER);
    return NL_FALSE;
  }
  std::memset(address, 0, sizeof(*address));
  if (std::strlen(name) > NL_MAX_STRING_LENGTH - 1 || std::strchr(name, '%')) {
    SetError(NL_STRING_OVER_RUN);
    return NL_FALSE;
  }
  std::string host;
  unsigned short port = 0;
  if (!SplitHostPort(name, &host, &port)) {
    SetError(NL_BAD_ADDR);
    return NL_FALSE;
  }
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  if (::inet_pton(AF_INET, host.c_str(), &sa.sin_addr) != 1) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* list = nullptr;
    if (!resolve || host.empty() || ::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || !list) {
      SetError(NL_BAD_ADDR);
      return NL_FALSE;
    }
    sa.sin_addr = reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr;
    ::freeaddrinfo(list);
  }
  FromSockaddr(sa, address);
  return NL_TRUE;
}

}  // namespace

NLboolean nlGetAddrFromName(const char* name, NLaddress* address) { return ParseAddress(name, address, true); }

NLboolean nlStringToAddr(const char* string, NLaddress* address) { return ParseAddress(string, address, false); }

NLboolean nlSetAddrPort(NLaddress* address, NLushort port) {
  if (!address) {
    SetError(NL_NULL_POINTER);
    return NL_FALSE;
  }
  sockaddr_in sa = ToSockaddr(address);
  sa.sin_port = htons(port);
  std::memcpy(address->addr, &sa, sizeof(sa));
  return NL_TRUE;
}

NLushort nlGetPortFromAddr(const NLaddress* address) {
  if (!address) {
    SetError(NL_NULL_POINTER);
    return 0;
  }
  return ntohs(ToSockaddr(address).sin_port);
}
