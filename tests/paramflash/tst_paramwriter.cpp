// The parameter write job against an in-memory camera: which sectors land
// where, what is read back, the dump files, the verify error, and a camera
// that stops answering part-way (never reported as success).
#include "fakecamera.h"
#include "flashprotocol.h"
#include "paramfile.h"
#include "paramlayout.h"
#include "paramwriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>
#include <vector>

using namespace param;
using Result = ParamWriteOutcome::Result;
using Phase = ParamWriteOutcome::Phase;


namespace {

constexpr quint8 Prefill = 0x5A;

// Every byte of every sector differs from the pre-filled flash, and sectors
// differ from each other, so a sector written to the wrong place shows.
std::vector<quint8> patternImage()
{
    std::vector<quint8> image(ImageSize);
    for (int i = 0; i < ImageSize; ++i)
        image[i] = quint8((i / SectorSize) * 7 + (i % 251) + 1);
    for (int i = 0; i < ImageSize; ++i)
        if (image[i] == Prefill)
            image[i] = 0xA5;
    return image;
}

QList<int> range(int from, int to)  // inclusive
{
    QList<int> r;
    for (int i = from; i <= to; ++i)
        r << i;
    return r;
}

QByteArray bytes(const std::vector<quint8> &v, int offset, int count)
{
    return QByteArray(reinterpret_cast<const char *>(v.data()) + offset, count);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestParamWriter : public QObject {
    Q_OBJECT

private slots:
    void init();
    void layouts_data();
    void layouts();
    void dumpFilesInWorkingDirectory();
    void verifyErrorNamesFirstDifferingSector_data();
    void verifyErrorNamesFirstDifferingSector();
    void lostRepliesAreRepeated();
    void stopsAnsweringWhileWriting_data();
    void stopsAnsweringWhileWriting();
    void stopsAnsweringWhileReadingBack();
    void cancelStopsBetweenExchanges();
    void messages_data();
    void messages();
    void fixedControlWord();
    void fixedControlWordBounded();

private:
    std::unique_ptr<FakeCamera> cam;
    std::vector<quint8> image;
    QScopedPointer<QTemporaryDir> dir;
};

void TestParamWriter::init()
{
    cam.reset(new FakeCamera);
    std::fill(cam->flash.begin(), cam->flash.end(), Prefill);
    image = patternImage();
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
}

void TestParamWriter::layouts_data()
{
    QTest::addColumn<QString>("camera");
    QTest::addColumn<bool>("hasFile");
    QTest::addColumn<QString>("file");
    QTest::addColumn<uint>("base");
    QTest::addColumn<QList<int>>("sectors");
    QTest::addColumn<int>("result");

    QTest::newRow("2.3 with 1.3: 36 sectors, verified")
        << "2.3" << true << "1.3" << 0x180000u << range(0, 7) + range(9, 36) << int(Result::Success);
    QTest::newRow("2.2 with 1.3: 36 sectors, not verified")
        << "2.2" << true << "1.3" << 0x180000u << range(0, 7) + range(9, 36) << int(Result::Done);
    QTest::newRow("4.1 with 1.3: sectors 0-10 at 0x200000")
        << "4.1" << true << "1.3" << 0x200000u << range(0, 10) << int(Result::Done);
    QTest::newRow("3.3 with 1.3: sectors 0-7 at 0x200000, verified")
        << "3.3" << true << "1.3" << 0x200000u << range(0, 7) << int(Result::Success);
    QTest::newRow("no file version: camera ignored")
        << "4.3" << false << "" << 0x180000u << range(0, 7) << int(Result::Done);
    QTest::newRow("2.3 with empty file version: 8 sectors, verified")
        << "2.3" << true << "" << 0x180000u << range(0, 7) << int(Result::Success);
}

void TestParamWriter::layouts()
{
    QFETCH(QString, camera);
    QFETCH(bool, hasFile);
    QFETCH(QString, file);
    QFETCH(uint, base);
    QFETCH(QList<int>, sectors);
    QFETCH(int, result);

    const ParamLayout layout = chooseParamLayout(camera, hasFile, file);
    const ParamWriteOutcome out = writeParamImage(*cam, image.data(), layout, dir->path());
    QCOMPARE(int(out.result), result);

    QList<quint32> expected;
    for (int s : sectors)
        expected << base + quint32(s) * 4096;
    QCOMPARE(cam->programmed, expected);

    // Written sectors hold the image; everything else in the area keeps its
    // old contents (the skipped sector too, although it differs).
    for (int s = 0; s < SectorCount; ++s) {
        const QByteArray inFlash = cam->flashBytes(base + quint32(s) * 4096, 4096);
        if (sectors.contains(s))
            QCOMPARE(inFlash, bytes(image, s * 4096, 4096));
        else
            QCOMPARE(inFlash, QByteArray(4096, char(Prefill)));
    }
    QCOMPARE(cam->flashBytes(base - 4096, 4096), QByteArray(4096, char(Prefill)));

    const bool verified = result == int(Result::Success);
    QList<quint32> reads;
    if (verified)
        for (int j = 0; j < 37; ++j)
            reads << base + quint32(j) * 4096;
    QCOMPARE(cam->loaded, reads);

    const QString hexdata = QDir(dir->path()).filePath("hexdata.dat");
    const QString data = QDir(dir->path()).filePath("data.dat");
    QCOMPARE(QFile::exists(hexdata), verified);
    QCOMPARE(QFile::exists(data), verified);
    if (verified) {
        QCOMPARE(readAll(hexdata), bytes(image, 0, ImageSize));
        QCOMPARE(readAll(data), cam->flashBytes(base, ImageSize));
    }
}

void TestParamWriter::dumpFilesInWorkingDirectory()
{
    // No directory given: bare names, so the files land where the process runs.
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir->path()));
    // Stale dump files from an earlier, larger write are truncated.
    QFile old("data.dat");
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(ImageSize + 1000, 'x'));
    old.close();
    const ParamWriteOutcome out =
        writeParamImage(*cam, image.data(), chooseParamLayout("2.3", true, "1.0"));
    QDir::setCurrent(previous);
    QCOMPARE(int(out.result), int(Result::Success));
    QCOMPARE(readAll(dir->filePath("hexdata.dat")), bytes(image, 0, ImageSize));
    const QByteArray data = readAll(dir->filePath("data.dat"));
    QCOMPARE(data.size(), ImageSize);
    QCOMPARE(data.left(8 * 4096), bytes(image, 0, 8 * 4096));
    QCOMPARE(data.mid(8 * 4096), QByteArray(29 * 4096, char(Prefill)));
}

