// `orvanta-cli history`: what was written to which camera, from the history
// file both front ends append to. A damaged line is reported and skipped.
#include "commands.h"

#include "history.h"
#include "ipv4address.h"
#include "output.h"
#include "selection.h"

#include <QDir>

#include <cstring>

namespace {

// The camera of an entry, as far as the selectors look at it.
DeviceRecord cameraOf(const history::Entry &e)
{
    DeviceRecord r;
    parseIPv4(e.ip, r.ip);
    const QStringList mac = e.mac.split(QLatin1Char(':'));
    for (int i = 0; i < 6 && mac.size() == 6; ++i)
        r.mac[i] = quint8(mac[i].toUInt(nullptr, 16));
    const QByteArray serial = e.serial.toUtf8().left(sizeof r.serialNumber - 1);
    std::memcpy(r.serialNumber, serial.constData(), size_t(serial.size()));
    return r;
}

// A day (from its start) or a time, ISO 8601; UTC unless it names a zone.
bool parseSince(const QString &text, QDateTime &since)
{
    const QDate day = QDate::fromString(text, Qt::ISODate);
    if (day.isValid()) {
        since = QDateTime(day, QTime(0, 0), Qt::UTC);
        return true;
    }
    since = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (since.isValid() && since.timeSpec() == Qt::LocalTime)
        since = QDateTime(since.date(), since.time(), Qt::UTC);
    return since.isValid();
}

}  // namespace

int showHistory(const CommonOptions &options, const QString &since)
{
    QDateTime from;
    if (!since.isEmpty() && !parseSince(since, from)) {
        printProblem(QStringLiteral("--since takes a date (2024-05-31) or a time "
                                    "(2024-05-31T14:00:00Z), not '%1'.")
                         .arg(since));
        return ExitRefused;
    }
    const history::Reading reading = history::read(options.historyPath);
    if (!reading.found)
        printProblem(QStringLiteral("No history at %1 yet.")
                         .arg(QDir::toNativeSeparators(options.historyPath)));
    for (const QString &problem : reading.problems)
        printProblem(problem);
    QList<history::Entry> shown;
    for (const history::Entry &e : reading.entries) {
        if (from.isValid() && e.time < from)
            continue;
        bool named = options.cameras.isEmpty();
        for (const QString &selector : options.cameras)
            named = named || selects(selector, cameraOf(e));
        if (named)
            shown.append(e);
    }
    printHistory(shown, options.json);
    return ExitSucceeded;
}
