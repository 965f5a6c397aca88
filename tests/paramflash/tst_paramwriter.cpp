// The parameter write job against an in-memory camera: which sectors land
// where, what is read back, the dump files, the verify error, and a camera
// that stops answering part-way (never reported as success).
#include "flashprotocol.h"
#include "memorycamera.h"
#include "paramfile.h"
#include "paramlayout.h"
#include "paramwriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>

using namespace param;
using Result = ParamWriteOutcome::Result;
using Phase = ParamWriteOutcome::Phase;

namespace {

constexpr char Prefill = 0x5A;

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestParamWriter : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        cam.reset(new MemoryCamera);
        cam->flash.fill(Prefill);
        // Every byte differs from the flash and sectors differ from each other,
        // so a sector written to the wrong place shows.
        image.resize(ImageSize);
        for (int i = 0; i < ImageSize; ++i)
            image[i] = char((i / SectorSize) * 7 + i % 251 + 1);
        image.replace(char(Prefill), char(0xA5));
        dir.reset(new QTemporaryDir);
    }

    void layouts_data()
    {
        QTest::addColumn<QString>("camera");
        QTest::addColumn<QString>("file");
        QTest::addColumn<uint>("base");
        QTest::addColumn<int>("count");  // sectors 0..count-1 of the area, all but the last written
        QTest::addColumn<int>("skipped");
        QTest::addColumn<bool>("verified");
        QTest::newRow("2.3 with 1.3: 0-7 and 9-36, verified") << "2.3" << "1.3" << 0x180000u << 37 << 8 << true;
        QTest::newRow("4.1 with 1.3: 0-10 at 0x200000") << "4.1" << "1.3" << 0x200000u << 12 << 11 << false;
        QTest::newRow("2.3 with 1.2: 0-7, verified") << "2.3" << "1.2" << 0x180000u << 9 << 8 << true;
    }

    void layouts()
    {
        QFETCH(QString, camera);
        QFETCH(QString, file);
        QFETCH(uint, base);
        QFETCH(int, count);
        QFETCH(int, skipped);
        QFETCH(bool, verified);
        const ParamWriteOutcome out = write(camera, file);
        QCOMPARE(int(out.result), int(verified ? Result::Success : Result::Done));

        QList<quint32> programmed, loaded;
        for (int s = 0; s < count; ++s)
            if (s != skipped)
                programmed << base + quint32(s) * 4096;
        for (int s = 0; verified && s < SectorCount; ++s)
            loaded << base + quint32(s) * 4096;
        QCOMPARE(cam->programmed, programmed);
        QCOMPARE(cam->loaded, loaded);
        // Written sectors hold the image; the rest of the area, the skipped
        // sector included, keeps its old contents, and so does the sector before.
        for (int s = -1; s < SectorCount; ++s) {
            const bool written = s >= 0 && s < count && s != skipped;
            QCOMPARE(cam->flash.mid(int(base) + s * 4096, 4096),
                     written ? image.mid(s * 4096, 4096) : QByteArray(4096, Prefill));
        }
        QCOMPARE(readAll(dir->filePath("hexdata.dat")), verified ? image : QByteArray());
        QCOMPARE(readAll(dir->filePath("data.dat")), verified ? cam->flash.mid(int(base), ImageSize) : QByteArray());
    }

    void staleDumpInWorkingDirectoryIsReplaced()
    {
        // No directory given: the dump files land where the process runs, and an
        // older, larger dump is cut to the new size.
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir->path()));
        QFile old("data.dat");
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(ImageSize + 1000, 'x'));
        old.close();
        const ParamWriteOutcome out = writeParamImage(*cam, reinterpret_cast<const quint8 *>(image.constData()),
                                                      chooseParamLayout("2.3", true, "1.0"));
        QDir::setCurrent(previous);
        QCOMPARE(int(out.result), int(Result::Success));
        QCOMPARE(readAll(dir->filePath("hexdata.dat")), image);
        QCOMPARE(readAll(dir->filePath("data.dat")), image.left(8 * 4096) + QByteArray(29 * 4096, Prefill));
    }

    void verifyErrorNamesFirstDifferingSector()
    {
        cam->corruptSector = 0x187;  // sector 7, the last one written
        const ParamWriteOutcome out = write("2.3", "1.2");
        QCOMPARE(int(out.result), int(Result::VerifyError));
        QCOMPARE(out.sector, 7);
        QCOMPARE(outcomeMessage(out).text, QString("Verify error(7), please rewrite param before power off!"));
        QVERIFY(outcomeMessage(out).critical);
        // The check comes after the whole write, and the dumps show the damage.
        QCOMPARE(cam->programmed.size(), 8);
        QCOMPARE(readAll(dir->filePath("data.dat")), cam->flash.mid(0x180000, ImageSize));
        QVERIFY(cam->sector(0x187) != image.mid(7 * 4096, 4096));
    }

    void lostRepliesAreRepeatedAndCancelStops()
    {
        cam->dropEvery = 4;
        QCOMPARE(int(write("2.3", "1.2").result), int(Result::Success));
        QCOMPARE(cam->flash.mid(0x180000, 8 * 4096), image.left(8 * 4096));

        init();
        std::atomic<bool> cancel{false};
        cam->onExchange = [&](int n) { cancel = n >= 20; };
        const ParamWriteOutcome out = write("2.3", "1.3", &cancel);
        QCOMPARE(int(out.result), int(Result::Cancelled));
        QCOMPARE(out.sector, 2);
        QCOMPARE(cam->exchanges, 20);
        QCOMPARE(cam->programmed.size(), 2);
    }

    void stopsAnswering_data()
    {
        QTest::addColumn<int>("answered");  // exchanges answered before the camera goes quiet
        QTest::addColumn<int>("phase");
        QTest::addColumn<int>("sector");
        // Nine exchanges per sector: eight pieces and the control word.
        QTest::newRow("before the first piece") << 0 << int(Phase::Writing) << 0;
        QTest::newRow("inside sector 3") << 9 * 3 + 4 << int(Phase::Writing) << 3;
        QTest::newRow("at the control word of sector 2") << 9 * 2 + 8 << int(Phase::Writing) << 2;
        QTest::newRow("after sector 7: sector 9 is next") << 9 * 8 << int(Phase::Writing) << 9;
        QTest::newRow("reading back sector 4") << 9 * 36 + 9 * 4 + 3 << int(Phase::ReadingBack) << 4;
    }

    void stopsAnswering()
    {
        QFETCH(int, answered);
        QFETCH(int, phase);
        QFETCH(int, sector);
        cam->stopAfter = answered;
        const ParamWriteOutcome out = write("2.3", "1.3");
        QCOMPARE(int(out.result), int(Result::NoAnswer));
        QCOMPARE(int(out.phase), phase);
        QCOMPARE(out.sector, sector);
        const ParamMessage m = outcomeMessage(out);
        QVERIFY(m.critical);
        QVERIFY2(m.text.contains(QString("sector %1.").arg(sector)), qPrintable(m.text));
        // Bounded: the failed exchange was tried MaxAttempts times, then nothing more.
        QCOMPARE(cam->exchanges, answered + flash::MaxAttempts);
        QVERIFY(!QFile::exists(dir->filePath("data.dat")));
    }

    void fixedControlWord_data()
    {
        QTest::addColumn<int>("failFirst");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("exchanges");
        QTest::newRow("two lost, then answered") << 2 << int(flash::Status::Ok) << 3;
        QTest::newRow("never answered") << flash::MaxAttempts << int(flash::Status::NoAnswer) << flash::MaxAttempts;
    }

    void fixedControlWord()
    {
        QFETCH(int, failFirst);
        cam->failFirst = failFirst;
        QTEST(int(sendControlWord(*cam, FixedControlWord)), "status");
        QTEST(cam->exchanges, "exchanges");
        QCOMPARE(cam->writes.size(), failFirst < flash::MaxAttempts ? 1 : 0);
        for (const MemoryCamera::WriteCall &w : cam->writes)
            QVERIFY(w.address == 0x27 && w.data == QByteArray("\x01\x34\x3E\xF5", 4));
        QVERIFY(cam->programmed.isEmpty());
    }

private:
    ParamWriteOutcome write(const QString &camera, const QString &file, std::atomic<bool> *cancel = nullptr)
    {
        return writeParamImage(*cam, reinterpret_cast<const quint8 *>(image.constData()),
                               chooseParamLayout(camera, true, file), dir->path(), cancel);
    }

    std::unique_ptr<MemoryCamera> cam;
    QByteArray image;
    std::unique_ptr<QTemporaryDir> dir;
};

QTEST_GUILESS_MAIN(TestParamWriter)
#include "tst_paramwriter.moc"
