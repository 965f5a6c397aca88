// The bitstream programmer without a window: the file name rule, the
// parameter-area limit, the progress texts, and the job over an in-memory
// camera, ending every way it can (the padding with it).
#include "bitfilename.h"
#include "bitimage.h"
#include "memorycamera.h"
#include "programjob.h"

#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {
// Never 0xFF, so a missing byte cannot pass for padding.
QByteArray pattern(int size)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 31 + (i >> 12)) % 251);
    return data;
}
enum FileKind { Missing = -1, Directory = -2, Huge = -3 };
}  // namespace

class ProgramJobTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<MemoryCamera> cam;
    QByteArray bitData;
    int sectorCount = -1;
    QStringList steps, labels, titles, texts;  // steps: "P0", "V2", ...

    QString file(int size)
    {
        const QString path = dir.filePath("cam_101_top.bit");
        QFile f(path);
        if (size == Missing)
            return dir.filePath("nothing_101_.bit");
        if (size == Directory)
            return dir.path();
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return {};
        // Huge is sparse: one byte more than a 24-bit address reaches.
        const bool ok = size == Huge ? f.resize(16777216 + 1) : f.write(pattern(size)) == size;
        return ok ? path : QString();
    }

    ProgramResult run(int size, const QString &version = "2.3", bool selected = true,
                      const std::atomic<bool> *cancel = nullptr)
    {
        ProgramCallbacks cb;
        cb.step = [this](int n, bool v) { steps << QStringLiteral("%1%2").arg(v ? 'V' : 'P').arg(n); };
        cb.msg = [this](QString title, QString text) { titles << title; texts << text; };
        cb.label = [this](QString text) { labels << text; };
        std::atomic<int> count{-1};
        const ProgramResult r = runProgramJob(*cam, {file(size), selected, version}, bitData, count, cb, cancel);
        sectorCount = count;
        return r;
    }