void TestParamWriter::verifyErrorNamesFirstDifferingSector_data()
{
    QTest::addColumn<QList<uint>>("corrupt");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("sector");
    QTest::newRow("sector 5") << QList<uint>{0x185000} << int(Result::VerifyError) << 5;
    QTest::newRow("sector 0") << QList<uint>{0x180000} << int(Result::VerifyError) << 0;
    QTest::newRow("sector 7, the last one written") << QList<uint>{0x187000} << int(Result::VerifyError) << 7;
}

void TestParamWriter::verifyErrorNamesFirstDifferingSector()
{
    QFETCH(QList<uint>, corrupt);
    QFETCH(int, result);
    QFETCH(int, sector);
    cam->corruptSector = corrupt.first();
    const ParamWriteOutcome out =
        writeParamImage(*cam, image.data(), chooseParamLayout("2.3", true, "1.2"), dir->path());
    QCOMPARE(int(out.result), result);
    QCOMPARE(out.sector, sector);
    // The dump files are written before the comparison and show the damage.
    const QByteArray data = readAll(dir->filePath("data.dat"));
    QCOMPARE(data.size(), ImageSize);
    QVERIFY(data.mid(sector * 4096, 4096) != bytes(image, sector * 4096, 4096));
    QCOMPARE(readAll(dir->filePath("hexdata.dat")), bytes(image, 0, ImageSize));
    // Every sector was still written: the check comes after the whole write.
    QCOMPARE(cam->programmed.size(), 8);
}

void TestParamWriter::lostRepliesAreRepeated()
{
    cam->dropEvery = 4;
    const ParamWriteOutcome out =
        writeParamImage(*cam, image.data(), chooseParamLayout("2.3", true, "1.2"), dir->path());
    QCOMPARE(int(out.result), int(Result::Success));
    for (int s = 0; s < 8; ++s)
        QCOMPARE(cam->flashBytes(0x180000 + s * 4096, 4096), bytes(image, s * 4096, 4096));
}

void TestParamWriter::stopsAnsweringWhileWriting_data()
{
    QTest::addColumn<QString>("fileVersion");
    QTest::addColumn<int>("answered");  // exchanges answered before the camera goes quiet
    QTest::addColumn<int>("sector");

    // Nine exchanges per sector: eight pieces and the control word.
    QTest::newRow("before the first piece") << "1.3" << 0 << 0;
    QTest::newRow("inside sector 3") << "1.3" << 9 * 3 + 4 << 3;
    QTest::newRow("at the control word of sector 2") << "1.3" << 9 * 2 + 8 << 2;
    QTest::newRow("after sector 7: sector 9 is next") << "1.3" << 9 * 8 << 9;
    QTest::newRow("last sector of the area") << "1.3" << 9 * 35 + 1 << 36;
}

