#include "devicechannel.h"

#include "gvcp.h"
#include "ipv4address.h"

#include <QDebug>
#include <QMutexLocker>

#include <chrono>
#include <cstring>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int AccessPauseMs = 2;
constexpr int IpCommandPauseMs = 5;

void logNumber(const char *label, qint64 number)
{
    qDebug().nospace() << label << number;
}

// Address text from the IP panel; what is not an address goes out as
// 255.255.255.255, which no camera accepts as its own.
void addressOrBroadcast(const QString &text, quint8 out[4])
{
    if (!parseIPv4(text, out))
        std::memset(out, 0xFF, 4);
}

}  // namespace

DeviceChannel::DeviceChannel()
{
    std::memset(broadcastAddr.address, 0xFF, 4);
    broadcastAddr.port = gvcp::Port;
    deviceAddr.port = gvcp::Port;
}

void DeviceChannel::choose(UdpSocket *socket, const quint8 address[4])
{
    QMutexLocker lock(&exchangeLock_);
    deviceSocket = socket;
    if (address)
        std::memcpy(deviceAddr.address, address, 4);
    else
        std::memset(deviceAddr.address, 0, 4);
    deviceAddr.port = gvcp::Port;
}

void DeviceChannel::setReplyTimeoutMs(int ms)
{
    QMutexLocker lock(&exchangeLock_);
    if (ms < 1)
        ms = 1;
    if (ms > UdpSocket::ReceiveTimeoutMs)
        ms = UdpSocket::ReceiveTimeoutMs;
    replyTimeoutMs_ = ms;
}

bool DeviceChannel::isStaleRequestId(quint16 replyId, quint16 sentId)
{
    // Ids run 1..0xFFFF and wrap to 1, so distances are taken modulo 0xFFFF.
    // 0 is never sent: an acknowledge carrying it simply does not echo ids.
    if (replyId == 0 || replyId == sentId)
        return false;
    int distance = (int(sentId) - int(replyId)) % 0xFFFF;
    if (distance < 0)
        distance += 0xFFFF;
    return distance >= 1 && distance <= StaleIdWindow;
}

// The one exchange under every operation: one at a time per channel; drop
// what is already waiting, send, pause, then wait up to the reply time-out
// for a reply the judge accepts or rejects, skipping late answers to earlier
// requests. The request id is drawn under the lock, so ids go out in order.
// A null reply buffer means send only.
template <class Build, class Judge>
DeviceChannel::Outcome DeviceChannel::exchange(Build build, const SocketAddress &target,
                                               int pauseMs, quint8 *reply, int replySize,
                                               Judge judge)
{
    Outcome outcome;
    QMutexLocker lock(&exchangeLock_);
    UdpSocket *socket = deviceSocket;
    if (!socket)
        return outcome;

    quint8 packet[gvcp::LargeCommandBuffer];
    std::memset(packet, 0, sizeof packet);
    quint16 sentId = 0;
    const int length = build(packet, sentId);

    socket->discardPending();
    if (socket->sendTo(packet, length, target) < 0) {
        outcome.kind = Outcome::SendFailed;
        outcome.error = UdpSocket::lastError();
        return outcome;
    }
    if (!reply) {
        outcome.kind = Outcome::Accepted;  // nothing is awaited
        return outcome;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));

    const auto deadline = Clock::now() + std::chrono::milliseconds(replyTimeoutMs_);
    bool sawStale = false;
    int staleLength = 0;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        const int n = socket->receive(reply, replySize, int((left + 999) / 1000));
        if (n < 0) {
            outcome.error = UdpSocket::lastError();
            break;
        }
        switch (judge(reply, n, sentId)) {
        case Verdict::Accept:
            outcome.kind = Outcome::Accepted;
            outcome.length = n;
            return outcome;
        case Verdict::Reject:
            outcome.kind = Outcome::Rejected;
            outcome.length = n;
            return outcome;
        case Verdict::Stale:
            sawStale = true;
            staleLength = n;
            break;
        }
    }
    if (sawStale) {
        // Only late answers came: the reply test failed, not the receive.
        outcome.kind = Outcome::Rejected;
        outcome.length = staleLength;
    } else {
        outcome.kind = Outcome::NoReply;
    }
    return outcome;
}

bool DeviceChannel::readReg(quint32 address, quint32 &value)
{
    quint8 reply[gvcp::ReplyBuffer];
    quint32 result = 0;
    const Outcome o = exchange(
        [address](quint8 *packet, quint16 &id) {
            id = gvcp::nextAccessReqId();
            return gvcp::buildReadReg(packet, id, address);
        },
        deviceAddr, AccessPauseMs, reply, sizeof reply,
        [&result](const quint8 *data, int length, quint16 id) {
            if (gvcp::isReadRegReply(data, length, id, result))
                return Verdict::Accept;
            if (isStaleRequestId(gvcp::ackRequestId(data, length), id))
                return Verdict::Stale;
            return Verdict::Reject;
        });
    // A reply with the wrong id is not logged: it is an ordinary late answer.
    if (!reportOutcome(o, "error on recv ", nullptr))
        return false;
    value = result;
    return true;
}

