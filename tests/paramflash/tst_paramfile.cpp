// The parameter file reader, the image builder, the file's version text and
// the layout table: pure functions, checked against literal bytes.
#include "paramfile.h"
#include "paramlayout.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <vector>

using namespace param;

namespace {

QByteArray imageBytes(const std::vector<quint8> &image, int offset, int count)
{
    return QByteArray(reinterpret_cast<const char *>(image.data()) + offset, count);
}

int nonZeroBytes(const std::vector<quint8> &image)
{
    int n = 0;
    for (quint8 b : image)
        n += b != 0;
    return n;
}

}  // namespace

class TestParamFile : public QObject {
    Q_OBJECT

private slots:
    void cleanLines_data();
    void cleanLines();
    void readFile_data();
    void readFile();
    void readFileTooLargeIsBounded();
    void readNonRegularFile();
    void buildImage_data();
    void buildImage();
    void buildClearsPreviousImage();
    void buildHugeLineStaysLinear();
    void fileVersion_data();
    void fileVersion();
    void layoutTable_data();
    void layoutTable();
    void cleanName_data();
    void cleanName();
    void cleanContent();
};

// ---- cleaning --------------------------------------------------------------

void TestParamFile::cleanLines_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("comment without blank")
        << QByteArray("0: A1 B2C3// note\n") << QStringList{"0: A1 B2C3"};
    QTest::newRow("comment after blank")
        << QByteArray("0: A1 B2C3 // note\n") << QStringList{"0: A1 B2C3"};
    QTest::newRow("comment line dropped")
        << QByteArray("// header\n0: 1\n   // indented comment\n") << QStringList{"0: 1"};
    QTest::newRow("blank lines dropped")
        << QByteArray("\n   \n\t\n0: 1\n\n") << QStringList{"0: 1"};
    QTest::newRow("blanks then comment dropped")
        << QByteArray("  \t // only a comment\n") << QStringList{};
    QTest::newRow("CR LF line ends")
        << QByteArray("0: 1 2\r\n// c\r\n\r\n80: 3\r\n") << QStringList{"0: 1 2", "80: 3"};
    QTest::newRow("no final line end")
        << QByteArray("0: 1\n1: 2") << QStringList{"0: 1", "1: 2"};
    QTest::newRow("outer white space trimmed, inner kept")
        << QByteArray(" \t0:  1  2 \t\n") << QStringList{"0:  1  2"};
    QTest::newRow("single slash is not a comment")
        << QByteArray("0: 1 / 2\n") << QStringList{"0: 1 / 2"};
    QTest::newRow("first of several comments")
        << QByteArray("0: 1 // a // b\n") << QStringList{"0: 1"};
    QTest::newRow("record syntax not judged here")
        << QByteArray("hello world\n0:1:2\n") << QStringList{"hello world", "0:1:2"};
    QTest::newRow("UTF-8 byte order mark skipped")
        << QByteArray("\xEF\xBB\xBF" "0: 1\n") << QStringList{"0: 1"};
    QTest::newRow("invalid UTF-8 replaced")
        << QByteArray("0: 1\xFF 2\n") << QStringList{QString("0: 1") + QChar(0xFFFD) + " 2"};
    QTest::newRow("NUL byte inside a line kept")
        << QByteArray("0: 1\0002\n", 7) << QStringList{QString("0: 1") + QChar(0) + "2"};
    QTest::newRow("empty file") << QByteArray() << QStringList{};
    QTest::newRow("only comments") << QByteArray("//a\n//b\n") << QStringList{};
}

void TestParamFile::cleanLines()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expected);
    QCOMPARE(cleanParamLines(content), expected);

    // The same bytes through a file on disk.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("p.hex");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();
    const ReadResult r = readParamFile(path);
    QCOMPARE(int(r.status), int(ReadStatus::Ok));
    QCOMPARE(r.lines, expected);
}

