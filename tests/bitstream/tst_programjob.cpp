// The programming job against an in-memory camera: what reaches the flash,
// the progress it reports, when it reads back, and how every way it can end
// is reported.
#include "fakecamera.h"
#include "programjob.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Recorder {
    QStringList steps;   // "P0", "V2", ...
    QStringList labels;
    QStringList titles;
    QStringList texts;

    ProgramCallbacks callbacks()
    {
        ProgramCallbacks cb;
        cb.step = [this](int num, bool verify) {
            steps << QStringLiteral("%1%2").arg(verify ? 'V' : 'P').arg(num);
        };
        cb.msg = [this](QString title, QString text) {
            titles << title;
            texts << text;
        };
        cb.label = [this](QString text) { labels << text; };
        return cb;
    }
};

// Bytes that are never 0xFF, so a missing byte cannot pass for padding.
QByteArray pattern(int size, int seed = 0)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 31 + seed * 17 + (i >> 12)) % 251);
    return data;
}

}  // namespace

class ProgramJobTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString writeFile(const QString &name, const QByteArray &data)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size())
            return QString();
        return path;
    }

    ProgramResult run(FakeCamera &camera, const QString &path, const QString &version,
                      Recorder &recorder, bool selected = true,
                      const std::atomic<bool> *cancel = nullptr)
    {
        BitstreamJobInput input;
        input.path = path;
        input.cameraSelected = selected;
        input.deviceVersion = version;
        std::atomic<int> count{-1};
        const ProgramResult result =
            runProgramJob(camera, input, bitData, count, recorder.callbacks(), cancel);
        sectorCount = count;
        return result;
    }

    QByteArray bitData;
    int sectorCount = -1;

private slots:
    void init();
    void threeSectorsProgressAndResult();
    void flashHoldsFileAndPadding();
    void controlWordsAddressEverySector();
    void versionRule_data();
    void versionRule();
    void corruptSectorStopsTheReadBack();
    void droppedRepliesAreRepeated();
    void stopsAnswering_data();
    void stopsAnswering();
    void cancelEndsQuietly_data();
    void cancelEndsQuietly();
    void unreadableFile_data();
    void unreadableFile();
    void emptyFile_data();
    void emptyFile();
    void oversizedFileSendsNothing();
    void noSelectedCameraIsToldAndNotVerified();
};

void ProgramJobTest::init()
{
    QVERIFY(dir.isValid());
    bitData.clear();
    sectorCount = -1;
}

void ProgramJobTest::threeSectorsProgressAndResult()
{
    const QString path = writeFile("cam_101_top.bit", pattern(3 * 4096 - 1000));
    FakeCamera camera;
    Recorder rec;
    const ProgramResult result = run(camera, path, "2.3", rec);

    QCOMPARE(int(result.outcome), int(ProgramOutcome::Success));
    QCOMPARE(sectorCount, 3);
    QCOMPARE(rec.labels, QStringList{"0/3"});
    QCOMPARE(rec.steps, (QStringList{"P0", "P1", "P2", "V0", "V1", "V2"}));
    QCOMPARE(rec.titles, QStringList{"Info"});
    QCOMPARE(rec.texts, QStringList{"Program success!"});
    QCOMPARE(camera.loaded, (QList<quint32>{0x0000, 0x1000, 0x2000}));
}

void ProgramJobTest::flashHoldsFileAndPadding()
{
    const QByteArray file = pattern(5 * 4096 + 77, 3);
    const QString path = writeFile("cam_101a_top.bit", file);
    FakeCamera camera;
    Recorder rec;
    QCOMPARE(int(run(camera, path, "1.2", rec).outcome), int(ProgramOutcome::Done));

    const QByteArray expected = file + QByteArray(4096 - 77, char(0xFF));
    QCOMPARE(camera.flash.left(6 * 4096), expected);
    QCOMPARE(bitData, expected);
    // Nothing beyond the last sector was touched.
    QCOMPARE(camera.flash.mid(6 * 4096, 4096), QByteArray(4096, char(0xFF)));
    QCOMPARE(camera.programmed.size(), 6);
}

void ProgramJobTest::controlWordsAddressEverySector()
{
    const QString path = writeFile("cam_101_top.bit", pattern(2 * 4096 + 1));
    FakeCamera camera;
    camera.recordWrites = true;
    Recorder rec;
    QCOMPARE(int(run(camera, path, "2.5", rec).outcome), int(ProgramOutcome::Success));

    // Each sector: eight 512-byte pieces into the window, then the program
    // command with the sector's flash address, most significant byte first.
    const QList<quint16> pieceAddresses{0x0C00, 0x0C80, 0x0D00, 0x0D80,
                                        0x0E00, 0x0E80, 0x0F00, 0x0F80};
    const QList<QByteArray> commands{QByteArray::fromHex("d5000000"),
                                     QByteArray::fromHex("d5001000"),
                                     QByteArray::fromHex("d5002000")};
    QCOMPARE(camera.writes.size(), 3 * 9);
    for (int s = 0; s < 3; ++s) {
        for (int k = 0; k < 8; ++k) {
            const FakeCamera::WriteCall &w = camera.writes[s * 9 + k];
            QCOMPARE(w.address, pieceAddresses[k]);
            QCOMPARE(w.data, bitData.mid(s * 4096 + k * 512, 512));
        }
        QCOMPARE(camera.writes[s * 9 + 8].address, quint16(0x27));
        QCOMPARE(camera.writes[s * 9 + 8].data, commands[s]);
    }
    QCOMPARE(camera.controlWords,
             (QList<quint32>{0xD5000000, 0xD5001000, 0xD5002000,
                             0xD6000000, 0xD6001000, 0xD6002000}));
}

