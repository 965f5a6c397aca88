// The socket layer through udpsocket.h alone, on loopback. Plain C++17 so the
// same checks run natively against udpsocket_posix.cpp and, cross-built, under
// Wine against udpsocket_win.cpp: the Windows branch is the one technicians
// run, and a wrong unit or error code there would show nowhere else.
#include "timerresolution.h"
#include "udpsocket.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using std::to_string;
const std::uint8_t Loopback[4] = {127, 0, 0, 1};
std::string failures;  // of the running check

void expect(bool ok, const std::string &what)
{
    if (!ok)
        failures += "\n    " + what;
}

long msSince(Clock::time_point start)
{
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

bool openOn(UdpSocket &s) { return s.open() && s.bindTo(Loopback, 0); }

// A sender and a receiver on 127.0.0.1, ports chosen by the system.
struct Pair {
    UdpSocket a, b;
    Pair() { expect(openOn(a) && openOn(b), "loopback sockets do not open"); }
    bool send(const void *data, int length) { return a.sendTo(data, length, b.localAddress()) == length; }
    void waitForB()
    {
        UdpSocket *one[1] = {&b};
        bool ready[1];
        UdpSocket::waitAny(one, 1, 300, ready);
    }
};

// A receive that must time out: -1 within [minMs, maxMs], leaving the
// time-out error (on Windows WSAETIMEDOUT, which the log shows by number).
void expectTimeout(UdpSocket &s, int timeoutMs, long minMs, long maxMs)
{
    char buffer[64];
    const auto start = Clock::now();
    const int n = s.receive(buffer, sizeof buffer, timeoutMs);
    const long took = msSince(start);
    const int error = UdpSocket::lastError();
    std::printf("  receive(%d ms) on a silent socket: %d after %ld ms, error %d\n", timeoutMs, n, took, error);
    expect(n == -1 && took >= minMs && took <= maxMs,
           "expected -1 after " + to_string(minMs) + ".." + to_string(maxMs) + " ms");
    expect(UdpSocket::isTimeoutError(error), "error " + to_string(error) + " is not a time-out");
#ifdef _WIN32
    expect(error == 10060, "error " + to_string(error) + ", expected WSAETIMEDOUT 10060");
#endif
}

void roundTrip()
{
    UdpSocket a, b;
    expect(openOn(a) && openOn(b), "sockets do not open on 127.0.0.1");
    const SocketAddress to = b.localAddress();
    expect(to.port != 0 && std::memcmp(to.address, Loopback, 4) == 0, "bound address reads port 0 or not 127.0.0.1");
    const unsigned char sent[5] = {0x42, 0x01, 0x00, 0x02, 0xff};
    expect(a.sendTo(sent, 5, to) == 5, "sendTo did not send 5 bytes");
    unsigned char buffer[16];
    std::memset(buffer, 0xaa, sizeof buffer);
    SocketAddress from;
    const int n = b.receive(buffer, sizeof buffer, UdpSocket::ReceiveTimeoutMs, &from);
    expect(n == 5 && std::memcmp(buffer, sent, 5) == 0, "received " + to_string(n) + " bytes, not the 5 sent");
    expect(buffer[5] == 0 && buffer[15] == 0, "bytes after the datagram are not zeroed");
    expect(std::memcmp(from.address, Loopback, 4) == 0 && from.port == a.localAddress().port && from.port,
           "sender port reads " + to_string(from.port) + ", bound " + to_string(a.localAddress().port));
}

void timeouts()
{
    UdpSocket s;
    expect(openOn(s), "socket does not open");
    expectTimeout(s, UdpSocket::ReceiveTimeoutMs, 400, 2000);
    expectTimeout(s, 50, 40, 300);
    expectTimeout(s, 60000, 400, 2000);  // capped at ReceiveTimeoutMs
}

// The ICMP "port unreachable" for an earlier datagram must not end the next
// receive early (Windows reports it as WSAECONNRESET unless told not to).
void unreachablePortIgnored()
{
    Pair p;
    UdpSocket gone;
    expect(openOn(gone), "socket does not open");
    const SocketAddress deadPort = gone.localAddress();
    gone.close();
    expect(p.b.sendTo("x", 1, deadPort) == 1, "send to a closed port failed");
    expectTimeout(p.b, 100, 80, 1000);
    char buffer[4];
    expect(p.send("y", 1) && p.b.receive(buffer, 4, 300) == 1, "datagram after the ICMP error lost");
}

// Discovery broadcasts from sockets sharing a port. The loopback's own
// broadcast address keeps this on lo; without SO_BROADCAST the send is refused.
void broadcastToSharedPort()
{
    const std::uint8_t any[4] = {0, 0, 0, 0};
    auto share = [&any](UdpSocket &s, std::uint16_t port) {
        return s.open() && s.setReuseAddress() && s.bindTo(any, port);
    };
    UdpSocket a, b, sender;
    expect(share(a, 0) && share(b, a.localAddress().port) && openOn(sender), "two sockets do not share a port");
    const int sent = sender.sendTo("b", 1, SocketAddress{{127, 255, 255, 255}, a.localAddress().port});
    expect(sent == 1, "broadcast refused, error " + to_string(UdpSocket::lastError()));
    char buffer[4];
    expect(a.receive(buffer, 4, 300) == 1 && b.receive(buffer, 4, 300) == 1, "broadcast not received by both");
}

void discardQueued()
{
    Pair p;
    char big[200] = {};  // longer than any drain buffer: still one datagram
    expect(p.send(big, 8) && p.send(big, 200) && p.send(big, 1), "send failed");
    p.waitForB();
    const int dropped = p.b.discardPending();
    expect(dropped == 3, "discardPending() returned " + to_string(dropped) + ", expected 3");
    expectTimeout(p.b, 50, 40, 300);
}

// Cut to the buffer (Windows reports WSAEMSGSIZE), the rest dropped, nothing
// written past `size`, by both receive calls.
void longDatagramCut()
{
    Pair p;
    unsigned char sent[100];
    for (int i = 0; i < 100; ++i)
        sent[i] = static_cast<unsigned char>(i + 1);
    for (bool waiting : {true, false}) {
        const std::string call = waiting ? "receive: " : "receiveNow: ";
        expect(p.send(sent, 100), call + "send failed");
        p.waitForB();
        unsigned char buffer[32];
        std::memset(buffer, 0xee, sizeof buffer);
        SocketAddress from;
        const int n = waiting ? p.b.receive(buffer, 16, 300, &from) : p.b.receiveNow(buffer, 16, &from);
        expect(n == 16 && std::memcmp(buffer, sent, 16) == 0, call + "returned " + to_string(n) + ", not 16 bytes");
        expect(buffer[16] == 0xee, call + "wrote past the given size");
        expect(from.port == p.a.localAddress().port, call + "sender port lost");
        expect(p.b.receiveNow(buffer, 16) == -1, call + "the cut-off rest came back as a datagram");
    }
    const auto start = Clock::now();
    unsigned char buffer[4];
    expect(p.b.receiveNow(buffer, 4) == -1 && msSince(start) < 50, "receiveNow waited or returned data");
}

void waitAnyReportsReadable()
{
    Pair p;
    UdpSocket closed, other;
    expect(openOn(other), "socket does not open");
    UdpSocket *sockets[3] = {&closed, &other, &p.b};
    bool ready[3] = {true, true, true};
    const auto start = Clock::now();
    int r = UdpSocket::waitAny(sockets, 3, 200, ready);
    const long silent = msSince(start);
    std::printf("  waitAny(200 ms) on silent sockets: %d after %ld ms\n", r, silent);
    expect(r == 0 && !ready[0] && !ready[1] && !ready[2], "silent sockets reported readable");
    expect(silent >= 160 && silent <= 2000, "silent wait took " + to_string(silent) + " ms");
    expect(p.send("z", 1), "send failed");
    r = UdpSocket::waitAny(sockets, 3, 500, ready);
    expect(r == 1 && !ready[0] && !ready[1] && ready[2], "waitAny returned " + to_string(r) + ", ready " +
                                                             to_string(ready[0]) + to_string(ready[1]) +
                                                             to_string(ready[2]) + ", expected 1, 001");
}

void receiveBufferAndClose()
{
    Pair p;
    const int granted = p.b.requestReceiveBuffer(4 << 20);
    std::printf("  asked for a 4 MiB receive buffer, granted %d bytes\n", granted);
    expect(granted > 0, "no receive buffer granted");
    p.a.close();
    expect(!p.a.isOpen() && !p.send("x", 1), "a closed socket sent");
    char buffer[4];
    const auto start = Clock::now();
    expect(p.a.receive(buffer, 4) == -1 && msSince(start) < 100, "a closed socket waited or received");
}

double averageSleepMs()
{
    const auto start = Clock::now();
    for (int i = 0; i < 20; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / 20;
}

void timerResolution()
{
    const double plain = averageSleepMs();
    TimerResolution guard;
    std::printf("  a 2 ms sleep lasts %.2f ms without the timer guard, %.2f ms with it (%s)\n", plain, averageSleepMs(),
                guard.active() ? "active" : "inactive");
#ifdef _WIN32
    expect(guard.active(), "timeBeginPeriod(1) refused");
#endif
}

}  // namespace

int main()
{
    UdpSocket::startup();
    UdpSocket::startup();  // repeated calls must be harmless
    const struct {
        const char *name;
        void (*run)();
    } checks[] = {
        {"loopback round trip", roundTrip},
        {"receive time-outs", timeouts},
        {"unreachable port ignored", unreachablePortIgnored},
        {"broadcast to a shared port", broadcastToSharedPort},
        {"queued datagrams discarded", discardQueued},
        {"long datagram cut to the buffer", longDatagramCut},
        {"waitAny reports the readable socket", waitAnyReportsReadable},
        {"receive buffer, closed socket", receiveBufferAndClose},
        {"timer resolution guard", timerResolution},
    };
    int passed = 0, failed = 0;
    for (const auto &check : checks) {
        failures.clear();
        std::printf("%s\n", check.name);
        check.run();
        if (failures.empty())
            ++passed;
        else
            ++failed, std::printf("FAIL %s:%s\n", check.name, failures.c_str());
        std::fflush(stdout);
    }
    UdpSocket::cleanup();
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
