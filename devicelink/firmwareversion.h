// A camera's firmware version as its discovery data gives it, such as "2.3".
#pragma once

#include <QString>

struct FirmwareVersion {
    bool known = false;  // the text was not empty
    int major = 0;       // character 0
    int minor = 0;       // character 2

    // Only characters 0 and 2 are read ("10.5" is 1.0); a character that is
    // missing or not an ASCII digit counts as 0.
    static FirmwareVersion fromText(const QString &text);
    static int digitAt(const QString &text, int index);

    // Cameras read their flash back for verification from minor digit 3 on.
    bool canReadBack() const { return minor >= 3; }
};
