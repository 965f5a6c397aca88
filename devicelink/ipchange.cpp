#include "ipchange.h"

#include "logging.h"

#include <cstring>

namespace ipchange {

namespace {

bool holds(const bootstrap::Register &r, const quint8 address[4])
{
    quint8 bytes[4];
    bootstrap::addressBytes(r.value, bytes);
    return r.present && std::memcmp(bytes, address, 4) == 0;
}

QString dotted(const quint8 a[4])
{
    return QStringLiteral("%1.%2.%3.%4").arg(a[0]).arg(a[1]).arg(a[2]).arg(a[3]);
}

QString addressesText(const ipassign::Addresses &a)
{
    return dotted(a.ip) + QLatin1Char(' ') + dotted(a.mask) + QLatin1Char(' ') + dotted(a.gateway);
}

}  // namespace

bool runs(const DeviceRecord &camera, const ipassign::Addresses &a)
{
    return std::memcmp(camera.ip, a.ip, 4) == 0 && std::memcmp(camera.mask, a.mask, 4) == 0 &&
           std::memcmp(camera.gateway, a.gateway, 4) == 0;
}

bool stores(const bootstrap::StoredConfiguration &stored, ipassign::Mode mode,
            const ipassign::Addresses &a)
{
    // The three configuration bits; others are the camera's own business.
    if (!stored.ipConfig.present || (stored.ipConfig.value & 0x7) != quint32(mode))
        return false;
    return mode != ipassign::Static ||
           (holds(stored.persistentIp, a.ip) && holds(stored.persistentMask, a.mask) &&
            holds(stored.persistentGateway, a.gateway));
}

endings::Ending forceIp(CameraChannel &channel, const DeviceRecord &camera,
                        const ipassign::Addresses &a, bool dryRun)
{
    const bool needed = !runs(camera, a);
    if (dryRun || !needed)
        return endings::ipWithoutWrite(endings::Operation::ForceIp, needed);
    return endings::fromForceIp(channel.forceIp(camera.mac, a.ip, a.mask, a.gateway));
}

endings::Ending ipConfig(CameraChannel &channel, const DeviceRecord &camera, ipassign::Mode mode,
                         const ipassign::Addresses &a, bool dryRun)
{
    bootstrap::StoredConfiguration stored;
    const bool read = bootstrap::readStoredConfiguration(channel, stored);
    if (!read)
        qCDebug(lcOrvanta) << "stored IP configuration not readable; it is written";
    const bool needed =
        !read || !stores(stored, mode, a) || (mode == ipassign::Static && !runs(camera, a));
    if (dryRun || !needed)
        return endings::ipWithoutWrite(endings::Operation::IpConfig, needed);
    const ipassign::ConfigOutcome o = ipassign::configureAndRestart(channel, camera.mac, mode, a);
    return endings::fromIpConfig(o.stored, o.restarted);
}

QString forceIpText(const ipassign::Addresses &a)
{
    return QStringLiteral("force ") + addressesText(a);
}

QString ipConfigText(ipassign::Mode mode, const ipassign::Addresses &a)
{
    return mode == ipassign::Static ? ipassign::modeName(mode) + QLatin1Char(' ') + addressesText(a)
                                    : ipassign::modeName(mode);
}

}  // namespace ipchange
