#include "control.h"

#include "bootstrap.h"
#include "gvcp.h"
#include "ipv4address.h"

namespace control {

QString Holder::addressText() const
{
    if (!addressKnown)
        return QString();
    return QStringLiteral("%1, port %2").arg(ipv4Text(ip)).arg(port);
}

Holder readHolder(DeviceAccess &camera)
{
    Holder holder;
    bootstrap::Register privilege, capability;
    if (!bootstrap::readRegister(camera, gvcp::reg::ControlPrivilege, privilege).ok())
        return holder;
    const quint32 held = gvcp::reg::ExclusiveAccess | gvcp::reg::ControlAccess;
    holder.state = privilege.value & held ? Holder::State::Held : Holder::State::Free;
    if (holder.state == Holder::State::Free)
        return holder;
    bootstrap::readRegister(camera, gvcp::reg::GvcpCapability, capability);
    if (!(capability.value & gvcp::reg::CapPrimaryApplication))
        return holder;
    bootstrap::Register port, address;
    if (bootstrap::readRegister(camera, gvcp::reg::PrimaryPort, port).ok() &&
        bootstrap::readRegister(camera, gvcp::reg::PrimaryAddress, address).ok()) {
        holder.addressKnown = true;
        holder.port = quint16(port.value);
        bootstrap::addressBytes(address.value, holder.ip);
    }
    return holder;
}

}  // namespace control