// ---- opening and the size limit --------------------------------------------

void TestParamFile::readFile_data()
{
    QTest::addColumn<QString>("name");  // created in the temp dir unless empty/special
    QTest::addColumn<int>("size");      // -1: do not create
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<int>("status");

    QTest::newRow("missing file") << "missing.hex" << -1 << MaxFileSize << int(ReadStatus::OpenFailed);
    QTest::newRow("empty path") << "" << -1 << MaxFileSize << int(ReadStatus::OpenFailed);
    QTest::newRow("a directory") << "<dir>" << -1 << MaxFileSize << int(ReadStatus::OpenFailed);
    QTest::newRow("exactly at the limit") << "a.hex" << 100 << qint64(100) << int(ReadStatus::Ok);
    QTest::newRow("one byte over the limit") << "b.hex" << 101 << qint64(100) << int(ReadStatus::TooLarge);
    QTest::newRow("1 MiB under the default limit") << "c.hex" << (1 << 20) << MaxFileSize << int(ReadStatus::Ok);
}

void TestParamFile::readFile()
{
    QFETCH(QString, name);
    QFETCH(int, size);
    QFETCH(qint64, limit);
    QFETCH(int, status);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString path;
    if (name == "<dir>")
        path = dir.path();
    else if (!name.isEmpty())
        path = dir.filePath(name);
    if (size >= 0) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray line("0: 1\n");
        QByteArray content;
        while (content.size() < size)
            content += line;
        content.truncate(size);
        f.write(content);
    }
    const ReadResult r = readParamFile(path, limit);
    QCOMPARE(int(r.status), status);
    if (r.status == ReadStatus::TooLarge) {
        QVERIFY(r.lines.isEmpty());
        QCOMPARE(r.size, qint64(size));
    }
}

void TestParamFile::readFileTooLargeIsBounded()
{
    // One enormous line without a line end, past the default limit: refused,
    // not read line by line into memory.
    QTemporaryDir dir;
    const QString path = dir.filePath("huge.hex");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QVERIFY(f.resize(MaxFileSize + 4096));  // sparse, all NUL bytes
    f.close();
    const ReadResult r = readParamFile(path);
    QCOMPARE(int(r.status), int(ReadStatus::TooLarge));
    QCOMPARE(r.size, MaxFileSize + 4096);
}

void TestParamFile::readNonRegularFile()
{
    // A device without an end must not hold the reader: only limit + 1 bytes
    // are taken from it.
    QFile zero("/dev/zero");
    if (!zero.exists())
        QSKIP("no /dev/zero here");
    const ReadResult r = readParamFile("/dev/zero", 1000);
    QCOMPARE(int(r.status), int(ReadStatus::TooLarge));
}

// ---- the image -------------------------------------------------------------