void TestParamWriter::stopsAnsweringWhileWriting()
{
    QFETCH(QString, fileVersion);
    QFETCH(int, answered);
    QFETCH(int, sector);
    cam->answerLimit = answered;
    const ParamWriteOutcome out =
        writeParamImage(*cam, image.data(), chooseParamLayout("2.3", true, fileVersion), dir->path());
    QCOMPARE(int(out.result), int(Result::NoAnswer));
    QCOMPARE(int(out.phase), int(Phase::Writing));
    QCOMPARE(out.sector, sector);
    // Bounded: the one exchange that failed was tried MaxAttempts times, then
    // nothing more was sent.
    QCOMPARE(cam->exchanges, answered + flash::MaxAttempts);
    QVERIFY(cam->loaded.isEmpty());
    QVERIFY(!QFile::exists(dir->filePath("data.dat")));
    QVERIFY(!QFile::exists(dir->filePath("hexdata.dat")));
}

void TestParamWriter::stopsAnsweringWhileReadingBack()
{
    cam->answerLimit = 9 * 8 + 9 * 4 + 3;  // all 8 written, then read-back sector 4 part-way
    const ParamWriteOutcome out =
        writeParamImage(*cam, image.data(), chooseParamLayout("2.3", true, "1.2"), dir->path());
    QCOMPARE(int(out.result), int(Result::NoAnswer));
    QCOMPARE(int(out.phase), int(Phase::ReadingBack));
    QCOMPARE(out.sector, 4);
    QCOMPARE(cam->exchanges, cam->answerLimit + flash::MaxAttempts);
    QVERIFY(!QFile::exists(dir->filePath("data.dat")));
}

void TestParamWriter::cancelStopsBetweenExchanges()
{
    std::atomic<bool> cancel{false};
    cam->onExchange = [&](int n) {
        if (n == 20)
            cancel = true;
    };
    const ParamWriteOutcome out = writeParamImage(
        *cam, image.data(), chooseParamLayout("2.3", true, "1.3"), dir->path(), &cancel);
    QCOMPARE(int(out.result), int(Result::Cancelled));
    QCOMPARE(out.sector, 2);
    QCOMPARE(cam->exchanges, 20);
    QCOMPARE(cam->programmed.size(), 2);
}

void TestParamWriter::messages_data()
{
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("phase");
    QTest::addColumn<int>("sector");
    QTest::addColumn<bool>("critical");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");

    QTest::newRow("success") << int(Result::Success) << 0 << -1 << false << "Info" << "Write param success!";
    QTest::newRow("done") << int(Result::Done) << 0 << -1 << false << "Info" << "Write param done!";
    QTest::newRow("verify error") << int(Result::VerifyError) << int(Phase::ReadingBack) << 5 << true
                                  << "Error" << "Verify error(5), please rewrite param before power off!";
    QTest::newRow("no answer writing")
        << int(Result::NoAnswer) << int(Phase::Writing) << 12 << true << "Error"
        << "The camera stopped answering while writing sector 12. The parameter area may be "
           "incomplete: check the connection and write the parameters again before power off!";
    QTest::newRow("no answer reading back")
        << int(Result::NoAnswer) << int(Phase::ReadingBack) << 30 << true << "Error"
        << "The camera stopped answering while reading back sector 30. The parameters were "
           "written but could not be verified: check the connection and write the parameters "
           "again before power off!";
}

void TestParamWriter::messages()
{
    QFETCH(int, result);
    QFETCH(int, phase);
    QFETCH(int, sector);
    ParamWriteOutcome out;
    out.result = Result(result);
    out.phase = Phase(phase);
    out.sector = sector;
    const ParamMessage m = outcomeMessage(out);
    QTEST(m.critical, "critical");
    QTEST(m.title, "title");
    QTEST(m.text, "text");
}

void TestParamWriter::fixedControlWord()
{
    cam->failFirst = 2;
    QCOMPARE(int(sendControlWord(*cam, FixedControlWord)), int(flash::Status::Ok));
    QCOMPARE(cam->exchanges, 3);
    QCOMPARE(cam->controlWrites, QList<QByteArray>{QByteArray("\x01\x34\x3E\xF5", 4)});
    QCOMPARE(cam->otherWords.size(), 1);
    QCOMPARE(cam->otherWords.first().first, quint8(0x01));
    QCOMPARE(cam->otherWords.first().second, quint32(0x343EF5));
    QVERIFY(cam->programmed.isEmpty());
}

void TestParamWriter::fixedControlWordBounded()
{
    cam->answerLimit = 0;
    QCOMPARE(int(sendControlWord(*cam, FixedControlWord)), int(flash::Status::NoAnswer));
    QCOMPARE(cam->exchanges, flash::MaxAttempts);
    QVERIFY(cam->controlWrites.isEmpty());
}

QTEST_GUILESS_MAIN(TestParamWriter)
#include "tst_paramwriter.moc"