void ProgramJobTest::versionRule_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("verified");

    QTest::newRow("1.2") << "1.2" << false;
    QTest::newRow("1.3") << "1.3" << true;
    QTest::newRow("0.9") << "0.9" << true;
    QTest::newRow("2.0") << "2.0" << false;
    QTest::newRow("10.5") << "10.5" << false;
    QTest::newRow("empty") << "" << false;
}

void ProgramJobTest::versionRule()
{
    QFETCH(QString, version);
    QFETCH(bool, verified);
    const QString path = writeFile("cam_101_top.bit", pattern(2 * 4096));
    FakeCamera camera;
    Recorder rec;
    const ProgramResult result = run(camera, path, version, rec);

    QCOMPARE(int(result.outcome), int(verified ? ProgramOutcome::Success : ProgramOutcome::Done));
    QCOMPARE(rec.titles, QStringList{"Info"});
    QCOMPARE(rec.texts, QStringList{verified ? "Program success!" : "Program done!"});
    QCOMPARE(camera.loaded.size(), verified ? 2 : 0);
    QCOMPARE(rec.steps.size(), verified ? 4 : 2);
}

void ProgramJobTest::corruptSectorStopsTheReadBack()
{
    const QString path = writeFile("cam_101_top.bit", pattern(6 * 4096));
    FakeCamera camera;
    camera.corruptSector = 2;
    Recorder rec;
    const ProgramResult result = run(camera, path, "2.3", rec);

    QCOMPARE(int(result.outcome), int(ProgramOutcome::VerifyError));
    QCOMPARE(result.sector, 2);
    QCOMPARE(rec.titles, QStringList{"Error"});
    QCOMPARE(rec.texts, QStringList{"Verify error, please reprogram before power off!(2)"});
    // Sectors 3 and later are not read; every sector was programmed.
    QCOMPARE(camera.loaded, (QList<quint32>{0x0000, 0x1000, 0x2000}));
    QCOMPARE(camera.programmed.size(), 6);
    QCOMPARE(rec.steps, (QStringList{"P0", "P1", "P2", "P3", "P4", "P5", "V0", "V1"}));
}

void ProgramJobTest::droppedRepliesAreRepeated()
{
    const QByteArray file = pattern(4 * 4096 - 5, 9);
    const QString path = writeFile("cam_101_top.bit", file);
    FakeCamera camera;
    camera.dropEvery = 5;
    Recorder rec;
    QCOMPARE(int(run(camera, path, "2.3", rec).outcome), int(ProgramOutcome::Success));
    QCOMPARE(camera.flash.left(file.size()), file);
    QCOMPARE(rec.texts, QStringList{"Program success!"});
}

void ProgramJobTest::stopsAnswering_data()
{
    QTest::addColumn<int>("stopAfter");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("sector");
    QTest::addColumn<QString>("text");

    // 9 exchanges per sector programmed, 9 per sector read back; 4 sectors.
    QTest::newRow("first piece") << 0 << int(ProgramOutcome::NoAnswerProgram) << 0
                                 << "while programming sector 0";
    QTest::newRow("inside sector 1") << 9 + 4 << int(ProgramOutcome::NoAnswerProgram) << 1
                                     << "while programming sector 1";
    QTest::newRow("at the program command of sector 3")
        << 3 * 9 + 8 << int(ProgramOutcome::NoAnswerProgram) << 3 << "while programming sector 3";
    QTest::newRow("reading back sector 2") << 4 * 9 + 2 * 9 + 3
                                           << int(ProgramOutcome::NoAnswerVerify) << 2
                                           << "while verifying sector 2";
}

void ProgramJobTest::stopsAnswering()
{
    QFETCH(int, stopAfter);
    QFETCH(int, outcome);
    QFETCH(int, sector);
    QFETCH(QString, text);
    const QString path = writeFile("cam_101_top.bit", pattern(4 * 4096));
    FakeCamera camera;
    camera.stopAfter = stopAfter;
    Recorder rec;
    const ProgramResult result = run(camera, path, "2.3", rec);

    QCOMPARE(int(result.outcome), outcome);
    QCOMPARE(result.sector, sector);
    QCOMPARE(rec.titles, QStringList{"Error"});
    QVERIFY2(rec.texts.value(0).contains(text), qPrintable(rec.texts.value(0)));
    QVERIFY(rec.texts.value(0).contains("power off"));
    // The job gave up: nothing was sent after the attempts ran out, and no
    // sector after the failed one was reported.
    const int programSteps = outcome == int(ProgramOutcome::NoAnswerProgram) ? sector : 4;
    QCOMPARE(rec.steps.filter("P").size(), programSteps);
    QCOMPARE(rec.steps.filter("V").size(), outcome == int(ProgramOutcome::NoAnswerVerify) ? sector : 0);
    QVERIFY(camera.exchanges > stopAfter);
    QVERIFY(camera.exchanges <= stopAfter + 1000);
}

