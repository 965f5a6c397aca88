// Fuzz target: arbitrary bytes as a parameter file, through the cleaning,
// the image builder, the file's version text and the layout choice. Checks
// the invariants every caller relies on besides "no crash".
//
// Built as a libFuzzer target with -DORVANTA_FUZZ=ON (clang), and as a plain
// replay runner over the committed corpus otherwise (FUZZ_REPLAY_MAIN).
#include "paramfile.h"
#include "paramlayout.h"

#include <QBuffer>
#include <QByteArray>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

static void check(bool condition)
{
    if (!condition)
        std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), int(size));

    // Through a device, with a small limit so the too-large path is reached too.
    QByteArray copy = content;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    const param::ReadResult small = param::readParamDevice(buffer, 64);
    check((small.status == param::ReadStatus::TooLarge) == (size > 64));
    check(small.status != param::ReadStatus::TooLarge || small.lines.isEmpty());

    const QStringList lines = param::cleanParamLines(content);
    for (const QString &line : lines)
        check(!line.isEmpty() && line == line.trimmed() && !line.contains(QLatin1String("//")) &&
              !line.contains(QLatin1Char('\n')));

    static std::vector<quint8> image(param::ImageSize);
    std::memset(image.data(), 0xEE, image.size());
    QList<int> blocks;
    param::buildParamImage(lines, image.data(), blocks);
    for (int b : blocks)
        check(b >= 0 && b <= int(0xFFFFFFFFu / param::WordsPerBlock));
    for (int i = 0; i < blocks.size(); ++i)
        for (int j = i + 1; j < blocks.size() && j < i + 64; ++j)
            check(blocks[i] != blocks[j]);
    bool anyRecord = false;
    for (const QString &line : lines)
        anyRecord = anyRecord || line.count(QLatin1Char(':')) == 1;
    check(anyRecord == !blocks.isEmpty());

    const bool hasVersion = param::hasFileVersion(image.data());
    const QString fileVersion = param::fileVersionText(image.data());
    // The camera's version text comes from the network: fuzz it with the
    // first bytes of the input as well.
    const QString cameraVersion = QString::fromUtf8(content.left(32));
    const param::ParamLayout layout = param::chooseParamLayout(cameraVersion, hasVersion, fileVersion);
    check(layout.base == 0x180000 || layout.base == 0x200000);
    check(layout.sectorCount == 9 || layout.sectorCount == 12 || layout.sectorCount == 37);
    check(layout.sectorCount <= param::SectorCount);
    check(layout.skippedSector == layout.sectorCount - 1 || layout.skippedSector == 8);
    check(layout.major >= 0 && layout.major <= 9);
    check(layout.verify == (layout.minor >= 3));
    check(layout.base + quint32(param::ImageSize) <= 0x01000000u);
    return 0;
}

#ifdef FUZZ_REPLAY_MAIN
// Replays a directory of inputs (the committed corpus), so the corpus runs as
// an ordinary test without clang.
#include <QDirIterator>
#include <QFile>
#include <cstdio>

int main(int argc, char **argv)
{
    int count = 0;
    for (QDirIterator it(QString::fromLocal8Bit(argc > 1 ? argv[1] : "."), QDir::Files); it.hasNext(); ++count) {
        QFile f(it.next());
        if (!f.open(QIODevice::ReadOnly))
            return 1;
        const QByteArray bytes = f.readAll();
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
    }
    std::printf("replayed %d inputs\n", count);
    return count > 0 ? 0 : 1;
}
#endif
