// The socket layer's native calls on POSIX systems (Linux first): BSD
// sockets, poll(), MSG_DONTWAIT and errno. Calls a signal interrupts are
// repeated here, so the caller never sees EINTR from a send or a receive.
#include "udpsocket_native.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/time.h>
#include <sys/types.h>
#include <unistd.h>

namespace udpnative {
namespace {

int fd(Handle h) { return static_cast<int>(h); }

}  // namespace

void startup() {}

void cleanup() {}

Handle openBroadcast(int receiveTimeoutMs)
{
    int type = SOCK_DGRAM;
#ifdef SOCK_CLOEXEC
    type |= SOCK_CLOEXEC;
#endif
    const int s = ::socket(AF_INET, type, IPPROTO_UDP);
    if (s < 0)
        return NoHandle;
    int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    timeval tv;
    tv.tv_sec = receiveTimeoutMs / 1000;
    tv.tv_usec = (receiveTimeoutMs % 1000) * 1000;
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return s;
}

void close(Handle h) { ::close(fd(h)); }

bool bind(Handle h, const sockaddr_in &address)
{
    return ::bind(fd(h), reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
}

bool localAddress(Handle h, sockaddr_in *address)
{
    socklen_t length = sizeof *address;
    return ::getsockname(fd(h), reinterpret_cast<sockaddr *>(address), &length) == 0;
}

bool setIntOption(Handle h, int level, int option, int value)
{
    return ::setsockopt(fd(h), level, option, &value, sizeof value) == 0;
}

bool intOption(Handle h, int level, int option, int *value)
{
    socklen_t length = sizeof *value;
    return ::getsockopt(fd(h), level, option, value, &length) == 0;
}

void askReceiveBuffer(Handle h, int bytes)
{
    // Linux caps the request at net.core.rmem_max; other systems refuse a
    // large one outright.
    for (int ask = bytes; ask >= 65536; ask /= 2) {
        if (setIntOption(h, SOL_SOCKET, SO_RCVBUF, ask))
            break;
    }
}

bool bindToDevice(Handle h, const char *interfaceName)
{
#ifdef SO_BINDTODEVICE
    if (h == NoHandle || !interfaceName)
        return false;
    return ::setsockopt(fd(h), SOL_SOCKET, SO_BINDTODEVICE, interfaceName,
                        socklen_t(std::strlen(interfaceName) + 1)) == 0;
#else
    (void)h;
    (void)interfaceName;
    errno = ENOPROTOOPT;
    return false;
#endif
}

int sendTo(Handle h, const void *data, int length, const sockaddr_in &to)
{
    ssize_t n;
    do {
        n = ::sendto(fd(h), data, static_cast<size_t>(length), 0,
                     reinterpret_cast<const sockaddr *>(&to), sizeof to);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : static_cast<int>(n);
}

int receiveFromNow(Handle h, void *buffer, int size, sockaddr_in *from)
{
    ssize_t n;
    do {
        socklen_t length = sizeof *from;
        n = ::recvfrom(fd(h), buffer, static_cast<size_t>(size), MSG_DONTWAIT,
                       reinterpret_cast<sockaddr *>(from), &length);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : static_cast<int>(n);
}

int poll(const Handle *handles, int count, int timeoutMs, bool *readable)
{
    pollfd fds[MaxPollHandles];
    for (int k = 0; k < count; ++k) {
        fds[k].fd = fd(handles[k]);
        fds[k].events = POLLIN;
        fds[k].revents = 0;
    }
    const int r = ::poll(fds, nfds_t(count), timeoutMs);
    for (int k = 0; k < count; ++k)
        readable[k] = r > 0 && (fds[k].revents & (POLLIN | POLLERR)) != 0;
    if (r < 0)
        return errno == EINTR ? 0 : -1;
    return r;
}

int lastError() { return errno; }

bool isTimeout(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

bool isTransient(int error) { return error == EINTR || error == EAGAIN || error == EWOULDBLOCK; }

void setTimedOut() { errno = EAGAIN; }

// EBADF, as the system's own calls say of a closed descriptor.
void setNoSocket() { errno = EBADF; }

}  // namespace udpnative
