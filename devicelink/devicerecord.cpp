#include "devicerecord.h"

#include "ipv4address.h"

#include <QStringList>
#include <cstring>

namespace {

QString hexBytes(const quint8 *bytes, int count, bool upper)
{
    static const char upperDigits[] = "0123456789ABCDEF";
    static const char lowerDigits[] = "0123456789abcdef";
    const char *digits = upper ? upperDigits : lowerDigits;
    QString text;
    text.reserve(count * 2);
    for (int i = 0; i < count; ++i) {
        text += QLatin1Char(digits[bytes[i] >> 4]);
        text += QLatin1Char(digits[bytes[i] & 0x0F]);
    }
    return text;
}

}  // namespace

QString DeviceRecord::ipText() const { return ipv4Text(ip); }
QString DeviceRecord::maskText() const { return ipv4Text(mask); }
QString DeviceRecord::gatewayText() const { return ipv4Text(gateway); }
QString DeviceRecord::macText() const { return hexBytes(mac, 6, true); }
QString DeviceRecord::macHex() const { return hexBytes(mac, 6, false); }

QString DeviceRecord::comboText() const
{
    QString text = ipText() + QLatin1Char(':');
    // Only ASCII letters and digits: the serial number is whatever bytes the
    // camera sent, and the label must stay printable.
    for (int i = 0; i < int(sizeof serialNumber) && serialNumber[i] != '\0'; ++i) {
        const char c = serialNumber[i];
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
            text += QLatin1Char(c);
    }
    return text;
}

QString DeviceRecord::itemText() const { return comboText() + QLatin1Char(':') + macHex(); }

QString DeviceRecord::macColonText() const
{
    QString text;
    for (int i = 0; i < 6; ++i) {
        if (i)
            text += QLatin1Char(':');
        text += QStringLiteral("%1").arg(mac[i], 2, 16, QLatin1Char('0'));
    }
    return text;
}

QString DeviceRecord::fieldText(const char *field, int width)
{
    const void *end = std::memchr(field, 0, size_t(width));
    const int length = end ? int(static_cast<const char *>(end) - field) : width;
    return QString::fromUtf8(field, length);
}

SubnetCheck checkSubnet(const DeviceRecord &record)
{
    const QStringList hostParts = record.hostIP.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    if (hostParts.size() != 4)
        return SubnetCheck::Undecided;
    for (int k = 0; k < 3; ++k) {
        const int hostOctet = hostParts.at(k).toInt();  // not a number: 0
        if ((record.ip[k] & record.mask[k]) != (hostOctet & record.mask[k]))
            return SubnetCheck::OtherSubnet;
    }
    return SubnetCheck::SameSubnet;
}
