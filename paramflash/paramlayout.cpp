#include "paramlayout.h"

namespace param {

ParamLayout chooseParamLayout(const FirmwareVersion &camera, bool hasFileVersion,
                              const QString &fileVersion)
{
    ParamLayout layout;
    if (hasFileVersion) {
        if (camera.known) {
            layout.major = camera.major;
            layout.minor = camera.minor;
        }
        layout.layoutDigit = FirmwareVersion::digitAt(fileVersion, 2);
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
    layout.verify = FirmwareVersion{true, layout.major, layout.minor}.canReadBack();
    return layout;
}

}  // namespace param
