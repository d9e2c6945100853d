// The session object: datagram codec, lock, sending, and the worker thread.
#include "net/ZyHawkNetwork.h"
#include "net/ZyHawkWorker.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>
#include <thread>
#include <utility>
#include <vector>

namespace TAVELOR {

namespace {

constexpr int kMaxReadsPerPass = 256;        // datagrams read from one socket in one pass
constexpr std::size_t kMaxQueued = 4096;     // messages kept for one local player
constexpr std::size_t kMaxReplies = 64;      // answers kept for the waiting command
constexpr int kMaxAcceptsPerPass = 16;
constexpr int kPassWaitMs = 10;              // pause between passes when waiting fails
// Longest wait between passes: requests of other threads wake the worker at once, so this
// only bounds the retry of a request that could not be written.
constexpr int kIdleWaitMs = 250;
constexpr int kBatch = 64;                   // datagrams per read or write call
// Datagrams per read of a taking thread: between two takes few arrive, and a smaller batch
// costs less to set up.
constexpr int kTakeBatch = 16;
constexpr int kMaxReady = NL_MAX_GROUP_SOCKETS + 2;
constexpr auto kSendRetry = std::chrono::milliseconds(200);
// How long the worker leaves this process's connection to the taking thread after that
// thread found messages there: long enough to span a game's frame, short enough that the
// socket's buffer holds what comes meanwhile should the taking stop.
constexpr auto kTakerGrace = std::chrono::milliseconds(20);
// Takes without a wait in between from which on a thread counts as polling: the worker then
// leaves the connection to it even while it finds nothing there, so that the two do not race
// for each message.
constexpr int kPollingTakes = 16;

void PutInt(unsigned char* p, int v) {
  const auto u = static_cast<unsigned int>(v);
  p[0] = static_cast<unsigned char>(u);
  p[1] = static_cast<unsigned char>(u >> 8);
  p[2] = static_cast<unsigned char>(u >> 16);
  p[3] = static_cast<unsigned char>(u >> 24);
}

int GetInt(const unsigned char* p) {
  const unsigned int u = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<unsigned int>(p[3]) << 24);
  return static_cast<int>(u);
}

// Appends the n datagrams of batch, read from this process's connection conn, to got; short,
// foreign and damaged ones are dropped.
void DecodeFromConnection(const NLdatagram* batch, NLint n, NLsocket conn, std::list<ZyHawkNetwork::Message>* got) {
  for (NLint i = 0; i < n; ++i) {
    const auto* bytes = static_cast<const unsigned char*>(batch[i].data);
    const int length = batch[i].length;
    if (length < ZyHawkNetwork::kHeaderSize || std::memcmp(bytes, ZyHawkNetwork::kMagic, 4) != 0) continue;
    ZyHawkNetwork::Message& msg = got->emplace_back();
    if (!ZyHawkNetwork::Decode(bytes, length, false, &msg)) {
      got->pop_back();
      continue;
    }
    msg.socket = conn;
  }
}

}  // namespace

void Trace(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
}

// ---- Datagram codec -----------------------------------------------------------------------

int ZyHawkNetwork::Encode(Message& msg, unsigned char* out) {
  std::memcpy(msg.magic, kMagic, 4);
  if (msg.length < 0) msg.length = 0;
  if (msg.length > kMaxData) msg.length = kMaxData;
  std::memcpy(out, msg.magic, 4);
  out[4] = msg.kind;
  PutInt(out + 5, msg.length);
  PutInt(out + 9, msg.recipient);
  PutInt(out + 13, msg.sender);
  std::memcpy(out + kHeaderSize, msg.data, static_cast<std::size_t>(msg.length));
  return kHeaderSize + msg.length;
}

