#include "bitimage.h"

namespace bitimage {

int sectorsFor(qint64 size)
{
    if (size <= 0)
        return 0;
    return int((size + flash::SectorSize - 1) / flash::SectorSize);
}

int padToSectors(QByteArray &data)
{
    const int remainder = data.size() % flash::SectorSize;
    if (remainder != 0)
        data.append(flash::SectorSize - remainder, char(PadByte));
    return data.size() / flash::SectorSize;
}

bool reachesParamArea(qint64 size, const FirmwareVersion &camera)
{
    // A camera without a version text counts as the parameter writer's default, 2.x.
    return size > qint64(flash::parameterAreaBase(camera.known ? camera.major : 2));
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
