// The socket layer: one IPv4 UDP socket with broadcast switched on and a
// bounded receive. POSIX here, Winsock 2.2 on Windows; the platform split
// lives only in udpsocket.cpp.
#pragma once

#include <QtGlobal>
#include <QString>

struct SocketAddress {
    quint8 address[4] = {};  // dotted order
    quint16 port = 0;        // host order
};

class UdpSocket {
public:
    static constexpr int ReceiveTimeoutMs = 500;

    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(const UdpSocket &) = delete;
    UdpSocket &operator=(const UdpSocket &) = delete;

    // Starts / shuts down the socket library (Winsock); no-ops elsewhere.
    static void startup();
    static void cleanup();
    static int lastError();

    // Closes any previous handle, makes a new one with SO_BROADCAST and a
    // 500 ms receive time-out. Returns false when the socket cannot be made.
    bool open();
    bool bindTo(const quint8 address[4], quint16 port);
    bool isOpen() const;
    void close();

    // Returns the number of bytes sent, or -1.
    int sendTo(const void *data, int length, const SocketAddress &to);
    // Waits at most timeoutMs (capped at ReceiveTimeoutMs) for one datagram.
    // Returns its length, or -1 on time-out or error.
    int receive(void *buffer, int size, int timeoutMs = ReceiveTimeoutMs,
                SocketAddress *from = nullptr);
    // Throws away datagrams already queued, without waiting.
    int discardPending();
    // The local address and port the socket is bound to (for tests and logs).
    SocketAddress localAddress() const;

private:
    qintptr handle_ = -1;
};
