#include "programjob.h"

#include "bitimage.h"

#include <QFile>
#include <QFileInfo>

namespace bitstream {

namespace texts {
QString selectBitFileFirst() { return QStringLiteral("Please select bit file first."); }
QString tooLarge()
{
    return QStringLiteral("The bitstream file is larger than the camera's 16 MB flash and "
                          "cannot be programmed.");
}
QString done() { return QStringLiteral("Program done!"); }
QString success() { return QStringLiteral("Program success!"); }
QString verifyError(int sector)
{
    return QStringLiteral("Verify error, please reprogram before power off!(%1)").arg(sector);
}
QString paramAreaQuestion(quint32 base)
{
    return QStringLiteral("The bitstream file reaches the camera's parameter area at 0x%1 and "
                          "will overwrite the camera's parameters. Program it anyway?")
        .arg(base, 6, 16, QLatin1Char('0'));
}
}  // namespace texts

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
    load.data.reserve(int(qint64(bitimage::sectorsFor(announced)) * bitimage::SectorSize));
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
    load.sectorCount = bitimage::padToSectors(load.data);
    return load;
}

UserMessage loadFailedMessage(LoadStatus status)
{
    if (status == LoadStatus::TooLarge)
        return UserMessage::error(texts::tooLarge());
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
        p.message = UserMessage::error(texts::tooLarge());
    } else if (bitimage::reachesParamArea(info.size(), camera)) {
        p.kind = Preflight::Kind::Ask;
        p.message = {UserMessage::Kind::Question, QStringLiteral("Info"),
                     texts::paramAreaQuestion(bitimage::paramAreaBase(camera))};
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
    const int count = padded.size() / bitimage::SectorSize;
    for (int s = 0; s < count; ++s)
        plan.writeSectors.append(s);
    if (verify) {
        plan.readSectors = plan.writeSectors;
        plan.compareSectors = plan.writeSectors;
    }
    return plan;
}

UserMessage outcomeMessage(const flash::JobOutcome &o)
{
    using flash::JobResult;
    const bool programming = o.phase != flash::Phase::ReadingBack;
    switch (o.result) {
    case JobResult::Success: return UserMessage::info(texts::success());
    case JobResult::Done: return UserMessage::info(texts::done());
    case JobResult::VerifyError: return UserMessage::error(texts::verifyError(o.sector));
    case JobResult::NoAnswer:
        return UserMessage::error(
            programming
                ? QStringLiteral("The camera stopped answering while programming sector %1. The "
                                 "flash may be incomplete: check the connection and program again "
                                 "before power off!")
                      .arg(o.sector)
                : QStringLiteral("The camera stopped answering while verifying sector %1. The "
                                 "bitstream was written but could not be verified: check the "
                                 "connection and program again before power off!")
                      .arg(o.sector));
    case JobResult::CameraError:
        return UserMessage::error(
            QStringLiteral("The camera answered with error status %1 while %2 sector %3. The "
                           "flash may be incomplete: program again before power off!")
                .arg(cameraStatusText(o.cause.status),
                     programming ? QStringLiteral("programming") : QStringLiteral("verifying"))
                .arg(o.sector));
    case JobResult::Refused: return UserMessage::error(texts::tooLarge());
    case JobResult::Cancelled: break;
    }
    return {};
}

UserMessage stoppedMessage(const flash::JobOutcome &o)
{
    switch (o.phase) {
    case flash::Phase::Comparing:
        return UserMessage::error(
            QStringLiteral("Stopped while comparing sector %1, before anything was programmed; "
                           "the flash was not changed.")
                .arg(o.sector));
    case flash::Phase::Writing:
        return UserMessage::error(
            QStringLiteral("Stopped while programming sector %1. The flash may be incomplete: "
                           "program again before power off!")
                .arg(o.sector));
    case flash::Phase::ReadingBack: break;
    }
    return UserMessage::error(
        QStringLiteral("Stopped while verifying sector %1. The bitstream was written but not "
                       "verified: program again before power off!")
            .arg(o.sector));
}

}  // namespace bitstream
