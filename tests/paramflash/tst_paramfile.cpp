// The parameter file reader, the image builder, the file's version text and
// the layout table: pure functions, checked against literal bytes.
#include "paramfile.h"
#include "paramlayout.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <vector>

using namespace param;

namespace {

QByteArray bytesAt(const std::vector<quint8> &image, int offset, int count)
{
    return QByteArray(reinterpret_cast<const char *>(image.data()) + offset, count);
}

int nonZero(const std::vector<quint8> &image)
{
    return int(std::count_if(image.begin(), image.end(), [](quint8 b) { return b != 0; }));
}

}  // namespace

class TestParamFile : public QObject {
    Q_OBJECT

private slots:
    void cleanLines_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("comment without blank") << QByteArray("0: A1 B2C3// note\n") << QStringList{"0: A1 B2C3"};
        QTest::newRow("comment after blank") << QByteArray("0: A1 B2C3 // note\n") << QStringList{"0: A1 B2C3"};
        QTest::newRow("comment and blank lines dropped")
            << QByteArray("// head\n\n \t\n0: 1\n   // indented\n") << QStringList{"0: 1"};
        QTest::newRow("CR LF line ends")
            << QByteArray("0: 1 2\r\n// c\r\n\r\n80: 3\r\n") << QStringList{"0: 1 2", "80: 3"};
        QTest::newRow("no final line end") << QByteArray("0: 1\n1: 2") << QStringList{"0: 1", "1: 2"};
        QTest::newRow("outer blanks trimmed, inner kept") << QByteArray(" \t0:  1  2 \t\n") << QStringList{"0:  1  2"};
        QTest::newRow("single slash is not a comment") << QByteArray("0: 1 / 2\n") << QStringList{"0: 1 / 2"};
        QTest::newRow("byte order mark skipped") << QByteArray("\xEF\xBB\xBF" "0: 1\n") << QStringList{"0: 1"};
        QTest::newRow("invalid UTF-8 replaced")
            << QByteArray("0: 1\xFF 2\n") << QStringList{QString("0: 1") + QChar(0xFFFD) + " 2"};
    }

    void cleanLines()
    {
        QFETCH(QByteArray, content);
        QTEST(cleanParamLines(content), "expected");  // files through the window: the lab
    }

    void readFile_data()
    {
        QTest::addColumn<QString>("name");  // in a temporary dir; "." the dir itself; "/..." as is
        QTest::addColumn<qint64>("size");   // -1: not created; else NUL bytes (sparse)
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<int>("status");
        QTest::newRow("missing") << "missing.hex" << qint64(-1) << MaxFileSize << int(ReadStatus::OpenFailed);
        QTest::newRow("a directory") << "." << qint64(-1) << MaxFileSize << int(ReadStatus::OpenFailed);
        QTest::newRow("at the limit") << "a.hex" << qint64(100) << qint64(100) << int(ReadStatus::Ok);
        QTest::newRow("one byte over") << "b.hex" << qint64(101) << qint64(100) << int(ReadStatus::TooLarge);
        QTest::newRow("one line past the default limit")
            << "c.hex" << MaxFileSize + 4096 << MaxFileSize << int(ReadStatus::TooLarge);
        QTest::newRow("a device without an end") << "/dev/zero" << qint64(-1) << qint64(1000) << int(ReadStatus::TooLarge);
    }

    void readFile()
    {
        QFETCH(QString, name);
        QFETCH(qint64, size);
        QFETCH(qint64, limit);
        QTemporaryDir dir;
        const QString path = name.startsWith('/') ? name : dir.filePath(name);
        if (size >= 0) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(size));
        }
        const ReadResult r = readParamFile(path, limit);
        QTEST(int(r.status), "status");
        if (r.status == ReadStatus::TooLarge) {
            QVERIFY(r.lines.isEmpty());
            if (size >= 0)
                QCOMPARE(r.size, size);
        }
    }

    void buildImage_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("expected");  // image bytes from offset
        QTest::addColumn<QList<int>>("blocks");
        QTest::addColumn<int>("nonZero");          // in the whole image
        const auto row = [](const char *name, const QStringList &lines, int offset, const char *hex,
                            const QList<int> &blocks, int nonZero) {
            QTest::newRow(name) << lines << offset << QByteArray::fromHex(hex) << blocks << nonZero;
        };
        row("two values at word 0", {"0: A1 B2C3"}, 0, "000000A1 0000B2C3", {0}, 3);
        row("no blanks, address 80 is block 1", {"80:1"}, 0x200, "00000001", {1}, 1);
        row("two spaces keep a zero word", {"0: 1  2"}, 0, "00000001 00000000 00000002", {0}, 2);
        row("mixed-case digits", {"3: DeadBEEF"}, 12, "DEADBEEF", {0}, 4);
        row("value that does not convert is 0, keeps its place", {"0: 1 zz 3"}, 0, "00000001 00000000 00000003", {0}, 2);
        row("a tab is not a separator", {"0: 1\t2 3"}, 0, "00000000 00000003", {0}, 1);
        row("two colons ignored", {"0: 1: 2"}, 0, "00000000", {}, 0);
        row("no colon ignored", {"0 1 2"}, 0, "00000000", {}, 0);
        row("last word of the image, next value dropped", {"93FF: 11223344 55"}, ImageSize - 4, "11223344", {295, 296}, 4);
        row("first word past the image: nothing stored", {"9400: 5"}, 0, "00000000", {296}, 0);
        row("word index wraps in 32 bits", {"FFFFFFFF: 1 2"}, 0, "00000002", {33554431, 0}, 1);
        row("later line overwrites", {"0: 1 2", "1: 3"}, 0, "00000001 00000003", {0}, 2);
        row("blocks in the order first met, no repeats", {"100: 1", "0: 2", "101: 3", "7F: 4 5"}, 0, "00000002", {2, 0, 1}, 5);
    }

    void buildImage()
    {
        QFETCH(QStringList, lines);
        QFETCH(int, offset);
        QFETCH(QByteArray, expected);
        std::vector<quint8> image(ImageSize + 4, 0xEE);  // four guard bytes past the image
        QList<int> blocks{99};
        buildParamImage(lines, image.data(), blocks);
        QCOMPARE(bytesAt(image, offset, expected.size()), expected);
        QTEST(blocks, "blocks");
        QCOMPARE(bytesAt(image, ImageSize, 4), QByteArray(4, char(0xEE)));
        image.resize(ImageSize);
        QTEST(nonZero(image), "nonZero");
    }

    void buildClearsPreviousImageAndStaysLinear()
    {
        // The window keeps one image: a second file must not inherit the first's words.
        std::vector<quint8> image(ImageSize, 0);
        QList<int> blocks;
        buildParamImage({"0: FFFFFFFF", "9000: 1"}, image.data(), blocks);
        buildParamImage({"1: 2"}, image.data(), blocks);
        QCOMPARE(blocks, QList<int>{0});
        QCOMPARE(nonZero(image), 1);

        // About 4 MiB of values on one line over 8,192 blocks: a quadratic
        // membership test would run into the test's time-out.
        QString line = "0:";
        const int values = 1 << 20;
        line.reserve(3 * values + 2);
        for (int i = 0; i < values; ++i)
            line += " 1A";
        buildParamImage({line}, image.data(), blocks);
        QCOMPARE(blocks.size(), values / 128);
        QCOMPARE(blocks.last(), values / 128 - 1);
        QCOMPARE(bytesAt(image, ImageSize - 4, 4), QByteArray("\x00\x00\x00\x1A", 4));
    }

    void fileVersion_data()
    {
        QTest::addColumn<QString>("line");  // word 0x4A is image offset 296
        QTest::addColumn<bool>("has");
        QTest::addColumn<QString>("text");
        QTest::newRow("1.3") << "4A: 312E3300" << true << "1.3";
        QTest::newRow("nothing there: empty text") << "0: 5" << true << "";
        QTest::newRow("FF FF FF FF: no version") << "4A: FFFFFFFF" << false << "";
        QTest::newRow("FF FF FF 00 is a version") << "4A: FFFFFF00" << true << QString(3, QChar(0xFFFD));
    }

    void fileVersion()
    {
        QFETCH(QString, line);
        QFETCH(bool, has);
        std::vector<quint8> image(ImageSize, 0);
        QList<int> blocks;
        buildParamImage({line}, image.data(), blocks);
        QCOMPARE(hasFileVersion(image.data()), has);
        if (has)
            QTEST(fileVersionText(image.data()), "text");
        // Without a zero byte the text stops at the end of the image.
        std::vector<quint8> full(ImageSize, 'A');
        QCOMPARE(fileVersionText(full.data()).size(), ImageSize - VersionOffset);
    }

    void layoutTable_data()
    {
        QTest::addColumn<QString>("camera");
        QTest::addColumn<bool>("hasFile");
        QTest::addColumn<QString>("file");
        QTest::addColumn<uint>("base");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("skipped");
        QTest::addColumn<bool>("verify");
        QTest::newRow("2.3 with 1.3") << "2.3" << true << "1.3" << 0x180000u << 37 << 8 << true;
        QTest::newRow("2.2 with 1.3") << "2.2" << true << "1.3" << 0x180000u << 37 << 8 << false;
        QTest::newRow("1.0 with 1.9") << "1.0" << true << "1.9" << 0x180000u << 37 << 8 << false;
        QTest::newRow("2.3 with 1.2") << "2.3" << true << "1.2" << 0x180000u << 9 << 8 << true;
        QTest::newRow("3.5 with 1.3") << "3.5" << true << "1.3" << 0x200000u << 9 << 8 << true;
        QTest::newRow("4.1 with 1.3") << "4.1" << true << "1.3" << 0x200000u << 12 << 11 << false;
        QTest::newRow("4.3 with 1.0") << "4.3" << true << "1.0" << 0x200000u << 12 << 11 << true;
        QTest::newRow("major 5") << "5.3" << true << "1.3" << 0x180000u << 9 << 8 << true;
        QTest::newRow("non-digit major counts 0") << "V2.3" << true << "1.3" << 0x180000u << 9 << 8 << false;
        QTest::newRow("one-character camera version") << "4" << true << "1.3" << 0x200000u << 12 << 11 << false;
        QTest::newRow("empty camera version") << "" << true << "1.3" << 0x180000u << 37 << 8 << false;
        QTest::newRow("short file version") << "2.3" << true << "1." << 0x180000u << 9 << 8 << true;
        QTest::newRow("no file version: camera ignored") << "4.3" << false << "" << 0x180000u << 9 << 8 << false;
    }

    void layoutTable()
    {
        QFETCH(QString, camera);
        QFETCH(bool, hasFile);
        QFETCH(QString, file);
        QFETCH(int, count);
        QFETCH(int, skipped);
        const ParamLayout l = chooseParamLayout(camera, hasFile, file);
        QTEST(uint(l.base), "base");
        QCOMPARE(l.sectorCount, count);
        QCOMPARE(l.skippedSector, skipped);
        QTEST(l.verify, "verify");
        int written = 0;
        for (int i = 0; i < SectorCount; ++i)
            written += l.writes(i);
        QCOMPARE(written, count - 1);
        QVERIFY(!l.writes(skipped));
    }

    void cleanCopy()
    {
        QCOMPARE(cleanFileName("/tmp/x/param.hex"), QString("/tmp/x/param_clean.hex"));
        QCOMPARE(cleanFileName("dir/param.txt"), QString("dir/param_clean.hex"));
        QCOMPARE(cleanFileName("abc"), QString("abc_clean.hex"));
        const QStringList lines = cleanParamLines("// head\n 0: 1 2 // c\n\nfoo\r\n" "80: \xC3\xA9\n");
        QCOMPARE(cleanFileContent(lines), QByteArray("0: 1 2\nfoo\n80: \xC3\xA9\n"));
    }
};

QTEST_GUILESS_MAIN(TestParamFile)
#include "tst_paramfile.moc"
