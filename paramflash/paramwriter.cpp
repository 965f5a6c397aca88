#include "paramwriter.h"

#include "paramfile.h"

#include <QDebug>
#include <QDir>
#include <QFile>

#include <cstring>
#include <memory>

namespace param {

namespace {

void writeDumpFile(const QString &directory, const QString &name, const quint8 *data)
{
    QFile file(directory.isEmpty() ? name : QDir(directory).filePath(name));
    if (!file.open(QIODevice::ReadWrite | QIODevice::Truncate)) {
        qDebug() << "dump file not written" << file.fileName() << file.errorString();
        return;
    }
    if (file.write(reinterpret_cast<const char *>(data), ImageSize) != ImageSize)
        qDebug() << "dump file incomplete" << file.fileName() << file.errorString();
}

ParamWriteOutcome stopped(flash::Status status, ParamWriteOutcome::Phase phase, int sector)
{
    ParamWriteOutcome outcome;
    outcome.result = status == flash::Status::Cancelled ? ParamWriteOutcome::Result::Cancelled
                                                        : ParamWriteOutcome::Result::NoAnswer;
    outcome.phase = phase;
    outcome.sector = sector;
    return outcome;
}

}  // namespace

ParamWriteOutcome writeParamImage(DeviceAccess &device, const quint8 *image,
                                  const ParamLayout &layout, const QString &dumpDirectory,
                                  const std::atomic<bool> *cancel)
{
    using Phase = ParamWriteOutcome::Phase;
    using Result = ParamWriteOutcome::Result;

    for (int i = 0; i < layout.sectorCount && i < SectorCount; ++i) {
        if (!layout.writes(i))
            continue;
        const flash::Status status = flash::writeFlashBlock(
            device, image + i * SectorSize, layout.base + quint32(i) * SectorSize, cancel);
        if (status != flash::Status::Ok)
            return stopped(status, Phase::Writing, i);
        qDebug() << "write sector" << i << Qt::hex << i * SectorSize << Qt::dec;
    }

    ParamWriteOutcome outcome;
    if (!layout.verify) {
        outcome.result = Result::Done;
        return outcome;
    }

    // All 37 sectors come back whatever the layout, so data.dat always shows
    // the whole area next to the image.
    std::unique_ptr<quint8[]> readBack(new quint8[ImageSize]());
    for (int j = 0; j < SectorCount; ++j) {
        qDebug() << "Block:" << j;
        const flash::Status status = flash::readFlashBlock(
            device, readBack.get() + j * SectorSize, layout.base + quint32(j) * SectorSize, cancel);
        if (status != flash::Status::Ok)
            return stopped(status, Phase::ReadingBack, j);
    }

    writeDumpFile(dumpDirectory, QStringLiteral("hexdata.dat"), image);
    writeDumpFile(dumpDirectory, QStringLiteral("data.dat"), readBack.get());

    for (int k = 0; k < layout.sectorCount && k < SectorCount; ++k) {
        if (!layout.writes(k))
            continue;
        if (std::memcmp(image + k * SectorSize, readBack.get() + k * SectorSize, SectorSize) != 0) {
            outcome.result = Result::VerifyError;
            outcome.phase = Phase::ReadingBack;
            outcome.sector = k;
            return outcome;
        }
    }
    outcome.result = Result::Success;
    return outcome;
}

ParamMessage outcomeMessage(const ParamWriteOutcome &outcome)
{
    using Phase = ParamWriteOutcome::Phase;
    using Result = ParamWriteOutcome::Result;
    ParamMessage m;
    switch (outcome.result) {
    case Result::Success:
        m.title = QStringLiteral("Info");
        m.text = QStringLiteral("Write param success!");
        break;
    case Result::Done:
        m.title = QStringLiteral("Info");
        m.text = QStringLiteral("Write param done!");
        break;
    case Result::VerifyError:
        m.critical = true;
        m.title = QStringLiteral("Error");
        m.text = QStringLiteral("Verify error(%1), please rewrite param before power off!")
                     .arg(outcome.sector);
        break;
    case Result::NoAnswer:
        m.critical = true;
        m.title = QStringLiteral("Error");
        m.text = outcome.phase == Phase::Writing
            ? QStringLiteral("The camera stopped answering while writing sector %1. The parameter "
                             "area may be incomplete: check the connection and write the "
                             "parameters again before power off!")
                  .arg(outcome.sector)
            : QStringLiteral("The camera stopped answering while reading back sector %1. The "
                             "parameters were written but could not be verified: check the "
                             "connection and write the parameters again before power off!")
                  .arg(outcome.sector);
        break;
    case Result::Cancelled:
        m.critical = true;
        m.title = QStringLiteral("Error");
        m.text = outcome.phase == Phase::Writing
            ? QStringLiteral("The write was stopped at sector %1. The parameter area may be "
                             "incomplete: write the parameters again before power off!")
                  .arg(outcome.sector)
            : QStringLiteral("The read-back was stopped at sector %1. The parameters were written "
                             "but not verified: write the parameters again before power off!")
                  .arg(outcome.sector);
        break;
    }
    return m;
}

flash::Status sendControlWord(DeviceAccess &device, const quint8 word[4], int maxAttempts)
{
    for (int attempt = 0; attempt < maxAttempts; ++attempt) {
        if (device.writeMem(flash::ControlWordAddress, word, 4, 4))
            return flash::Status::Ok;
    }
    return flash::Status::NoAnswer;
}

}  // namespace param
