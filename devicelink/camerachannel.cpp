#include "camerachannel.h"

#include "devicerecord.h"
#include "gvcp.h"
#include "ipv4address.h"
#include "logging.h"

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
    qCDebug(lcOrvanta).nospace() << label << number;
}

// The debug line of a failed exchange, with the operation's own labels (no
// line for a rejected reply when `rejectedLabel` is null).
void logFailure(const ExchangeResult &r, const char *noReplyLabel, const char *rejectedLabel)
{
    using Kind = ExchangeResult::Kind;
    switch (r.kind) {
    case Kind::SendFailed: logNumber("sendto err ", r.systemError); break;
    case Kind::NoReply: logNumber(noReplyLabel, r.systemError); break;
    case Kind::BadReply:
        if (rejectedLabel)
            logNumber(rejectedLabel, r.length);
        break;
    case Kind::CameraStatus:
        if (rejectedLabel)
            logNumber(rejectedLabel, r.length);
        qCDebug(lcOrvanta).noquote() << "camera status" << cameraStatusText(r.status);
        break;
    case Kind::NoCamera:
    case Kind::Refused:
    case Kind::Accepted: break;
    }
}

SocketAddress portAddress(const quint8 address[4], quint16 port)
{
    SocketAddress a;
    std::memcpy(a.address, address, 4);
    a.port = port;
    return a;
}

}  // namespace

CameraChannel::CameraChannel(const QString &localAddress, const SocketAddress &camera)
    : camera_(camera)
{
    std::memset(broadcast_.address, 0xFF, 4);
    broadcast_.port = camera.port;
    UdpSocket::startup();
    if (!socket_.open()) {
        logNumber("socket err ", UdpSocket::lastError());
        return;
    }
    quint8 local[4];
    if (!localAddress.isEmpty() && (!parseIPv4(localAddress, local) || !socket_.bindTo(local, 0)))
        qCDebug(lcOrvanta) << "bind error";
}

CameraChannel::CameraChannel(const DeviceRecord &record)
    : CameraChannel(record.localAddress, portAddress(record.ip, gvcp::Port))
{
}

CameraChannel::~CameraChannel() = default;

void CameraChannel::setReplyTimeoutMs(int ms)
{
    QMutexLocker lock(&lock_);
    replyTimeoutMs_ = qBound(1, ms, UdpSocket::ReceiveTimeoutMs);
}

void CameraChannel::capReplyWait(int ms)
{
    QMutexLocker lock(&lock_);
    replyCapMs_ = qMax(0, ms);
}

bool CameraChannel::isStaleRequestId(quint16 replyId, quint16 sentId)
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

quint16 CameraChannel::nextRequestId()
{
    lastRequestId_ = gvcp::requestIdAfter(lastRequestId_);
    return lastRequestId_;
}

// The one exchange under every operation: one at a time per channel; drop
// what is already waiting, send, pause, then wait up to the reply time-out
// for a reply the judge accepts, refuses (an error status) or rejects,
// skipping late answers to earlier requests. A PENDING_ACK for this request
// moves the deadline by what the camera announces, within MaxPendingMs. The
// request id is drawn under the lock, so ids go out in order. A null reply
// buffer means send only.
template <class Build, class Judge>
ExchangeResult CameraChannel::exchange(Build build, const SocketAddress &target, int pauseMs,
                                       quint8 *reply, int replySize, Judge judge)
{
    QMutexLocker lock(&lock_);
    if (!socket_.isOpen())
        return ExchangeResult::of(ExchangeResult::Kind::NoCamera);

    quint8 packet[gvcp::LargeCommandBuffer];
    std::memset(packet, 0, sizeof packet);
    quint16 sentId = 0;
    const int length = build(packet, sentId);

    socket_.discardPending();
    if (socket_.sendTo(packet, length, target) < 0) {
        ExchangeResult r = ExchangeResult::of(ExchangeResult::Kind::SendFailed);
        r.systemError = UdpSocket::lastError();
        return r;
    }
    if (!reply)
        return ExchangeResult::accepted();  // nothing is awaited
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));

    const auto start = Clock::now();
    const int waitMs = replyCapMs_ > 0 ? qMin(replyTimeoutMs_, replyCapMs_) : replyTimeoutMs_;
    auto deadline = start + std::chrono::milliseconds(waitMs);
    const auto pendingLimit = start + std::chrono::milliseconds(MaxPendingMs);
    ExchangeResult result = ExchangeResult::of(ExchangeResult::Kind::NoReply);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        const int n = socket_.receive(reply, replySize, int((left + 999) / 1000));
        if (n < 0) {
            if (result.kind == ExchangeResult::Kind::NoReply)
                result.systemError = UdpSocket::lastError();
            break;
        }
        int pendingMs = 0;
        if (gvcp::isPendingAck(reply, n, sentId, pendingMs)) {
            deadline = qMin(qMax(deadline, Clock::now() + std::chrono::milliseconds(pendingMs)),
                            pendingLimit);
            continue;
        }
        switch (judge(reply, n, sentId)) {
        case Verdict::Accept: return ExchangeResult::accepted(n);
        case Verdict::Refuse: return ExchangeResult::cameraStatus(gvcp::ackStatus(reply, n), n);
        case Verdict::Reject:
            result = ExchangeResult::of(ExchangeResult::Kind::BadReply);
            result.length = n;
            return result;
        case Verdict::Stale:
            // Only late answers so far: the reply test failed, not the receive.
            result = ExchangeResult::of(ExchangeResult::Kind::BadReply);
            result.length = n;
            break;
        }
    }
    return result;
}

