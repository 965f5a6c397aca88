// The socket layer: IPv4 UDP sockets with broadcast switched on and bounded
// receives. As in Qt's own socket engine, the class is written once
// (udpsocket.cpp) over a few native calls (udpsocket_native.h), which alone
// have one file per platform (udpsocket_posix.cpp, udpsocket_win.cpp). Plain
// C++ types only, so the Windows branch builds without Qt.
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
    // True for the error code a receive leaves when its time-out expired.
    static bool isTimeoutError(int error);

    // Closes any previous handle, makes a new one with SO_BROADCAST and a
    // 500 ms receive time-out. Returns false when the socket cannot be made.
    bool open();
    bool bindTo(const std::uint8_t address[4], std::uint16_t port);
    // Lets another socket bind the same port (a broadcast companion).
    bool setReuseAddress();
    // Ties the socket, before it is bound, to one network interface by name,
    // so that a wildcard bind receives only what arrives there. Linux only
    // (SO_BINDTODEVICE, unprivileged since 5.7); false elsewhere.
    bool bindToDevice(const char *interfaceName);
    // Asks for a receive buffer of `bytes` and returns what the system
    // granted (0 when it cannot tell).
    int requestReceiveBuffer(int bytes);
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
    // One queued datagram without waiting and without clearing the buffer:
    // its length (cut to `size`), or -1 when none is queued or on error.
    int receiveNow(void *buffer, int size, SocketAddress *from = nullptr);
    // Throws away datagrams already queued, without waiting. Returns how many.
    int discardPending();
    // The local address and port the socket is bound to.
    SocketAddress localAddress() const;

    // Waits until at least one of `count` sockets has a datagram queued or
    // timeoutMs passes. Sets ready[i] for each readable one; returns how many
    // are readable, 0 on time-out, -1 on error. Closed sockets are skipped.
    static int waitAny(UdpSocket *const *sockets, int count, int timeoutMs, bool *ready);

private:
    static constexpr std::intptr_t NoHandle = -1;

    std::atomic<std::intptr_t> handle_{NoHandle};
};
