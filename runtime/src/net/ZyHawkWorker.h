// One session's worker: its player counter, the group of the server's client connections
// and the group of every socket it waits on. ZyHawkNetwork::mainLoop runs it on its own
// thread; Start, Pass and Shutdown let one thread drive a worker step by step.
#pragma once

#include <utility>
#include <vector>

#include "net/ZyHawkNetwork.h"

namespace TAVELOR {

class ZyHawkWorker {
 public:
  explicit ZyHawkWorker(ZyHawkNetwork* net) : net_(net) {}
  // The thread body: Start, passes until a stop is requested or a pass fails, Shutdown.
  void Run();
  // Takes the session's sockets and makes the worker's groups.
  void Start();
  // One pass: local upkeep, reading, delivery, the server's handling, the client's handling
  // and dropping the rest. Never waits; false when the worker must end.
  bool Pass();
  // Closes the server's client connections and marks the worker ended.
  void Shutdown();

 private:
  using Message = ZyHawkNetwork::Message;
  using Player = ZyHawkNetwork::Player;

  bool StopRequested();
  void LocalUpkeep();
  void ReadConnection();
  bool ServerRead();  // false when the worker must end
  void ReadClient(NLsocket s, std::vector<Message>* got);
  void Disconnected(NLsocket s);
  void DeliverLocal();
  void ServerHandle();
  void HandleRequest(const Message& msg, std::vector<std::pair<NLsocket, Message>>* out);
  void ClientHandle();
  void DropLeftovers();
  void SendAll(std::vector<std::pair<NLsocket, Message>>& out);

  ZyHawkNetwork* net_;
  NLsocket listen_ = NL_INVALID;
  NLsocket conn_ = NL_INVALID;
  int nextId_ = ZyHawkNetwork::kFirstPlayerId;
  NLint group_ = NL_INVALID;
  NLint waitGroup_ = NL_INVALID;
  unsigned char buf_[ZyHawkNetwork::kMaxDatagram];
};

}  // namespace TAVELOR
