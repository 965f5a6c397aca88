#include "bitimage.h"

#include "paramlayout.h"

namespace bitimage {

int sectorsFor(qint64 size)
{
    if (size <= 0)
        return 0;
    return int((size + SectorSize - 1) / SectorSize);
}

int padToSectors(QByteArray &data)
{
    const int remainder = data.size() % SectorSize;
    if (remainder != 0)
        data.append(SectorSize - remainder, char(PadByte));
    return data.size() / SectorSize;
}

static int digitAt(const QString &text, int position)
{
    if (position >= text.size())
        return 0;
    const QChar c = text.at(position);
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ? c.unicode() - '0' : 0;
}

VersionDigits versionDigits(const QString &deviceVersion)
{
    VersionDigits digits;
    if (deviceVersion.isEmpty())
        return digits;
    digits.major = digitAt(deviceVersion, 0);
    digits.minor = digitAt(deviceVersion, 2);
    return digits;
}

bool verifies(const VersionDigits &digits)
{
    return digits.minor >= 3;
}

quint32 paramAreaBase(const QString &deviceVersion)
{
    // The parameter writer's own choice for a file that names its layout.
    return param::chooseParamLayout(deviceVersion, true, QString()).base;
}

bool reachesParamArea(qint64 size, const QString &deviceVersion)
{
    return size > qint64(paramAreaBase(deviceVersion));
}

int progressPercent(int step, int count)
{
    if (count <= 0)
        return 0;
    return int(qint64(step + 1) * 100 / count);
}

QString progressLabel(int step, int count, bool verify)
{
    return QStringLiteral("%3 %1/%2")
        .arg(step + 1)
        .arg(count)
        .arg(verify ? QStringLiteral("Verify") : QStringLiteral("Program"));
}

}  // namespace bitimage
