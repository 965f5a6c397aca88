#include "paramwriter.h"

#include "logging.h"

#include <QDir>
#include <QFile>

namespace param {

namespace {

void writeDumpFile(const QString &directory, const QString &name, const QByteArray &data)
{
    QFile file(directory.isEmpty() ? name : QDir(directory).filePath(name));
    if (!file.open(QIODevice::ReadWrite | QIODevice::Truncate)) {
        qCDebug(lcOrvanta) << "dump file not written" << file.fileName() << file.errorString();
        return;
    }
    if (file.write(data) != data.size())
        qCDebug(lcOrvanta) << "dump file incomplete" << file.fileName() << file.errorString();
}

}  // namespace

ParamFileLoad loadParamFile(const QString &path)
{
    ParamFileLoad load;
    load.read = readParamFile(path);
    load.image = QByteArray(ImageSize, '\0');
    auto *image = reinterpret_cast<quint8 *>(load.image.data());
    buildParamImage(load.read.lines, image, load.blocks);
    load.hasFileVersion = hasFileVersion(image);
    if (load.hasFileVersion)
        load.fileVersion = fileVersionText(image);
    return load;
}

UserMessage openFailedMessage() { return UserMessage::info(texts::openFileFailed()); }

UserMessage refusalBeforeCamera(const ParamFileLoad &load)
{
    if (load.read.status == ReadStatus::TooLarge) {
        const QString size = load.read.size >= 0 ? QStringLiteral("%1 bytes").arg(load.read.size)
                                                 : QStringLiteral("more than the limit");
        return UserMessage::info(
            QStringLiteral("The parameter file is too large to be a parameter file (%1, limit %2 "
                           "bytes). Nothing was written.")
                .arg(size)
                .arg(MaxFileSize));
    }
    if (load.blocks.isEmpty())
        return UserMessage::info(QStringLiteral("Please select hex file first."));
    return {};
}

WritePlan planWrite(const ParamFileLoad &load, bool cameraChosen, const QString &cameraVersion,
                    const QString &dumpDirectory)
{
    WritePlan plan;
    if (load.hasFileVersion) {
        // The layout depends on the camera's version; without a chosen
        // camera there is nothing to decide it from, so nothing is written.
        if (!cameraChosen) {
            plan.refusal = UserMessage::info(texts::selectCameraFirst());
            return plan;
        }
        qCDebug(lcOrvanta) << cameraVersion << load.fileVersion;
    }
    plan.layout = chooseParamLayout(FirmwareVersion::fromText(cameraVersion), load.hasFileVersion,
                                    load.fileVersion);
    qCDebug(lcOrvanta) << plan.layout.major << plan.layout.minor << plan.layout.layoutDigit;

    flash::JobPlan &job = plan.job;
    job.kind = flash::JobKind::Parameter;
    job.image = load.image;
    job.base = plan.layout.base;
    for (int i = 0; i < plan.layout.sectorCount && i < SectorCount; ++i) {
        if (plan.layout.writes(i)) {
            job.writeSectors.append(i);
            job.compareSectors.append(i);
        }
    }
    job.verify = plan.layout.verify;
    if (job.verify) {
        // All 37 sectors come back whatever the layout, so data.dat always
        // shows the whole area next to the image.
        for (int j = 0; j < SectorCount; ++j)
            job.readSectors.append(j);
        job.afterReadBack = [dumpDirectory](const QByteArray &image, const QByteArray &readBack) {
            writeDumpFile(dumpDirectory, QStringLiteral("hexdata.dat"), image);
            writeDumpFile(dumpDirectory, QStringLiteral("data.dat"), readBack);
        };
    }
    return plan;
}

flash::JobPlan controlWordPlan()
{
    flash::JobPlan plan;
    plan.kind = flash::JobKind::ControlWord;
    for (quint8 byte : FixedControlWord)
        plan.controlWord = plan.controlWord << 8 | byte;
    return plan;
}

}  // namespace param
