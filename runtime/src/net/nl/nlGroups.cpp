// Socket groups and polling.
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "net/nl/nlInternal.h"

using namespace nlimpl;

namespace {

// Holds the table lock while a group is used; members is null (with NL_INVALID_GROUP set)
// when there is no such group.
struct LockedGroup {
  explicit LockedGroup(NLint group) : tables(State()), guard(tables.lock) {
    auto g = tables.groups.find(group);
    if (g == tables.groups.end()) {
      SetError(NL_INVALID_GROUP);
    } else {
      members = &g->second;
    }
  }
  Tables& tables;
  std::lock_guard<std::mutex> guard;
  std::vector<NLsocket>* members = nullptr;
};

}  // namespace

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
  LockedGroup g(group);
  if (!g.members) return NL_FALSE;
  if (g.tables.sockets.find(socket) == g.tables.sockets.end()) {
    SetError(NL_INVALID_SOCKET);
    return NL_FALSE;
  }
  std::vector<NLsocket>& members = *g.members;
  if (std::find(members.begin(), members.end(), socket) != members.end()) return NL_TRUE;
  if (members.size() >= NL_MAX_GROUP_SOCKETS) {
    SetError(NL_OUT_OF_GROUP_SOCKETS);
    return NL_FALSE;
  }
  members.push_back(socket);
  return NL_TRUE;
}

NLboolean nlGroupDeleteSocket(NLint group, NLsocket socket) {
  LockedGroup g(group);
  if (!g.members) return NL_FALSE;
  auto it = std::find(g.members->begin(), g.members->end(), socket);
  if (it == g.members->end()) {
    SetError(NL_SOCKET_NOT_FOUND);
    return NL_FALSE;
  }
  g.members->erase(it);
  return NL_TRUE;
}

NLboolean nlGroupGetSockets(NLint group, NLsocket* sockets, NLint* number) {
  if (!sockets || !number) {
    SetError(NL_NULL_POINTER);
    return NL_FALSE;
  }
  LockedGroup g(group);
  if (!g.members) return NL_FALSE;
  NLint n = std::min<NLint>(*number, static_cast<NLint>(g.members->size()));
  std::copy(g.members->begin(), g.members->begin() + n, sockets);
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
    LockedGroup g(group);
    if (!g.members) return NL_INVALID;
    for (NLsocket s : *g.members) {
      auto it = g.tables.sockets.find(s);
      if (it == g.tables.sockets.end()) continue;
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
