#include "paramlayout.h"

#include "flashmap.h"

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
        layout.sectorCount = layout.layoutDigit >= 3 ? 37 : 9;
        layout.skippedSector = 8;
        break;
    case 3:
        layout.sectorCount = 9;
        layout.skippedSector = 8;
        break;
    case 4:
        layout.sectorCount = 12;
        layout.skippedSector = 11;
        break;
    default:
        layout.sectorCount = 9;
        layout.skippedSector = 8;
        break;
    }
    layout.base = flash::parameterAreaBase(layout.major);
    layout.verify = FirmwareVersion{true, layout.major, layout.minor}.canReadBack();
    return layout;
}

}  // namespace param
