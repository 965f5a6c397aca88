// The flash block protocol and both flash jobs against the in-memory camera,
// with lost requests, lost and short replies, a camera that goes silent, a
// sector that programs wrong, and a cancel: what ends up in the flash, and
// the outcome the technician is told.
#include "endings.h"
#include "flashjob.h"
#include "jobrunner.h"
#include "memorycamera.h"
#include "paramwriter.h"
#include "programjob.h"

#include <QTemporaryDir>
#include <QtTest>

#include <atomic>

namespace {

using Fault = MemoryCamera::Fault;
// Outcomes of a bitstream file that never became a job.
const int openFailed = -1, tooLarge = -2;
enum Faults { Clean, LoseEveryThird, NoReplyEveryThird, ShortEveryOther, NineteenFailuresEach, BusyAtFifth };

void plant(MemoryCamera &cam, int faults, int stopAfter, int cancelAt, std::function<void()> cancel)
{
    cam.stopAfter = stopAfter;
    cam.onExchange = [=](int n) {
        if (n == cancelAt)
            cancel();
    };
    cam.fault = [faults](int n) {
        switch (faults) {
        case LoseEveryThird: return n % 3 ? Fault::Answer : Fault::Lost;
        case NoReplyEveryThird: return n % 3 ? Fault::Answer : Fault::NoReply;
        case ShortEveryOther: return n % 2 ? Fault::Answer : Fault::ShortReply;
        case NineteenFailuresEach: return n % 20 ? Fault::NoReply : Fault::Answer;
        case BusyAtFifth: return n == 5 ? Fault::Busy : Fault::Answer;
        }
        return Fault::Answer;
    };
}

// Sector s of a test image: never 0xFF (erased) nor 0, and unlike any other sector.
QByteArray pattern(int size)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char(1 + (i * 7 + i / 4096 * 13) % 250);
    return data;
}

