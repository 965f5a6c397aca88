#include "bitfilename.h"

#include <QRegularExpression>

QString bitFileNameExamined(const QString &path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    return slash > 0 ? path.mid(slash) : path;
}

BitFileName checkBitFileName(const QString &path)
{
    static const QRegularExpression upperCase(QStringLiteral("([A-Z]+)"));
    static const QRegularExpression versionPart(QStringLiteral("_([0-9]{3}[a]?)_"));
    const QString name = bitFileNameExamined(path);
    if (upperCase.match(name).hasMatch())
        return BitFileName::NotValid;
    if (!versionPart.match(name).hasMatch())
        return BitFileName::VersionMissed;
    return BitFileName::Valid;
}

QString bitFileNameMessage(BitFileName result)
{
    switch (result) {
    case BitFileName::NotValid: return QStringLiteral("File name is not valid!");
    case BitFileName::VersionMissed: return QStringLiteral("File version missed!");
    case BitFileName::Valid: break;
    }
    return QString();
}