private slots:
    void init()
    {
        QVERIFY(dir.isValid());
        cam = std::make_unique<MemoryCamera>();
        bitData.clear();
        steps.clear(), labels.clear(), titles.clear(), texts.clear();
    }

    void nameRule_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");  // empty: accepted
        const QString notValid = "File name is not valid!", missed = "File version missed!";
        QTest::newRow("plain") << "cam_101_top.bit" << "";
        QTest::newRow("letter a") << "cam_101a_top.bit" << "";
        QTest::newRow("upper-case directory") << "C:/Bits/cam_101_top.bit" << "";
        QTest::newRow("version at start") << "_123_.bit" << "";
        QTest::newRow("capital first letter") << "Cam_101_top.bit" << notValid;
        QTest::newRow("capital A suffix") << "cam_101A_top.bit" << notValid;
        QTest::newRow("capital extension") << "/x/cam_101_top.BIT" << notValid;
        QTest::newRow("upper case wins") << "CAM.bit" << notValid;
        QTest::newRow("four digits") << "cam_1010_top.bit" << missed;
        QTest::newRow("no closing underscore") << "cam_101.bit" << missed;
        QTest::newRow("two digits") << "cam_10_top.bit" << missed;
        QTest::newRow("letter b") << "cam_101b_top.bit" << missed;
        QTest::newRow("version only in directory") << "/x/cam_101_/top.bit" << missed;
        QTest::newRow("empty") << "" << missed;
    }
    void nameRule()
    {
        QFETCH(QString, path);
        QFETCH(QString, message);
        const BitFileName result = checkBitFileName(path);
        QCOMPARE(result == BitFileName::Valid, message.isEmpty());
        QCOMPARE(bitFileNameMessage(result), message);
    }

    void paramArea_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("reaches");
        QTest::newRow("2.3 up to 0x180000") << "2.3" << qint64(0x180000) << false;
        QTest::newRow("2.3 one byte into it") << "2.3" << qint64(0x180001) << true;
        QTest::newRow("empty version") << "" << qint64(0x180001) << true;
        QTest::newRow("3.1 above 0x180000") << "3.1" << qint64(0x180001) << false;
        QTest::newRow("3.1 up to 0x200000") << "3.1" << qint64(0x200000) << false;
        QTest::newRow("4.0 into 0x200000") << "4.0" << qint64(0x200001) << true;
        QTest::newRow("5.0 uses 0x180000") << "5.0" << qint64(0x180001) << true;
    }
    void paramArea()
    {
        QFETCH(QString, version);
        QFETCH(qint64, size);
        QFETCH(bool, reaches);
        QCOMPARE(bitimage::reachesParamArea(size, version), reaches);
    }

    void progress_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("verify");
        QTest::addColumn<int>("percent");
        QTest::addColumn<QString>("label");
        QTest::newRow("1 of 3") << 0 << 3 << false << 33 << "Program 1/3";
        QTest::newRow("2 of 3") << 1 << 3 << false << 66 << "Program 2/3";
        QTest::newRow("3 of 3") << 2 << 3 << true << 100 << "Verify 3/3";
        QTest::newRow("5 of 37") << 4 << 37 << false << 13 << "Program 5/37";
        QTest::newRow("no sectors") << 0 << 0 << false << 0 << "Program 1/0";
    }
    void progress()
    {
        QFETCH(int, step);
        QFETCH(int, count);
        QFETCH(bool, verify);
        QFETCH(int, percent);
        QFETCH(QString, label);
        QCOMPARE(bitimage::progressPercent(step, count), percent);
        QCOMPARE(bitimage::progressLabel(step, count, verify), label);
    }

    // Every ending without a fault: the version rule decides the read-back.
    void endings_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("text");  // title "Info" unless "Error" is named
        QTest::addColumn<QString>("label");
        const int ok = int(ProgramOutcome::Success), done = int(ProgramOutcome::Done);
        const QString success = "Program success!", doneText = "Program done!";
        QTest::newRow("2.3 verifies") << 2 * 4096 + 77 << "2.3" << true << ok << success << "0/3";
        QTest::newRow("1.3 verifies") << 100 << "1.3" << true << ok << success << "0/1";
        QTest::newRow("0.9 verifies") << 100 << "0.9" << true << ok << success << "0/1";
        QTest::newRow("x.3 verifies") << 100 << "x.3" << true << ok << success << "0/1";
        QTest::newRow("1.2 does not, one byte over a sector") << 4097 << "1.2" << true << done << doneText << "0/2";
        QTest::newRow("2.0 does not, one whole sector") << 4096 << "2.0" << true << done << doneText << "0/1";
        QTest::newRow("10.5 is 1.0") << 100 << "10.5" << true << done << doneText << "0/1";
        QTest::newRow("V2.5 is 0.0") << 100 << "V2.5" << true << done << doneText << "0/1";
        QTest::newRow("empty version") << 100 << "" << true << done << doneText << "0/1";
        QTest::newRow("no camera selected") << 4097 << "2.3" << false << done << doneText << "0/2";
        QTest::newRow("empty file") << 0 << "2.3" << true << ok << success << "0/0";
        QTest::newRow("empty file, 1.0") << 0 << "1.0" << true << done << doneText << "0/0";
        const int open = int(ProgramOutcome::OpenFailed);
        QTest::newRow("missing file") << int(Missing) << "2.3" << true << open << "Open file failed!" << "";
        QTest::newRow("directory") << int(Directory) << "2.3" << true << open << "Open file failed!" << "";
        QTest::newRow("over 16 MiB") << int(Huge) << "2.3" << true << int(ProgramOutcome::TooLarge)
            << "Error: The bitstream file is larger than the camera's 16 MB flash and cannot be programmed."
            << "";
    }
    void endings()
    {
        QFETCH(int, size);
        QFETCH(QString, version);
        QFETCH(bool, selected);
        QFETCH(int, outcome);
        QFETCH(QString, text);
        QFETCH(QString, label);
        QCOMPARE(int(run(size, version, selected).outcome), outcome);
        const QString title = text.startsWith("Error: ") ? "Error" : "Info";
        QCOMPARE(titles, QStringList{title});
        QCOMPARE(texts, QStringList{text.remove("Error: ")});
        QCOMPARE(labels, label.isEmpty() ? QStringList() : QStringList{label});

        const int sectors = qMax(0, (size + 4095) / 4096);
        const int loads = outcome == int(ProgramOutcome::Success) ? sectors : 0;
        QStringList expected;
        for (int s = 0; s < sectors; ++s)
            expected << QStringLiteral("P%1").arg(s);
        for (int s = 0; s < loads; ++s)
            expected << QStringLiteral("V%1").arg(s);
        QCOMPARE(steps, expected);
        QCOMPARE(cam->loaded.size(), loads);
        QCOMPARE(cam->exchanges == 0, sectors == 0);
        if (size >= 0) {  // the file, padded with 0xFF to whole sectors
            const QByteArray image = pattern(size) + QByteArray(sectors * 4096 - size, char(0xFF));
            QCOMPARE(sectorCount, sectors);
            QCOMPARE(bitData, image);
            QCOMPARE(cam->flash.left(sectors * 4096 + 4096), image + QByteArray(4096, char(0xFF)));
        }
    }

    void corruptSectorStopsTheReadBack()
    {
        cam->corruptSector = 2;
        const ProgramResult result = run(6 * 4096);
        QCOMPARE(int(result.outcome), int(ProgramOutcome::VerifyError));
        QCOMPARE(result.sector, 2);
        QCOMPARE(titles, QStringList{"Error"});
        QCOMPARE(texts, QStringList{"Verify error, please reprogram before power off!(2)"});
        QCOMPARE(cam->programmed.size(), 6);
        QCOMPARE(cam->loaded, (QList<quint32>{0x0000, 0x1000, 0x2000}));  // nothing after sector 2
        QCOMPARE(steps, (QStringList{"P0", "P1", "P2", "P3", "P4", "P5", "V0", "V1"}));
    }

    void stopsAnswering_data()
    {
        QTest::addColumn<int>("stopAfter");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("sector");
        QTest::addColumn<QString>("text");
        // 9 exchanges per sector written, 9 per sector read back; 4 sectors.
        const int program = int(ProgramOutcome::NoAnswerProgram);
        QTest::newRow("first piece") << 0 << program << 0 << "while programming sector 0. The flash may be incomplete";
        QTest::newRow("program command of sector 3") << 3 * 9 + 8 << program << 3 << "while programming sector 3.";
        QTest::newRow("reading back sector 2") << 4 * 9 + 2 * 9 + 3 << int(ProgramOutcome::NoAnswerVerify) << 2
                                               << "while verifying sector 2.";
    }
    void stopsAnswering()
    {
        QFETCH(int, stopAfter);
        QFETCH(int, outcome);
        QFETCH(int, sector);
        QFETCH(QString, text);
        cam->stopAfter = stopAfter;
        const ProgramResult result = run(4 * 4096);
        QCOMPARE(int(result.outcome), outcome);
        QCOMPARE(result.sector, sector);
        QCOMPARE(titles, QStringList{"Error"});
        QVERIFY2(texts.value(0).contains(text) && texts.value(0).contains("power off"), qPrintable(texts.value(0)));
        const bool verifying = outcome == int(ProgramOutcome::NoAnswerVerify);
        QCOMPARE(steps.filter("P").size(), verifying ? 4 : sector);
        QCOMPARE(steps.filter("V").size(), verifying ? sector : 0);
        QVERIFY(cam->exchanges <= stopAfter + 100);  // gave up, bounded
    }

    void cancelEndsQuietly_data()
    {
        QTest::addColumn<int>("cancelAfter");
        QTest::addColumn<int>("maxProgrammed");
        QTest::newRow("while programming") << 9 + 3 << 2;
        QTest::newRow("while reading back") << 3 * 9 + 5 << 3;
    }
    void cancelEndsQuietly()
    {
        QFETCH(int, cancelAfter);
        QFETCH(int, maxProgrammed);
        std::atomic<bool> cancel{false};
        cam->onExchange = [&](int n) { cancel = cancel || n > cancelAfter; };
        QCOMPARE(int(run(3 * 4096, "2.3", true, &cancel).outcome), int(ProgramOutcome::Cancelled));
        QVERIFY(texts.isEmpty());
        QVERIFY(cam->programmed.size() <= maxProgrammed);
        QVERIFY2(cam->exchanges <= cancelAfter + 2, qPrintable(QString::number(cam->exchanges)));
    }
};

QTEST_GUILESS_MAIN(ProgramJobTest)
#include "tst_programjob.moc"
