// Additions of this socket layer beyond the HawkNL calls, for one thread that serves many
// sockets: a single wait on all of them that another thread can cut short, and several
// datagrams moved per system call. Reads and writes keep nlRead's and nlWrite's results and
// errors.
#pragma once

#include <memory>

#include "net/nl/nl.h"

// The sockets one thread waits on, and a wake-up that other threads can send it.
class NLwaiter {
 public:
  NLwaiter();
  ~NLwaiter();
  NLwaiter(const NLwaiter&) = delete;
  NLwaiter& operator=(const NLwaiter&) = delete;

  // False when the system gave no means to wait (then Wait always fails).
  bool Valid() const;
  // Adds a socket. One still in its handshake is waited on once its handshake has ended
  // well; until then the handshake thread reads it.
  NLboolean Add(NLsocket socket);
  void Remove(NLsocket socket);
  // Waits up to timeout milliseconds (-1: no limit; at most 10 while an added socket is in
  // its handshake) until a socket is readable or Wake is called. Writes the readable
  // sockets (an error or hang-up counts as readable) into ready, at most max of them, and
  // returns their count; 0 after a time-out or a wake-up; NL_INVALID when the wait failed.
  NLint Wait(NLsocket* ready, NLint max, NLint timeout);
  // Ends the current or the next Wait at once. Any thread may call it.
  void Wake();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// One datagram of a batch: size is the buffer's capacity, length the bytes read or to write.
struct NLdatagram {
  void* data = nullptr;
  NLint size = 0;
  NLint length = 0;
};

// Reads up to count datagrams from a socket in one call. Returns how many were read (0 when
// none waits, and a zero-length datagram counts as one with length 0); NL_INVALID with
// nlRead's error when the first read fails. Fewer than count means the socket was empty.
NLint nlReadMany(NLsocket socket, NLdatagram* datagrams, NLint count);
// Writes count datagrams in order in one call. Returns how many were written: fewer than
// count when the send buffer filled up (nlWrite's 0); NL_INVALID with nlWrite's error when
// the first write fails.
NLint nlWriteMany(NLsocket socket, const NLdatagram* datagrams, NLint count);