bool ZyHawkNetwork::Decode(const unsigned char* in, int n, bool viaServer, Message* out) {
  if (!in || n < kHeaderSize || std::memcmp(in, kMagic, 4) != 0) return false;
  const int length = GetInt(in + 5);
  if (length < 0 || length > kMaxData || length > n - kHeaderSize) return false;
  const unsigned char kind = in[4];
  // Fixed data sizes: a request the server reads, or an answer a client reads.
  int needed = 0;
  if (viaServer) {
    if (kind == NLM_CREATE_PLAYER) needed = kPlayerImageSize;
    if (kind == NLM_QUERY_PLAYERID || kind == NLM_QUERY_PLAYERNAME) needed = 4;
  } else if (kind == NLM_QUERY_NUMPLAYERS || kind == NLM_QUERY_PLAYERID || kind == NLM_QUERY_IS_SERVER_ALIVE) {
    needed = 4;
  }
  if (length < needed) return false;
  std::memcpy(out->magic, in, 4);
  out->kind = kind;
  out->length = length;
  out->recipient = GetInt(in + 9);
  out->sender = GetInt(in + 13);
  std::memcpy(out->data, in + kHeaderSize, static_cast<std::size_t>(length));
  std::memset(out->data + length, 0, sizeof(out->data) - static_cast<std::size_t>(length));
  out->viaServer = viaServer;
  return true;
}

void ZyHawkNetwork::PlayerImage(const Player& player, unsigned char* out) {
  std::memset(out, 0, kPlayerImageSize);
  PutInt(out, player.socket);
  PutInt(out + 4, player.id);
  out[8] = player.flag;
  std::memcpy(out + kNameOffset, player.name, kNameSize);
  out[kNameOffset + kNameSize] = player.reserved;
  // Padding and the message list's fields stay zero: they mean nothing to a peer.
}

void ZyHawkNetwork::NameFromRequest(const Message& msg, char* name) {
  std::memset(name, 0, kNameSize);
  if (msg.length < kNameOffset) return;
  const int available = msg.length - kNameOffset;
  const int limit = available < kNameSize - 1 ? available : kNameSize - 1;
  for (int i = 0; i < limit && msg.data[kNameOffset + i] != '\0'; ++i) name[i] = msg.data[kNameOffset + i];
}

// ---- Object -------------------------------------------------------------------------------

ZyHawkNetwork::ZyHawkNetwork() { htMutexInit(&lock); }

ZyHawkNetwork::~ZyHawkNetwork() {
  Stop();  // the worker uses the object until it has ended
  if (listenSocket != NL_INVALID) nlClose(listenSocket);
  if (connSocket != NL_INVALID) nlClose(connSocket);
  htMutexDestroy(&lock);
  for (; nlInits_ > 0; --nlInits_) nlShutdown();
}

void ZyHawkNetwork::Lock(ZyHawkNetwork* self) { htMutexLock(&self->lock); }

void ZyHawkNetwork::Unlock(ZyHawkNetwork* self) { htMutexUnlock(&self->lock); }

bool ZyHawkNetwork::WorkerAlive() {
  SessionLock held(this);
  return workerAlive;
}

void ZyHawkNetwork::WaitChange(SessionLock& held, std::chrono::steady_clock::time_point until) {
  changed_.wait_until(held, until);
}

void ZyHawkNetwork::WakeWorker() {
  if (waiter_) waiter_->Wake();
}

void ZyHawkNetwork::ReadConnectionHere() {
  if (!workerAlive || stopRequest || connSocket == NL_INVALID) return;
  if (takeBatch_.empty()) {
    takeBytes_.resize(static_cast<std::size_t>(kTakeBatch) * kMaxDatagram);
    takeBatch_.resize(kTakeBatch);
    for (int i = 0; i < kTakeBatch; ++i) {
      takeBatch_[i].data = takeBytes_.data() + static_cast<std::size_t>(i) * kMaxDatagram;
      takeBatch_[i].size = kMaxDatagram;
    }
  }
  bool delivered = false;
  const bool hadBacklog = !connBacklog_.empty();
  int reads = 0;
  while (reads < kMaxReadsPerPass) {
    const NLint n = nlReadMany(connSocket, takeBatch_.data(), kTakeBatch);
    if (n <= 0) break;
    std::list<Message> got;
    DecodeFromConnection(takeBatch_.data(), n, connSocket, &got);
    for (auto it = got.begin(); it != got.end();) {
      const auto next = std::next(it);
      // What the worker read earlier (still in incoming) or was left to it comes first.
      if (connBacklog_.empty() && incoming.empty() && DeliverToLocals(got, it)) {
        delivered = true;
      } else {
        connBacklog_.splice(connBacklog_.end(), got, it);
      }
      it = next;
    }
    reads += n;
    if (n < kTakeBatch) break;  // nothing more waits
  }
  if (takesInRow_ < kPollingTakes) ++takesInRow_;
  if (reads > 0 || takesInRow_ >= kPollingTakes) takerReads_ = std::chrono::steady_clock::now() + kTakerGrace;
  if (!hadBacklog && !connBacklog_.empty()) WakeWorker();
  if (delivered) Changed();
}

