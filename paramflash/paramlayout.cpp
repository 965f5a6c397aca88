#include "paramlayout.h"

namespace param {

int versionDigit(const QString &text, int index)
{
    if (index < 0 || index >= text.size())
        return 0;
    return QString(text.at(index)).toInt();  // 0 when it does not convert
}

ParamLayout chooseParamLayout(const QString &cameraVersion, bool hasFileVersion,
                              const QString &fileVersion)
{
    ParamLayout layout;
    if (hasFileVersion) {
        if (!cameraVersion.isEmpty()) {
            layout.major = versionDigit(cameraVersion, 0);
            layout.minor = versionDigit(cameraVersion, 2);
        }
        layout.layoutDigit = versionDigit(fileVersion, 2);
    }

    switch (layout.major) {
    case 1:
    case 2:
        layout.base = 0x180000;
        layout.sectorCount = layout.layoutDigit >= 3 ? 37 : 9;
        layout.skippedSector = 8;
        break;
    case 3:
        layout.base = 0x200000;
        layout.sectorCount = 9;
        layout.skippedSector = 8;
        break;
    case 4:
        layout.base = 0x200000;
        layout.sectorCount = 12;
        layout.skippedSector = 11;
        break;
    default:
        layout.base = 0x180000;
        layout.sectorCount = 9;
        layout.skippedSector = 8;
        break;
    }
    layout.verify = layout.minor >= 3;
    return layout;
}

}  // namespace param
