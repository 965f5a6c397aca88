#include "ipassignment.h"

#include "ipv4address.h"

#include <QStringList>

namespace ipassign {

namespace {

bool parseField(const QString &text, const QString &fieldName, quint8 out[4], QString &error)
{
    if (parseIPv4(text, out))
        return true;
    error = QStringLiteral("%1 is not a valid IPv4 address (four numbers 0-255 separated by dots).")
                .arg(fieldName);
    return false;
}

}  // namespace

bool parseAddresses(const QString &ip, const QString &mask, const QString &gateway, Addresses &out,
                    QString &error)
{
    Addresses a;
    if (!parseField(ip, QStringLiteral("The IP address"), a.ip, error) ||
        !parseField(mask, QStringLiteral("The subnet mask"), a.mask, error) ||
        !parseField(gateway, QStringLiteral("The gateway"), a.gateway, error))
        return false;
    out = a;
    return true;
}

Mode modeOf(qint32 ipConfig)
{
    if (ipConfig & 0x01)
        return Static;
    return ipConfig & 0x02 ? Dhcp : LinkLocal;
}

Mode modeFor(bool dhcpChecked, bool staticChecked)
{
    if (dhcpChecked)
        return Dhcp;
    return staticChecked ? Static : LinkLocal;
}

QString modeName(Mode mode)
{
    switch (mode) {
    case Static: return QStringLiteral("static");
    case Dhcp: return QStringLiteral("dhcp");
    case LinkLocal: break;
    }
    return QStringLiteral("lla");
}

bool modeFromName(const QString &name, Mode &mode)
{
    for (Mode m : {Static, Dhcp, LinkLocal}) {
        if (name == modeName(m)) {
            mode = m;
            return true;
        }
    }
    return false;
}

bool randomHostAddress(const QString &hostIP, int r, AddressProposal &out)
{
    const QStringList parts = hostIP.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    if (parts.size() != 4)
        return false;
    const int host = int(r / 32767.0 * 252.0 + 1.0);
    const QString net = parts.at(0) + QLatin1Char('.') + parts.at(1) + QLatin1Char('.') +
                        parts.at(2) + QLatin1Char('.');
    out.ip = net + QString::number(host);
    out.gateway = net + QStringLiteral("254");
    out.mask = parts.at(0) == QLatin1String("169") ? QStringLiteral("255.255.0.0")
                                                   : QStringLiteral("255.255.255.0");
    return true;
}

ConfigOutcome configureAndRestart(CameraChannel &channel, const quint8 mac[6], Mode mode,
                                  const Addresses &addresses)
{
    ConfigOutcome o;
    o.stored = channel.configIp(mac, mode, addresses.ip, addresses.mask, addresses.gateway);
    const quint8 zero[4] = {};
    o.restarted = channel.forceIp(mac, zero, zero, zero);
    return o;
}

}  // namespace ipassign
