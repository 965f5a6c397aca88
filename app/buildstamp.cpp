// The build tree touches this file before every build (see CMakeLists.txt), so
// __DATE__ and __TIME__ are those of the latest build, not of the last edit.
#include "buildstamp.h"

#include <QLocale>

BuildStamp parseBuildStamp(const QString &dateText, const QString &timeText)
{
    QString date = dateText;
    // "Jul  2 2023" -> "Jul 02 2023"
    date.replace(QStringLiteral("  "), QStringLiteral(" 0"));
    const QLocale english(QLocale::English, QLocale::AnyCountry);
    BuildStamp stamp;
    stamp.date = english.toDate(date, QStringLiteral("MMM dd yyyy"));
    stamp.time = QTime::fromString(timeText, QStringLiteral("hh:mm:ss"));
    return stamp;
}

QString versionLabelText(const BuildStamp &stamp)
{
    return QStringLiteral("Ver: ") + stamp.date.toString(QStringLiteral("yyyyMMdd ")) +
           stamp.time.toString(QStringLiteral("hhmmss"));
}

namespace {
const BuildStamp thisBuild = parseBuildStamp(QStringLiteral(__DATE__), QStringLiteral(__TIME__));
}

const BuildStamp &buildStamp() { return thisBuild; }
