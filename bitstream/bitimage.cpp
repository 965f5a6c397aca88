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

quint32 paramAreaBase(const FirmwareVersion &camera)
{
    // The parameter writer's own choice for a file that names its layout.
    return param::chooseParamLayout(camera, true, QString()).base;
}

bool reachesParamArea(qint64 size, const FirmwareVersion &camera)
{
    return size > qint64(paramAreaBase(camera));
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
