#include "programjob.h"

#include "bitimage.h"
#include "deviceaccess.h"
#include "flashprotocol.h"

#include <QDebug>
#include <QFile>
#include <cstring>

namespace programtext {
QString openFailed() { return QStringLiteral("Open file failed!"); }
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
QString noAnswerProgram(int sector)
{
    return QStringLiteral("The camera stopped answering while programming sector %1. The flash "
                          "may be incomplete: check the connection and program again before "
                          "power off!")
        .arg(sector);
}
QString noAnswerVerify(int sector)
{
    return QStringLiteral("The camera stopped answering while verifying sector %1. The "
                          "bitstream was written but could not be verified: check the "
                          "connection and program again before power off!")
        .arg(sector);
}
QString paramAreaQuestion(quint32 base)
{
    return QStringLiteral("The bitstream file reaches the camera's parameter area at 0x%1 and "
                          "will overwrite the camera's parameters. Program it anyway?")
        .arg(base, 6, 16, QLatin1Char('0'));
}
}  // namespace programtext

namespace {

bool cancelled(const std::atomic<bool> *cancel)
{
    return cancel && cancel->load();
}

// Reads at most MaxFileSize + 1 bytes, so an oversized file is recognised
// without holding it. bitData is sized once for the padded image.
enum class LoadResult { Ok, OpenFailed, TooLarge };

LoadResult loadFile(const QString &path, QByteArray &bitData)
{
    bitData = QByteArray();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return LoadResult::OpenFailed;
    const qint64 announced = file.size();
    if (announced > bitimage::MaxFileSize)
        return LoadResult::TooLarge;
    bitData.reserve(int(qint64(bitimage::sectorsFor(announced)) * bitimage::SectorSize));
    char chunk[64 * 1024];
    for (;;) {
        const qint64 got = file.read(chunk, sizeof chunk);
        if (got < 0) {
            bitData = QByteArray();
            return LoadResult::OpenFailed;
        }
        if (got == 0)
            break;
        // The file may have grown since its size was taken.
        if (bitData.size() + got > bitimage::MaxFileSize) {
            bitData = QByteArray();
            return LoadResult::TooLarge;
        }
        bitData.append(chunk, int(got));
    }
    return LoadResult::Ok;
}

}  // namespace

ProgramResult runProgramJob(DeviceAccess &device, const BitstreamJobInput &input,
                            QByteArray &bitData, std::atomic<int> &sectorCount,
                            const ProgramCallbacks &callbacks, const std::atomic<bool> *cancel)
{
    auto finish = [&](ProgramOutcome outcome, int sector, const QString &title,
                      const QString &text) {
        if (callbacks.msg)
            callbacks.msg(title, text);
        return ProgramResult{outcome, sector};
    };
    const QString info = QStringLiteral("Info");
    const QString error = QStringLiteral("Error");

    switch (loadFile(input.path, bitData)) {
    case LoadResult::OpenFailed:
        sectorCount = 0;
        return finish(ProgramOutcome::OpenFailed, -1, info, programtext::openFailed());
    case LoadResult::TooLarge:
        sectorCount = 0;
        return finish(ProgramOutcome::TooLarge, -1, error, programtext::tooLarge());
    case LoadResult::Ok:
        break;
    }

    const int count = bitimage::padToSectors(bitData);
    sectorCount = count;
    qDebug() << "bit size" << QString::number(bitData.size(), 16);
    if (callbacks.label)
        callbacks.label(QStringLiteral("%1/%2").arg(0).arg(count));

    const auto *image = reinterpret_cast<const quint8 *>(bitData.constData());
    for (int s = 0; s < count; ++s) {
        if (cancelled(cancel))
            return {ProgramOutcome::Cancelled, s};
        const quint32 address = quint32(s) * bitimage::SectorSize;
        const flash::Status status =
            flash::writeFlashBlock(device, image + address, address, cancel);
        if (status == flash::Status::Cancelled)
            return {ProgramOutcome::Cancelled, s};
        if (status != flash::Status::Ok)
            return finish(ProgramOutcome::NoAnswerProgram, s, error,
                          programtext::noAnswerProgram(s));
        qDebug() << "program sector" << s << QString::number(address, 16);
        if (callbacks.step)
            callbacks.step(s, false);
    }

    // Without a selected camera its version is unknown: the sectors are
    // programmed but cannot be verified, and the technician is told so.
    if (!input.cameraSelected)
        return finish(ProgramOutcome::Done, -1, info, programtext::done());

    const bitimage::VersionDigits digits = bitimage::versionDigits(input.deviceVersion);
    qDebug() << "Program device fw version:" << digits.major << digits.minor;
    if (!bitimage::verifies(digits))
        return finish(ProgramOutcome::Done, -1, info, programtext::done());

    // One sector at a time is enough for the comparison; the file is already
    // held once in bitData.
    quint8 readBack[bitimage::SectorSize];
    for (int i = 0; i < count; ++i) {
        if (cancelled(cancel))
            return {ProgramOutcome::Cancelled, i};
        qDebug() << "Read Block:" << i << "/" << count;
        const quint32 address = quint32(i) * bitimage::SectorSize;
        std::memset(readBack, 0, sizeof readBack);
        const flash::Status status = flash::readFlashBlock(device, readBack, address, cancel);
        if (status == flash::Status::Cancelled)
            return {ProgramOutcome::Cancelled, i};
        if (status != flash::Status::Ok)
            return finish(ProgramOutcome::NoAnswerVerify, i, error,
                          programtext::noAnswerVerify(i));
        if (std::memcmp(readBack, image + address, bitimage::SectorSize) != 0)
            return finish(ProgramOutcome::VerifyError, i, error, programtext::verifyError(i));
        if (callbacks.step)
            callbacks.step(i, true);
    }
    return finish(ProgramOutcome::Success, -1, info, programtext::success());
}
