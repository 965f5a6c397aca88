// The pure rules of the bitstream programmer: which file names are accepted,
// how a file becomes whole sectors, which camera versions are verified, and
// where a file starts to endanger the parameter area.
#include "bitfilename.h"
#include "bitimage.h"

#include <QtTest>

class BitUnitsTest : public QObject {
    Q_OBJECT

private slots:
    void nameRule_data();
    void nameRule();
    void examinedPart_data();
    void examinedPart();
    void padding_data();
    void padding();
    void versionRule_data();
    void versionRule();
    void paramArea_data();
    void paramArea();
    void progress_data();
    void progress();
};

void BitUnitsTest::nameRule_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("message");  // empty: accepted

    QTest::newRow("plain") << "cam_101_top.bit" << "";
    QTest::newRow("letter a") << "cam_101a_top.bit" << "";
    QTest::newRow("upper-case directory") << "C:/Bits/cam_101_top.bit" << "";
    QTest::newRow("unix directory") << "/home/tech/Bitstreams/cam_205a_x.bit" << "";
    QTest::newRow("version at start") << "_123_.bit" << "";

    QTest::newRow("capital first letter") << "Cam_101_top.bit" << "File name is not valid!";
    QTest::newRow("capital A suffix") << "cam_101A_top.bit" << "File name is not valid!";
    QTest::newRow("capital extension") << "C:/Bits/cam_101_top.BIT" << "File name is not valid!";
    // The upper-case test runs first and wins over a missing version.
    QTest::newRow("both faults") << "CAM.bit" << "File name is not valid!";

    QTest::newRow("four digits") << "cam_1010_top.bit" << "File version missed!";
    QTest::newRow("no closing underscore") << "cam_101.bit" << "File version missed!";
    QTest::newRow("two digits") << "cam_10_top.bit" << "File version missed!";
    QTest::newRow("letter b") << "cam_101b_top.bit" << "File version missed!";
    QTest::newRow("version only in directory") << "/x/cam_101_/top.bit" << "File version missed!";
    QTest::newRow("empty") << "" << "File version missed!";
}

void BitUnitsTest::nameRule()
{
    QFETCH(QString, path);
    QFETCH(QString, message);
    const BitFileName result = checkBitFileName(path);
    QCOMPARE(result == BitFileName::Valid, message.isEmpty());
    QCOMPARE(bitFileNameMessage(result), message);
}

void BitUnitsTest::examinedPart_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("examined");

    QTest::newRow("no slash") << "cam_101_top.bit" << "cam_101_top.bit";
    QTest::newRow("leading slash only") << "/cam_101_top.bit" << "/cam_101_top.bit";
    QTest::newRow("directory") << "C:/Bits/cam_101_top.bit" << "/cam_101_top.bit";
    QTest::newRow("trailing slash") << "C:/Bits/" << "/";
}

void BitUnitsTest::examinedPart()
{
    QFETCH(QString, path);
    QFETCH(QString, examined);
    QCOMPARE(bitFileNameExamined(path), examined);
}

void BitUnitsTest::padding_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("sectors");

    QTest::newRow("empty") << 0 << 0;
    QTest::newRow("one byte") << 1 << 1;
    QTest::newRow("exactly one sector") << 4096 << 1;
    QTest::newRow("one byte over") << 4097 << 2;
    QTest::newRow("forty sectors minus") << 40 * 4096 - 123 << 40;
}

void BitUnitsTest::padding()
{
    QFETCH(int, size);
    QFETCH(int, sectors);
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char(i % 200);  // never 0xFF, so padding cannot hide in the data
    const QByteArray original = data;

    QCOMPARE(bitimage::sectorsFor(size), sectors);
    QCOMPARE(bitimage::padToSectors(data), sectors);
    QCOMPARE(data.size(), sectors * 4096);
    QCOMPARE(data.left(size), original);
    const QByteArray padding = data.mid(size);
    QCOMPARE(padding, QByteArray(sectors * 4096 - size, char(0xFF)));
}