void TestParamFile::buildImage_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("expected");  // image bytes from offset
    QTest::addColumn<QList<int>>("blocks");
    QTest::addColumn<int>("nonZero");          // non-zero bytes in the whole image

    QTest::newRow("two values at word 0")
        << QStringList{"0: A1 B2C3"} << 0 << QByteArray("\x00\x00\x00\xA1\x00\x00\xB2\xC3", 8)
        << QList<int>{0} << 3;
    QTest::newRow("no blanks, address 80 is block 1")
        << QStringList{"80:1"} << 0x200 << QByteArray("\x00\x00\x00\x01", 4) << QList<int>{1} << 1;
    QTest::newRow("two spaces keep a zero word")
        << QStringList{"0: 1  2"} << 0
        << QByteArray("\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x02", 12) << QList<int>{0} << 2;
    QTest::newRow("full 32-bit word, upper-case and lower-case digits")
        << QStringList{"3: DeadBEEF"} << 12 << QByteArray("\xDE\xAD\xBE\xEF", 4) << QList<int>{0} << 4;
    QTest::newRow("blanks around address and values")
        << QStringList{"  10  :   5 6  "} << 0x40 << QByteArray("\x00\x00\x00\x05\x00\x00\x00\x06", 8)
        << QList<int>{0} << 2;
    QTest::newRow("letters beyond F give address 0")
        << QStringList{"XYZ: 7"} << 0 << QByteArray("\x00\x00\x00\x07", 4) << QList<int>{0} << 1;
    QTest::newRow("address past 32 bits gives 0")
        << QStringList{"100000000: 7"} << 0 << QByteArray("\x00\x00\x00\x07", 4) << QList<int>{0} << 1;
    QTest::newRow("value that does not convert is 0 and keeps its place")
        << QStringList{"0: 1 zz 3"} << 0
        << QByteArray("\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x03", 12) << QList<int>{0} << 2;
    QTest::newRow("value past 32 bits is 0")
        << QStringList{"0: 100000000 2"} << 0 << QByteArray("\x00\x00\x00\x00\x00\x00\x00\x02", 8)
        << QList<int>{0} << 1;
    QTest::newRow("a tab is not a separator")
        << QStringList{"0: 1\t2 3"} << 0 << QByteArray("\x00\x00\x00\x00\x00\x00\x00\x03", 8)
        << QList<int>{0} << 1;
    QTest::newRow("two colons ignored")
        << QStringList{"0: 1: 2"} << 0 << QByteArray(4, '\0') << QList<int>{} << 0;
    QTest::newRow("no colon ignored")
        << QStringList{"0 1 2"} << 0 << QByteArray(4, '\0') << QList<int>{} << 0;
    QTest::newRow("address, colon, nothing: stores 0, adds its block")
        << QStringList{"100:"} << 0x400 << QByteArray(4, '\0') << QList<int>{2} << 0;
    QTest::newRow("last word of the image, second value dropped")
        << QStringList{"93FF: 11223344 55"} << ImageSize - 4 << QByteArray("\x11\x22\x33\x44", 4)
        << QList<int>{295, 296} << 4;
    QTest::newRow("first word past the image: nothing stored, block 296")
        << QStringList{"9400: 5"} << 0 << QByteArray(4, '\0') << QList<int>{296} << 0;
    QTest::newRow("later line overwrites")
        << QStringList{"0: 1 2", "1: 3"} << 0 << QByteArray("\x00\x00\x00\x01\x00\x00\x00\x03", 8)
        << QList<int>{0} << 2;
    QTest::newRow("blocks in the order first met, without repeats")
        << QStringList{"100: 1", "0: 2", "101: 3", "7F: 4 5"} << 0 << QByteArray("\x00\x00\x00\x02", 4)
        << QList<int>{2, 0, 1} << 5;
    QTest::newRow("word index wraps in 32 bits")
        << QStringList{"FFFFFFFF: 1 2"} << 0 << QByteArray("\x00\x00\x00\x02", 4)
        << QList<int>{33554431, 0} << 1;
    QTest::newRow("no lines") << QStringList{} << 0 << QByteArray(8, '\0') << QList<int>{} << 0;
}

void TestParamFile::buildImage()
{
    QFETCH(QStringList, lines);
    QFETCH(int, offset);
    QFETCH(QByteArray, expected);
    QFETCH(QList<int>, blocks);
    QFETCH(int, nonZero);

    std::vector<quint8> image(ImageSize, 0xEE);
    QList<int> got{99};
    buildParamImage(lines, image.data(), got);
    QCOMPARE(imageBytes(image, offset, expected.size()), expected);
    QCOMPARE(got, blocks);
    QCOMPARE(nonZeroBytes(image), nonZero);
}

