// The naming rule of bitstream files: only the name after the last "/" is
// looked at, it must hold no upper-case letter and must carry a version part
// such as "_101_" or "_101a_".
#pragma once

#include <QString>

enum class BitFileName { Valid, NotValid, VersionMissed };

// The part of `path` the rule examines: from its last "/" (included) to the
// end, or the whole path when it has no "/" or only a leading one.
QString bitFileNameExamined(const QString &path);

BitFileName checkBitFileName(const QString &path);

// "File name is not valid!", "File version missed!", or an empty text.
QString bitFileNameMessage(BitFileName result);
