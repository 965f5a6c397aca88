// Arbitrary bytes as a parameter file, through the reader, the image builder,
// the file's version text and the layout choice (the camera's version taken
// from the same bytes): what every caller relies on besides "no crash".
#include "paramfile.h"
#include "paramlayout.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>
#include <vector>

static void check(bool condition)
{
    if (!condition)
        std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray content(reinterpret_cast<const char *>(data), int(size));
    QBuffer device(&content);
    device.open(QIODevice::ReadOnly);
    const param::ReadResult read = param::readParamDevice(device, 64);
    check((read.status == param::ReadStatus::TooLarge) == (size > 64));
    check(read.status != param::ReadStatus::TooLarge || read.lines.isEmpty());

    const QStringList lines = param::cleanParamLines(content);
    bool anyRecord = false;
    for (const QString &line : lines) {
        check(!line.isEmpty() && line == line.trimmed() && !line.contains(QLatin1String("//")));
        anyRecord = anyRecord || line.count(QLatin1Char(':')) == 1;
    }
    static std::vector<quint8> image(param::ImageSize);
    QList<int> blocks;
    param::buildParamImage(lines, image.data(), blocks);
    check(anyRecord == !blocks.isEmpty());

    const param::ParamLayout l =
        param::chooseParamLayout(FirmwareVersion::fromText(QString::fromUtf8(content.left(32))),
                                 param::hasFileVersion(image.data()), param::fileVersionText(image.data()));
    check(l.base == 0x180000 || l.base == 0x200000);
    check(l.sectorCount == 9 || l.sectorCount == 12 || l.sectorCount == 37);
    check(l.skippedSector == l.sectorCount - 1 || l.skippedSector == 8);
    check(l.verify == (l.minor >= 3));
    return 0;
}

#ifdef ORVANTA_FUZZ_REPLAY
#include "fuzzreplay.h"
#endif
