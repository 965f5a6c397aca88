// Pure helpers of the bitstream programmer: sector padding, the size limits a
// bitstream must respect, and the progress texts.
#pragma once

#include "firmwareversion.h"
#include "flashmap.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace bitimage {

constexpr quint8 PadByte = 0xFF;
// The control word carries a 24-bit flash address: anything beyond 16 MiB
// would wrap round and overwrite the start of the flash.
constexpr qint64 MaxFileSize = 16777216;

// Number of whole sectors `size` bytes occupy.
int sectorsFor(qint64 size);

// Appends 0xFF up to a whole number of sectors; returns the sector count.
int padToSectors(QByteArray &data);

// True when a file of `size` bytes, programmed from address 0, would write
// into the parameter area.
bool reachesParamArea(qint64 size, const FirmwareVersion &camera);

// The progress bar's value after `step` (counted from 0) of `count` sectors,
// and the label beside it: "Program 5/37", "Verify 37/37".
int progressPercent(int step, int count);
QString progressLabel(int step, int count, bool verify);

}  // namespace bitimage
