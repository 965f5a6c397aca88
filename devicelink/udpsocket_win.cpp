// The socket layer on Windows (Winsock 2.2).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <mswsock.h>
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include "udpsocket.h"

#include <cstring>

#ifndef SIO_UDP_CONNRESET
#define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#endif

namespace {

SOCKET native(std::intptr_t h) { return static_cast<SOCKET>(h); }

sockaddr_in toSockaddr(const SocketAddress &a)
{
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_port = htons(a.port);
    std::memcpy(&sa.sin_addr, a.address, 4);  // dotted order is network order
    return sa;
}

SocketAddress fromSockaddr(const sockaddr_in &sa)
{
    SocketAddress a;
    std::memcpy(a.address, &sa.sin_addr, 4);
    a.port = ntohs(sa.sin_port);
    return a;
}

// 1 readable, 0 time-out, -1 error.
int waitReadable(SOCKET s, int timeoutMs)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv;
    tv.tv_sec = timeoutMs / 1000;
    tv.tv_usec = (timeoutMs % 1000) * 1000;
    int r = ::select(0, &set, nullptr, nullptr, &tv);
    if (r == SOCKET_ERROR)
        return -1;
    return r > 0 ? 1 : 0;
}

void setNoSocketError() { WSASetLastError(WSAENOTSOCK); }

bool wsaStarted = false;

}  // namespace

UdpSocket::~UdpSocket() { close(); }

void UdpSocket::startup()
{
    if (!wsaStarted) {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);  // result not examined: socket() will fail visibly
        wsaStarted = true;
    }
}

void UdpSocket::cleanup()
{
    if (wsaStarted) {
        WSACleanup();
        wsaStarted = false;
    }
}

int UdpSocket::lastError() { return WSAGetLastError(); }

bool UdpSocket::isTimeoutError(int error)
{
    return error == WSAETIMEDOUT || error == WSAEWOULDBLOCK;
}

bool UdpSocket::open()
{
    close();
    SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET)
        return false;
    char on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, 1);
    DWORD timeout = ReceiveTimeoutMs;
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char *>(&timeout),
                 sizeof timeout);
    // Without this an ICMP "port unreachable" for an earlier datagram makes
    // the next receive fail at once instead of waiting for the reply.
    BOOL reportReset = FALSE;
    DWORD returned = 0;
    ::WSAIoctl(s, SIO_UDP_CONNRESET, &reportReset, sizeof reportReset, nullptr, 0, &returned,
               nullptr, nullptr);
    handle_ = static_cast<std::intptr_t>(s);
    return true;
}

bool UdpSocket::bindTo(const std::uint8_t address[4], std::uint16_t port)
{
    std::intptr_t h = handle_;
    if (h == NoHandle)
        return false;
    SocketAddress a;
    std::memcpy(a.address, address, 4);
    a.port = port;
    sockaddr_in sa = toSockaddr(a);
    return ::bind(native(h), reinterpret_cast<const sockaddr *>(&sa), sizeof sa) == 0;
}

bool UdpSocket::setReuseAddress()
{
    std::intptr_t h = handle_;
    BOOL on = TRUE;
    return h != NoHandle && ::setsockopt(native(h), SOL_SOCKET, SO_REUSEADDR,
                                         reinterpret_cast<const char *>(&on), sizeof on) == 0;
}

bool UdpSocket::bindToDevice(const char *)
{
    // A socket bound to the interface's address receives its broadcasts here.
    WSASetLastError(WSAENOPROTOOPT);
    return false;
}

int UdpSocket::requestReceiveBuffer(int bytes)
{
    std::intptr_t h = handle_;
    if (h == NoHandle)
        return 0;
    ::setsockopt(native(h), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char *>(&bytes),
                 sizeof bytes);
    int granted = 0;
    int length = sizeof granted;
    if (::getsockopt(native(h), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char *>(&granted),
                     &length) != 0)
        return 0;
    return granted;
}

bool UdpSocket::isOpen() const { return handle_ != NoHandle; }

