#include "control.h"

#include "bootstrap.h"
#include "camerachannel.h"
#include "devicerecord.h"
#include "gvcp.h"
#include "ipv4address.h"
#include "logging.h"
#include "timerresolution.h"

#include <atomic>
#include <thread>
#include <vector>

namespace control {

namespace {

// Readers at once for a whole list: each waits mostly for its reply.
constexpr int MaxParallelReads = 64;
// Between one exchange's start and the next: the 2 ms pause, the send and
// the scheduler, with room to spare.
constexpr int ExchangeSlackMs = 25;
// A heartbeat beyond this is taken as this (ten minutes).
constexpr quint32 MaxHeartbeatMs = 600000;

QString answerText(const ExchangeResult &r)
{
    return r.kind == ExchangeResult::Kind::CameraStatus ? cameraStatusText(r.status)
                                                        : QStringLiteral("no answer");
}

// The privilege register written until the camera answers, ok or with a
// status; an unanswered write is repeated, a refusal is not.
ExchangeResult writePrivilege(DeviceAccess &camera, quint32 value, int attempts)
{
    ExchangeResult r;
    for (int i = 0; i < attempts; ++i) {
        r = camera.writeReg(gvcp::reg::ControlPrivilege, value);
        if (r.ok() || r.kind == ExchangeResult::Kind::CameraStatus)
            break;
    }
    return r;
}

}  // namespace

QString Holder::addressText() const
{
    if (!addressKnown)
        return QString();
    return QStringLiteral("%1, port %2").arg(ipv4Text(ip)).arg(port);
}

Holder readHolder(DeviceAccess &camera, int attempts)
{
    Holder holder;
    bootstrap::Register privilege, capability;
    if (!bootstrap::readRegister(camera, gvcp::reg::ControlPrivilege, privilege, attempts).ok())
        return holder;
    const quint32 held = gvcp::reg::ExclusiveAccess | gvcp::reg::ControlAccess;
    holder.state = privilege.value & held ? Holder::State::Held : Holder::State::Free;
    if (holder.state == Holder::State::Free)
        return holder;
    bootstrap::readRegister(camera, gvcp::reg::GvcpCapability, capability, attempts);
    if (!(capability.value & gvcp::reg::CapPrimaryApplication))
        return holder;
    bootstrap::Register port, address;
    if (bootstrap::readRegister(camera, gvcp::reg::PrimaryPort, port, attempts).ok() &&
        bootstrap::readRegister(camera, gvcp::reg::PrimaryAddress, address, attempts).ok()) {
        holder.addressKnown = true;
        holder.port = quint16(port.value);
        bootstrap::addressBytes(address.value, holder.ip);
    }
    return holder;
}

QVector<Holder> readHolders(const QList<DeviceRecord> &cameras, int attempts)
{
    QVector<Holder> holders(cameras.size());
    Holder *out = holders.data();  // each reader writes the entries it took
    std::atomic<int> next{0};
    auto reader = [&] {
        tightenThreadTimerSlack();
        for (int i = next++; i < cameras.size(); i = next++) {
            CameraChannel channel(cameras.at(i));
            out[i] = readHolder(channel, attempts);
        }
    };
    std::vector<std::thread> readers;
    for (int i = 0; i < qMin(int(cameras.size()), MaxParallelReads); ++i)
        readers.emplace_back(reader);
    for (std::thread &t : readers)
        t.join();
    return holders;
}

QString holderLine(const Holder &holder)
{
    switch (holder.state) {
    case Holder::State::Unknown: return QString();
    case Holder::State::Free: return QStringLiteral("Not controlled");
    case Holder::State::Held: break;
    }
    return holder.addressKnown ? QStringLiteral("Controlled by ") + ipv4Text(holder.ip)
                               : QStringLiteral("Controlled by another application");
}

Grant::State grantOf(const ExchangeResult &answer)
{
    if (answer.ok())
        return Grant::State::Held;
    if (answer.kind == ExchangeResult::Kind::CameraStatus &&
        answer.status == gvcp::StatusAccessDenied)
        return Grant::State::InUse;
    return Grant::State::Unsupported;
}

Grant take(DeviceAccess &camera, int attempts)
{
    Grant grant;
    bootstrap::Register heartbeat;
    grant.answer =
        bootstrap::readRegister(camera, gvcp::reg::HeartbeatTimeout, heartbeat, attempts);
    if (heartbeat.present && heartbeat.value > 0)
        grant.heartbeatMs = int(qMin(heartbeat.value, MaxHeartbeatMs));
    // A camera that answered the presence check but not this speaks only its
    // own commands: there is no privilege to take.
    if (grant.answer.ok() || grant.answer.kind == ExchangeResult::Kind::CameraStatus)
        grant.answer = writePrivilege(camera, gvcp::reg::ControlAccess, attempts);
    grant.state = grantOf(grant.answer);
    switch (grant.state) {
    case Grant::State::Held:
        qCDebug(lcOrvanta).nospace()
            << "control taken; heartbeat " << grant.heartbeatMs << " ms, a command at least every "
            << keepAliveFor(grant.heartbeatMs).intervalMs << " ms";
        break;
    case Grant::State::InUse:
        qCDebug(lcOrvanta) << "control refused: another application controls the camera";
        break;
    case Grant::State::Unsupported:
        qCDebug(lcOrvanta).noquote() << "no control privilege to take (" +
                                            answerText(grant.answer) + "); going on without it";
        break;
    }
    return grant;
}

ExchangeResult release(DeviceAccess &camera, int attempts)
{
    const ExchangeResult r = writePrivilege(camera, 0, attempts);
    if (r.ok())
        qCDebug(lcOrvanta) << "control released";
    else
        qCDebug(lcOrvanta).noquote() << "control release not acknowledged (" + answerText(r) +
                                            "); the camera lets go after its heartbeat";
    return r;
}

KeepAlive keepAliveFor(int heartbeatMs)
{
    if (heartbeatMs <= 0)
        heartbeatMs = DefaultHeartbeatMs;
    KeepAlive k;
    k.intervalMs = qMax(1, heartbeatMs / 3);
    k.replyWaitMs = qBound(1, k.intervalMs - ExchangeSlackMs, UdpSocket::ReceiveTimeoutMs);
    return k;
}

}  // namespace control
