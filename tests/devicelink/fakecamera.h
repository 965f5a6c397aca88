// A scripted camera for tests: a plain UDP socket on a thread that records
// every datagram it receives and answers with whatever the test's script
// returns. It shares no code with devicelink/ (raw POSIX sockets and byte
// offsets only), so the bytes it sees are the bytes on the wire.
#pragma once

#include <QByteArray>
#include <QList>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Raw byte helpers for scripts and expectations.
inline QByteArray hexBytes(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

inline quint16 be16At(const QByteArray &d, int at)
{
    return quint16((quint8(d[at]) << 8) | quint8(d[at + 1]));
}

inline quint32 be32At(const QByteArray &d, int at)
{
    return (quint32(quint8(d[at])) << 24) | (quint32(quint8(d[at + 1])) << 16) |
           (quint32(quint8(d[at + 2])) << 8) | quint32(quint8(d[at + 3]));
}

// An acknowledge: status, code, length of `payload`, request id, payload.
inline QByteArray ackBytes(quint16 status, quint16 code, quint16 requestId,
                           const QByteArray &payload = QByteArray())
{
    QByteArray a(8, '\0');
    a[0] = char(status >> 8);
    a[1] = char(status);
    a[2] = char(code >> 8);
    a[3] = char(code);
    a[4] = char(payload.size() >> 8);
    a[5] = char(payload.size());
    a[6] = char(requestId >> 8);
    a[7] = char(requestId);
    return a + payload;
}

class FakeCamera {
public:
    struct Reply {
        QByteArray bytes;
        int delayMs = 0;  // sent this long after the request arrived
    };
    using Script = std::function<std::vector<Reply>(const QByteArray &request)>;

    // Binds to address:port (port 0: any free port).
    explicit FakeCamera(const char *address = "127.0.0.1", quint16 port = 0)
    {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        int on = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        ::inet_pton(AF_INET, address, &sa.sin_addr);
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
    void clearReceived()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        received_.clear();
    }
    // True when a request arrived while the reply to the previous one was
    // still due: two exchanges interleaved.
    bool sawOverlap() const { return overlap_; }

    // Sends a datagram to the last sender, unprompted.
    void sendToLastPeer(const QByteArray &bytes)
    {
        sockaddr_in peer;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            peer = lastPeer_;
        }
        ::sendto(fd_, bytes.constData(), size_t(bytes.size()), 0,
                 reinterpret_cast<const sockaddr *>(&peer), sizeof peer);
    }

    // Sends a datagram to 127.0.0.1:port (a socket that has not spoken yet).
    void sendTo(quint16 port, const QByteArray &bytes, const char *address = "127.0.0.1")
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        ::inet_pton(AF_INET, address, &to.sin_addr);
        ::sendto(fd_, bytes.constData(), size_t(bytes.size()), 0,
                 reinterpret_cast<const sockaddr *>(&to), sizeof to);
    }

private:
    struct Pending {
        QByteArray bytes;
        sockaddr_in to;
        std::chrono::steady_clock::time_point due;
    };

    void run()
    {
        std::vector<Pending> pending;
        char buffer[4096];
        while (!stop_) {
            const auto now = std::chrono::steady_clock::now();
            for (auto it = pending.begin(); it != pending.end();) {
                if (it->due <= now) {
                    ::sendto(fd_, it->bytes.constData(), size_t(it->bytes.size()), 0,
                             reinterpret_cast<const sockaddr *>(&it->to), sizeof it->to);
                    it = pending.erase(it);
                } else {
                    ++it;
                }
            }
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 1) <= 0)
                continue;
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = ::recvfrom(fd_, buffer, sizeof buffer, 0,
                                         reinterpret_cast<sockaddr *>(&from), &len);
            if (n < 0)
                continue;
            const QByteArray request(buffer, int(n));
            Script script;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                received_.append(request);
                lastPeer_ = from;
                script = script_;
            }
            if (!pending.empty())
                overlap_ = true;
            if (!script)
                continue;
            for (const Reply &r : script(request)) {
                if (r.delayMs <= 0 && pending.empty()) {
                    ::sendto(fd_, r.bytes.constData(), size_t(r.bytes.size()), 0,
                             reinterpret_cast<const sockaddr *>(&from), sizeof from);
                } else {
                    pending.push_back({r.bytes, from,
                                       std::chrono::steady_clock::now() +
                                           std::chrono::milliseconds(r.delayMs)});
                }
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
    sockaddr_in lastPeer_{};
    std::thread thread_;
};
