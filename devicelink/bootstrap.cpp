#include "bootstrap.h"

#include "gvcp.h"
#include "ipv4address.h"

namespace bootstrap {

ExchangeResult readRegister(DeviceAccess &camera, quint32 address, Register &out, int attempts)
{
    out = Register();
    ExchangeResult r;
    for (int i = 0; i < attempts; ++i) {
        quint32 value = 0;
        r = camera.readRegs(&address, 1, &value);
        if (r.ok()) {
            out.present = true;
            out.value = value;
            return r;
        }
        if (r.kind == ExchangeResult::Kind::CameraStatus)
            return r;
    }
    return r;
}

ExchangeResult readRegisters(DeviceAccess &camera, const quint32 *addresses, Register *out,
                             int count, int attempts)
{
    for (int i = 0; i < count; ++i)
        out[i] = Register();
    if (count <= 0)
        return ExchangeResult::accepted();
    if (count > gvcp::MaxReadRegAddresses)
        return ExchangeResult::of(ExchangeResult::Kind::Refused);
    quint32 values[gvcp::MaxReadRegAddresses];
    ExchangeResult first;
    for (int i = 0; i < attempts; ++i) {
        first = camera.readRegs(addresses, count, values);
        if (first.ok() || first.kind == ExchangeResult::Kind::CameraStatus)
            break;
    }
    if (first.ok()) {
        for (int i = 0; i < count; ++i)
            out[i] = Register{true, values[i]};
        return first;
    }
    if (first.kind != ExchangeResult::Kind::CameraStatus)
        return first;
    for (int i = 0; i < count; ++i) {
        const ExchangeResult r = readRegister(camera, addresses[i], out[i], attempts);
        if (!r.ok() && r.kind != ExchangeResult::Kind::CameraStatus)
            return r;  // it stopped answering: the rest stay absent
    }
    return first;
}

bool readStoredConfiguration(DeviceAccess &camera, StoredConfiguration &out)
{
    const quint32 addresses[] = {gvcp::reg::CurrentIpConfig, gvcp::reg::PersistentIp,
                                 gvcp::reg::PersistentMask, gvcp::reg::PersistentGateway};
    Register values[4];
    out = StoredConfiguration();
    const ExchangeResult r = readRegisters(camera, addresses, values, 4);
    out.ipConfig = values[0];
    out.persistentIp = values[1];
    out.persistentMask = values[2];
    out.persistentGateway = values[3];
    return r.ok() || r.kind == ExchangeResult::Kind::CameraStatus;
}

ExchangeResult readCameraSetup(DeviceAccess &camera, CameraSetup &out, int attempts)
{
    const quint32 addresses[] = {gvcp::reg::CurrentIpConfig,   gvcp::reg::PersistentIp,
                                 gvcp::reg::PersistentMask,    gvcp::reg::PersistentGateway,
                                 gvcp::reg::NetworkInterfaces, gvcp::reg::GvcpCapability};
    Register values[6];
    out = CameraSetup();
    const ExchangeResult r = readRegisters(camera, addresses, values, 6, attempts);
    out.stored.ipConfig = values[0];
    out.stored.persistentIp = values[1];
    out.stored.persistentMask = values[2];
    out.stored.persistentGateway = values[3];
    out.interfaces = values[4];
    out.capability = values[5];
    if (out.capability.present && (out.capability.value & gvcp::reg::CapLinkSpeed))
        readRegister(camera, gvcp::reg::LinkSpeed, out.linkSpeed, attempts);
    return r;
}

namespace {

QString addressText(const Register &r)
{
    quint8 bytes[4];
    addressBytes(r.value, bytes);
    return ipv4Text(bytes);
}

}  // namespace

QString nextStartText(const StoredConfiguration &stored)
{
    if (!stored.ipConfig.present)
        return QString();
    const quint32 config = stored.ipConfig.value;
    // A persistent address, once enabled, is what the camera takes; DHCP
    // falls back to link-local when that is enabled too.
    if (config & gvcp::IpConfigPersistent) {
        QStringList parts;
        for (const Register *r :
             {&stored.persistentIp, &stored.persistentMask, &stored.persistentGateway})
            if (r->present)
                parts << addressText(*r);
        return (QStringLiteral("static ") + parts.join(QStringLiteral(" / "))).trimmed();
    }
    if ((config & gvcp::IpConfigDhcp) && (config & gvcp::IpConfigLla))
        return QStringLiteral("DHCP, then link-local");
    if (config & gvcp::IpConfigDhcp)
        return QStringLiteral("DHCP");
    if (config & gvcp::IpConfigLla)
        return QStringLiteral("link-local");
    return QStringLiteral("no IP configuration enabled");
}

QString powerCycleLine(const StoredConfiguration &stored)
{
    const QString next = nextStartText(stored);
    return next.isEmpty() ? QString() : QStringLiteral("After a power cycle: ") + next;
}

QStringList enabledModeNames(quint32 ipConfig)
{
    QStringList names;
    if (ipConfig & gvcp::IpConfigPersistent)
        names << QStringLiteral("static");
    if (ipConfig & gvcp::IpConfigDhcp)
        names << QStringLiteral("dhcp");
    if (ipConfig & gvcp::IpConfigLla)
        names << QStringLiteral("lla");
    return names;
}

void addressBytes(quint32 value, quint8 out[4])
{
    out[0] = quint8(value >> 24);
    out[1] = quint8(value >> 16);
    out[2] = quint8(value >> 8);
    out[3] = quint8(value);
}

}  // namespace bootstrap
