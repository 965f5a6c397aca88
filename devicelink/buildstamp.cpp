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

// Compiled from __DATE__ and __TIME__ into a file the build writes anew each
// time (buildtime.cmake), so they are those of the latest build.
extern const char *const buildDateText;
extern const char *const buildTimeText;

namespace {
const BuildStamp thisBuild =
    parseBuildStamp(QString::fromLatin1(buildDateText), QString::fromLatin1(buildTimeText));
}

const BuildStamp &buildStamp() { return thisBuild; }
