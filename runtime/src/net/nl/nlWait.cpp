// One wait on many sockets (epoll, with an eventfd for wake-ups) and batched datagrams
// (recvmmsg, sendmmsg).
#include "net/nl/nlWait.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <vector>

#include "net/nl/nlInternal.h"

using namespace nlimpl;

namespace {

constexpr std::uint64_t kWakeKey = std::numeric_limits<std::uint64_t>::max();
constexpr int kHandshakeWaitMs = 10;  // how soon a socket whose handshake ended is noticed
constexpr int kMaxBatch = 64;         // datagrams per system call

}  // namespace

struct NLwaiter::Impl {
  int epoll = -1;
  int wake = -1;
  struct Member {
    NLsocket id;
    std::shared_ptr<Socket> sock;
    bool watched;  // registered with epoll (its handshake, if any, has ended well)
  };
  std::vector<Member> members;

  bool Watch(Member& m) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = static_cast<std::uint64_t>(m.id);
    if (::epoll_ctl(epoll, EPOLL_CTL_ADD, m.sock->fd, &ev) != 0 && errno != EEXIST) return false;
    m.watched = true;
    return true;
  }
};

NLwaiter::NLwaiter() : impl_(std::make_unique<Impl>()) {
  impl_->epoll = ::epoll_create1(EPOLL_CLOEXEC);
  impl_->wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (impl_->epoll >= 0 && impl_->wake >= 0) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kWakeKey;
    ::epoll_ctl(impl_->epoll, EPOLL_CTL_ADD, impl_->wake, &ev);
  }
}

NLwaiter::~NLwaiter() {
  if (impl_->epoll >= 0) ::close(impl_->epoll);
  if (impl_->wake >= 0) ::close(impl_->wake);
}

bool NLwaiter::Valid() const { return impl_->epoll >= 0 && impl_->wake >= 0; }

NLboolean NLwaiter::Add(NLsocket socket) {
  auto sock = Find(socket);
  if (!sock) return NL_FALSE;
  for (const Impl::Member& m : impl_->members) {
    if (m.id == socket) return NL_TRUE;
  }
  impl_->members.push_back(Impl::Member{socket, sock, false});
  const int state = sock->state;
  if (state == kPending || state == kRefused) return NL_TRUE;  // watched once connected
  if (!impl_->Watch(impl_->members.back())) {
    SetSystemError(errno);
    impl_->members.pop_back();
    return NL_FALSE;
  }
  return NL_TRUE;
}

void NLwaiter::Remove(NLsocket socket) {
  auto& members = impl_->members;
  auto it = std::find_if(members.begin(), members.end(), [socket](const Impl::Member& m) { return m.id == socket; });
  if (it == members.end()) return;
  // Before the socket is closed: a closed descriptor's number may come back for another file.
  if (it->watched && it->sock->fd >= 0) ::epoll_ctl(impl_->epoll, EPOLL_CTL_DEL, it->sock->fd, nullptr);
  members.erase(it);
}

NLint NLwaiter::Wait(NLsocket* ready, NLint max, NLint timeout) {
  if (!ready) {
    SetError(NL_NULL_POINTER);
    return NL_INVALID;
  }
  if (!Valid()) {
    SetError(NL_SYSTEM_ERROR);
    return NL_INVALID;
  }
  bool pending = false;
  for (Impl::Member& m : impl_->members) {
    if (m.watched) continue;
    const int state = m.sock->state;
    if (state == kPending) {
      pending = true;
    } else if (state == kConnected && !impl_->Watch(m)) {
      SetSystemError(errno);
      return NL_INVALID;
    }
  }
  if (pending && (timeout < 0 || timeout > kHandshakeWaitMs)) timeout = kHandshakeWaitMs;
  epoll_event events[kMaxBatch];
  const int n = ::epoll_wait(impl_->epoll, events, std::min<NLint>(max + 1, kMaxBatch), timeout < 0 ? -1 : timeout);
  if (n < 0) {
    if (errno == EINTR) return 0;
    SetSystemError(errno);
    return NL_INVALID;
  }
  NLint count = 0;
  for (int i = 0; i < n; ++i) {
    if (events[i].data.u64 == kWakeKey) {
      std::uint64_t value;
      (void)!::read(impl_->wake, &value, sizeof(value));
      continue;
    }
    if (count >= max) break;  // the rest stays readable and is reported by the next wait
    ready[count++] = static_cast<NLsocket>(events[i].data.u64);
  }
  return count;
}