void ZyHawkNetwork::LeaveConnectionToWorker() {
  takerReads_ = {};
  takesInRow_ = 0;
  if (!workerReadsConn_) WakeWorker();
}

bool ZyHawkNetwork::DeliverToLocals(std::list<Message>& from, std::list<Message>::iterator it) {
  const Message& msg = *it;
  if (msg.kind != NLM_MESSAGE) return false;
  if (msg.recipient == kEveryone && !msg.viaServer) {
    // Addressed to every player: each local player gets it once. (On the server's side a
    // broadcast goes on to the forwarding instead.)
    bool delivered = false;
    for (Player& p : localPlayers) {
      if (p.id <= 0 || p.messages.size() >= kMaxQueued) continue;
      p.messages.push_back(msg);
      Trace("client: delivered message %s for %s from %d\n", msg.data, p.name, msg.sender);
      delivered = true;
    }
    if (delivered) from.erase(it);
    return delivered;
  }
  if (msg.recipient <= 0) return false;
  for (Player& p : localPlayers) {
    if (p.id != msg.recipient) continue;
    if (p.messages.size() >= kMaxQueued) return false;
    Trace("client: delivered message %s for %s from %d\n", msg.data, p.name, msg.sender);
    // The message itself moves over to the player, without a copy.
    p.messages.splice(p.messages.end(), from, it);
    return true;
  }
  return false;
}

void ZyHawkNetwork::Stop() {
  SessionLock held(this);
  stopRequest = true;
  WakeWorker();
  // The worker signals when it has ended; the time-out only bounds a lost signal.
  while (workerAlive) WaitChange(held, std::chrono::steady_clock::now() + std::chrono::milliseconds(100));
}

bool ZyHawkNetwork::Send(NLsocket socket, Message& msg) {
  unsigned char buf[kMaxDatagram];
  const int total = Encode(msg, buf);
  int written = 0;
  auto giveUp = std::chrono::steady_clock::now() + kSendRetry;
  while (written < total) {
    const int n = nlWrite(socket, buf + written, total - written);
    if (n == NL_INVALID) return false;
    if (n == 0) {
      // The send buffer is full: try again briefly, then count the message as lost.
      if (std::chrono::steady_clock::now() > giveUp) return false;
      std::this_thread::yield();
      continue;
    }
    written += n;
  }
  return true;
}

void ZyHawkNetwork::DeletePlayer(int id) {
  Message msg;
  msg.kind = NLM_LOGOFF;
  msg.length = 0;
  msg.recipient = 0;
  msg.sender = id;
  Send(connSocket, msg);
}

void ZyHawkNetwork::LogOffPlayers() {
  std::vector<int> ids;
  {
    SessionLock held(this);
    for (const Player& p : localPlayers) ids.push_back(p.id);
  }
  for (int id : ids) DeletePlayer(id);
}

// ---- Worker -------------------------------------------------------------------------------

void* ZyHawkNetwork::mainLoop(void* self) {
  ZyHawkWorker worker(static_cast<ZyHawkNetwork*>(self));
  worker.Run();
  return nullptr;
}

