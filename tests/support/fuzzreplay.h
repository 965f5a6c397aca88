// The main of a fuzz target built without libFuzzer: replays every file of the
// directories named on its command line, so a committed corpus runs as an
// ordinary test.
#pragma once

#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

int main(int argc, char **argv)
{
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        for (const QFileInfo &info : QDir(QString::fromLocal8Bit(argv[i])).entryInfoList(QDir::Files, QDir::Name)) {
            QFile f(info.filePath());
            if (!f.open(QIODevice::ReadOnly))
                return std::fprintf(stderr, "cannot read %s\n", qPrintable(info.filePath())), 1;
            const QByteArray bytes = f.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                                   std::size_t(bytes.size()));
            ++files;
        }
    }
    std::printf("replayed %d inputs\n", files);
    return files > 0 ? 0 : 1;
}
