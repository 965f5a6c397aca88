#include "output.h"

#include "interrupt.h"
#include "ipassignment.h"
#include "ipv4address.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

void printJson(const QJsonArray &array)
{
    std::printf("%s", QJsonDocument(array).toJson(QJsonDocument::Indented).constData());
}

// controlledBy: null when free, "unknown" when the camera does not say,
// else the holder's address; controlledByPort: its port where known.
void insertController(QJsonObject &o, const control::Holder &h)
{
    QJsonValue by, port;
    if (h.state != control::Holder::State::Free)
        by = h.addressKnown ? ipv4Text(h.ip) : QStringLiteral("unknown");
    if (h.addressKnown)
        port = h.port;
    o.insert("controlledBy", by);
    o.insert("controlledByPort", port);
}

QJsonObject resultJson(const CameraResult &r)
{
    const endings::Ending &e = r.ending;
    QJsonObject o{{"ip", r.record.ipText()},
                  {"mac", r.record.macColonText()},
                  {"serial", DeviceRecord::fieldText(r.record.serialNumber)},
                  {"model", DeviceRecord::fieldText(r.record.modelName)},
                  {"nic", r.record.hostIP},
                  {"result", endings::resultName(e)},
                  {"sector", e.sector >= 0 ? QJsonValue(e.sector) : QJsonValue()},
                  {"message", endings::message(e).text},
                  {"changed", e.changed},
                  {"seconds", qRound(r.seconds * 100) / 100.0}};
    if (e.result == endings::Result::CameraError)
        o.insert("cameraStatus",
                 QStringLiteral("0x%1").arg(e.cameraStatus, 4, 16, QLatin1Char('0')));
    if (e.result == endings::Result::InUse || e.result == endings::Result::LostControl)
        insertController(o, e.holder);
    return o;
}

// What list --details adds: the registers the camera has, none it lacks.
void addDetails(QJsonObject &o, const doctor::CameraReading &reading)
{
    o.insert("registersRead", reading.answered());
    if (!reading.answered())
        return;
    const bootstrap::CameraSetup &s = reading.setup;
    const bootstrap::StoredConfiguration &stored = s.stored;
    if (stored.ipConfig.present) {
        o.insert("storedIpConfig",
                 QJsonArray::fromStringList(bootstrap::enabledModeNames(stored.ipConfig.value)));
        o.insert("afterPowerCycle", bootstrap::nextStartText(stored));
    }
    const QPair<const char *, const bootstrap::Register *> addresses[] = {
        {"persistentIp", &stored.persistentIp},
        {"persistentMask", &stored.persistentMask},
        {"persistentGateway", &stored.persistentGateway}};
    for (const auto &a : addresses) {
        if (!a.second->present)
            continue;
        quint8 bytes[4];
        bootstrap::addressBytes(a.second->value, bytes);
        o.insert(QLatin1String(a.first), ipv4Text(bytes));
    }
    if (s.interfaces.present)
        o.insert("networkInterfaces", qint64(s.interfaces.value));
    if (s.linkSpeed.present)
        o.insert("linkSpeedMbps", qint64(s.linkSpeed.value));
}

}  // namespace

QString identity(const DeviceRecord &record)
{
    return QStringLiteral("%1 %2 %3")
        .arg(record.ipText(), record.macColonText(), DeviceRecord::fieldText(record.serialNumber))
        .trimmed();
}

QString closingLine(const CameraResult &r)
{
    return identity(r.record) + QStringLiteral(": ") + endings::message(r.ending).text;
}

void printCameraList(const QList<DeviceRecord> &records, const QVector<control::Holder> &holders,
                     bool json, const QVector<doctor::CameraReading> *details)
{
    QJsonArray array;
    for (int i = 0; i < records.size(); ++i) {
        const DeviceRecord &r = records[i];
        const control::Holder holder = holders.value(i);
        const bool offSubnet = checkSubnet(r) == SubnetCheck::OtherSubnet;
        const doctor::CameraReading reading = details ? details->value(i) : doctor::CameraReading();
        if (!json) {
            QString next;
            if (details && !reading.answered())
                next = QStringLiteral("\tno answer to a register read");
            else if (details && reading.setup.stored.ipConfig.present)
                next = QStringLiteral("\t") + bootstrap::powerCycleLine(reading.setup.stored);
            std::printf("%s\t%s\t%s\t%s\t%s\tnic %s%s%s\n", qPrintable(r.ipText()),
                        qPrintable(r.macColonText()),
                        qPrintable(DeviceRecord::fieldText(r.serialNumber)),
                        qPrintable(DeviceRecord::fieldText(r.modelName)),
                        qPrintable(r.versionText()), qPrintable(r.hostIP),
                        offSubnet ? "\toutside the NIC's subnet" : "", qPrintable(next));
            continue;
        }
        QJsonObject o{{"ip", r.ipText()},
                      {"mask", r.maskText()},
                      {"gateway", r.gatewayText()},
                      {"mac", r.macColonText()},
                      {"manufacturer", DeviceRecord::fieldText(r.manufacturerName)},
                      {"model", DeviceRecord::fieldText(r.modelName)},
                      {"version", r.versionText()},
                      {"serial", DeviceRecord::fieldText(r.serialNumber)},
                      {"userName", DeviceRecord::fieldText(r.userDefinedName)},
                      {"nic", r.hostIP},
                      {"offSubnet", offSubnet},
                      {"ipMode", ipassign::modeName(ipassign::modeOf(r.ipConfig))}};
        insertController(o, holder);
        if (details)
            addDetails(o, reading);
        array.append(o);
    }
    if (json)
        printJson(array);
    else if (records.isEmpty())
        printProblem(QStringLiteral("No camera answered the discovery."));
}