ZyHawkWorker::ZyHawkWorker(ZyHawkNetwork* net)
    : net_(net), in_(static_cast<std::size_t>(kBatch) * ZyHawkNetwork::kMaxDatagram), batch_(kBatch) {
  for (int i = 0; i < kBatch; ++i) {
    batch_[i].data = in_.data() + static_cast<std::size_t>(i) * ZyHawkNetwork::kMaxDatagram;
    batch_[i].size = ZyHawkNetwork::kMaxDatagram;
  }
}

void ZyHawkWorker::Run() {
  Start();
  while (!StopRequested() && Pass()) {
    if (sentToSelf_) {
      // What the server part just sent to this process's own players is already waiting.
      sentToSelf_ = false;
      readAll_ = false;
      readConn_ = true;
      readListen_ = false;
      readyClients_.clear();
      continue;
    }
    Wait(kIdleWaitMs);
  }
  Shutdown();
}

void ZyHawkWorker::Start() {
  // The starter already set the flags: a Stop that comes before this point is not lost.
  {
    SessionLock held(net_);
    listen_ = net_->listenSocket;
    conn_ = net_->connSocket;
    net_->serverPlayers.clear();
    net_->incoming.clear();
    net_->waiter_ = &waiter_;
    net_->takerReads_ = {};
    net_->workerReadsConn_ = true;
  }
  group_ = nlGroupCreate();
  if (conn_ != NL_INVALID) waitsOnConn_ = waiter_.Add(conn_);
  if (listen_ != NL_INVALID) waiter_.Add(listen_);
  if (listen_ != NL_INVALID && conn_ != NL_INVALID) {
    NLaddress local;
    if (nlGetLocalAddr(conn_, &local)) connPort_ = nlGetPortFromAddr(&local);
  }
  readAll_ = true;
}

void ZyHawkWorker::Wait(int timeoutMs) {
  if (conn_ != NL_INVALID) {
    // While a taking thread reads the connection, the worker does not wake for it; it
    // takes the connection back when the taking stops or a thread waits for its results.
    bool watch;
    {
      SessionLock held(net_);
      const auto left = net_->takerReads_ - std::chrono::steady_clock::now();
      watch = left <= std::chrono::steady_clock::duration::zero();
      if (!watch) {
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        if (ms < timeoutMs) timeoutMs = static_cast<int>(ms);
      }
      net_->workerReadsConn_ = watch;
    }
    if (watch && !waitsOnConn_) {
      waitsOnConn_ = waiter_.Add(conn_);
    } else if (!watch && waitsOnConn_) {
      waiter_.Remove(conn_);
      waitsOnConn_ = false;
    }
  }
  NLsocket ready[kMaxReady];
  const NLint count = waiter_.Wait(ready, kMaxReady, timeoutMs);
  readConn_ = false;
  readListen_ = false;
  readyClients_.clear();
  if (count == NL_INVALID) {
    const NLenum err = nlGetError();
    if (err == NL_SYSTEM_ERROR) {
      Trace("nlPollGroup system error: %s\n", nlGetSystemErrorStr(nlGetSystemError()));
    } else {
      Trace("nlPollGroup HawkNL error: %s\n", nlGetErrorStr(err));
    }
    htThreadSleep(kPassWaitMs);
    readAll_ = true;
    return;
  }
  readAll_ = false;
  for (NLint i = 0; i < count; ++i) {
    if (ready[i] == conn_) {
      readConn_ = true;
    } else if (ready[i] == listen_) {
      readListen_ = true;
    } else {
      readyClients_.push_back(ready[i]);
    }
  }
  // Connections are read in the group's order, as a poll of the group reports them.
  if (readyClients_.size() > 1) {
    auto position = [this](NLsocket s) { return std::find(clients_.begin(), clients_.end(), s) - clients_.begin(); };
    std::sort(readyClients_.begin(), readyClients_.end(),
              [&](NLsocket x, NLsocket y) { return position(x) < position(y); });
  }
}

bool ZyHawkWorker::Pass() {
  LocalUpkeep();
  ReadConnection(readAll_ || readConn_);
  if (listen_ != NL_INVALID && !ServerRead()) return false;
  DeliverLocal();
  if (listen_ != NL_INVALID) ServerHandle();
  ClientHandle();
  DropLeftovers();
  return true;
}

