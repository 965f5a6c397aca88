// The build stamp in the status bar: when this binary was built, from the
// compiler's __DATE__ ("Jul 12 2023", a day below 10 padded with a space) and
// __TIME__ ("22:14:14").
#pragma once

#include <QDate>
#include <QString>
#include <QTime>

struct BuildStamp {
    QDate date;  // invalid when the date text does not parse
    QTime time;  // invalid when the time text does not parse
};

// Pure: parses the two compiler texts. The month abbreviation is read in
// English whatever the system locale.
BuildStamp parseBuildStamp(const QString &dateText, const QString &timeText);

// "Ver: yyyyMMdd hhmmss"; an invalid part formats as empty text.
QString versionLabelText(const BuildStamp &stamp);

// This binary's stamp, made once during static initialisation.
const BuildStamp &buildStamp();
