// The socket layer's native calls on Windows: Winsock 2.2, select() and
// WSAGetLastError. Winsock has no per-call "don't wait" flag, so a receive
// asks select() first; it reports a datagram longer than the buffer as
// WSAEMSGSIZE, taken here as the cut datagram POSIX returns.
#include "udpsocket_native.h"

#include <mswsock.h>
#include <windows.h>

#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif

namespace udpnative {
namespace {

SOCKET socketOf(Handle h) { return static_cast<SOCKET>(h); }

bool wsaStarted = false;

}  // namespace

void startup()
{
    if (!wsaStarted) {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);  // result not examined: socket() will fail visibly
        wsaStarted = true;
    }
}

void cleanup()
{
    if (wsaStarted) {
        WSACleanup();
        wsaStarted = false;
    }
}

Handle openBroadcast(int receiveTimeoutMs)
{
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET)
        return NoHandle;
    char on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, 1);
    const DWORD timeout = DWORD(receiveTimeoutMs);
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char *>(&timeout),
                 sizeof timeout);
    // Without this an ICMP "port unreachable" for an earlier datagram makes
    // the next receive fail at once instead of waiting for the reply.
    BOOL reportReset = FALSE;
    DWORD returned = 0;
    ::WSAIoctl(s, SIO_UDP_CONNRESET, &reportReset, sizeof reportReset, nullptr, 0, &returned,
               nullptr, nullptr);
    return static_cast<Handle>(s);
}

void close(Handle h) { ::closesocket(socketOf(h)); }

bool bind(Handle h, const sockaddr_in &address)
{
    const auto *name = reinterpret_cast<const sockaddr *>(&address);
    return ::bind(socketOf(h), name, int(sizeof address)) != SOCKET_ERROR;
}

bool localAddress(Handle h, sockaddr_in *address)
{
    int length = int(sizeof *address);
    return ::getsockname(socketOf(h), reinterpret_cast<sockaddr *>(address), &length) !=
           SOCKET_ERROR;
}

bool setIntOption(Handle h, int level, int option, int value)
{
    const char *bytes = reinterpret_cast<const char *>(&value);
    return ::setsockopt(socketOf(h), level, option, bytes, int(sizeof value)) != SOCKET_ERROR;
}

bool intOption(Handle h, int level, int option, int *value)
{
    int length = int(sizeof *value);
    char *bytes = reinterpret_cast<char *>(value);
    return ::getsockopt(socketOf(h), level, option, bytes, &length) != SOCKET_ERROR;
}

// Winsock takes any size it is asked for.
void askReceiveBuffer(Handle h, int bytes) { setIntOption(h, SOL_SOCKET, SO_RCVBUF, bytes); }

bool bindToDevice(Handle, const char *)
{
    // A socket bound to the interface's address receives its broadcasts here.
    WSASetLastError(WSAENOPROTOOPT);
    return false;
}

int sendTo(Handle h, const void *data, int length, const sockaddr_in &to)
{
    const int n = ::sendto(socketOf(h), static_cast<const char *>(data), length, 0,
                           reinterpret_cast<const sockaddr *>(&to), int(sizeof to));
    return n == SOCKET_ERROR ? -1 : n;
}

int receiveFromNow(Handle h, void *buffer, int size, sockaddr_in *from)
{
    bool readable = false;
    if (poll(&h, 1, 0, &readable) <= 0) {
        WSASetLastError(WSAEWOULDBLOCK);
        return -1;
    }
    int length = int(sizeof *from);
    const int n = ::recvfrom(socketOf(h), static_cast<char *>(buffer), size, 0,
                             reinterpret_cast<sockaddr *>(from), &length);
    if (n != SOCKET_ERROR)
        return n;
    return WSAGetLastError() == WSAEMSGSIZE ? size : -1;
}

int poll(const Handle *handles, int count, int timeoutMs, bool *readable)
{
    if (count == 0) {
        // select() refuses empty sets; wait as poll() would.
        Sleep(DWORD(timeoutMs));
        return 0;
    }
    fd_set set;
    FD_ZERO(&set);
    for (int k = 0; k < count; ++k)
        FD_SET(socketOf(handles[k]), &set);
    timeval tv;
    tv.tv_sec = timeoutMs / 1000;
    tv.tv_usec = (timeoutMs % 1000) * 1000;
    const int r = ::select(0, &set, nullptr, nullptr, &tv);
    for (int k = 0; k < count; ++k)
        readable[k] = r > 0 && FD_ISSET(socketOf(handles[k]), &set);
    return r == SOCKET_ERROR ? -1 : r;
}

int lastError() { return WSAGetLastError(); }

bool isTimeout(int error) { return error == WSAETIMEDOUT || error == WSAEWOULDBLOCK; }

bool isTransient(int error) { return error == WSAEWOULDBLOCK || error == WSAEINTR; }

void setTimedOut() { WSASetLastError(WSAETIMEDOUT); }

// WSAENOTSOCK, as Winsock's own calls say of a closed socket.
void setNoSocket() { WSASetLastError(WSAENOTSOCK); }

}  // namespace udpnative