void BitUnitsTest::versionRule_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<bool>("verify");

    QTest::newRow("1.2") << "1.2" << 1 << 2 << false;
    QTest::newRow("1.3") << "1.3" << 1 << 3 << true;
    QTest::newRow("0.9") << "0.9" << 0 << 9 << true;
    QTest::newRow("2.0") << "2.0" << 2 << 0 << false;
    QTest::newRow("2.3") << "2.3" << 2 << 3 << true;
    QTest::newRow("10.5 looks at 1 and .") << "10.5" << 1 << 0 << false;
    QTest::newRow("empty") << "" << 1 << 0 << false;
    QTest::newRow("one character") << "3" << 3 << 0 << false;
    QTest::newRow("two characters") << "4." << 4 << 0 << false;
    QTest::newRow("letter major") << "x.3" << 0 << 3 << true;
    QTest::newRow("letter prefix") << "V2.5" << 0 << 0 << false;
    QTest::newRow("2.X") << "2.X" << 2 << 0 << false;
    QTest::newRow("long text") << "3.4.1 build 7" << 3 << 4 << true;
    // Only ASCII digits count.
    QTest::newRow("arabic-indic digit") << QString::fromUtf8("1.\u0665") << 1 << 0 << false;
}

void BitUnitsTest::versionRule()
{
    QFETCH(QString, version);
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(bool, verify);
    const bitimage::VersionDigits digits = bitimage::versionDigits(version);
    QCOMPARE(digits.major, major);
    QCOMPARE(digits.minor, minor);
    QCOMPARE(bitimage::verifies(digits), verify);
}

void BitUnitsTest::paramArea_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("reaches");

    QTest::newRow("2.3 up to the area") << "2.3" << qint64(0x180000) << false;
    QTest::newRow("2.3 one byte into it") << "2.3" << qint64(0x180001) << true;
    QTest::newRow("1.0 one byte into it") << "1.0" << qint64(0x180001) << true;
    QTest::newRow("empty version") << "" << qint64(0x180001) << true;
    QTest::newRow("3.1 below its area") << "3.1" << qint64(0x180001) << false;
    QTest::newRow("3.1 up to its area") << "3.1" << qint64(0x200000) << false;
    QTest::newRow("3.1 into its area") << "3.1" << qint64(0x200001) << true;
    QTest::newRow("4.0 into its area") << "4.0" << qint64(0x200001) << true;
    QTest::newRow("5.0 uses the lower area") << "5.0" << qint64(0x180001) << true;
    QTest::newRow("small file") << "2.3" << qint64(40 * 4096) << false;
}

void BitUnitsTest::paramArea()
{
    QFETCH(QString, version);
    QFETCH(qint64, size);
    QFETCH(bool, reaches);
    QCOMPARE(bitimage::reachesParamArea(size, version), reaches);
}

void BitUnitsTest::progress_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("verify");
    QTest::addColumn<int>("percent");
    QTest::addColumn<QString>("label");

    QTest::newRow("1 of 3") << 0 << 3 << false << 33 << "Program 1/3";
    QTest::newRow("2 of 3") << 1 << 3 << false << 66 << "Program 2/3";
    QTest::newRow("3 of 3") << 2 << 3 << false << 100 << "Program 3/3";
    QTest::newRow("verify 1 of 3") << 0 << 3 << true << 33 << "Verify 1/3";
    QTest::newRow("verify 37 of 37") << 36 << 37 << true << 100 << "Verify 37/37";
    QTest::newRow("5 of 37") << 4 << 37 << false << 13 << "Program 5/37";
    QTest::newRow("largest file") << 4094 << 4096 << false << 99 << "Program 4095/4096";
    QTest::newRow("no sectors") << 0 << 0 << false << 0 << "Program 1/0";
}

void BitUnitsTest::progress()
{
    QFETCH(int, step);
    QFETCH(int, count);
    QFETCH(bool, verify);
    QFETCH(int, percent);
    QFETCH(QString, label);
    QCOMPARE(bitimage::progressPercent(step, count), percent);
    QCOMPARE(bitimage::progressLabel(step, count, verify), label);
}

QTEST_APPLESS_MAIN(BitUnitsTest)
#include "tst_bitunits.moc"
