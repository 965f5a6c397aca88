// Platform split of the socket layer. Only standard C++ and the platform's
// socket headers here, so the Windows branch compiles without Qt.
#include "udpsocket.h"

#include <chrono>
#include <cstring>

#ifdef _WIN32
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  include <winsock2.h>
#  include <ws2tcpip.h>
#  include <mswsock.h>
#  ifndef SIO_UDP_CONNRESET
#    define SIO_UDP_CONNRESET _WSAIOW(IOC_VENDOR, 12)
#  endif
#else
#  include <arpa/inet.h>
#  include <cerrno>
#  include <fcntl.h>
#  include <netinet/in.h>
#  include <poll.h>
#  include <sys/socket.h>
#  include <sys/types.h>
#  include <unistd.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

#ifdef _WIN32
using Native = SOCKET;
const std::intptr_t NoHandle = -1;  // INVALID_SOCKET as a signed value

Native native(std::intptr_t h) { return static_cast<Native>(h); }

void setTimedOut() { WSASetLastError(WSAETIMEDOUT); }

// Waits until the socket is readable or timeoutMs passes. 1 readable,
// 0 time-out, -1 error.
int waitReadable(Native s, int timeoutMs)
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
#else
using Native = int;
const std::intptr_t NoHandle = -1;

Native native(std::intptr_t h) { return static_cast<Native>(h); }

void setTimedOut() { errno = EAGAIN; }

int waitReadable(Native s, int timeoutMs)
{
    pollfd p;
    p.fd = s;
    p.events = POLLIN;
    p.revents = 0;
    int r = ::poll(&p, 1, timeoutMs);
    if (r < 0)
        return errno == EINTR ? 0 : -1;
    return r > 0 ? 1 : 0;
}
#endif

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

#ifdef _WIN32
bool wsaStarted = false;
#endif

}  // namespace

UdpSocket::~UdpSocket()
{
    close();
}

void UdpSocket::startup()
{
#ifdef _WIN32
    if (!wsaStarted) {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);  // result not examined: socket() will fail visibly
        wsaStarted = true;
    }
#endif
}

void UdpSocket::cleanup()
{
#ifdef _WIN32
    if (wsaStarted) {
        WSACleanup();
        wsaStarted = false;
    }
#endif
}

int UdpSocket::lastError()
{
#ifdef _WIN32
    return WSAGetLastError();
#else
    return errno;
#endif
}

bool UdpSocket::open()
{
    close();
#ifdef _WIN32
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
#else
    int type = SOCK_DGRAM;
#  ifdef SOCK_CLOEXEC
    type |= SOCK_CLOEXEC;
#  endif
    int s = ::socket(AF_INET, type, IPPROTO_UDP);
    if (s < 0)
        return false;
    int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    timeval tv;
    tv.tv_sec = 0;
    tv.tv_usec = ReceiveTimeoutMs * 1000;
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    handle_ = s;
#endif
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

bool UdpSocket::isOpen() const
{
    return handle_ != NoHandle;
}

void UdpSocket::close()
{
    std::intptr_t h = handle_.exchange(NoHandle);
    if (h == NoHandle)
        return;
#ifdef _WIN32
    ::closesocket(native(h));
#else
    ::close(native(h));
#endif
}

// A call on a closed socket fails like the platform's own calls do, so the
// caller's "last error" line names the cause.
static void setNoSocketError()
{
#ifdef _WIN32
    WSASetLastError(WSAENOTSOCK);
#else
    errno = EBADF;
#endif
}

int UdpSocket::sendTo(const void *data, int length, const SocketAddress &to)
{
    std::intptr_t h = handle_;
    if (h == NoHandle || length < 0 || (length > 0 && !data)) {
        setNoSocketError();
        return -1;
    }
    sockaddr_in sa = toSockaddr(to);
#ifdef _WIN32
    int n = ::sendto(native(h), static_cast<const char *>(data), length, 0,
                     reinterpret_cast<const sockaddr *>(&sa), sizeof sa);
    return n == SOCKET_ERROR ? -1 : n;
#else
    ssize_t n;
    do {
        n = ::sendto(native(h), data, static_cast<size_t>(length), 0,
                     reinterpret_cast<const sockaddr *>(&sa), sizeof sa);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : static_cast<int>(n);
#endif
}

int UdpSocket::receive(void *buffer, int size, int timeoutMs, SocketAddress *from)
{
    if (buffer && size > 0)
        std::memset(buffer, 0, static_cast<size_t>(size));
    std::intptr_t h = handle_;
    if (h == NoHandle || !buffer || size <= 0) {
        setNoSocketError();
        return -1;
    }
    if (timeoutMs > ReceiveTimeoutMs)
        timeoutMs = ReceiveTimeoutMs;
    if (timeoutMs < 0)
        timeoutMs = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        // Rounded up, so the last fraction of a millisecond is waited, not spun.
        auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        int leftMs = left.count() > 0 ? static_cast<int>((left.count() + 999) / 1000) : 0;
        int ready = waitReadable(native(h), leftMs);
        if (ready < 0)
            return -1;
        if (ready == 0) {
            if (Clock::now() >= deadline) {
                setTimedOut();
                return -1;
            }
            continue;  // interrupted: wait for the rest of the time
        }
        sockaddr_in sa;
        std::memset(&sa, 0, sizeof sa);
#ifdef _WIN32
        int len = sizeof sa;
        int n = ::recvfrom(native(h), static_cast<char *>(buffer), size, 0,
                           reinterpret_cast<sockaddr *>(&sa), &len);
        if (n == SOCKET_ERROR) {
            if (WSAGetLastError() == WSAEMSGSIZE)
                n = size;  // cut to the buffer, as on POSIX
            else
                return -1;
        }
#else
        socklen_t len = sizeof sa;
        ssize_t r = ::recvfrom(native(h), buffer, static_cast<size_t>(size), MSG_DONTWAIT,
                               reinterpret_cast<sockaddr *>(&sa), &len);
        if (r < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) {
                if (Clock::now() >= deadline) {
                    setTimedOut();
                    return -1;
                }
                continue;
            }
            return -1;
        }
        int n = static_cast<int>(r);
#endif
        if (from)
            *from = fromSockaddr(sa);
        return n;
    }
}

int UdpSocket::discardPending()
{
    std::intptr_t h = handle_;
    if (h == NoHandle)
        return 0;
    char scratch[64];
    int count = 0;
    while (count < MaxDiscard) {
#ifdef _WIN32
        if (waitReadable(native(h), 0) != 1)
            break;
        int n = ::recv(native(h), scratch, sizeof scratch, 0);
        if (n == SOCKET_ERROR && WSAGetLastError() != WSAEMSGSIZE)
            break;
#else
        ssize_t n = ::recv(native(h), scratch, sizeof scratch, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
#endif
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
#ifdef _WIN32
    int len = sizeof sa;
#else
    socklen_t len = sizeof sa;
#endif
    if (::getsockname(native(h), reinterpret_cast<sockaddr *>(&sa), &len) == 0)
        a = fromSockaddr(sa);
    return a;
}