ExchangeResult CameraChannel::readReg(quint32 address, quint32 &value)
{
    quint8 reply[gvcp::ReplyBuffer];
    quint32 result = 0;
    const ExchangeResult r = exchange(
        [this, address](quint8 *packet, quint16 &id) {
            id = nextRequestId();
            return gvcp::buildReadReg(packet, id, address);
        },
        camera_, AccessPauseMs, reply, sizeof reply,
        [&result](const quint8 *data, int length, quint16 id) {
            if (gvcp::isReadRegReply(data, length, id, result))
                return gvcp::ackStatus(data, length) == 0 ? Verdict::Accept : Verdict::Refuse;
            if (isStaleRequestId(gvcp::ackRequestId(data, length), id))
                return Verdict::Stale;
            return Verdict::Reject;
        });
    // A reply with the wrong id is not logged: it is an ordinary late answer.
    logFailure(r, "error on recv ", nullptr);
    if (r.ok())
        value = result;
    return r;
}

namespace {

// The standard register acknowledges go by request id: a late one is skipped,
// one for another request rejected, an error status refused, and the rest
// accepted when it is `complete`.
template <class Verdict>
Verdict judgeRegisterAck(const quint8 *data, int length, quint16 id, bool complete)
{
    const quint16 replyId = gvcp::ackRequestId(data, length);
    if (CameraChannel::isStaleRequestId(replyId, id))
        return Verdict::Stale;
    if (replyId != id || length < gvcp::HeaderSize)
        return Verdict::Reject;
    if (gvcp::ackStatus(data, length) != 0)
        return Verdict::Refuse;
    return complete ? Verdict::Accept : Verdict::Reject;
}

}  // namespace

ExchangeResult CameraChannel::readRegs(const quint32 *addresses, int count, quint32 *values)
{
    if (!addresses || !values || count <= 0 || count > gvcp::MaxReadRegAddresses)
        return ExchangeResult::of(ExchangeResult::Kind::Refused);
    quint8 reply[gvcp::ReplyBuffer + 64];
    const ExchangeResult r = exchange(
        [=](quint8 *packet, quint16 &id) {
            id = nextRequestId();
            return gvcp::buildReadRegs(packet, id, addresses, count);
        },
        camera_, AccessPauseMs, reply, sizeof reply,
        [count](const quint8 *data, int length, quint16 id) {
            // Every value must be there: a short reply would read as zeros.
            return judgeRegisterAck<Verdict>(data, length, id,
                                             length >= gvcp::ReadRegValueOffset + 4 * count);
        });
    logFailure(r, "error on recv ", "readreg error on header ");
    if (r.ok())
        for (int i = 0; i < count; ++i)
            values[i] = gvcp::readRegValue(reply, r.length, i);
    return r;
}

ExchangeResult CameraChannel::writeReg(quint32 address, quint32 value)
{
    quint8 reply[gvcp::ReplyBuffer];
    const ExchangeResult r = exchange(
        [=](quint8 *packet, quint16 &id) {
            id = nextRequestId();
            return gvcp::buildWriteReg(packet, id, address, value);
        },
        camera_, AccessPauseMs, reply, sizeof reply,
        [](const quint8 *data, int length, quint16 id) {
            return judgeRegisterAck<Verdict>(data, length, id, gvcp::isWriteRegAck(data, length));
        });
    logFailure(r, "error on recv ", "writereg error on header ");
    return r;
}

ExchangeResult CameraChannel::readMem(quint32 address, quint32 count, quint8 *buffer, int &size)
{
    if (!buffer || size <= 0)
        return ExchangeResult::of(ExchangeResult::Kind::Refused);
    const ExchangeResult r = exchange(
        [this, address, count](quint8 *packet, quint16 &id) {
            id = nextRequestId();
            return gvcp::buildReadMem(packet, id, address, count);
        },
        camera_, AccessPauseMs, buffer, size,
        [](const quint8 *data, int length, quint16 id) {
            const quint16 replyId = gvcp::ackRequestId(data, length);
            if (replyId == id && gvcp::isReadMemAck(data, length))
                return Verdict::Accept;
            if (isStaleRequestId(replyId, id))
                return Verdict::Stale;
            if (replyId == id && length >= 4 && gvcp::ackStatus(data, length) != 0)
                return Verdict::Refuse;
            return Verdict::Reject;
        });
    logFailure(r, "readmem error on recv ", "readmem error on header ");
    if (r.ok())
        size = r.length;
    return r;
}