bool ZyHawkWorker::StopRequested() {
  SessionLock held(net_);
  return net_->stopRequest;
}

void ZyHawkWorker::Shutdown() {
  // Close the server's client connections; the session's own two sockets belong to the
  // object and are closed when the session is replaced or the object is destroyed.
  if (group_ != NL_INVALID) {
    NLsocket sockets[NL_MAX_GROUP_SOCKETS];
    NLint count = NL_MAX_GROUP_SOCKETS;
    if (nlGroupGetSockets(group_, sockets, &count)) {
      for (NLint i = 0; i < count; ++i) nlClose(sockets[i]);
    }
    nlGroupDestroy(group_);
  }
  {
    SessionLock held(net_);
    net_->waiter_ = nullptr;
    net_->workerAlive = false;
    net_->stopRequest = true;
    net_->Changed();  // under the lock: a waiter cannot return (and free net_) before we unlock
  }
  // Nothing may touch net_ from here on: Stop returns and the object may go away.
}

void ZyHawkWorker::LocalUpkeep() {
  std::vector<std::pair<unsigned, Message>> creates;
  std::vector<Message> logoffs;
  {
    SessionLock held(net_);
    for (auto it = net_->localPlayers.begin(); it != net_->localPlayers.end();) {
      if (it->id == ZyHawkNetwork::kNewPlayer) {
        Message msg;
        msg.kind = ZyHawkNetwork::NLM_CREATE_PLAYER;
        msg.length = ZyHawkNetwork::kPlayerImageSize;
        ZyHawkNetwork::PlayerImage(*it, reinterpret_cast<unsigned char*>(msg.data));
        creates.emplace_back(it->serial, msg);
      } else if (it->id == ZyHawkNetwork::kToBeRemoved) {
        Message msg;
        msg.kind = ZyHawkNetwork::NLM_LOGOFF;
        msg.sender = it->id;
        logoffs.push_back(msg);
        it = net_->localPlayers.erase(it);
        continue;
      }
      ++it;
    }
  }
  for (auto& [serial, msg] : creates) {
    // A request that could not be written (the connection is still being set up) is
    // tried again in the next pass instead of being lost.
    if (!net_->Send(conn_, msg)) continue;
    SessionLock held(net_);
    for (Player& p : net_->localPlayers) {
      if (p.serial == serial && p.id == ZyHawkNetwork::kNewPlayer) p.id = ZyHawkNetwork::kIdRequested;
    }
  }
  for (Message& msg : logoffs) net_->Send(conn_, msg);
}

NLint ZyHawkWorker::ReadBatch(NLsocket s) { return nlReadMany(s, batch_.data(), kBatch); }

void ZyHawkWorker::ReadConnection(bool readSocket) {
  if (conn_ == NL_INVALID) return;
  SessionLock held(net_);
  std::list<Message> got;
  got.splice(got.end(), net_->connBacklog_);
  for (int reads = 0; readSocket && reads < kMaxReadsPerPass;) {
    const NLint n = ReadBatch(conn_);
    if (n <= 0) break;
    DecodeFromConnection(batch_.data(), n, conn_, &got);
    reads += n;
    if (n < kBatch) break;  // nothing more waits
  }
  net_->incoming.splice(net_->incoming.end(), got);
}

