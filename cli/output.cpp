#include "output.h"

#include "interrupt.h"
#include "ipassignment.h"
#include "ipv4address.h"

#include <QDateTime>
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
                  {"seconds", qRound(r.seconds * 100) / 100.0}};
    if (e.result == endings::Result::CameraError)
        o.insert("cameraStatus",
                 QStringLiteral("0x%1").arg(e.cameraStatus, 4, 16, QLatin1Char('0')));
    if (e.result == endings::Result::InUse || e.result == endings::Result::LostControl)
        insertController(o, e.holder);
    return o;
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
                     bool json)
{
    QJsonArray array;
    int row = 0;
    for (const DeviceRecord &r : records) {
        const control::Holder holder = holders.value(row++);
        const bool offSubnet = checkSubnet(r) == SubnetCheck::OtherSubnet;
        if (!json) {
            std::printf(
                "%s\t%s\t%s\t%s\t%s\tnic %s%s\n", qPrintable(r.ipText()),
                qPrintable(r.macColonText()), qPrintable(DeviceRecord::fieldText(r.serialNumber)),
                qPrintable(DeviceRecord::fieldText(r.modelName)), qPrintable(r.versionText()),
                qPrintable(r.hostIP), offSubnet ? "\toutside the NIC's subnet" : "");
            continue;
        }
        array.append(QJsonObject{{"ip", r.ipText()},
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
                                 {"ipMode", ipassign::modeName(ipassign::modeOf(r.ipConfig))}});
        QJsonObject withController = array.last().toObject();
        insertController(withController, holder);
        array[array.size() - 1] = withController;
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

void printProblem(const QString &text) { std::fprintf(stderr, "%s\n", qPrintable(text)); }

int ProgressBoard::add(const QString &identity, const flash::JobPlan &plan)
{
    Row row;
    row.identity = identity;
    row.writeWord = plan.kind == flash::JobKind::Parameter ? QStringLiteral("Write")
                                                           : QStringLiteral("Program");
    row.compareTotal = plan.changedOnly ? plan.writeSectors.size() : 0;
    row.writeTotal = plan.writeSectors.size();
    row.readTotal = plan.verify ? plan.readSectors.size() : 0;
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