void TestParamFile::buildClearsPreviousImage()
{
    std::vector<quint8> image(ImageSize, 0);
    QList<int> blocks;
    buildParamImage({"0: FFFFFFFF", "9000: 1"}, image.data(), blocks);
    QCOMPARE(blocks, (QList<int>{0, 288}));
    buildParamImage({"1: 2"}, image.data(), blocks);
    QCOMPARE(blocks, QList<int>{0});
    QCOMPARE(imageBytes(image, 0, 8), QByteArray("\x00\x00\x00\x00\x00\x00\x00\x02", 8));
    QCOMPARE(nonZeroBytes(image), 1);
}

void TestParamFile::buildHugeLineStaysLinear()
{
    // About 4 MiB of values on one line spread over tens of thousands of
    // blocks: a quadratic membership test would take minutes here.
    QString line = "0:";
    const int values = 1 << 20;
    line.reserve(4 * values + 4);
    for (int i = 0; i < values; ++i)
        line += " 1A";
    std::vector<quint8> image(ImageSize, 0);
    QList<int> blocks;
    QElapsedTimer t;
    t.start();
    buildParamImage({line}, image.data(), blocks);
    qDebug() << "one line of" << values << "values built in" << t.elapsed() << "ms";
    QCOMPARE(blocks.size(), values / 128);
    QCOMPARE(blocks.first(), 0);
    QCOMPARE(blocks.last(), values / 128 - 1);
    QCOMPARE(imageBytes(image, ImageSize - 4, 4), QByteArray("\x00\x00\x00\x1A", 4));
}

// ---- the file's version text -----------------------------------------------

void TestParamFile::fileVersion_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("has");
    QTest::addColumn<QString>("text");

    // Word 0x4A is image offset 296.
    QTest::newRow("1.3") << QStringList{"4A: 312E3300"} << true << "1.3";
    QTest::newRow("only word 0 set: empty text") << QStringList{"0: 5"} << true << "";
    QTest::newRow("FF FF FF FF: no version") << QStringList{"4A: FFFFFFFF"} << false << "";
    QTest::newRow("FF FF FF 00 is a version") << QStringList{"4A: FFFFFF00"} << true
                                              << QString(3, QChar(0xFFFD));
    QTest::newRow("text over several words") << QStringList{"4A: 322E3130 2E333300"} << true << "2.10.33";
}

void TestParamFile::fileVersion()
{
    QFETCH(QStringList, lines);
    QFETCH(bool, has);
    QFETCH(QString, text);
    std::vector<quint8> image(ImageSize, 0);
    QList<int> blocks;
    buildParamImage(lines, image.data(), blocks);
    QCOMPARE(hasFileVersion(image.data()), has);
    if (has)
        QCOMPARE(fileVersionText(image.data()), text);

    // Without any zero byte the text runs to the end of the image.
    std::vector<quint8> full(ImageSize, 'A');
    QCOMPARE(fileVersionText(full.data()).size(), ImageSize - VersionOffset);
}

// ---- the layout table ------------------------------------------------------