void NLwaiter::Wake() {
  if (impl_->wake < 0) return;
  const std::uint64_t one = 1;
  (void)!::write(impl_->wake, &one, sizeof(one));
}

NLint nlReadMany(NLsocket socket, NLdatagram* datagrams, NLint count) {
  if (!datagrams) {
    SetError(NL_NULL_POINTER);
    return NL_INVALID;
  }
  if (count <= 0) return 0;
  int state = kUnconnected;
  auto sock = FindForIo(socket, datagrams, datagrams->size, std::numeric_limits<NLint>::max(), NL_BUFFER_SIZE, &state);
  if (!sock) return NL_INVALID;
  if (state != kConnected) {
    // An unconnected socket also learns its peer from each datagram: one at a time.
    const NLint n = nlRead(socket, datagrams->data, datagrams->size);
    if (n <= 0) return n;
    datagrams->length = n;
    return 1;
  }
  count = std::min(count, kMaxBatch);
  mmsghdr msgs[kMaxBatch];
  iovec iov[kMaxBatch];
  for (NLint i = 0; i < count; ++i) {
    iov[i].iov_base = datagrams[i].data;
    iov[i].iov_len = static_cast<size_t>(std::max<NLint>(datagrams[i].size, 0));
    msgs[i] = mmsghdr{};
    msgs[i].msg_hdr.msg_iov = &iov[i];
    msgs[i].msg_hdr.msg_iovlen = 1;
  }
  const int n = ::recvmmsg(sock->fd, msgs, static_cast<unsigned>(count), MSG_DONTWAIT, nullptr);
  if (n < 0) return IoResult(n, false);
  for (int i = 0; i < n; ++i) datagrams[i].length = static_cast<NLint>(msgs[i].msg_len);
  return n;
}

NLint nlWriteMany(NLsocket socket, const NLdatagram* datagrams, NLint count) {
  if (!datagrams) {
    SetError(NL_NULL_POINTER);
    return NL_INVALID;
  }
  if (count <= 0) return 0;
  // A datagram too large ends the batch before it; alone, it fails as nlWrite does.
  NLint valid = 0;
  while (valid < count && datagrams[valid].length >= 0 && datagrams[valid].length <= NL_MAX_PACKET_LENGTH) ++valid;
  if (valid == 0) return nlWrite(socket, datagrams->data, datagrams->length);
  count = valid;
  int state = kUnconnected;
  auto sock = FindForIo(socket, datagrams, datagrams->length, NL_MAX_PACKET_LENGTH, NL_PACKET_SIZE, &state);
  if (!sock) return NL_INVALID;
  if (state != kConnected) {
    const NLint n = nlWrite(socket, datagrams->data, datagrams->length);
    return n > 0 ? 1 : n;
  }
  count = std::min(count, kMaxBatch);
  mmsghdr msgs[kMaxBatch];
  iovec iov[kMaxBatch];
  for (NLint i = 0; i < count; ++i) {
    iov[i].iov_base = datagrams[i].data;
    iov[i].iov_len = static_cast<size_t>(datagrams[i].length);
    msgs[i] = mmsghdr{};
    msgs[i].msg_hdr.msg_iov = &iov[i];
    msgs[i].msg_hdr.msg_iovlen = 1;
  }
  const int n = ::sendmmsg(sock->fd, msgs, static_cast<unsigned>(count), MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n < 0) return IoResult(n, true);
  return n;
}
