// Session operations of ZyHawkNetwork used by the NET commands: hosting, joining, players,
// messages and queries. They run on the game's thread and wait for the worker's results.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "net/ZyHawkNetwork.h"

namespace TAVELOR {

namespace {

// Answers and player ids are awaited up to 5 seconds; the worker signals their arrival.
constexpr auto kAnswerWait = std::chrono::milliseconds(5000);
// Takes closer together than this after one that found a message are one loop of takes; and
// the shortest time between two reads of the connection by takes.
constexpr auto kTakeLoop = std::chrono::microseconds(50);
constexpr auto kTakeReads = std::chrono::microseconds(20);

const char* QueryName(unsigned char kind) {
  switch (kind) {
    case ZyHawkNetwork::NLM_QUERY_IS_SERVER_ALIVE: return "NLM_QUERY_IS_SERVER_ALIVE";
    case ZyHawkNetwork::NLM_QUERY_NUMPLAYERS: return "NLM_QUERY_NUMPLAYERS";
    case ZyHawkNetwork::NLM_QUERY_PLAYERID: return "NLM_QUERY_PLAYERID";
    case ZyHawkNetwork::NLM_QUERY_PLAYERNAME: return "NLM_QUERY_PLAYERNAME";
    default: return "UNKNOWN";
  }
}

}  // namespace

void ZyHawkNetwork::StartNetwork() {
  Stop();
  CloseSession();
  netType = NL_IP;
  connType = NL_UNRELIABLE;
  if (nlInit()) {
    ++nlInits_;
    nlSelectNetwork(NL_IP);
  }
}

void ZyHawkNetwork::CloseSession() {
  // The old session's players cannot be used in a new one (their ids belong to the old
  // server), so they leave the old server now instead of lingering.
  if (connSocket != NL_INVALID) LogOffPlayers();
  if (listenSocket != NL_INVALID) nlClose(listenSocket);
  if (connSocket != NL_INVALID) nlClose(connSocket);
  SessionLock held(this);
  listenSocket = NL_INVALID;
  connSocket = NL_INVALID;
  localPlayers.clear();
  serverPlayers.clear();
  incoming.clear();
  replies.clear();
  connBacklog_.clear();
}

bool ZyHawkNetwork::StartWorker() {
  // The flags are set before the thread exists, so a Stop right after the start waits for
  // the new worker instead of missing it.
  {
    SessionLock held(this);
    stopRequest = false;
    workerAlive = true;
  }
  if (htThreadCreate(&ZyHawkNetwork::mainLoop, this, NL_FALSE) == nullptr) {
    SessionLock held(this);
    stopRequest = true;
    workerAlive = false;
    return false;
  }
  return true;
}

bool ZyHawkNetwork::ConnectSession(NLaddress* address, int port, const char* failure) {
  nlSetAddrPort(address, static_cast<NLushort>(port));
  if (nlConnect(connSocket, address)) return true;
  nlClose(connSocket);
  connSocket = NL_INVALID;
  Trace("%s\n", failure);
  return false;
}

int ZyHawkNetwork::HostGame(int port) {
  StartNetwork();
  if (port <= 0) port = kDefaultPort;
  if (port > 65535) return 0;
  Stop();
  listenSocket = nlOpen(static_cast<NLushort>(port), NL_UNRELIABLE);
  if (listenSocket == NL_INVALID) return 0;
  if (!nlListen(listenSocket)) {
    nlClose(listenSocket);
    listenSocket = NL_INVALID;
    return 0;
  }
  connSocket = nlOpen(0, NL_UNRELIABLE);
  if (connSocket == NL_INVALID) return 0;
  NLaddress address;
  nlGetLocalAddr(connSocket, &address);
  if (!ConnectSession(&address, port, "StartServer: nlConnect error")) return 0;
  if (!StartWorker()) return 0;
  host = true;
  return 1;
}

int ZyHawkNetwork::AddLocalPlayer(const char* name, unsigned* serial) {
  bool alive;
  {
    SessionLock held(this);
    Player& p = localPlayers.emplace_back();
    p.socket = NL_INVALID;
    p.id = kNewPlayer;
    std::strncpy(p.name, name ? name : "", kNameSize - 1);
    p.serial = nextSerial_++;
    *serial = p.serial;
    alive = workerAlive;
  }
  if (!alive) {
    // Nobody would ever announce it.
    RemoveLocalPlayer(*serial);
    return -1;
  }
  const auto giveUp = std::chrono::steady_clock::now() + kAnswerWait;
  SessionLock held(this);
  LeaveConnectionToWorker();  // the answer comes on the connection
  WakeWorker();               // the worker announces the new player right away
  for (;;) {
    int id = kToBeRemoved;  // and so it stays when the record is gone
    for (const Player& q : localPlayers) {
      if (q.serial == *serial) id = q.id;
    }
    if (id >= 0) {
      Trace("client: created player %s with id %d sock %d\n", name ? name : "", id, connSocket);
      return id;
    }
    if (!workerAlive) {
      // The worker has ended (a failed accept): no id can come any more.
      localPlayers.remove_if([serial](const Player& p) { return p.serial == *serial; });
      return -1;
    }
    if (std::chrono::steady_clock::now() >= giveUp) {
      // Marked for removal: the worker drops the record.
      for (Player& q : localPlayers) {
        if (q.serial == *serial) q.id = kToBeRemoved;
      }
      WakeWorker();
      return -1;
    }
    WaitChange(held, giveUp);
  }
}

void ZyHawkNetwork::RemoveLocalPlayer(unsigned serial) {
  SessionLock held(this);
  localPlayers.remove_if([serial](const Player& p) { return p.serial == serial; });
}

int ZyHawkNetwork::JoinGame(const char* address, int port) {
  if (port <= 0) port = kDefaultPort;
  if (port > 65535) return 0;
  Stop();
  CloseSession();
  connSocket = nlOpen(0, NL_UNRELIABLE);
  if (connSocket == NL_INVALID) return 0;
  NLaddress server;
  std::memset(&server, 0, sizeof(server));
  if (!address || !*address) {
    nlGetLocalAddr(connSocket, &server);
  } else {
    nlGetAddrFromName(address, &server);
  }
  if (!ConnectSession(&server, port, "CLIENT: nlConnect error")) return 0;
  host = false;
  if (!StartWorker()) return 0;

  // A test player proves that the server answers; it leaves again right away.
  unsigned serial = 0;
  const int testId = AddLocalPlayer("", &serial);
  Message answer;
  const bool alive = Query(NLM_QUERY_IS_SERVER_ALIVE, nullptr, 0, &answer);
  DeletePlayer(testId);
  if (testId >= 0) RemoveLocalPlayer(serial);
  if (alive) return 1;
  Stop();
  RemoveLocalPlayer(serial);
  return 0;
}

int ZyHawkNetwork::CreatePlayer(const char* name) {
  unsigned serial = 0;
  return AddLocalPlayer(name, &serial);
}

bool ZyHawkNetwork::SendText(int from, int to, const char* text, std::size_t length) {
  Message msg;
  msg.kind = NLM_MESSAGE;
  msg.sender = from;
  msg.recipient = to == 0 ? kEveryone : to;
  if (length > static_cast<std::size_t>(kMaxData)) length = kMaxData;
  msg.length = static_cast<int>(length);
  if (length > 0) std::memcpy(msg.data, text, length);
  return Send(connSocket, msg);
}

bool ZyHawkNetwork::TakeMessage(int id, std::string* text) {
  bool found = false;
  {
    SessionLock held(this);
    for (Player& p : localPlayers) {
      if (p.id != id) continue;
      // What has arrived since the worker's last pass is taken from the connection here;
      // not by the take that ends a loop of takes (one right after a take that found a
      // message), and at most once in kTakeReads, so that a thread that takes without pause
      // does not make a system call for each try.
      const auto now = std::chrono::steady_clock::now();
      if (p.messages.empty() && now - tookAt_ >= kTakeLoop && now - takeReadAt_ >= kTakeReads) {
        takeReadAt_ = now;
        ReadConnectionHere();
      }
      if (!p.messages.empty()) {
        const Message& msg = p.messages.front();
        text->assign(msg.data, static_cast<std::size_t>(msg.length));
        p.messages.pop_front();
        tookAt_ = now;
        found = true;
      }
      break;
    }
  }
  return found;
}

bool ZyHawkNetwork::WaitMessage(int id, std::chrono::steady_clock::time_point until) {
  SessionLock held(this);
  for (;;) {
    bool waiting = false;
    for (const Player& p : localPlayers) {
      if (p.id == id) {
        waiting = !p.messages.empty();
        break;
      }
    }
    if (waiting || !workerAlive || std::chrono::steady_clock::now() >= until) return waiting;
    LeaveConnectionToWorker();
    WaitChange(held, until);
  }
}

bool ZyHawkNetwork::Query(unsigned char kind, const void* data, int length, Message* answer) {
  Message query;
  query.kind = kind;
  query.recipient = 0;
  if (length > 0 && data) {
    query.length = length;
    std::memcpy(query.data, data, static_cast<std::size_t>(length));
  }
  Trace("Query: %s ", QueryName(kind));
  {
    SessionLock held(this);
    query.sender = localPlayers.empty() ? 0 : localPlayers.back().id;
  }
  // Only an announced player can be answered: the server replies to the sender's id.
  if (query.sender <= 0) {
    Trace("[FAIL - no player]\n");
    return false;
  }
  {
    SessionLock held(this);
    replies.clear();
  }
  if (!Send(connSocket, query)) {
    Trace("[FAIL]\n");
    return false;
  }
  const auto giveUp = std::chrono::steady_clock::now() + kAnswerWait;
  SessionLock held(this);
  LeaveConnectionToWorker();  // the answer comes on the connection
  for (;;) {
    // A late answer to an earlier query is not this query's answer.
    while (!replies.empty() && replies.front().kind != kind) replies.pop_front();
    if (!replies.empty()) {
      *answer = replies.front();
      replies.pop_front();
      held.unlock();
      Trace("[OK]\n");
      return true;
    }
    if (!workerAlive || std::chrono::steady_clock::now() >= giveUp) break;
    WaitChange(held, giveUp);
  }
  held.unlock();
  Trace("[FAIL]\n");
  return false;
}

std::string ZyHawkNetwork::LocalAddresses() {
  StartNetwork();
  const NLsocket s = nlOpen(kDefaultPort, NL_UNRELIABLE);
  if (s == NL_INVALID) return "";
  NLint count = 0;
  NLaddress* all = nlGetAllLocalAddr(&count);
  std::vector<NLaddress> addresses(all, all + (all ? count : 0));
  nlClose(s);
  constexpr std::size_t kBufferSize = 4096;
  std::string text;
  for (const NLaddress& a : addresses) {
    if (text.size() + 32 > kBufferSize) break;
    char one[NL_MAX_STRING_LENGTH];
    if (!text.empty()) text += '|';
    text += nlAddrToString(&a, one);
  }
  return text;
}

}  // namespace TAVELOR