bool ZyHawkWorker::ServerRead() {
  for (int i = 0; (readAll_ || readListen_) && i < kMaxAcceptsPerPass; ++i) {
    const NLsocket s = nlAcceptConnection(listen_);
    if (s == NL_INVALID) {
      const NLenum err = nlGetError();
      if (err == NL_SYSTEM_ERROR || err == NL_NOT_LISTEN) {
        Trace("Cannot Accept connection\n");
        return false;
      }
      break;
    }
    if (!nlGroupAddSocket(group_, s)) {
      nlClose(s);  // the server is full
      continue;
    }
    clients_.push_back(s);
    waiter_.Add(s);
    NLaddress peer;
    if (ownServerSide_ == NL_INVALID && connPort_ != 0 && nlGetRemoteAddr(s, &peer) &&
        nlGetPortFromAddr(&peer) == connPort_) {
      ownServerSide_ = s;
    }
  }

  std::list<Message> got;
  if (readAll_) {
    const std::vector<NLsocket> all = clients_;  // a disconnected socket leaves clients_
    for (NLsocket s : all) ReadClient(s, &got);
  } else {
    for (NLsocket s : readyClients_) ReadClient(s, &got);
  }
  if (!got.empty()) {
    SessionLock held(net_);
    net_->incoming.splice(net_->incoming.end(), got);
  }
  return true;
}

void ZyHawkWorker::ReadClient(NLsocket s, std::list<Message>* got) {
  for (int reads = 0; reads < kMaxReadsPerPass;) {
    const NLint n = ReadBatch(s);
    if (n == 0) return;  // nothing waits
    if (n == NL_INVALID) {
      const NLenum err = nlGetError();
      Trace("Err %d: %s\n", err, nlGetErrorStr(err));
      if (err == NL_MESSAGE_END || err == NL_SOCK_DISCONNECT) {
        Trace("server: client disconnected %d\n", s);
        Disconnected(s);
      }
      return;
    }
    for (NLint i = 0; i < n; ++i) {
      const auto* bytes = static_cast<const unsigned char*>(batch_[i].data);
      const int length = batch_[i].length;
      if (length == 0) continue;  // the handshake's empty datagram
      if (length < ZyHawkNetwork::kHeaderSize || std::memcmp(bytes, ZyHawkNetwork::kMagic, 4) != 0) {
        const NLenum err = nlGetError();
        Trace("Err %d: %s\n", err, nlGetErrorStr(err));
        continue;
      }
      Message& msg = got->emplace_back();
      if (!ZyHawkNetwork::Decode(bytes, length, true, &msg)) {
        got->pop_back();
        continue;
      }
      msg.socket = s;  // a creation request is answered on the connection it came from
    }
    reads += n;
    if (n < kBatch) return;  // nothing more waits
  }
}

void ZyHawkWorker::Disconnected(NLsocket s) {
  nlGroupDeleteSocket(group_, s);
  waiter_.Remove(s);
  clients_.erase(std::remove(clients_.begin(), clients_.end(), s), clients_.end());
  if (s == ownServerSide_) ownServerSide_ = NL_INVALID;
  nlClose(s);
  SessionLock held(net_);
  for (auto it = net_->serverPlayers.begin(); it != net_->serverPlayers.end(); ++it) {
    if (it->socket == s) {
      Trace("Removed player: %d, %s\n", it->id, it->name);
      net_->serverPlayers.erase(it);
      break;
    }
  }
}

void ZyHawkWorker::DeliverLocal() {
  bool any = false;
  {
    SessionLock held(net_);
    for (auto it = net_->incoming.begin(); it != net_->incoming.end();) {
      const auto next = std::next(it);
      if (net_->DeliverToLocals(net_->incoming, it)) any = true;
      it = next;
    }
  }
  // After unlocking, so that a woken waiter does not block on the lock straight away.
  if (any) net_->Changed();
}

