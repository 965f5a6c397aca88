// Pure helpers of the programming job: sector padding, the camera version
// rule, and the size limits a bitstream must respect.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace bitimage {

constexpr int SectorSize = 4096;
constexpr quint8 PadByte = 0xFF;
// The control word carries a 24-bit flash address: anything beyond 16 MiB
// would wrap round and overwrite the start of the flash.
constexpr qint64 MaxFileSize = 16777216;

// Number of whole sectors `size` bytes occupy.
int sectorsFor(qint64 size);

// Appends 0xFF up to a whole number of sectors; returns the sector count.
int padToSectors(QByteArray &data);

struct VersionDigits {
    int major = 1;
    int minor = 0;
};

// Major from character 0, minor from character 2 of the camera's version
// text; a missing or non-digit character counts as 0, an empty text gives
// 1.0. Only those two characters are looked at ("10.5" is 1.0).
VersionDigits versionDigits(const QString &deviceVersion);

// Read-back verification runs for a minor digit of 3 or more.
bool verifies(const VersionDigits &digits);

// Flash address of the parameter area for a camera of this version, as the
// parameter writer chooses it (0x200000 when the version starts with 3 or 4).
quint32 paramAreaBase(const QString &deviceVersion);

// True when a file of `size` bytes, programmed from address 0, would write
// into the parameter area.
bool reachesParamArea(qint64 size, const QString &deviceVersion);

// The progress bar's value after `step` (counted from 0) of `count` sectors,
// and the label beside it: "Program 5/37", "Verify 37/37".
int progressPercent(int step, int count);
QString progressLabel(int step, int count, bool verify);

}  // namespace bitimage
