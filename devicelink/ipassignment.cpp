#include "ipassignment.h"

#include "ipv4address.h"

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

ConfigOutcome configureAndRestart(CameraChannel &channel, const quint8 mac[6], Mode mode,
                                  const Addresses &addresses)
{
    ConfigOutcome o;
    o.stored = channel.configIp(mac, mode, addresses.ip, addresses.mask, addresses.gateway);
    const quint8 zero[4] = {};
    o.restarted = channel.forceIp(mac, zero, zero, zero);
    return o;
}

QString forceIpFailedText() { return QStringLiteral("ForceIP failed."); }
QString configFailedText() { return QStringLiteral("IP configure failed."); }

}  // namespace ipassign
