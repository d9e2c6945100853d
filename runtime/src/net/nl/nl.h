// The socket layer under the network sessions: the HawkNL calls the session code uses,
// written over POSIX UDP sockets and C++ threads. Same constants, same error codes and texts,
// same bytes on the wire (connection emulation on unreliable sockets), so a peer built on
// HawkNL 1.7 can talk to us and the other way round.
//
// Only the unreliable (UDP) connection type on IPv4 exists here. Sockets are non-blocking.
// Socket and group numbers are never reused within a process, so a stale number can never
// reach a newer socket.
#pragma once

#include <cstdint>

typedef unsigned char NLubyte;
typedef unsigned short NLushort;
typedef int NLint;
typedef int NLsocket;
typedef int NLenum;
typedef unsigned char NLboolean;
typedef unsigned int NLuint;

#define NL_TRUE ((NLboolean)1)
#define NL_FALSE ((NLboolean)0)
#define NL_INVALID (-1)

#define NL_IP 0x0003
#define NL_RELIABLE 0x0010
#define NL_UNRELIABLE 0x0011
#define NL_RELIABLE_PACKETS 0x0012
#define NL_READ_STATUS 0x0050
#define NL_WRITE_STATUS 0x0051
#define NL_MAX_STRING_LENGTH 256
#define NL_MAX_PACKET_LENGTH 16384
#define NL_MAX_GROUP_SOCKETS 128
#define NL_MAX_GROUPS 128
#define NL_ADDRESS_SIZE 32

// Error codes (nlGetError) and their texts (nlGetErrorStr).
#define NL_NO_ERROR 0x0000
#define NL_NO_NETWORK 0x0100
#define NL_OUT_OF_MEMORY 0x0101
#define NL_INVALID_ENUM 0x0102
#define NL_INVALID_SOCKET 0x0103
#define NL_INVALID_PORT 0x0104
#define NL_INVALID_TYPE 0x0105
#define NL_SYSTEM_ERROR 0x0106
#define NL_SOCK_DISCONNECT 0x0107
#define NL_NOT_LISTEN 0x0108
#define NL_CON_REFUSED 0x0109
#define NL_NO_PENDING 0x010a
#define NL_BAD_ADDR 0x010b
#define NL_MESSAGE_END 0x010c
#define NL_NULL_POINTER 0x010d
#define NL_INVALID_GROUP 0x010e
#define NL_OUT_OF_GROUPS 0x010f
#define NL_OUT_OF_GROUP_SOCKETS 0x0110
#define NL_BUFFER_SIZE 0x0111
#define NL_PACKET_SIZE 0x0112
#define NL_WRONG_TYPE 0x0113
#define NL_CON_PENDING 0x0114
#define NL_SELECT_NET_ERROR 0x0115
#define NL_TIMED_OUT 0x0118
#define NL_SOCKET_NOT_FOUND 0x0119
#define NL_STRING_OVER_RUN 0x011a
#define NL_CONNECTED 0x011b

// An IPv4 address with its port. addr holds the system's socket address; valid tells whether
// it was filled in successfully.
struct NLaddress {
  NLubyte addr[NL_ADDRESS_SIZE];
  NLboolean valid;
};

// ---- Library ------------------------------------------------------------------------------
// Reference counted: the layer is up after the first nlInit and until the matching last
// nlShutdown, which closes every socket and group still open.
NLboolean nlInit();
void nlShutdown();
// Only NL_IP exists. Selecting it again is accepted; anything else is NL_INVALID_TYPE.
NLboolean nlSelectNetwork(NLenum network);

// The calling thread's last error; a successful call does not reset it.
NLenum nlGetError();
const char* nlGetErrorStr(NLenum err);
// errno of the calling thread's last failed system call.
NLint nlGetSystemError();
const char* nlGetSystemErrorStr(NLint err);

// ---- Sockets ------------------------------------------------------------------------------
// A UDP socket bound to every local address and port (0: the system picks).
NLsocket nlOpen(NLushort port, NLenum type);
NLboolean nlClose(NLsocket socket);
NLboolean nlListen(NLsocket socket);
// One pending connection request on a listening socket, or NL_INVALID with NL_NO_PENDING.
NLsocket nlAcceptConnection(NLsocket socket);
// Starts the handshake; it completes in the background (reads and writes answer
// NL_CON_PENDING meanwhile, NL_CON_REFUSED when no reply came).
NLboolean nlConnect(NLsocket socket, const NLaddress* address);
// One datagram: its length, 0 when none is waiting, NL_INVALID on error.
NLint nlRead(NLsocket socket, void* buffer, NLint nbytes);
// One datagram: nbytes, 0 when the send buffer is full, NL_INVALID on error.
NLint nlWrite(NLsocket socket, const void* buffer, NLint nbytes);

// ---- Addresses ----------------------------------------------------------------------------
NLboolean nlGetLocalAddr(NLsocket socket, NLaddress* address);
NLboolean nlGetRemoteAddr(NLsocket socket, NLaddress* address);
// Where an unconnected socket's writes go.
NLboolean nlSetRemoteAddr(NLsocket socket, const NLaddress* address);
// The host's addresses with port 0 (127.0.0.1 alone when it has none). The array stays
// valid until the same thread calls this again.
NLaddress* nlGetAllLocalAddr(NLint* count);
// "a.b.c.d:port", or "a.b.c.d" for port 0. string must hold NL_MAX_STRING_LENGTH bytes.
char* nlAddrToString(const NLaddress* address, char* string);
// "a.b.c.d" or a host name, optionally followed by ":port".
NLboolean nlGetAddrFromName(const char* name, NLaddress* address);
NLboolean nlStringToAddr(const char* string, NLaddress* address);
NLboolean nlSetAddrPort(NLaddress* address, NLushort port);
NLushort nlGetPortFromAddr(const NLaddress* address);

// ---- Groups -------------------------------------------------------------------------------
NLint nlGroupCreate();
NLboolean nlGroupDestroy(NLint group);
NLboolean nlGroupAddSocket(NLint group, NLsocket socket);
NLboolean nlGroupDeleteSocket(NLint group, NLsocket socket);
// The group's sockets, in the order they were added; *number holds the array size on entry
// and the count on return.
NLboolean nlGroupGetSockets(NLint group, NLsocket* sockets, NLint* number);
// Waits up to timeout milliseconds (0: not at all, negative: without limit) for sockets of
// the group to become ready and writes them into sockets in group order. Returns their
// number; NL_INVALID with NL_BUFFER_SIZE when more than number are ready.
NLint nlPollGroup(NLint group, NLenum name, NLsocket* sockets, NLint number, NLint timeout);

// ---- Threads and mutexes ------------------------------------------------------------------
typedef void* (*HThreadFunc)(void* data);
typedef void* HThreadID;
struct HTmutexImpl;
typedef HTmutexImpl* HTmutex;

// A joinable thread must be collected with htThreadJoin; the other kind cleans up itself.
HThreadID htThreadCreate(HThreadFunc func, void* data, NLboolean joinable);
NLint htThreadJoin(HThreadID thread, void** status);
void htThreadSleep(NLint milliseconds);
void htThreadYield();
NLint htMutexInit(HTmutex* mutex);
NLint htMutexLock(HTmutex* mutex);
NLint htMutexUnlock(HTmutex* mutex);
void htMutexDestroy(HTmutex* mutex);
