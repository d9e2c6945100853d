// Socket groups and polling.
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "net/nl/nlInternal.h"

using namespace nlimpl;

NLint nlGroupCreate() {
  Tables& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  if (st.groups.size() >= NL_MAX_GROUPS) {
    SetError(NL_OUT_OF_GROUPS);
    return NL_INVALID;
  }
  NLint id = st.nextGroup++;
  st.groups[id];
  return id;
}

NLboolean nlGroupDestroy(NLint group) {
  Tables& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  if (st.groups.erase(group) == 0) {
    SetError(NL_INVALID_GROUP);
    return NL_FALSE;
  }
  return NL_TRUE;
}

NLboolean nlGroupAddSocket(NLint group, NLsocket socket) {
  Tables& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  auto g = st.groups.find(group);
  if (g == st.groups.end()) {
    SetError(NL_INVALID_GROUP);
    return NL_FALSE;
  }
  if (st.sockets.find(socket) == st.sockets.end()) {
    SetError(NL_INVALID_SOCKET);
    return NL_FALSE;
  }
  if (std::find(g->second.begin(), g->second.end(), socket) != g->second.end()) return NL_TRUE;
  if (g->second.size() >= NL_MAX_GROUP_SOCKETS) {
    SetError(NL_OUT_OF_GROUP_SOCKETS);
    return NL_FALSE;
  }
  g->second.push_back(socket);
  return NL_TRUE;
}

NLboolean nlGroupDeleteSocket(NLint group, NLsocket socket) {
  Tables& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  auto g = st.groups.find(group);
  if (g == st.groups.end()) {
    SetError(NL_INVALID_GROUP);
    return NL_FALSE;
  }
  auto it = std::find(g->second.begin(), g->second.end(), socket);
  if (it == g->second.end()) {
    SetError(NL_SOCKET_NOT_FOUND);
    return NL_FALSE;
  }
  g->second.erase(it);
  return NL_TRUE;
}

NLboolean nlGroupGetSockets(NLint group, NLsocket* sockets, NLint* number) {
  if (!sockets || !number) {
    SetError(NL_NULL_POINTER);
    return NL_FALSE;
  }
  Tables& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  auto g = st.groups.find(group);
  if (g == st.groups.end()) {
    SetError(NL_INVALID_GROUP);
    return NL_FALSE;
  }
  NLint n = std::min<NLint>(*number, static_cast<NLint>(g->second.size()));
  std::copy(g->second.begin(), g->second.begin() + n, sockets);
  *number = n;
  return NL_TRUE;
}

NLint nlPollGroup(NLint group, NLenum name, NLsocket* sockets, NLint number, NLint timeout) {
  if (!sockets) {
    SetError(NL_NULL_POINTER);
    return NL_INVALID;
  }
  if (name != NL_READ_STATUS && name != NL_WRITE_STATUS) {
    SetError(NL_INVALID_ENUM);
    return NL_INVALID;
  }
  // Snapshot the group. Sockets still in their handshake are left out: the handshake thread
  // consumes what arrives on them, and neither reads nor writes are possible yet.
  std::vector<pollfd> fds;
  std::vector<NLsocket> ids;
  std::vector<std::shared_ptr<Socket>> keep;
  {
    Tables& st = State();
    std::lock_guard<std::mutex> guard(st.lock);
    auto g = st.groups.find(group);
    if (g == st.groups.end()) {
      SetError(NL_INVALID_GROUP);
      return NL_INVALID;
    }
    for (NLsocket s : g->second) {
      auto it = st.sockets.find(s);
      if (it == st.sockets.end()) continue;
      const int state = it->second->state;
      if (state == kPending || state == kRefused) continue;
      fds.push_back(pollfd{it->second->fd, static_cast<short>(name == NL_READ_STATUS ? POLLIN : POLLOUT), 0});
      ids.push_back(s);
      keep.push_back(it->second);
    }
  }
  int ready = ::poll(fds.empty() ? nullptr : fds.data(), fds.size(), timeout < 0 ? -1 : timeout);
  if (ready < 0) {
    if (errno == EINTR) return 0;
    SetSystemError(errno);
    return NL_INVALID;
  }
  NLint count = 0;
  for (std::size_t i = 0; i < fds.size(); ++i) {
    // An error or hang-up is reported as readable: the read that follows returns it.
    if (fds[i].revents == 0) continue;
    if (count >= number) {
      SetError(NL_BUFFER_SIZE);
      return NL_INVALID;
    }
    sockets[count++] = ids[i];
  }
  return count;
}