namespace {

// DEVWRITE acknowledges are tested by status and code; the id serves to
// recognise a late acknowledge of an earlier write, which must not stand in
// for this one, and to tie an error status to this write.
template <class Verdict>
Verdict judgeDevWrite(const quint8 *data, int length, quint16 id)
{
    const quint16 replyId = gvcp::ackRequestId(data, length);
    if (CameraChannel::isStaleRequestId(replyId, id))
        return Verdict::Stale;
    if (gvcp::isDevWriteAck(data, length))
        return Verdict::Accept;
    if ((replyId == id || replyId == 0) && length >= 4 && gvcp::ackStatus(data, length) != 0)
        return Verdict::Refuse;
    return Verdict::Reject;
}

}  // namespace

ExchangeResult CameraChannel::writeMem(quint16 address, const quint8 *data, int length,
                                       int paddedLength)
{
    // Larger requests would be cut to the packet buffer and the cut reported
    // as written; refuse them instead.
    if (length < 0 || paddedLength < 0 || length > gvcp::DevWriteMaxData ||
        paddedLength > gvcp::DevWriteMaxData || (length > 0 && !data)) {
        qCDebug(lcOrvanta) << "writemem refused: length" << length << "padded" << paddedLength;
        return ExchangeResult::of(ExchangeResult::Kind::Refused);
    }
    quint8 reply[gvcp::ReplyBuffer];
    const ExchangeResult r = exchange(
        [=](quint8 *packet, quint16 &id) {
            id = nextRequestId();
            return gvcp::buildDevWriteData(packet, id, address, data, length, paddedLength);
        },
        camera_, AccessPauseMs, reply, sizeof reply, judgeDevWrite<Verdict>);
    logFailure(r, "error on recv ", "writemem error on header ");
    return r;
}

ExchangeResult CameraChannel::writeMemWord(quint32 address, quint32 value)
{
    quint8 reply[gvcp::ReplyBuffer];
    const ExchangeResult r = exchange(
        [=](quint8 *packet, quint16 &id) {
            id = nextRequestId();
            return gvcp::buildDevWriteWord(packet, id, address, value);
        },
        camera_, AccessPauseMs, reply, sizeof reply, judgeDevWrite<Verdict>);
    logFailure(r, "writemem error on recv ", "writemem error on header ");
    return r;
}

namespace {

// Any datagram that comes back counts as the acknowledge of an IP command,
// unless it answers this very command with an error status.
template <class Verdict>
Verdict judgeIpCommand(const quint8 *data, int length, quint16 id)
{
    if (length >= 8 && gvcp::ackRequestId(data, length) == id && gvcp::ackStatus(data, length) != 0)
        return Verdict::Refuse;
    return Verdict::Accept;
}

}  // namespace

ExchangeResult CameraChannel::forceIp(const quint8 mac[6], const quint8 ip[4], const quint8 mask[4],
                                      const quint8 gateway[4])
{
    // Releasing the address (0.0.0.0) is not acknowledged: done once sent.
    const bool awaitReply = ip[0] || ip[1] || ip[2] || ip[3];
    quint8 reply[gvcp::ReplyBuffer];
    const ExchangeResult r = exchange(
        [&](quint8 *packet, quint16 &id) {
            id = gvcp::ForceIpRequestId;
            return gvcp::buildForceIp(packet, mac, ip, mask, gateway);
        },
        broadcast_, IpCommandPauseMs, awaitReply ? reply : nullptr, sizeof reply,
        judgeIpCommand<Verdict>);
    logFailure(r, "error on recv ", nullptr);
    return r;
}

ExchangeResult CameraChannel::configIp(const quint8 mac[6], int config, const quint8 ip[4],
                                       const quint8 mask[4], const quint8 gateway[4])
{
    // Only a persistent (static) configuration carries the addresses.
    const quint8 zero[4] = {};
    const bool persistent = config & gvcp::IpConfigPersistent;
    quint8 reply[gvcp::ReplyBuffer];
    const ExchangeResult r = exchange(
        [&](quint8 *packet, quint16 &id) {
            id = gvcp::IpConfigRequestId;
            return gvcp::buildIpConfig(packet, mac, config, persistent ? ip : zero,
                                       persistent ? mask : zero, persistent ? gateway : zero);
        },
        broadcast_, IpCommandPauseMs, reply, sizeof reply, judgeIpCommand<Verdict>);
    logFailure(r, "error on recv ", nullptr);
    return r;
}

bool cameraAnswers(DeviceAccess &camera, int attempts)
{
    for (int i = 0; i < attempts; ++i) {
        quint32 value = 0;
        const ExchangeResult r = camera.readReg(0, value);
        if (r.ok() || r.kind == ExchangeResult::Kind::CameraStatus)
            return true;
    }
    return false;
}