void ProgramJobTest::cancelEndsQuietly_data()
{
    QTest::addColumn<int>("cancelAfter");
    QTest::addColumn<int>("maxProgrammed");

    QTest::newRow("while programming") << 9 + 3 << 2;
    QTest::newRow("while reading back") << 3 * 9 + 5 << 3;
}

void ProgramJobTest::cancelEndsQuietly()
{
    QFETCH(int, cancelAfter);
    QFETCH(int, maxProgrammed);
    const QString path = writeFile("cam_101_top.bit", pattern(3 * 4096));
    std::atomic<bool> cancel{false};
    FakeCamera camera;
    camera.cancelAfter = cancelAfter;
    camera.cancelFlag = &cancel;
    Recorder rec;
    const ProgramResult result = run(camera, path, "2.3", rec, true, &cancel);

    QCOMPARE(int(result.outcome), int(ProgramOutcome::Cancelled));
    QVERIFY(rec.texts.isEmpty());
    QVERIFY(camera.programmed.size() <= maxProgrammed);
    // Stopped within a couple of exchanges of the request.
    QVERIFY2(camera.exchanges <= cancelAfter + 2, qPrintable(QString::number(camera.exchanges)));
}

void ProgramJobTest::unreadableFile_data()
{
    QTest::addColumn<QString>("which");
    QTest::newRow("missing") << "missing";
    QTest::newRow("directory") << "directory";
}

void ProgramJobTest::unreadableFile()
{
    QFETCH(QString, which);
    const QString path = which == "missing" ? dir.filePath("nothing_101_.bit") : dir.path();
    FakeCamera camera;
    Recorder rec;
    bitData = "left over";
    const ProgramResult result = run(camera, path, "2.3", rec);

    QCOMPARE(int(result.outcome), int(ProgramOutcome::OpenFailed));
    QCOMPARE(rec.titles, QStringList{"Info"});
    QCOMPARE(rec.texts, QStringList{"Open file failed!"});
    QCOMPARE(camera.exchanges, 0);
    QVERIFY(rec.steps.isEmpty());
}

void ProgramJobTest::emptyFile_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("text");
    QTest::newRow("verifying camera") << "2.3" << "Program success!";
    QTest::newRow("older camera") << "1.0" << "Program done!";
}

void ProgramJobTest::emptyFile()
{
    QFETCH(QString, version);
    QFETCH(QString, text);
    const QString path = writeFile("cam_101_empty.bit", QByteArray());
    FakeCamera camera;
    Recorder rec;
    run(camera, path, version, rec);

    QCOMPARE(sectorCount, 0);
    QCOMPARE(rec.labels, QStringList{"0/0"});
    QVERIFY(rec.steps.isEmpty());
    QCOMPARE(rec.texts, QStringList{text});
    QCOMPARE(camera.exchanges, 0);
}

void ProgramJobTest::oversizedFileSendsNothing()
{
    // Sparse: takes no disk space. One byte more than the 24-bit address
    // range can reach.
    const QString path = dir.filePath("cam_101_huge.bit");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(16777216 + 1));
    }
    FakeCamera camera;
    Recorder rec;
    const ProgramResult result = run(camera, path, "2.3", rec);

    QCOMPARE(int(result.outcome), int(ProgramOutcome::TooLarge));
    QCOMPARE(rec.titles, QStringList{"Error"});
    QCOMPARE(rec.texts, QStringList{"The bitstream file is larger than the camera's 16 MB flash "
                                    "and cannot be programmed."});
    QCOMPARE(camera.exchanges, 0);
    QVERIFY(rec.labels.isEmpty());
    QVERIFY(bitData.isEmpty());
}

void ProgramJobTest::noSelectedCameraIsToldAndNotVerified()
{
    const QByteArray file = pattern(4096 + 1);
    const QString path = writeFile("cam_101_top.bit", file);
    FakeCamera camera;
    Recorder rec;
    const ProgramResult result = run(camera, path, "2.3", rec, false);

    QCOMPARE(int(result.outcome), int(ProgramOutcome::Done));
    QCOMPARE(rec.texts, QStringList{"Program done!"});
    QCOMPARE(camera.programmed.size(), 2);
    QVERIFY(camera.loaded.isEmpty());
}

QTEST_GUILESS_MAIN(ProgramJobTest)
#include "tst_programjob.moc"
