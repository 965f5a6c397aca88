// parseDiscoveryAck on arbitrary datagrams. Built for libFuzzer with clang,
// or (ORVANTA_FUZZ_REPLAY) as a plain program that replays every file of the
// corpus directories given on its command line.
#include "devicerecord.h"
#include "gvcp.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The receive buffer is 1,024 bytes and zero-filled before each receive;
    // the parser may read up to 256 bytes of it whatever the length.
    quint8 buffer[gvcp::DiscoveryReceiveBuffer] = {};
    const std::size_t length = size < sizeof buffer ? size : sizeof buffer;
    if (length)
        std::memcpy(buffer, data, length);
    DeviceRecord record;
    if (gvcp::parseDiscoveryAck(buffer, int(length), record)) {
        // Every text must be terminated inside its field.
        if (std::memchr(record.manufacturerName, 0, sizeof record.manufacturerName) == nullptr ||
            std::memchr(record.modelName, 0, sizeof record.modelName) == nullptr ||
            std::memchr(record.deviceVersion, 0, sizeof record.deviceVersion) == nullptr ||
            std::memchr(record.serialNumber, 0, sizeof record.serialNumber) == nullptr ||
            std::memchr(record.userDefinedName, 0, sizeof record.userDefinedName) == nullptr)
            __builtin_trap();
        const QString combo = record.comboText();
        for (QChar c : combo.mid(record.ipText().size() + 1))
            if (!(c.isDigit() || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
                __builtin_trap();
        (void)record.itemText();
        (void)record.maskText();
        (void)record.gatewayText();
    }
    return 0;
}

#ifdef ORVANTA_FUZZ_REPLAY
#include <QDir>
#include <QFile>
#include <cstdio>

int main(int argc, char **argv)
{
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        const QDir dir(QString::fromLocal8Bit(argv[i]));
        for (const QFileInfo &info : dir.entryInfoList(QDir::Files, QDir::Name)) {
            QFile f(info.filePath());
            if (!f.open(QIODevice::ReadOnly))
                return std::fprintf(stderr, "cannot read %s\n", qPrintable(info.filePath())), 1;
            const QByteArray bytes = f.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size()));
            ++files;
        }
    }
    std::printf("replayed %d inputs\n", files);
    return files > 0 ? 0 : 1;
}
#endif
