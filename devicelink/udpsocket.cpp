// The socket layer's platform-neutral part: the bounded receive, built on
// the platform's wait and non-blocking receive.
#include "udpsocket.h"

#include <chrono>
#include <cstring>

int UdpSocket::receive(void *buffer, int size, int timeoutMs, SocketAddress *from)
{
    if (buffer && size > 0)
        std::memset(buffer, 0, static_cast<size_t>(size));
    const std::intptr_t h = handle_;
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
            if (n >= 0 || !lastErrorIsTransient())
                return n;
        }
        if (Clock::now() >= deadline) {
            setTimedOut();
            return -1;
        }
    }
}