bool DeviceChannel::readMem(quint32 address, quint32 count, quint8 *buffer, int &size)
{
    if (!buffer || size <= 0)
        return false;
    const Outcome o = exchange(
        [address, count](quint8 *packet, quint16 &id) {
            id = gvcp::nextAccessReqId();
            return gvcp::buildReadMem(packet, id, address, count);
        },
        deviceAddr, AccessPauseMs, buffer, size,
        [](const quint8 *data, int length, quint16 id) {
            const quint16 replyId = gvcp::ackRequestId(data, length);
            if (gvcp::isReadMemAck(data, length) && replyId == id)
                return Verdict::Accept;
            if (isStaleRequestId(replyId, id))
                return Verdict::Stale;
            return Verdict::Reject;
        });
    if (!reportOutcome(o, "readmem error on recv ", "readmem error on header "))
        return false;
    size = o.length;
    return true;
}

// DEVWRITE acknowledges are tested by status and code; the id serves only to
// recognise a late acknowledge of an earlier write, which must not stand in
// for this one.
DeviceChannel::Verdict DeviceChannel::judgeDevWrite(const quint8 *data, int length, quint16 id)
{
    if (isStaleRequestId(gvcp::ackRequestId(data, length), id))
        return Verdict::Stale;
    return gvcp::isDevWriteAck(data, length) ? Verdict::Accept : Verdict::Reject;
}

bool DeviceChannel::writeMem(quint16 address, const quint8 *data, int length, int paddedLength)
{
    // Larger requests would be cut to the packet buffer and the cut reported
    // as written; refuse them instead.
    if (length < 0 || paddedLength < 0 || length > gvcp::DevWriteMaxData ||
        paddedLength > gvcp::DevWriteMaxData || (length > 0 && !data)) {
        qDebug() << "writemem refused: length" << length << "padded" << paddedLength;
        return false;
    }
    quint8 reply[gvcp::ReplyBuffer];
    const Outcome o = exchange(
        [=](quint8 *packet, quint16 &id) {
            id = gvcp::nextAccessReqId();
            return gvcp::buildDevWriteData(packet, id, address, data, length, paddedLength);
        },
        deviceAddr, AccessPauseMs, reply, sizeof reply,
        [](const quint8 *d, int n, quint16 id) { return judgeDevWrite(d, n, id); });
    return reportOutcome(o, "error on recv ", "writemem error on header ");
}

bool DeviceChannel::writeMemWord(quint32 address, quint32 value)
{
    quint8 reply[gvcp::ReplyBuffer];
    const Outcome o = exchange(
        [=](quint8 *packet, quint16 &id) {
            id = gvcp::nextAccessReqId();
            return gvcp::buildDevWriteWord(packet, id, address, value);
        },
        deviceAddr, AccessPauseMs, reply, sizeof reply,
        [](const quint8 *d, int n, quint16 id) { return judgeDevWrite(d, n, id); });
    return reportOutcome(o, "writemem error on recv ", "writemem error on header ");
}

bool DeviceChannel::forceIp(const QString &ip, const QString &mask, const QString &gateway,
                            const quint8 mac[6])
{
    quint8 ipBytes[4], maskBytes[4], gatewayBytes[4];
    addressOrBroadcast(ip, ipBytes);
    addressOrBroadcast(mask, maskBytes);
    addressOrBroadcast(gateway, gatewayBytes);
    // Releasing the address (0.0.0.0) is not acknowledged: done once sent.
    const bool awaitReply = ipBytes[0] || ipBytes[1] || ipBytes[2] || ipBytes[3];

    quint8 reply[gvcp::ReplyBuffer];
    const Outcome o = exchange(
        [&](quint8 *packet, quint16 &id) {
            id = gvcp::ForceIpRequestId;
            return gvcp::buildForceIp(packet, mac, ipBytes, maskBytes, gatewayBytes);
        },
        broadcastAddr, IpCommandPauseMs, awaitReply ? reply : nullptr, sizeof reply,
        [](const quint8 *, int, quint16) { return Verdict::Accept; });
    return reportOutcome(o, "error on recv ", nullptr);
}

bool DeviceChannel::configIp(const QString &ip, const QString &mask, const QString &gateway,
                             const quint8 mac[6], int config)
{
    quint8 ipBytes[4] = {}, maskBytes[4] = {}, gatewayBytes[4] = {};
    if (config & gvcp::IpConfigPersistent) {
        addressOrBroadcast(ip, ipBytes);
        addressOrBroadcast(mask, maskBytes);
        addressOrBroadcast(gateway, gatewayBytes);
    }
    quint8 reply[gvcp::ReplyBuffer];
    const Outcome o = exchange(
        [&](quint8 *packet, quint16 &id) {
            id = gvcp::IpConfigRequestId;
            return gvcp::buildIpConfig(packet, mac, config, ipBytes, maskBytes, gatewayBytes);
        },
        broadcastAddr, IpCommandPauseMs, reply, sizeof reply,
        [](const quint8 *, int, quint16) { return Verdict::Accept; });
    return reportOutcome(o, "error on recv ", nullptr);
}

// Writes the debug line of a failed exchange with the operation's own labels
// (no line for a rejected reply when `rejectedLabel` is null); true only when
// the reply was accepted.
bool DeviceChannel::reportOutcome(const Outcome &o, const char *noReplyLabel,
                                  const char *rejectedLabel)
{
    switch (o.kind) {
    case Outcome::NoDevice:
        return false;
    case Outcome::SendFailed:
        logNumber("sendto err ", o.error);
        return false;
    case Outcome::NoReply:
        logNumber(noReplyLabel, o.error);
        return false;
    case Outcome::Rejected:
        if (rejectedLabel)
            logNumber(rejectedLabel, o.length);
        return false;
    case Outcome::Accepted:
        return true;
    }
    return false;
}