void TestParamFile::layoutTable_data()
{
    QTest::addColumn<QString>("camera");
    QTest::addColumn<bool>("hasFile");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("digit");
    QTest::addColumn<uint>("base");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("skipped");
    QTest::addColumn<bool>("verify");

    QTest::newRow("2.3 with 1.3: 37 sectors, verified") << "2.3" << true << "1.3" << 2 << 3 << 3 << 0x180000u << 37 << 8 << true;
    QTest::newRow("1.0 with 1.9: 37 sectors") << "1.0" << true << "1.9" << 1 << 0 << 9 << 0x180000u << 37 << 8 << false;
    QTest::newRow("2.2 with 1.3: not verified") << "2.2" << true << "1.3" << 2 << 2 << 3 << 0x180000u << 37 << 8 << false;
    QTest::newRow("2.3 with 1.2: 9 sectors") << "2.3" << true << "1.2" << 2 << 3 << 2 << 0x180000u << 9 << 8 << true;
    QTest::newRow("3.5 with 1.3") << "3.5" << true << "1.3" << 3 << 5 << 3 << 0x200000u << 9 << 8 << true;
    QTest::newRow("4.1 with 1.3") << "4.1" << true << "1.3" << 4 << 1 << 3 << 0x200000u << 12 << 11 << false;
    QTest::newRow("4.3 with 1.0") << "4.3" << true << "1.0" << 4 << 3 << 0 << 0x200000u << 12 << 11 << true;
    QTest::newRow("major 5: other row") << "5.3" << true << "1.3" << 5 << 3 << 3 << 0x180000u << 9 << 8 << true;
    QTest::newRow("major 0: other row") << "0.9" << true << "1.3" << 0 << 9 << 3 << 0x180000u << 9 << 8 << true;
    QTest::newRow("major 9: other row") << "9.0" << true << "1.3" << 9 << 0 << 3 << 0x180000u << 9 << 8 << false;
    QTest::newRow("non-digit major counts 0") << "V2.3" << true << "1.3" << 0 << 0 << 3 << 0x180000u << 9 << 8 << false;
    QTest::newRow("2.X: minor 0") << "2.X" << true << "1.3" << 2 << 0 << 3 << 0x180000u << 37 << 8 << false;
    QTest::newRow("one character camera version") << "4" << true << "1.3" << 4 << 0 << 3 << 0x200000u << 12 << 11 << false;
    QTest::newRow("empty camera version keeps 2 and 0") << "" << true << "1.3" << 2 << 0 << 3 << 0x180000u << 37 << 8 << false;
    QTest::newRow("empty file version: digit 0") << "2.3" << true << "" << 2 << 3 << 0 << 0x180000u << 9 << 8 << true;
    QTest::newRow("short file version: digit 0") << "2.3" << true << "1." << 2 << 3 << 0 << 0x180000u << 9 << 8 << true;
    QTest::newRow("no file version: camera ignored") << "4.3" << false << "" << 2 << 0 << 1 << 0x180000u << 9 << 8 << false;
}

void TestParamFile::layoutTable()
{
    QFETCH(QString, camera);
    QFETCH(bool, hasFile);
    QFETCH(QString, file);
    const ParamLayout l = chooseParamLayout(camera, hasFile, file);
    QTEST(l.major, "major");
    QTEST(l.minor, "minor");
    QTEST(l.layoutDigit, "digit");
    QTEST(uint(l.base), "base");
    QTEST(l.sectorCount, "count");
    QTEST(l.skippedSector, "skipped");
    QTEST(l.verify, "verify");

    QFETCH(int, count);
    QFETCH(int, skipped);
    int written = 0;
    for (int i = 0; i < SectorCount; ++i)
        written += l.writes(i);
    QCOMPARE(written, count - 1);
    QVERIFY(!l.writes(skipped));
    QVERIFY(!l.writes(count));
}

// ---- the cleaned copy ------------------------------------------------------

void TestParamFile::cleanName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("clean");
    QTest::newRow(".hex") << "/tmp/x/param.hex" << "/tmp/x/param_clean.hex";
    QTest::newRow("other extension") << "dir/param.txt" << "dir/param_clean.hex";
    QTest::newRow("empty") << "" << "_clean.hex";
    QTest::newRow("shorter than four") << "abc" << "abc_clean.hex";
    QTest::newRow("exactly four") << "abcd" << "_clean.hex";
}

void TestParamFile::cleanName()
{
    QFETCH(QString, path);
    QFETCH(QString, clean);
    QCOMPARE(cleanFileName(path), clean);
}

void TestParamFile::cleanContent()
{
    const QStringList lines = cleanParamLines("// head\n 0: 1 2 // c\n\nfoo\r\n" "80: \xC3\xA9\n");
    QCOMPARE(cleanFileContent(lines), QByteArray("0: 1 2\nfoo\n80: \xC3\xA9\n"));
    QCOMPARE(cleanFileContent({}), QByteArray());
}

QTEST_GUILESS_MAIN(TestParamFile)
#include "tst_paramfile.moc"