void ZyHawkWorker::ServerHandle() {
  // Only what came in on the server's side is a request to the server; what arrived on this
  // process's own connection was sent by the server and must not be forwarded again.
  {
    SessionLock held(net_);
    for (auto it = net_->incoming.begin(); it != net_->incoming.end();) {
      Message& msg = *it;
      if (!msg.viaServer) {
        ++it;
        continue;
      }
      if (msg.kind == ZyHawkNetwork::NLM_MESSAGE) {
        if (msg.recipient == ZyHawkNetwork::kEveryone) {
          // One copy per connection; the receiving client hands it to each of its players.
          std::vector<NLsocket> sent;
          for (const Player& p : net_->serverPlayers) {
            if (p.socket == NL_INVALID || std::find(sent.begin(), sent.end(), p.socket) != sent.end()) continue;
            sent.push_back(p.socket);
            Queue(p.socket, msg);
          }
        } else {
          for (const Player& p : net_->serverPlayers) {
            if (p.id == msg.recipient) {
              Queue(p.socket, msg);
              break;
            }
          }
        }
        it = net_->incoming.erase(it);
        continue;
      }
      if (msg.recipient != 0) {
        ++it;
        continue;
      }
      const bool known = msg.kind == ZyHawkNetwork::NLM_CREATE_PLAYER || msg.kind == ZyHawkNetwork::NLM_LOGOFF ||
                         (msg.kind >= ZyHawkNetwork::NLM_QUERY_NUMPLAYERS &&
                          msg.kind <= ZyHawkNetwork::NLM_QUERY_IS_SERVER_ALIVE);
      if (!known) {
        ++it;
        continue;
      }
      HandleRequest(msg);
      it = net_->incoming.erase(it);
    }
  }
  SendQueued();
}

// Handles one request under the lock; what it answers is sent after unlocking.
void ZyHawkWorker::HandleRequest(const Message& msg) {
  auto& players = net_->serverPlayers;
  Message answer;
  answer.kind = msg.kind;
  answer.sender = 0;
  answer.recipient = msg.sender;
  auto askerSocket = [&]() {
    for (const Player& p : players) {
      if (p.id == msg.sender) return p.socket;
    }
    return static_cast<NLsocket>(NL_INVALID);
  };
  const unsigned char* data = reinterpret_cast<const unsigned char*>(msg.data);
  switch (msg.kind) {
    case ZyHawkNetwork::NLM_CREATE_PLAYER:
      AddServerPlayer(msg);
      return;
    case ZyHawkNetwork::NLM_LOGOFF:
      Trace("Server got a logoff message from %d\n", msg.sender);
      for (auto it = players.begin(); it != players.end();) {
        if (it->id == msg.sender) {
          Trace("server: logof player %d %s\n", it->id, it->name);
          it = players.erase(it);
        } else {
          ++it;
        }
      }
      return;
    case ZyHawkNetwork::NLM_QUERY_NUMPLAYERS:
      Trace("server got asked NUM_PLAYERS id: %d, sock: %d\n", msg.sender, askerSocket());
      answer.length = 4;
      PutInt(reinterpret_cast<unsigned char*>(answer.data), static_cast<int>(players.size()));
      Trace("(%d)\n", static_cast<int>(players.size()));
      break;
    case ZyHawkNetwork::NLM_QUERY_PLAYERID: {
      const int index = GetInt(data);
      Trace("server got asked PLAYER_ID\n");
      Trace("server: seek id for %d\n", index);
      int id = 0;
      if (index >= 0 && static_cast<std::size_t>(index) < players.size()) {
        auto it = players.begin();
        std::advance(it, index);
        id = it->id;
        Trace("server: found playerid %d (%s)\n", it->id, it->name);
      }
      answer.length = 4;
      PutInt(reinterpret_cast<unsigned char*>(answer.data), id);
      break;
    }
    case ZyHawkNetwork::NLM_QUERY_PLAYERNAME: {
      const int id = GetInt(data);
      answer.length = 0;
      for (const Player& p : players) {
        if (p.id == id) {
          answer.length = static_cast<int>(strnlen(p.name, ZyHawkNetwork::kNameSize - 1));
          std::memcpy(answer.data, p.name, static_cast<std::size_t>(answer.length));
          break;
        }
      }
      break;
    }
    case ZyHawkNetwork::NLM_QUERY_IS_SERVER_ALIVE:
      Trace("server got asked IS_ALIVE id: %d, sock: %d\n", msg.sender, askerSocket());
      answer.length = 4;
      PutInt(reinterpret_cast<unsigned char*>(answer.data), 1);
      break;
    default: return;
  }
  const NLsocket to = askerSocket();
  if (to != NL_INVALID) Queue(to, answer);
}

