#include "programjob.h"

#include "bitimage.h"
#include "endings.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

namespace bitstream {

namespace texts {
QString selectBitFileFirst() { return QStringLiteral("Please select bit file first."); }
QString paramAreaQuestion(quint32 base)
{
    return QStringLiteral("The bitstream file reaches the camera's parameter area at 0x%1 and "
                          "will overwrite the camera's parameters. Program it anyway?")
        .arg(base, 6, 16, QLatin1Char('0'));
}
}  // namespace texts

namespace {
// A file the flash cannot hold is refused as the job itself would refuse it.
UserMessage tooLargeMessage()
{
    return endings::message(endings::of(endings::Operation::Program, endings::Result::Refused));
}
}  // namespace

BitstreamLoad loadBitstream(const QString &path)
{
    BitstreamLoad load;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        load.status = LoadStatus::OpenFailed;
        return load;
    }
    const qint64 announced = file.size();
    if (announced > bitimage::MaxFileSize) {
        load.status = LoadStatus::TooLarge;
        return load;
    }
    load.data.reserve(int(qint64(bitimage::sectorsFor(announced)) * flash::SectorSize));
    char chunk[64 * 1024];
    for (;;) {
        const qint64 got = file.read(chunk, sizeof chunk);
        if (got < 0) {
            load.data.clear();
            load.status = LoadStatus::OpenFailed;
            return load;
        }
        if (got == 0)
            break;
        // The file may have grown since its size was taken.
        if (load.data.size() + got > bitimage::MaxFileSize) {
            load.data.clear();
            load.status = LoadStatus::TooLarge;
            return load;
        }
        load.data.append(chunk, int(got));
    }
    load.sha256 = QCryptographicHash::hash(load.data, QCryptographicHash::Sha256);
    load.sectorCount = bitimage::padToSectors(load.data);
    return load;
}

UserMessage loadFailedMessage(LoadStatus status)
{
    if (status == LoadStatus::TooLarge)
        return tooLargeMessage();
    return UserMessage::info(::texts::openFileFailed());
}

Preflight preflight(const QString &path, const FirmwareVersion &camera)
{
    Preflight p;
    if (path.size() < 3) {
        p.kind = Preflight::Kind::Refuse;
        p.message = UserMessage::info(texts::selectBitFileFirst());
        return p;
    }
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return p;
    if (info.size() > bitimage::MaxFileSize) {
        p.kind = Preflight::Kind::Refuse;
        p.message = tooLargeMessage();
    } else if (bitimage::reachesParamArea(info.size(), camera)) {
        p.kind = Preflight::Kind::Ask;
        p.message = {
            UserMessage::Kind::Question, QStringLiteral("Info"),
            texts::paramAreaQuestion(flash::parameterAreaBase(camera.known ? camera.major : 2))};
    }
    return p;
}

flash::JobPlan planProgram(const QByteArray &padded, bool verify, bool changedOnly)
{
    flash::JobPlan plan;
    plan.kind = flash::JobKind::Bitstream;
    plan.image = padded;
    plan.base = 0;
    plan.verify = verify;
    plan.changedOnly = changedOnly;
    const int count = padded.size() / flash::SectorSize;
    for (int s = 0; s < count; ++s)
        plan.writeSectors.append(s);
    if (verify) {
        plan.readSectors = plan.writeSectors;
        plan.compareSectors = plan.writeSectors;
    }
    return plan;
}

}  // namespace bitstream
