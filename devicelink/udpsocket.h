// The socket layer: one IPv4 UDP socket with broadcast switched on and a
// bounded receive. POSIX here, Winsock 2.2 on Windows; the platform split
// lives only in udpsocket.cpp. Plain C++ types only, so the Windows branch
// compiles without Qt.
#pragma once

#include <atomic>
#include <cstdint>

struct SocketAddress {
    std::uint8_t address[4] = {};  // dotted order
    std::uint16_t port = 0;        // host order
};

class UdpSocket {
public:
    static constexpr int ReceiveTimeoutMs = 500;
    // discardPending() never throws away more than this many datagrams in one
    // call, so a flooding sender cannot hold the caller.
    static constexpr int MaxDiscard = 4096;

    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(const UdpSocket &) = delete;
    UdpSocket &operator=(const UdpSocket &) = delete;

    // Starts / shuts down the socket library (Winsock); no-ops elsewhere.
    // startup() may be called repeatedly; the library is started once.
    static void startup();
    static void cleanup();
    static int lastError();

    // Closes any previous handle, makes a new one with SO_BROADCAST and a
    // 500 ms receive time-out. Returns false when the socket cannot be made.
    bool open();
    bool bindTo(const std::uint8_t address[4], std::uint16_t port);
    bool isOpen() const;
    void close();

    // Returns the number of bytes sent, or -1.
    int sendTo(const void *data, int length, const SocketAddress &to);
    // Waits at most timeoutMs (capped at ReceiveTimeoutMs) for one datagram.
    // The buffer is zero-filled first, so bytes beyond a short datagram read
    // as zero. A datagram longer than `size` is cut to `size`. Returns its
    // length, or -1 on time-out or error (lastError() then tells which).
    int receive(void *buffer, int size, int timeoutMs = ReceiveTimeoutMs,
                SocketAddress *from = nullptr);
    // Throws away datagrams already queued, without waiting. Returns how many.
    int discardPending();
    // The local address and port the socket is bound to (for tests and logs).
    SocketAddress localAddress() const;

private:
    std::atomic<std::intptr_t> handle_{-1};
};
