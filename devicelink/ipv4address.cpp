#include "ipv4address.h"

#include <QStringList>

bool parseIPv4(const QString &text, quint8 out[4])
{
    // An input mask leaves blanks where the user typed fewer than three
    // digits ("192.168.  2. 14"), so blanks around a group's digits are
    // allowed; blanks between digits, empty groups and anything else are not.
    const QStringList groups = text.trimmed().split(QLatin1Char('.'));
    if (groups.size() != 4)
        return false;
    quint8 bytes[4];
    for (int g = 0; g < 4; ++g) {
        const QString group = groups[g].trimmed();
        if (group.isEmpty() || group.size() > 3)
            return false;
        int value = 0;
        for (QChar c : group) {
            const ushort u = c.unicode();
            if (u < '0' || u > '9')
                return false;
            value = value * 10 + (u - '0');
        }
        if (value > 255)
            return false;
        bytes[g] = quint8(value);
    }
    for (int g = 0; g < 4; ++g)
        out[g] = bytes[g];
    return true;
}

QString ipv4Text(const quint8 address[4])
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address[0])
        .arg(address[1])
        .arg(address[2])
        .arg(address[3]);
}