const quint8 *raw(const QByteArray &b) { return reinterpret_cast<const quint8 *>(b.constData()); }

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestFlashJobs : public QObject {
    Q_OBJECT

private slots:
    // One 4 KB block written at `address`, then read back from there.
    void block_data()
    {
        QTest::addColumn<quint32>("address");
        QTest::addColumn<int>("faults");
        QTest::addColumn<int>("stopAfter");  // nine exchanges write a block, nine read it
        QTest::addColumn<int>("cancelAt");
        QTest::addColumn<int>("written");  // flash::Status of the write, then of the read
        QTest::addColumn<int>("read");
        QTest::addColumn<int>("exchanges");  // -1: not counted
        const int ok = int(flash::Status::Ok), none = int(flash::Status::NoAnswer),
                  stop = int(flash::Status::Cancelled), busy = int(flash::Status::CameraError),
                  refused = int(flash::Status::Refused);
        const int bound = flash::MaxAttempts;
        QTest::newRow("clean") << 0x181000u << int(Clean) << -1 << 0 << ok << ok << 18;
        QTest::newRow("top sector, requests lost") << 0xFFF000u << int(LoseEveryThird) << -1 << 0 << ok << ok << -1;
        QTest::newRow("replies lost") << 0x2000u << int(NoReplyEveryThird) << -1 << 0 << ok << ok << -1;
        QTest::newRow("short replies") << 0x2000u << int(ShortEveryOther) << -1 << 0 << ok << ok << -1;
        QTest::newRow("19 failures per exchange")
            << 0x3000u << int(NineteenFailuresEach) << -1 << 0 << ok << ok << 18 * bound;
        QTest::newRow("silent in the write") << 0x4000u << int(Clean) << 5 << 0 << none << none << 5 + 2 * bound;
        QTest::newRow("silent in the read") << 0x4000u << int(Clean) << 12 << 0 << ok << none << 12 + bound;
        QTest::newRow("cancelled in the write") << 0x4000u << int(NoReplyEveryThird) << -1 << 3 << stop << stop << 3;
        QTest::newRow("busy: not repeated") << 0x4000u << int(BusyAtFifth) << -1 << 0 << busy << ok << 5 + 9;
        QTest::newRow("16 MiB: never sent") << 0x01000000u << int(Clean) << -1 << 0 << refused << refused << 0;
        QTest::newRow("not a sector start: never sent") << 0x1001u << int(Clean) << -1 << 0 << refused << refused << 0;
    }
    void block()
    {
        QFETCH(quint32, address);
        QFETCH(int, faults);
        QFETCH(int, written);
        QFETCH(int, exchanges);
        MemoryCamera cam;
        std::atomic<bool> cancel{false};
        QFETCH(int, stopAfter);
        QFETCH(int, cancelAt);
        plant(cam, faults, stopAfter, cancelAt, [&] { cancel = true; });
        const QByteArray data = pattern(4096);
        QCOMPARE(int(flash::writeFlashBlock(cam, raw(data), address, &cancel).status), written);
        QByteArray back(4096, '\0');
        QTEST(int(flash::readFlashBlock(cam, reinterpret_cast<quint8 *>(back.data()), address, &cancel).status),
              "read");
        if (exchanges >= 0)
            QCOMPARE(cam.exchanges, exchanges);
        const bool ok = written == int(flash::Status::Ok);
        QCOMPARE(cam.flash.mid(int(address & 0xFFFFFF), 4096), ok ? data : QByteArray(4096, char(0xFF)));
        if (ok && cam.stopAfter < 0)
            QCOMPARE(back, data);
    }

    // The parameter job on the 8-sector layout (file version 1.2).
    void paramJob_data()
    {
        QTest::addColumn<QString>("camera");
        QTest::addColumn<int>("faults");
        QTest::addColumn<int>("stopAfter");
        QTest::addColumn<int>("corrupt");  // flash address of a byte that programs wrong
        QTest::addColumn<int>("cancelAt");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("sector");
        QTest::addColumn<QString>("text");  // the box's text contains this
        using R = flash::JobResult;
        QTest::newRow("2.3: verified, requests lost")
            << "2.3" << int(LoseEveryThird) << -1 << -1 << 0 << int(R::Success) << -1 << "Write param success!";
        QTest::newRow("2.1: not verified")
            << "2.1" << int(Clean) << -1 << -1 << 0 << int(R::Done) << -1 << "done: Write param done!";
        QTest::newRow("sector 7 ends wrong") << "2.3" << int(Clean) << -1 << 0x187FFF << 0 << int(R::VerifyError) << 7
                                             << "Verify error(7), please rewrite param before power off!";
        QTest::newRow("silent writing sector 3") << "2.3" << int(Clean) << 9 * 3 + 4 << -1 << 0 << int(R::NoAnswer) << 3
                                                 << "stopped answering while writing sector 3.";
        QTest::newRow("silent reading back sector 4") << "2.3" << int(Clean) << 9 * 8 + 9 * 4 + 3 << -1 << 0
                                                      << int(R::NoAnswer) << 4 << "while reading back sector 4.";
        QTest::newRow("cancelled in sector 2")
            << "2.3" << int(Clean) << -1 << -1 << 20 << int(R::Cancelled) << 2 << "stopped at sector 2.";
        QTest::newRow("busy: ends at once, naming it")
            << "2.3" << int(BusyAtFifth) << -1 << -1 << 0 << int(R::CameraError) << 0
            << "error status 0x8007 (busy) while writing sector 0.";
    }
    void paramJob()
    {
        QFETCH(QString, camera);
        QFETCH(int, faults);
        QFETCH(int, stopAfter);
        QFETCH(int, corrupt);
        QFETCH(int, cancelAt);
        QFETCH(int, result);
        QFETCH(QString, text);
        MemoryCamera cam;
        QTemporaryDir dumps;
        param::ParamFileLoad file;  // as loadParamFile gives it for a file of version 1.2
        file.image = pattern(param::ImageSize);
        file.blocks = {0};
        file.hasFileVersion = true;
        file.fileVersion = "1.2";
        const QByteArray &image = file.image;
        const param::WritePlan plan = param::planWrite(file, true, camera, dumps.path());
        flash::FlashJob job(plan.job);
        plant(cam, faults, stopAfter, cancelAt, [&] { job.cancel(); });
        cam.corruptByte = corrupt;
        const flash::JobOutcome out = job.run(cam);
        QCOMPARE(int(out.result), result);
        QTEST(out.sector, "sector");
        const endings::Ending e = endings::fromOutcome(flash::JobKind::Parameter, out);
        const UserMessage message = endings::message(e);
        QVERIFY2((endings::resultName(e) + ": " + message.text).contains(text), qPrintable(message.text));
        const bool good = result == int(flash::JobResult::Success) || result == int(flash::JobResult::Done);
        QCOMPARE(endings::succeeded(e), good);
        QCOMPARE(message.kind, good ? UserMessage::Kind::Information : UserMessage::Kind::Critical);
        QCOMPARE(message.title, good ? QString("Info") : QString("Error"));
        if (stopAfter >= 0)  // given up after the bound, and nothing sent after
            QCOMPARE(cam.exchanges, stopAfter + flash::MaxAttempts);
        if (faults == BusyAtFifth)  // not repeated
            QCOMPARE(cam.exchanges, 5);
        if (out.result != flash::JobResult::Success && out.result != flash::JobResult::Done &&
            out.result != flash::JobResult::VerifyError)
            return;
        for (int s = -1; s <= 9; ++s)  // sectors 0-7 hold the image; 8 and the neighbours stay erased
            if (s + 0x180 != corrupt >> 12)
                QCOMPARE(cam.sector(0x180 + s),
                         s >= 0 && s < 8 ? image.mid(s * 4096, 4096) : QByteArray(4096, char(0xFF)));
        const bool verified = camera == "2.3";
        QCOMPARE(readAll(dumps.filePath("hexdata.dat")), verified ? image : QByteArray());
        QCOMPARE(readAll(dumps.filePath("data.dat")),
                 verified ? cam.flash.mid(0x180000, param::ImageSize) : QByteArray());
    }

    // The runner: two of three jobs at once; cancelling ends the running ones
    // between exchanges and the waiting one before anything is sent, and idle
    // comes after every ending.
    void runner()
    {
        MemoryCamera cams[3];
        JobRunner runner(2);
        QList<JobReport> reports;
        bool idleAfterAll = false, cancelled = false;
        connect(&runner, &JobRunner::finished, this, [&](const JobReport &r) { reports << r; });
        connect(&runner, &JobRunner::idle, this, [&] { idleAfterAll = reports.size() == 3; });
        connect(&runner, &JobRunner::progress, this, [&] {
            if (!cancelled)
                runner.cancelAll();
            cancelled = true;
        });
        for (MemoryCamera &cam : cams) {
            JobTask task;
            task.access = std::shared_ptr<DeviceAccess>(&cam, [](DeviceAccess *) {});
            task.plan = bitstream::planProgram(pattern(4 * 4096), true);
            task.probeAttempts = 1;
            runner.start(task);
        }
        QTRY_VERIFY_WITH_TIMEOUT(idleAfterAll, 10000);
        std::sort(reports.begin(), reports.end(), [](const JobReport &a, const JobReport &b) { return a.id < b.id; });
        using R = endings::Result;
        QCOMPARE(
            (QList<int>{int(reports[0].ending.result), int(reports[1].ending.result), int(reports[2].ending.result)}),
            (QList<int>{int(R::Cancelled), int(R::Cancelled), int(R::NotStarted)}));
        QVERIFY(cams[0].programmed.size() < 4 && cams[1].programmed.size() < 4);
        QCOMPARE(cams[2].exchanges, 0);
    }

    // The runner around one 4-sector job on a camera with a 1000 ms heartbeat:
    // what the answer to the privilege write leads to, and control given back
    // on every ending but a takeover. Exchanges: 1 probe, 2 heartbeat, 3 the
    // privilege write (and 4, 5 while unanswered), then 9 a sector.
    void control_data()
    {
        QTest::addColumn<int>("answer");      // to the privilege write: 0 taken, a status, or -1 lost
        QTest::addColumn<int>("deniedAt");    // the exchange refused with access denied (0: none)
        QTest::addColumn<bool>("cancel");     // at the first progress
        QTest::addColumn<int>("result");      // endings::Result
        QTest::addColumn<QString>("writes");  // to the privilege register, as the camera got them
        using R = endings::Result;
        QTest::newRow("taken, held, released") << 0 << 0 << false << int(R::Success) << "2 0";
        QTest::newRow("access denied: nothing written") << 0x8006 << 0 << false << int(R::InUse) << "2";
        QTest::newRow("not implemented: as before") << 0x8001 << 0 << false << int(R::Success) << "2";
        QTest::newRow("invalid address: as before") << 0x8003 << 0 << false << int(R::Success) << "2";
        QTest::newRow("busy: as before") << 0x8007 << 0 << false << int(R::Success) << "2";
        QTest::newRow("never arrives: as before") << -1 << 0 << false << int(R::Success) << "";
        QTest::newRow("cancelled: released") << 0 << 0 << true << int(R::Cancelled) << "2 0";
        QTest::newRow("taken over in sector 1: not released") << 0 << 14 << false << int(R::LostControl) << "2";
        QTest::newRow("refused in sector 1, never held: a camera error")
            << 0x8001 << 14 << false << int(R::CameraError) << "2";
    }
    void control()
    {
        QFETCH(int, answer);
        QFETCH(int, deniedAt);
        QFETCH(int, result);
        MemoryCamera cam;
        cam.heartbeatMs = 1000;
        cam.privilegeStatus = quint16(answer < 0 ? 0x8001 : answer);
        cam.fault = [=](int n) {
            return answer < 0 && n >= 3 && n <= 5 ? Fault::Lost : n == deniedAt ? Fault::Denied : Fault::Answer;
        };
        JobRunner runner;
        QList<JobReport> reports;
        connect(&runner, &JobRunner::finished, this, [&](const JobReport &r) { reports << r; });
        QFETCH(bool, cancel);
        if (cancel)
            connect(&runner, &JobRunner::progress, this, [&] { runner.cancelAll(); });
        JobTask task;
        task.access = std::shared_ptr<DeviceAccess>(&cam, [](DeviceAccess *) {});
        task.plan = bitstream::planProgram(pattern(4 * 4096), true);
        task.probeAttempts = 1;
        runner.start(task);
        QTRY_COMPARE_WITH_TIMEOUT(reports.size(), 1, 10000);
        const endings::Ending &e = reports[0].ending;
        QCOMPARE(int(e.result), result);
        QVERIFY(endings::succeeded(e) == (result == int(endings::Result::Success)) &&
                e.changed == !cam.programmed.isEmpty());
        QStringList writes;
        for (quint32 w : cam.privilegeWrites)
            writes << QString::number(w);
        QTEST(writes.join(' '), "writes");
        // Held: no reply awaited longer than a third of the heartbeat allows, then as before.
        const bool held = answer == 0;
        QCOMPARE(cam.replyCaps.size(), held ? 2 : 0);
        if (held)
            QVERIFY(cam.replyCaps[0] > 0 && cam.replyCaps[0] + 2 < 1000 / 3 && cam.replyCaps[1] == 0);
        using R = endings::Result;
        if (result == int(R::InUse))
            QVERIFY(cam.programmed.isEmpty() && cam.controlWords.isEmpty());
        if (result == int(R::Success))
            QCOMPARE(cam.programmed.size(), 4);
        if (deniedAt)  // stopped there
            QVERIFY(e.sector == 1 && cam.programmed.size() == 1);
    }

    void controlWord_data()
    {
        QTest::addColumn<int>("failing");  // first requests lost
        QTest::addColumn<QString>("result");
        QTest::newRow("answered at the third try") << 2 << "done";
        QTest::newRow("never answered") << flash::MaxAttempts << "no-answer";
    }
    void controlWord()
    {
        QFETCH(int, failing);
        MemoryCamera cam;
        cam.fault = [=](int n) { return n <= failing ? Fault::Lost : Fault::Answer; };
        flash::FlashJob job(param::controlWordPlan());
        QTEST(endings::resultName(endings::fromOutcome(flash::JobKind::ControlWord, job.run(cam))), "result");
        QCOMPARE(cam.exchanges, qMin(failing + 1, flash::MaxAttempts));
        QCOMPARE(cam.controlWords, failing < flash::MaxAttempts ? QList<quint32>{0x01343EF5} : QList<quint32>());
        QVERIFY(cam.programmed.isEmpty());
    }

    // The bitstream job on a file of 2 sectors and 77 bytes.
    void bitstreamJob_data()
    {
        QTest::addColumn<QString>("file");     // "ok", "changed" (only what differs), "missing", "huge"
        QTest::addColumn<QString>("version");  // "": no camera selected
        QTest::addColumn<int>("faults");
        QTest::addColumn<int>("stopAfter");
        QTest::addColumn<int>("corrupt");
        QTest::addColumn<int>("cancelAt");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("message");  // "title: text start"; empty: none
        using O = flash::JobResult;
        QTest::newRow("2.3: verified, replies lost")
            << "ok"
            << "2.3" << int(NoReplyEveryThird) << -1 << -1 << 0 << int(O::Success) << "Info: Program success!";
        QTest::newRow("busy: ends at once")
            << "ok"
            << "2.3" << int(BusyAtFifth) << -1 << -1 << 0 << int(O::CameraError)
            << "Error: The camera answered with error status 0x8007 (busy) while programming sector 0.";
        QTest::newRow("1.2: not verified")
            << "ok"
            << "1.2" << int(Clean) << -1 << -1 << 0 << int(O::Done) << "Info: Program done!";
        QTest::newRow("no camera selected")
            << "ok"
            << "" << int(Clean) << -1 << -1 << 0 << int(O::Done) << "Info: Program done!";
        QTest::newRow("last byte programs wrong") << "ok"
                                                  << "2.3" << int(Clean) << -1 << 0x2FFF << 0 << int(O::VerifyError)
                                                  << "Error: Verify error, please reprogram before power off!(2)";
        QTest::newRow("silent programming sector 1")
            << "ok"
            << "2.3" << int(Clean) << 9 + 4 << -1 << 0 << int(O::NoAnswer)
            << "Error: The camera stopped answering while programming sector 1.";
        QTest::newRow("silent verifying sector 1") << "ok"
                                                   << "2.3" << int(Clean) << 27 + 9 + 3 << -1 << 0 << int(O::NoAnswer)
                                                   << "Error: The camera stopped answering while verifying sector 1.";
        QTest::newRow("cancelled") << "ok"
                                   << "2.3" << int(Clean) << -1 << -1 << 12 << int(O::Cancelled)
                                   << "Error: Stopped while programming sector 1. The flash may be incomplete";
        QTest::newRow("cancelled comparing") << "changed"
                                             << "2.3" << int(Clean) << -1 << -1 << 5 << int(O::Cancelled)
                                             << "Error: Stopped while comparing sector 0, before anything";
        QTest::newRow("silent comparing sector 1")
            << "changed"
            << "2.3" << int(Clean) << 9 + 4 << -1 << 0 << int(O::NoAnswer)
            << "Error: The camera stopped answering while comparing sector 1, before anything was programmed;";
        QTest::newRow("cancelled verifying") << "ok"
                                             << "2.3" << int(Clean) << -1 << -1 << 27 + 5 << int(O::Cancelled)
                                             << "Error: Stopped while verifying sector 0. The bitstream was written";
        QTest::newRow("missing file") << "missing"
                                      << "2.3" << int(Clean) << -1 << -1 << 0 << openFailed
                                      << "Info: Open file failed!";
        QTest::newRow("over 16 MiB") << "huge"
                                     << "2.3" << int(Clean) << -1 << -1 << 0 << tooLarge
                                     << "Error: The bitstream file is larger than the camera's 16 MB flash";
    }
    void bitstreamJob()
    {
        QFETCH(QString, file);
        QFETCH(QString, version);
        QFETCH(int, faults);
        QFETCH(int, stopAfter);
        QFETCH(int, corrupt);
        QFETCH(int, cancelAt);
        QFETCH(QString, message);
        MemoryCamera cam;
        cam.corruptByte = corrupt;
        QTemporaryDir dir;
        const QByteArray content = pattern(2 * 4096 + 77);
        QFile f(dir.filePath("cam_101_top.bit"));
        if (file != "missing")
            QVERIFY(f.open(QIODevice::WriteOnly) && (file == "huge" ? f.resize((16 << 20) + 1) : f.write(content) > 0));
        f.close();
        // As the window's worker does it: load, plan by the camera's version, run.
        const bitstream::BitstreamLoad load = bitstream::loadBitstream(f.fileName());
        UserMessage shown;
        int outcome = load.status == bitstream::LoadStatus::OpenFailed ? openFailed : tooLarge;
        if (load.status != bitstream::LoadStatus::Ok) {
            shown = bitstream::loadFailedMessage(load.status);
        } else {
            const bool verify = !version.isEmpty() && FirmwareVersion::fromText(version).canReadBack();
            flash::JobPlan plan = bitstream::planProgram(load.data, verify);
            plan.changedOnly = file == "changed";
            flash::FlashJob job(plan);
            plant(cam, faults, stopAfter, cancelAt, [&] { job.cancel(); });
            const flash::JobOutcome out = job.run(cam);
            outcome = int(out.result);
            shown = endings::message(endings::fromOutcome(flash::JobKind::Bitstream, out));
        }
        QTEST(outcome, "outcome");
        QCOMPARE(shown.isEmpty(), message.isEmpty());
        QVERIFY2(message.isEmpty() || (shown.title + ": " + shown.text).startsWith(message), qPrintable(shown.text));
        if (stopAfter >= 0)
            QCOMPARE(cam.exchanges, stopAfter + flash::MaxAttempts);
        if (faults == BusyAtFifth)  // not repeated
            QCOMPARE(cam.exchanges, 5);
        if (outcome == int(flash::JobResult::Success) || outcome == int(flash::JobResult::Done)) {
            // The file, padded with 0xFF to whole sectors, and nothing after it.
            const QByteArray padded = content + QByteArray(4096 - 77, char(0xFF));
            QCOMPARE(cam.flash.left(4 * 4096), padded + QByteArray(4096, char(0xFF)));
            QCOMPARE(QSet<quint32>(cam.loaded.begin(), cam.loaded.end()).size(),
                     outcome == int(flash::JobResult::Success) ? 3 : 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestFlashJobs)
#include "tst_flashjobs.moc"
