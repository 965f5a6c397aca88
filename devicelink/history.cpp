#include "history.h"

#include "history_native.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>

namespace history {

namespace {

const QString FileName = QStringLiteral("history.jsonl");

// The entry's fields in file order: key, then how it goes to and from JSON.
struct TextField {
    const char *key;
    QString Entry::*field;
};
const TextField textFields[] = {
    {"host", &Entry::host},           {"user", &Entry::user},
    {"frontEnd", &Entry::frontEnd},   {"mac", &Entry::mac},
    {"serial", &Entry::serial},       {"model", &Entry::model},
    {"firmware", &Entry::firmware},   {"ip", &Entry::ip},
    {"operation", &Entry::operation}, {"file", &Entry::file},
    {"sha256", &Entry::sha256},       {"ipSettings", &Entry::ipSettings},
    {"result", &Entry::result},       {"message", &Entry::message},
};

}  // namespace

QString operationName(endings::Operation operation)
{
    switch (operation) {
    case endings::Operation::WriteParam: return QStringLiteral("write-param");
    case endings::Operation::Program: return QStringLiteral("program");
    case endings::Operation::ForceIp: return QStringLiteral("force-ip");
    case endings::Operation::ControlWord: return QStringLiteral("control-word");
    case endings::Operation::IpConfig: break;
    }
    return QStringLiteral("ip-config");
}

Entry entryOf(const DeviceRecord &camera, const endings::Ending &ending, const Source &source,
              int sectorsWritten, double seconds)
{
    Entry e;
    e.time = QDateTime::currentDateTimeUtc();
    e.host = QSysInfo::machineHostName();
    e.user = QString::fromStdString(historynative::userName());
    e.frontEnd = source.frontEnd;
    e.mac = camera.macColonText();
    e.serial = DeviceRecord::fieldText(camera.serialNumber);
    e.model = DeviceRecord::fieldText(camera.modelName);
    e.firmware = camera.versionText();
    e.ip = camera.ipText();
    e.operation = operationName(ending.operation);
    if (!source.file.isEmpty())
        e.file = QFileInfo(source.file).absoluteFilePath();
    e.sha256 = QString::fromLatin1(source.sha256.toHex());
    e.ipSettings = source.ipSettings;
    e.sectorsWritten = sectorsWritten;
    e.result = endings::resultName(ending);
    e.message = endings::message(ending).text;
    e.seconds = seconds;
    return e;
}

QString defaultPath()
{
    const QString overridden = qEnvironmentVariable("ORVANTA_HISTORY");
    if (!overridden.isEmpty())
        return overridden;
    const QString folder = QString::fromStdString(historynative::stateFolder());
    return folder.isEmpty() ? QString() : QDir(folder).filePath(FileName);
}

QByteArray lineOf(const Entry &e)
{
    QJsonObject o;
    o.insert(QStringLiteral("time"), e.time.toUTC().toString(Qt::ISODateWithMs));
    for (const TextField &f : textFields)
        o.insert(QLatin1String(f.key), e.*f.field);
    o.insert(QStringLiteral("sectorsWritten"), e.sectorsWritten);
    o.insert(QStringLiteral("seconds"), qRound(e.seconds * 100) / 100.0);
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

bool parseLine(const QByteArray &line, Entry &out)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return false;
    const QJsonObject o = doc.object();
    Entry e;
    e.time = QDateTime::fromString(o.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
    if (!e.time.isValid() || !o.value(QStringLiteral("operation")).isString() ||
        !o.value(QStringLiteral("result")).isString())
        return false;
    for (const TextField &f : textFields)
        e.*f.field = o.value(QLatin1String(f.key)).toString();
    e.sectorsWritten = o.value(QStringLiteral("sectorsWritten")).toInt();
    e.seconds = o.value(QStringLiteral("seconds")).toDouble();
    out = e;
    return true;
}

bool append(const QString &path, const Entry &entry, QString &error)
{
    if (path.isEmpty()) {
        error = QStringLiteral("no history file: neither ORVANTA_HISTORY nor a home folder is set");
        return false;
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        error = QStringLiteral("cannot create the folder %1").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    std::string reason;
    if (historynative::appendWhole(path.toUtf8().toStdString(), lineOf(entry).toStdString(),
                                   reason))
        return true;
    error = QString::fromStdString(reason);
    return false;
}

Reading read(const QString &path)
{
    Reading reading;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return reading;
    reading.found = true;
    int number = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        ++number;
        if (line.trimmed().isEmpty())
            continue;
        Entry e;
        if (parseLine(line, e))
            reading.entries.append(e);
        else
            reading.problems.append(
                QStringLiteral("%1:%2: not a history entry; skipped.").arg(path).arg(number));
    }
    return reading;
}

}  // namespace history
