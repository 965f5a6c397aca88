// The socket layer on POSIX systems (Linux first).
#include "udpsocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

int native(std::intptr_t h) { return static_cast<int>(h); }

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

// A call on a closed socket fails like the platform's own calls do, so the
// caller's "last error" line names the cause.
void setNoSocketError() { errno = EBADF; }

}  // namespace

UdpSocket::~UdpSocket() { close(); }

void UdpSocket::startup() {}

void UdpSocket::cleanup() {}

int UdpSocket::lastError() { return errno; }

bool UdpSocket::isTimeoutError(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

bool UdpSocket::open()
{
    close();
    int type = SOCK_DGRAM;
#ifdef SOCK_CLOEXEC
    type |= SOCK_CLOEXEC;
#endif
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
    int on = 1;
    return h != NoHandle && ::setsockopt(native(h), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
}

bool UdpSocket::bindToDevice(const char *interfaceName)
{
#ifdef SO_BINDTODEVICE
    std::intptr_t h = handle_;
    if (h == NoHandle || !interfaceName)
        return false;
    return ::setsockopt(native(h), SOL_SOCKET, SO_BINDTODEVICE, interfaceName,
                        socklen_t(std::strlen(interfaceName) + 1)) == 0;
#else
    (void)interfaceName;
    errno = ENOPROTOOPT;
    return false;
#endif
}

int UdpSocket::requestReceiveBuffer(int bytes)
{
    std::intptr_t h = handle_;
    if (h == NoHandle)
        return 0;
    // The system caps the request (net.core.rmem_max on Linux); ask for less
    // step by step where a large request is refused outright.
    for (int ask = bytes; ask >= 65536; ask /= 2) {
        if (::setsockopt(native(h), SOL_SOCKET, SO_RCVBUF, &ask, sizeof ask) == 0)
            break;
    }
    int granted = 0;
    socklen_t length = sizeof granted;
    if (::getsockopt(native(h), SOL_SOCKET, SO_RCVBUF, &granted, &length) != 0)
        return 0;
    return granted;
}

bool UdpSocket::isOpen() const { return handle_ != NoHandle; }

void UdpSocket::close()
{
    std::intptr_t h = handle_.exchange(NoHandle);
    if (h != NoHandle)
        ::close(native(h));
}

int UdpSocket::sendTo(const void *data, int length, const SocketAddress &to)
{
    std::intptr_t h = handle_;
    if (h == NoHandle || length < 0 || (length > 0 && !data)) {
        setNoSocketError();
        return -1;
    }
    sockaddr_in sa = toSockaddr(to);
    ssize_t n;
    do {
        n = ::sendto(native(h), data, static_cast<size_t>(length), 0,
                     reinterpret_cast<const sockaddr *>(&sa), sizeof sa);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : static_cast<int>(n);
}

int UdpSocket::waitReadable(std::intptr_t handle, int timeoutMs)
{
    pollfd p;
    p.fd = native(handle);
    p.events = POLLIN;
    p.revents = 0;
    const int r = ::poll(&p, 1, timeoutMs);
    if (r < 0)
        return errno == EINTR ? 0 : -1;
    return r > 0 ? 1 : 0;
}

bool UdpSocket::lastErrorIsTransient()
{
    return errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK;
}

void UdpSocket::setTimedOut() { errno = EAGAIN; }

int UdpSocket::receiveNow(void *buffer, int size, SocketAddress *from)
{
    std::intptr_t h = handle_;
    if (h == NoHandle || !buffer || size <= 0) {
        setNoSocketError();
        return -1;
    }
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    socklen_t len = sizeof sa;
    ssize_t r = ::recvfrom(native(h), buffer, static_cast<size_t>(size), MSG_DONTWAIT,
                           reinterpret_cast<sockaddr *>(&sa), &len);
    if (r < 0)
        return -1;
    if (from)
        *from = fromSockaddr(sa);
    return static_cast<int>(r);
}

int UdpSocket::discardPending()
{
    std::intptr_t h = handle_;
    if (h == NoHandle)
        return 0;
    char scratch[64];
    int count = 0;
    while (count < MaxDiscard) {
        ssize_t n = ::recv(native(h), scratch, sizeof scratch, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
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
    socklen_t len = sizeof sa;
    if (::getsockname(native(h), reinterpret_cast<sockaddr *>(&sa), &len) == 0)
        a = fromSockaddr(sa);
    return a;
}

int UdpSocket::waitAny(UdpSocket *const *sockets, int count, int timeoutMs, bool *ready)
{
    constexpr int MaxSockets = 64;
    pollfd fds[MaxSockets];
    int index[MaxSockets];
    int used = 0;
    for (int i = 0; i < count; ++i) {
        ready[i] = false;
        const std::intptr_t h = sockets[i] ? sockets[i]->handle_.load() : NoHandle;
        if (h == NoHandle || used == MaxSockets)
            continue;
        fds[used].fd = native(h);
        fds[used].events = POLLIN;
        fds[used].revents = 0;
        index[used++] = i;
    }
    if (timeoutMs < 0)
        timeoutMs = 0;
    const int r = ::poll(fds, nfds_t(used), timeoutMs);
    if (r < 0)
        return errno == EINTR ? 0 : -1;
    int readable = 0;
    for (int k = 0; k < used; ++k) {
        if (fds[k].revents & (POLLIN | POLLERR)) {
            ready[index[k]] = true;
            ++readable;
        }
    }
    return readable;
}
