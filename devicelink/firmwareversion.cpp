#include "firmwareversion.h"

int FirmwareVersion::digitAt(const QString &text, int index)
{
    if (index < 0 || index >= text.size())
        return 0;
    const QChar c = text.at(index);
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ? c.unicode() - '0' : 0;
}

FirmwareVersion FirmwareVersion::fromText(const QString &text)
{
    FirmwareVersion v;
    v.known = !text.isEmpty();
    v.major = digitAt(text, 0);
    v.minor = digitAt(text, 2);
    return v;
}
