// Where the parameter image goes in the camera's flash, and whether the
// write can be verified: a pure function of the camera's version text and
// the version text carried by the file.
#pragma once

#include "firmwareversion.h"

#include <QString>
#include <QtGlobal>

namespace param {

struct ParamLayout {
    int major = 2;            // character 0 of the camera's version
    int minor = 0;            // character 2 of the camera's version
    int layoutDigit = 1;      // character 2 of the file's version
    quint32 base = 0x180000;  // flash byte address of image sector 0
    int sectorCount = 9;      // image sectors 0 .. sectorCount - 1 are written ...
    int skippedSector = 8;    // ... except this one, whose flash keeps its contents
    bool verify = false;      // read back, dump and compare (minor 3 or more)

    bool writes(int sector) const
    {
        return sector >= 0 && sector < sectorCount && sector != skippedSector;
    }
};

// Without a file version the camera is not consulted and the defaults stand
// (major 2, minor 0, layout digit 1). With one, an empty camera version keeps
// major 2 and minor 0 while the layout digit is still read from the file.
ParamLayout chooseParamLayout(const FirmwareVersion &camera, bool hasFileVersion,
                              const QString &fileVersion);

}  // namespace param
