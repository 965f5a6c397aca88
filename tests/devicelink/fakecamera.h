// A scripted camera for tests: a plain UDP socket on a thread that records
// every datagram it receives and answers with whatever the test's script
// returns. Raw POSIX sockets and byte offsets only, nothing from devicelink/,
// so the bytes it sees are the bytes on the wire.
#pragma once

#include <QByteArray>
#include <QList>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

inline QByteArray hexBytes(const char *text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }
inline quint16 idOf(const QByteArray &d) { return quint16((quint8(d[6]) << 8) | quint8(d[7])); }

// An acknowledge: status, code, length of `payload`, request id, payload.
inline QByteArray ackBytes(quint16 status, quint16 code, quint16 requestId, const QByteArray &payload = {})
{
    const quint16 words[4] = {status, code, quint16(payload.size()), requestId};
    QByteArray a;
    for (quint16 w : words)
        a += char(w >> 8), a += char(w);
    return a + payload;
}

class FakeCamera {
public:
    struct Reply {
        QByteArray bytes;
        int delayMs = 0;  // sent this long after the request arrived
    };
    using Replies = std::vector<Reply>;
    using Script = std::function<Replies(const QByteArray &request)>;

    // Binds to address:port (port 0: any free port).
    explicit FakeCamera(const char *address = "127.0.0.1", quint16 port = 0)
    {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        int on = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in sa = endpoint(address, port);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0;
        socklen_t len = sizeof sa;
        ::getsockname(fd_, reinterpret_cast<sockaddr *>(&sa), &len);
        port_ = ntohs(sa.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~FakeCamera()
    {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }

    bool bound() const { return bound_; }
    quint16 port() const { return port_; }
    void setScript(Script script)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        script_ = std::move(script);
    }
    QList<QByteArray> received() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }
    int receivedCount() const { return received().size(); }
    // True when a request arrived while a reply to an earlier one was still
    // due: two exchanges interleaved.
    bool sawOverlap() const { return overlap_; }

    // Sends a datagram unprompted, e.g. to a socket that has not spoken yet.
    void sendTo(quint16 port, const QByteArray &bytes, const char *address = "127.0.0.1")
    {
        const sockaddr_in to = endpoint(address, port);
        send(bytes, to);
    }

private:
    struct Pending {
        QByteArray bytes;
        sockaddr_in to;
        std::chrono::steady_clock::time_point due;
    };

    static sockaddr_in endpoint(const char *address, quint16 port)
    {
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        ::inet_pton(AF_INET, address, &sa.sin_addr);
        return sa;
    }
    void send(const QByteArray &bytes, const sockaddr_in &to)
    {
        ::sendto(fd_, bytes.constData(), size_t(bytes.size()), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
    }

    void run()
    {
        std::vector<Pending> pending;
        char buffer[4096];
        while (!stop_) {
            const auto now = std::chrono::steady_clock::now();
            for (auto it = pending.begin(); it != pending.end();)
                if (it->due <= now) {
                    send(it->bytes, it->to);
                    it = pending.erase(it);
                } else {
                    ++it;
                }
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 1) <= 0)
                continue;
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &len);
            if (n < 0)
                continue;
            const QByteArray request(buffer, int(n));
            Script script;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                received_.append(request);
                script = script_;
            }
            if (!pending.empty())
                overlap_ = true;
            for (const Reply &r : script ? script(request) : Replies{}) {
                if (r.delayMs <= 0 && pending.empty())
                    send(r.bytes, from);
                else
                    pending.push_back({r.bytes, from, now + std::chrono::milliseconds(r.delayMs)});
            }
        }
    }

    int fd_ = -1;
    bool bound_ = false;
    quint16 port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> overlap_{false};
    mutable std::mutex mutex_;
    Script script_;
    QList<QByteArray> received_;
    std::thread thread_;
};