void UdpSocket::close()
{
    std::intptr_t h = handle_.exchange(NoHandle);
    if (h != NoHandle)
        ::closesocket(native(h));
}

int UdpSocket::sendTo(const void *data, int length, const SocketAddress &to)
{
    std::intptr_t h = handle_;
    if (h == NoHandle || length < 0 || (length > 0 && !data)) {
        setNoSocketError();
        return -1;
    }
    sockaddr_in sa = toSockaddr(to);
    int n = ::sendto(native(h), static_cast<const char *>(data), length, 0,
                     reinterpret_cast<const sockaddr *>(&sa), sizeof sa);
    return n == SOCKET_ERROR ? -1 : n;
}

int UdpSocket::waitReadable(std::intptr_t handle, int timeoutMs)
{
    return ::waitReadable(native(handle), timeoutMs);
}

bool UdpSocket::lastErrorIsTransient()
{
    return WSAGetLastError() == WSAEWOULDBLOCK || WSAGetLastError() == WSAEINTR;
}

void UdpSocket::setTimedOut() { WSASetLastError(WSAETIMEDOUT); }

int UdpSocket::receiveNow(void *buffer, int size, SocketAddress *from)
{
    std::intptr_t h = handle_;
    if (h == NoHandle || !buffer || size <= 0) {
        setNoSocketError();
        return -1;
    }
    if (waitReadable(native(h), 0) != 1) {
        WSASetLastError(WSAEWOULDBLOCK);
        return -1;
    }
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    int len = sizeof sa;
    int n = ::recvfrom(native(h), static_cast<char *>(buffer), size, 0,
                       reinterpret_cast<sockaddr *>(&sa), &len);
    if (n == SOCKET_ERROR) {
        if (WSAGetLastError() != WSAEMSGSIZE)
            return -1;
        n = size;  // cut to the buffer, as on POSIX
    }
    if (from)
        *from = fromSockaddr(sa);
    return n;
}

int UdpSocket::discardPending()
{
    std::intptr_t h = handle_;
    if (h == NoHandle)
        return 0;
    char scratch[64];
    int count = 0;
    while (count < MaxDiscard) {
        if (waitReadable(native(h), 0) != 1)
            break;
        int n = ::recv(native(h), scratch, sizeof scratch, 0);
        if (n == SOCKET_ERROR && WSAGetLastError() != WSAEMSGSIZE)
            break;
        ++count;
    }
    return count;
}

SocketAddress UdpSocket::localAddress() const
{
    SocketAddress a;
    std::intptr_t h = handle_;
    if (h == NoHandle)
        return a;
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    int len = sizeof sa;
    if (::getsockname(native(h), reinterpret_cast<sockaddr *>(&sa), &len) == 0)
        a = fromSockaddr(sa);
    return a;
}

int UdpSocket::waitAny(UdpSocket *const *sockets, int count, int timeoutMs, bool *ready)
{
    fd_set set;
    FD_ZERO(&set);
    int used = 0;
    for (int i = 0; i < count; ++i) {
        ready[i] = false;
        const std::intptr_t h = sockets[i] ? sockets[i]->handle_.load() : NoHandle;
        if (h != NoHandle && used < FD_SETSIZE) {
            FD_SET(native(h), &set);
            ++used;
        }
    }
    if (used == 0) {
        // select() refuses empty sets on Windows; wait like the others would.
        Sleep(DWORD(timeoutMs < 0 ? 0 : timeoutMs));
        return 0;
    }
    if (timeoutMs < 0)
        timeoutMs = 0;
    timeval tv;
    tv.tv_sec = timeoutMs / 1000;
    tv.tv_usec = (timeoutMs % 1000) * 1000;
    const int r = ::select(0, &set, nullptr, nullptr, &tv);
    if (r == SOCKET_ERROR)
        return -1;
    int readable = 0;
    for (int i = 0; i < count; ++i) {
        const std::intptr_t h = sockets[i] ? sockets[i]->handle_.load() : NoHandle;
        if (h != NoHandle && FD_ISSET(native(h), &set)) {
            ready[i] = true;
            ++readable;
        }
    }
    return readable;
}
