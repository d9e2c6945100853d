// One session's worker: its player counter, the group of the server's client connections
// and the wait on every socket it reads. ZyHawkNetwork::mainLoop runs it on its own thread;
// Start, Pass and Shutdown let one thread drive a worker step by step.
#pragma once

#include <list>
#include <vector>

#include "net/ZyHawkNetwork.h"
#include "net/nl/nlWait.h"

namespace TAVELOR {

class ZyHawkWorker {
 public:
  explicit ZyHawkWorker(ZyHawkNetwork* net);
  // The thread body: Start, passes until a stop is requested or a pass fails, each followed
  // by a wait for the next datagram or request, Shutdown.
  void Run();
  // Takes the session's sockets and makes the worker's group and wait.
  void Start();
  // One pass: local upkeep, reading, delivery, the server's handling, the client's handling
  // and dropping the rest. Never waits; false when the worker must end. Reads the sockets
  // the last Wait found readable, or all of them when there was no such wait.
  bool Pass();
  // Waits until a socket is readable, a request comes from another thread or the time-out.
  void Wait(int timeoutMs);
  // Closes the server's client connections and marks the worker ended.
  void Shutdown();

 private:
  using Message = ZyHawkNetwork::Message;
  using Player = ZyHawkNetwork::Player;

  bool StopRequested();
  void LocalUpkeep();
  // Takes what a taking thread left for the worker and, when readSocket, reads the
  // connection; under the lock, so that the order of arrival holds.
  void ReadConnection(bool readSocket);
  bool ServerRead();  // false when the worker must end
  // Reads a batch from s; the number of datagrams, 0 when none, NL_INVALID on an error.
  NLint ReadBatch(NLsocket s);
  void ReadClient(NLsocket s, std::list<Message>* got);
  void Disconnected(NLsocket s);
  void DeliverLocal();
  void ServerHandle();
  void HandleRequest(const Message& msg);
  // A creation request: a new server player with the next id, told its id.
  void AddServerPlayer(const Message& msg);
  void ClientHandle();
  void DropLeftovers();
  // Encodes msg for socket into the outgoing batch, sent after the lock is released.
  void Queue(NLsocket socket, Message& msg);
  void SendQueued();

  ZyHawkNetwork* net_;
  NLsocket listen_ = NL_INVALID;
  NLsocket conn_ = NL_INVALID;
  int nextId_ = ZyHawkNetwork::kFirstPlayerId;
  NLint group_ = NL_INVALID;
  std::vector<NLsocket> clients_;  // the group's sockets, in its order
  NLwaiter waiter_;
  bool waitsOnConn_ = false;  // conn_ is among waiter_'s sockets
  // What the last wait found readable; readAll_ when there was no wait (or it failed).
  bool readAll_ = true;
  bool readConn_ = false;
  bool readListen_ = false;
  std::vector<NLsocket> readyClients_;  // in the group's order
  // The server's side of this process's own connection, and whether the last pass sent on
  // it: then the next pass reads the connection without waiting first.
  NLsocket ownServerSide_ = NL_INVALID;
  unsigned short connPort_ = 0;
  bool sentToSelf_ = false;
  // The receive batch: kBatch buffers of a whole datagram each.
  std::vector<unsigned char> in_;
  std::vector<NLdatagram> batch_;
  // Datagrams to send: where each lies in outBytes_, and its socket.
  struct Outgoing {
    NLsocket socket;
    std::size_t offset;
    int size;
  };
  std::vector<Outgoing> out_;
  std::vector<unsigned char> outBytes_;
};

}  // namespace TAVELOR