void ZyHawkWorker::AddServerPlayer(const Message& msg) {
  Player p;
  p.socket = msg.socket;
  p.id = nextId_;
  // Ids stay positive however many requests a server sees.
  nextId_ = nextId_ == std::numeric_limits<int>::max() ? ZyHawkNetwork::kFirstPlayerId : nextId_ + 1;
  ZyHawkNetwork::NameFromRequest(msg, p.name);
  Trace("server: created player %d (%s)\n", p.id, p.name);
  Message created;
  created.kind = ZyHawkNetwork::NLM_PLAYER_CREATED;
  created.recipient = p.id;
  created.sender = 0;
  Queue(p.socket, created);
  net_->serverPlayers.push_back(std::move(p));
}

void ZyHawkWorker::ClientHandle() {
  bool handled = false;
  {
    SessionLock held(net_);
    for (auto it = net_->incoming.begin(); it != net_->incoming.end();) {
      Message& msg = *it;
      if (msg.viaServer || msg.sender != 0) {
        ++it;
        continue;
      }
      if (msg.kind >= ZyHawkNetwork::kFirstQueryKind) {
        if (net_->replies.size() >= kMaxReplies) net_->replies.pop_front();
        net_->replies.push_back(msg);
      } else if (msg.kind == ZyHawkNetwork::NLM_PLAYER_CREATED) {
        for (Player& p : net_->localPlayers) {
          if (p.id == ZyHawkNetwork::kIdRequested && msg.recipient > 0) {
            p.id = msg.recipient;
            Trace("client: got player id %d for %s\n", p.id, p.name);
            break;
          }
        }
      } else {
        ++it;
        continue;
      }
      it = net_->incoming.erase(it);
      handled = true;
    }
  }
  if (handled) net_->Changed();
}

void ZyHawkWorker::DropLeftovers() {
  SessionLock held(net_);
  if (!net_->incoming.empty()) {
    Trace("dropped %d messages\n", static_cast<int>(net_->incoming.size()));
    for (const Message& msg : net_->incoming) Trace("Act: %d, recip: %d\n", msg.kind, msg.recipient);
    net_->incoming.clear();
  }
}

void ZyHawkWorker::Queue(NLsocket socket, Message& msg) {
  const std::size_t offset = outBytes_.size();
  outBytes_.resize(offset + ZyHawkNetwork::kMaxDatagram);
  const int size = ZyHawkNetwork::Encode(msg, outBytes_.data() + offset);
  outBytes_.resize(offset + static_cast<std::size_t>(size));
  out_.push_back(Outgoing{socket, offset, size});
}

// Sends the queued datagrams in order, those in a row for one socket in one call. As with
// ZyHawkNetwork::Send, a datagram that fails is lost and one that finds the send buffer full
// is tried again for a while.
void ZyHawkWorker::SendQueued() {
  NLdatagram batch[kBatch];
  for (std::size_t i = 0; i < out_.size();) {
    const NLsocket socket = out_[i].socket;
    NLint count = 0;
    while (i + static_cast<std::size_t>(count) < out_.size() && count < kBatch &&
           out_[i + static_cast<std::size_t>(count)].socket == socket) {
      const Outgoing& o = out_[i + static_cast<std::size_t>(count)];
      batch[count].data = outBytes_.data() + o.offset;
      batch[count].length = o.size;
      ++count;
    }
    i += static_cast<std::size_t>(count);
    bool full = false;
    std::chrono::steady_clock::time_point giveUp;
    for (NLint done = 0; done < count;) {
      const NLint n = nlWriteMany(socket, batch + done, count - done);
      if (n == NL_INVALID) {
        ++done;  // lost
        full = false;
      } else if (n > 0) {
        done += n;
        full = false;
        if (socket == ownServerSide_) sentToSelf_ = true;
      } else if (!full) {
        full = true;
        giveUp = std::chrono::steady_clock::now() + kSendRetry;
      } else if (std::chrono::steady_clock::now() > giveUp) {
        ++done;  // lost
        full = false;
      } else {
        std::this_thread::yield();
      }
    }
  }
  out_.clear();
  outBytes_.clear();
}

}  // namespace TAVELOR