int printResults(const QList<CameraResult> &results, bool json, bool linesPrinted)
{
    bool allSucceeded = true;
    QJsonArray array;
    for (const CameraResult &r : results) {
        allSucceeded = allSucceeded && endings::succeeded(r.ending);
        array.append(resultJson(r));
        if (!json && !linesPrinted)
            std::printf("%s\n", qPrintable(closingLine(r)));
    }
    if (json)
        printJson(array);
    std::fflush(stdout);
    return allSucceeded ? 0 : 1;
}

void printFindings(const QList<doctor::Finding> &found, const QString &report, bool json)
{
    if (!json) {
        std::printf("%s\n", qPrintable(report));
        std::fflush(stdout);
        return;
    }
    QJsonArray array;
    for (const doctor::Finding &f : found) {
        QJsonObject o{{"kind", doctor::kindName(f.kind)}, {"problem", f.problem}, {"fix", f.fix}};
        if (!f.ip.isEmpty()) {
            o.insert("ip", f.ip);
            o.insert("mac", f.mac);
            o.insert("serial", f.serial);
        }
        if (!f.cardAddress.isEmpty()) {
            o.insert("card", f.card);
            o.insert("nic", f.cardAddress);
        }
        array.append(o);
    }
    printJson(array);
    std::fflush(stdout);
}

void printProblem(const QString &text) { std::fprintf(stderr, "%s\n", qPrintable(text)); }

void printHistory(const QList<history::Entry> &entries, bool json)
{
    QJsonArray array;
    for (const history::Entry &e : entries) {
        if (json) {
            array.append(QJsonDocument::fromJson(history::lineOf(e)).object());
            continue;
        }
        const QString what = e.file.isEmpty() ? e.ipSettings : QFileInfo(e.file).fileName();
        const QStringList columns{e.time.toString(Qt::ISODate),
                                  e.host,
                                  e.user,
                                  e.frontEnd,
                                  e.operation,
                                  e.ip,
                                  e.mac,
                                  e.serial,
                                  what,
                                  e.result,
                                  QStringLiteral("%1 sectors").arg(e.sectorsWritten),
                                  QStringLiteral("%1 s").arg(e.seconds, 0, 'f', 2)};
        std::printf("%s\n", qPrintable(columns.join(QLatin1Char('\t'))));
    }
    if (json)
        printJson(array);
    std::fflush(stdout);
}

int ProgressBoard::add(const QString &identity, const flash::JobPlan &plan)
{
    Row row;
    row.identity = identity;
    row.writeWord = plan.kind == flash::JobKind::Parameter ? QStringLiteral("Write")
                                                           : QStringLiteral("Program");
    row.compareTotal = plan.changedOnly ? plan.writeSectors.size() : 0;
    row.writeTotal = plan.dryRun ? 0 : plan.writeSectors.size();
    row.readTotal = plan.verify && !plan.dryRun ? plan.readSectors.size() : 0;
    rows_.append(row);
    return rows_.size() - 1;
}

int ProgressBoard::percent(const Row &row)
{
    const int total = row.compareTotal + row.writeTotal + row.readTotal;
    return total > 0 ? (row.compared + row.written + row.read) * 100 / total : 100;
}

QString ProgressBoard::lineOf(const Row &row) const
{
    if (!row.result.isEmpty())
        return QStringLiteral("%1  %2  %3").arg(row.identity, row.phaseText, row.result);
    return QStringLiteral("%1  %2  %3%").arg(row.identity, row.phaseText).arg(percent(row));
}

void ProgressBoard::update(int camera, const flash::JobProgress &p)
{
    Row &row = rows_[camera];
    switch (p.phase) {
    case flash::Phase::Comparing:
        row.compared = p.step;
        row.phaseText = QStringLiteral("Compare");
        break;
    case flash::Phase::Writing:
        row.compared = row.compareTotal;
        row.writingSeen = true;
        row.writeTotal = p.total;
        row.written = p.step;
        row.phaseText = row.writeWord;
        break;
    case flash::Phase::ReadingBack:
        row.compared = row.compareTotal;
        if (!row.writingSeen)
            row.writeTotal = 0;  // every sector was already there
        row.written = row.writeTotal;
        row.read = p.step;
        row.phaseText = QStringLiteral("Verify");
        break;
    }
    row.phaseText += QStringLiteral(" %1/%2").arg(p.step).arg(p.total);
    const int tenth = percent(row) / 10;
    if (!live_ && out_ && tenth > row.tenth) {
        std::fprintf(out_, "%s\n", qPrintable(lineOf(row)));
        std::fflush(out_);
    }
    row.tenth = qMax(row.tenth, tenth);
}

void ProgressBoard::finish(int camera, const QString &result, const QString &closingLine)
{
    rows_[camera].result = result;
    rows_[camera].closingLine = closingLine;
}

void ProgressBoard::redraw()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (!live_ || !out_ || now - lastDraw_ < 200)
        return;
    lastDraw_ = now;
    // A line that wrapped would throw the cursor-up count off.
    const int width = terminalColumns(out_) - 1;
    if (drawnLines_ > 0)
        std::fprintf(out_, "\033[%dA", drawnLines_);
    for (const Row &row : rows_)
        std::fprintf(out_, "\r\033[K%s\n", qPrintable(lineOf(row).left(width)));
    drawnLines_ = rows_.size();
    std::fflush(out_);
}

void ProgressBoard::close()
{
    if (!out_)
        return;
    // The closing lines may wrap: the board goes first, whole.
    if (live_ && drawnLines_ > 0)
        std::fprintf(out_, "\033[%dA\r\033[J", drawnLines_);
    for (const Row &row : rows_)
        std::fprintf(out_, "%s\n", qPrintable(row.closingLine));
    drawnLines_ = 0;
    std::fflush(out_);
}
