// The socket layer's platform-neutral part: the whole of UdpSocket (guards,
// address conversion, the bounded receive, draining, the multi-socket wait),
// written once over the native calls of udpsocket_native.h.
#include "udpsocket.h"
#include "udpsocket_native.h"

#include <chrono>
#include <cstring>

namespace native = udpnative;

namespace {

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

// 1 when `h` is readable (or has an error to report) within timeoutMs, 0 when
// not or when the wait was interrupted, -1 on error.
int waitReadable(native::Handle h, int timeoutMs)
{
    bool readable = false;
    const int r = native::poll(&h, 1, timeoutMs, &readable);
    return r < 0 ? -1 : r > 0 ? 1 : 0;
}

}  // namespace

UdpSocket::~UdpSocket() { close(); }

void UdpSocket::startup() { native::startup(); }

void UdpSocket::cleanup() { native::cleanup(); }

int UdpSocket::lastError() { return native::lastError(); }

bool UdpSocket::isTimeoutError(int error) { return native::isTimeout(error); }

bool UdpSocket::open()
{
    static_assert(NoHandle == native::NoHandle, "one value for no socket");
    close();
    const native::Handle h = native::openBroadcast(ReceiveTimeoutMs);
    if (h == NoHandle)
        return false;
    handle_ = h;
    return true;
}

bool UdpSocket::bindTo(const std::uint8_t address[4], std::uint16_t port)
{
    const native::Handle h = handle_;
    if (h == NoHandle)
        return false;
    SocketAddress a;
    std::memcpy(a.address, address, 4);
    a.port = port;
    return native::bind(h, toSockaddr(a));
}

bool UdpSocket::setReuseAddress()
{
    const native::Handle h = handle_;
    return h != NoHandle && native::setIntOption(h, SOL_SOCKET, SO_REUSEADDR, 1);
}

bool UdpSocket::bindToDevice(const char *interfaceName)
{
    return native::bindToDevice(handle_, interfaceName);
}

int UdpSocket::requestReceiveBuffer(int bytes)
{
    const native::Handle h = handle_;
    if (h == NoHandle)
        return 0;
    native::askReceiveBuffer(h, bytes);
    int granted = 0;
    return native::intOption(h, SOL_SOCKET, SO_RCVBUF, &granted) ? granted : 0;
}

bool UdpSocket::isOpen() const { return handle_ != NoHandle; }

void UdpSocket::close()
{
    const native::Handle h = handle_.exchange(NoHandle);
    if (h != NoHandle)
        native::close(h);
}

int UdpSocket::sendTo(const void *data, int length, const SocketAddress &to)
{
    const native::Handle h = handle_;
    if (h == NoHandle || length < 0 || (length > 0 && !data)) {
        native::setNoSocket();
        return -1;
    }
    return native::sendTo(h, data, length, toSockaddr(to));
}

int UdpSocket::receive(void *buffer, int size, int timeoutMs, SocketAddress *from)
{
    if (buffer && size > 0)
        std::memset(buffer, 0, static_cast<size_t>(size));
    const native::Handle h = handle_;
    if (h == NoHandle || !buffer || size <= 0)
        return receiveNow(buffer, size, from);  // fails with the platform's own error
    if (timeoutMs > ReceiveTimeoutMs)
        timeoutMs = ReceiveTimeoutMs;
    if (timeoutMs < 0)
        timeoutMs = 0;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        // Rounded up, so the last fraction of a millisecond is waited, not spun.
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        const int leftMs = left.count() > 0 ? static_cast<int>((left.count() + 999) / 1000) : 0;
        const int ready = waitReadable(h, leftMs);
        if (ready < 0)
            return -1;
        if (ready > 0) {
            const int n = receiveNow(buffer, size, from);
            if (n >= 0 || !native::isTransient(native::lastError()))
                return n;
        }
        if (Clock::now() >= deadline) {
            native::setTimedOut();
            return -1;
        }
    }
}

int UdpSocket::receiveNow(void *buffer, int size, SocketAddress *from)
{
    const native::Handle h = handle_;
    if (h == NoHandle || !buffer || size <= 0) {
        native::setNoSocket();
        return -1;
    }
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    const int n = native::receiveFromNow(h, buffer, size, &sa);
    if (n >= 0 && from)
        *from = fromSockaddr(sa);
    return n;
}

int UdpSocket::discardPending()
{
    const native::Handle h = handle_;
    if (h == NoHandle)
        return 0;
    char scratch[64];
    sockaddr_in sender;
    int count = 0;
    while (count < MaxDiscard && native::receiveFromNow(h, scratch, sizeof scratch, &sender) >= 0)
        ++count;
    return count;
}

SocketAddress UdpSocket::localAddress() const
{
    SocketAddress a;
    const native::Handle h = handle_;
    if (h == NoHandle)
        return a;
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    if (native::localAddress(h, &sa))
        a = fromSockaddr(sa);
    return a;
}

int UdpSocket::waitAny(UdpSocket *const *sockets, int count, int timeoutMs, bool *ready)
{
    // Closed sockets, and any past the most one wait can watch, are skipped.
    native::Handle handles[native::MaxPollHandles];
    int index[native::MaxPollHandles];
    int used = 0;
    for (int i = 0; i < count; ++i) {
        ready[i] = false;
        const native::Handle h = sockets[i] ? sockets[i]->handle_.load() : NoHandle;
        if (h == NoHandle || used == native::MaxPollHandles)
            continue;
        handles[used] = h;
        index[used++] = i;
    }
    bool readable[native::MaxPollHandles] = {};
    if (native::poll(handles, used, timeoutMs < 0 ? 0 : timeoutMs, readable) < 0)
        return -1;
    int readableCount = 0;
    for (int k = 0; k < used; ++k) {
        if (readable[k]) {
            ready[index[k]] = true;
            ++readableCount;
        }
    }
    return readableCount;
}
