// ZyHawkNetwork: the network session object. One process hosts (a server that is also a
// client of itself), the others join as clients. The worker thread mainLoop does the
// reading, forwarding and bookkeeping; the NET commands queue requests, send single
// messages and wait for the worker's results. Taking a message also reads this process's
// connection, so that while messages are taken often the worker need not wake for each.
// Everything shared lives under one lock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <list>
#include <string>
#include <vector>

#include "net/nl/nl.h"
#include "net/nl/nlWait.h"

namespace TAVELOR {

class SessionLock;

// Prints one of the session's trace lines (or a piece of one) to standard output, formatted
// as printf formats.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

class ZyHawkNetwork {
 public:
  // Message kinds on the wire.
  enum : unsigned char {
    NLM_CREATE_PLAYER = 1,
    NLM_PLAYER_CREATED = 2,
    NLM_MESSAGE = 3,
    NLM_LOGOFF = 4,
    NLM_QUERY_NUMPLAYERS = 101,
    NLM_QUERY_PLAYERID = 102,
    NLM_QUERY_PLAYERNAME = 103,
    NLM_QUERY_IS_SERVER_ALIVE = 104,
  };
  static constexpr int kHeaderSize = 17;
  static constexpr int kMaxData = 2048;
  static constexpr int kMaxDatagram = kHeaderSize + kMaxData;
  static constexpr int kPlayerImageSize = 152;  // the request body of NLM_CREATE_PLAYER
  static constexpr int kNameSize = 127;         // name field, at most 126 characters
  static constexpr int kNameOffset = 9;         // name field inside the player image
  // Kinds from here on are queries, and their answers carry the same kind.
  static constexpr unsigned char kFirstQueryKind = 100;
  // The first four bytes of every datagram.
  static constexpr char kMagic[4] = {'T', 'V', 'L', 'N'};
  static constexpr int kFirstPlayerId = 101;
  // A message's recipient: every player.
  static constexpr int kEveryone = -1;
  // A local player's id before the server gave one: new (not yet asked for), asked for and
  // waiting for the answer, or given up and to be removed.
  static constexpr int kNewPlayer = -1;
  static constexpr int kIdRequested = -3;
  static constexpr int kToBeRemoved = -2;
  static constexpr int kDefaultPort = 27013;

  // A datagram: 17-byte header (magic "TVLN", kind, length, recipient, sender; integers
  // little-endian) followed by length data bytes. data always holds a NUL after the data.
  struct Message {
    char magic[4] = {kMagic[0], kMagic[1], kMagic[2], kMagic[3]};
    unsigned char kind = 0;
    int length = 0;
    int recipient = 0;
    int sender = 0;
    char data[kMaxData + 1] = {};
    // Not on the wire: the socket the message was read from, and whether it came in on the
    // server's side (from a client connection) rather than on this process's own connection.
    NLsocket socket = NL_INVALID;
    bool viaServer = false;
  };

  struct Player {
    NLsocket socket = NL_INVALID;  // server: the player's connection; client: -1
    int id = kNewPlayer;           // server id, or kNewPlayer, kIdRequested, kToBeRemoved
    unsigned char flag = 0;
    char name[kNameSize] = {};
    unsigned char reserved = 0;
    std::list<Message> messages;  // delivered, not yet taken
    unsigned serial = 0;          // local bookkeeping: finds a record again after unlocking
  };

  // ---- Datagram codec ---------------------------------------------------------------------
  // Writes the magic into msg and its wire form into out (kMaxDatagram bytes); returns the
  // datagram's size. The length is clamped to 0..kMaxData.
  static int Encode(Message& msg, unsigned char* out);
  // Reads one datagram of n bytes. False for anything a peer must not send: under 17 bytes,
  // a wrong magic, a length that is negative, above 2048 or beyond the bytes that arrived,
  // and (by direction) requests or answers shorter than their fixed data.
  static bool Decode(const unsigned char* in, int n, bool viaServer, Message* out);
  // The 152-byte image of a player record sent with NLM_CREATE_PLAYER.
  static void PlayerImage(const Player& player, unsigned char* out);
  // The name carried by an NLM_CREATE_PLAYER, always terminated within 126 characters.
  static void NameFromRequest(const Message& msg, char* name);

  ZyHawkNetwork();
  ~ZyHawkNetwork();
  ZyHawkNetwork(const ZyHawkNetwork&) = delete;
  ZyHawkNetwork& operator=(const ZyHawkNetwork&) = delete;

  // The worker thread body; returns 0 when it ends.
  static void* mainLoop(void* self);
  // Asks the worker to end and waits until it has.
  void Stop();
  // Sends msg whole on socket; false as soon as a write fails.
  bool Send(NLsocket socket, Message& msg);
  // Sends an NLM_LOGOFF for id on the connection socket.
  void DeletePlayer(int id);
  // Take and release the lock; SessionLock pairs them.
  static void Lock(ZyHawkNetwork* self);
  static void Unlock(ZyHawkNetwork* self);
  // DeletePlayer for every local player (used at program end).
  void LogOffPlayers();

