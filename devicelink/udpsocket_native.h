// The socket layer's native calls, private to it: the few that differ per
// platform, implemented once in udpsocket_posix.cpp (BSD sockets) and once in
// udpsocket_win.cpp (Winsock 2.2). UdpSocket is written once over them in
// udpsocket.cpp. Errors stay in the platform's own slot (errno or
// WSAGetLastError), so UdpSocket::lastError() names the cause.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstdint>

namespace udpnative {

// A native socket (int or SOCKET) held in an integer; -1 is INVALID_SOCKET too.
using Handle = std::intptr_t;
constexpr Handle NoHandle = -1;

// The most handles one poll() watches: select()'s set on Windows.
#ifdef _WIN32
constexpr int MaxPollHandles = FD_SETSIZE;
#else
constexpr int MaxPollHandles = 64;
#endif

// Winsock's WSAStartup / WSACleanup, once each; nothing elsewhere.
void startup();
void cleanup();

// An IPv4 UDP socket with SO_BROADCAST on and the given receive time-out, or
// NoHandle. Windows also stops reporting ICMP "port unreachable" as an error
// of the next receive.
Handle openBroadcast(int receiveTimeoutMs);
void close(Handle h);
bool bind(Handle h, const sockaddr_in &address);
bool localAddress(Handle h, sockaddr_in *address);
bool setIntOption(Handle h, int level, int option, int value);
bool intOption(Handle h, int level, int option, int *value);
// SO_RCVBUF, asking for less step by step where the system refuses a request
// above its cap instead of capping it.
void askReceiveBuffer(Handle h, int bytes);
// SO_BINDTODEVICE where the system has it (h may be NoHandle, the name null);
// elsewhere false with the platform's "no such option" error.
bool bindToDevice(Handle h, const char *interfaceName);

// Bytes sent, or -1.
int sendTo(Handle h, const void *data, int length, const sockaddr_in &to);
// One queued datagram without waiting, cut to `size`: its length, or -1 (a
// would-block error when none is queued). `from` must not be null.
int receiveFromNow(Handle h, void *buffer, int size, sockaddr_in *from);
// Waits up to timeoutMs (>= 0) until one of `count` (<= MaxPollHandles)
// handles has an event. Returns -1 on error, 0 on time-out or interruption,
// otherwise how many handles have an event; readable[k] tells which of them
// a receive would take something from (a datagram or a pending error).
int poll(const Handle *handles, int count, int timeoutMs, bool *readable);

int lastError();
bool isTimeout(int error);
// Nothing queued, or interrupted by a signal: worth trying again.
bool isTransient(int error);
void setTimedOut();
void setNoSocket();

}  // namespace udpnative