  // ---- Session operations behind the NET commands ---------------------------------------
  // Stops the session, closes its sockets and starts the socket layer.
  void StartNetwork();
  int HostGame(int port);
  int JoinGame(const char* address, int port);
  // The new player's id, or -1 when the server gave none within 5 seconds.
  int CreatePlayer(const char* name);
  // Sends text from one player to another (recipient 0: every player).
  bool SendText(int from, int to, const char* text, std::size_t length);
  // The oldest message waiting for the local player id.
  bool TakeMessage(int id, std::string* text);
  // Waits until a message waits for the local player id, the worker has ended or the time
  // has come; true when a message waits.
  bool WaitMessage(int id, std::chrono::steady_clock::time_point until);
  // Sends a query and waits up to 5 seconds for its answer.
  bool Query(unsigned char kind, const void* data, int length, Message* answer);
  // This host's addresses separated by '|'; "" when the default port cannot be opened.
  std::string LocalAddresses();
  bool WorkerAlive();

  // ---- State (guarded by lock) -------------------------------------------------------------
  bool host = false;
  NLsocket listenSocket = NL_INVALID;
  NLsocket connSocket = NL_INVALID;
  std::list<Player> localPlayers;
  std::list<Player> serverPlayers;
  NLenum netType = NL_IP;
  NLenum connType = NL_UNRELIABLE;
  bool stopRequest = true;
  bool workerAlive = false;
  HTmutex lock = nullptr;
  std::list<Message> incoming;
  std::list<Message> replies;

 private:
  friend class ZyHawkWorker;
  // Closes the stopped session's sockets after logging off its local players, and forgets
  // every record of it.
  void CloseSession();
  bool StartWorker();
  // Starts connSocket's handshake with address at port; on failure closes connSocket and
  // prints the failure line.
  bool ConnectSession(NLaddress* address, int port, const char* failure);
  // Appends a new local player and waits for its id; -1 after 5 seconds.
  int AddLocalPlayer(const char* name, unsigned* serial);
  void RemoveLocalPlayer(unsigned serial);
  // Waits on changed_ with the lock held (and held again on return).
  void WaitChange(SessionLock& held, std::chrono::steady_clock::time_point until);
  // Wakes whoever waits on changed_ (with or without the lock held).
  void Changed() { changed_.notify_all(); }
  // Wakes the worker from its wait on the sockets; called with the lock held.
  void WakeWorker();
  // Moves the message at it in from to the local players it is for (a copy to each for a
  // message to everybody), as the worker delivers; false when it is for none of them or
  // their queues are full, and it stays in from. Lock held.
  bool DeliverToLocals(std::list<Message>& from, std::list<Message>::iterator it);
  // Reads what waits on the connection on the calling thread (lock held). A message for a
  // local player is delivered at once while nothing read before it waits for the worker;
  // anything else, and everything behind it, goes to the worker in order. Finding messages
  // there, or being called by a thread that takes without waiting in between, keeps the
  // worker off the connection for a while (takerReads_).
  void ReadConnectionHere();
  // Before this thread waits for the worker's results: the worker reads the connection again.
  void LeaveConnectionToWorker();
  // Read from the connection by a taking thread, for the worker to handle first in its next
  // pass; until takerReads_ the worker leaves the connection to the taking threads, and
  // workerReadsConn_ says whether its wait includes the connection.
  std::list<Message> connBacklog_;
  std::chrono::steady_clock::time_point takerReads_;
  bool workerReadsConn_ = true;
  int takesInRow_ = 0;  // reads here since a thread last waited for the worker's results
  // When a take last read the connection, and when one last found a message.
  std::chrono::steady_clock::time_point takeReadAt_, tookAt_;
  // The taking threads' receive batch (used under the lock).
  std::vector<unsigned char> takeBytes_;
  std::vector<NLdatagram> takeBatch_;
  // The worker's wait, so that a request of this thread cuts it short; null without worker.
  NLwaiter* waiter_ = nullptr;
  // Signalled by the worker when a player got its id, an answer or a message came in, or
  // the worker ended.
  std::condition_variable_any changed_;
  unsigned nextSerial_ = 1;
  int nlInits_ = 0;
};

// Holds a session's lock from its construction to the end of its scope, so that every way out
// releases it. unlock() and lock() give it up and take it again in between (a condition
// variable waits with it that way); a guard that ends unlocked releases nothing.
class SessionLock {
 public:
  explicit SessionLock(ZyHawkNetwork* net) : net_(net) { ZyHawkNetwork::Lock(net_); }
  ~SessionLock() {
    if (held_) ZyHawkNetwork::Unlock(net_);
  }
  SessionLock(const SessionLock&) = delete;
  SessionLock& operator=(const SessionLock&) = delete;
  void lock() {
    ZyHawkNetwork::Lock(net_);
    held_ = true;
  }
  void unlock() {
    ZyHawkNetwork::Unlock(net_);
    held_ = false;
  }

 private:
  ZyHawkNetwork* net_;
  bool held_ = true;
};

}  // namespace TAVELOR
