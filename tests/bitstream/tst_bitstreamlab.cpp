// Programming through the real window (offscreen) in the network lab: the
// window discovers the simulated cameras over a real interface, the camera
// is picked in the device list, and the bitstream goes over the wire with
// the simulator's faults. One test function per lab run (see
// tests/lab/bitstream.cmake); LAB_DIR names the lab's files.
#include "dialoganswerer.h"
#include "devicelink.h"
#include "mainwindow.h"
#include "sendthread.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <memory>
#include <signal.h>

namespace {

constexpr int Sectors = 40;
constexpr int FileSize = Sectors * 4096 - 1234;  // not a whole number of sectors

QByteArray pattern(int size)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 29 + (i >> 12) * 11 + 3) % 239);
    return data;
}

}  // namespace

class BitstreamLabTest : public QObject {
    Q_OBJECT

private:
    QString labDir;
    QTemporaryDir files;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<DialogAnswerer> answerer;
    QList<int> controlsAtSteps;

    template <class T>
    T *widget(const char *name) { return window->findChild<T *>(QLatin1String(name)); }

    int controlsState()
    {
        const char *names[] = {"btnRefresh", "btnWriteSPI", "btnProgramBit",
                               "btnForceIp", "btnIPConfig", "cbDevice"};
        int enabled = 0;
        for (const char *name : names)
            enabled += widget<QWidget>(name)->isEnabled() ? 1 : 0;
        return enabled == 6 ? 1 : enabled == 0 ? 0 : -1;
    }

    QStringList camLog(const QString &camera)
    {
        QFile file(labDir + "/" + camera + ".log");
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    // Distinct lines: a command whose reply was lost is sent, and logged, again.
    int distinctLog(const QString &camera, const QString &prefix)
    {
        QSet<QString> seen;
        for (const QString &line : camLog(camera))
            if (line.startsWith(prefix))
                seen.insert(line);
        return seen.size();
    }
    int countLog(const QString &camera, const QString &prefix)
    {
        int n = 0;
        for (const QString &line : camLog(camera))
            n += line.startsWith(prefix) ? 1 : 0;
        return n;
    }

    QByteArray dumpFlash(const QString &camera)
    {
        const QString flashPath = labDir + "/" + camera + ".flash";
        QFile pidFile(labDir + "/" + camera + ".pid");
        if (!pidFile.open(QIODevice::ReadOnly))
            return {};
        const pid_t pid = pid_t(pidFile.readAll().trimmed().toLongLong());
        QFile::remove(flashPath);
        if (pid <= 0 || ::kill(pid, SIGUSR1) != 0)
            return {};
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 15000) {
            if (QFileInfo(flashPath).size() == 16777216) {  // renamed into place whole
                QFile file(flashPath);
                if (file.open(QIODevice::ReadOnly))
                    return file.readAll();
            }
            QThread::msleep(50);
        }
        return {};
    }

    // Chooses the discovered camera whose user name is `camera`.
    void select(const QString &camera)
    {
        const QList<DeviceRecord> devices = DeviceLink::instance().devices();
        int index = -1;
        for (int i = 0; i < devices.size(); ++i) {
            if (QString::fromLatin1(devices[i].userDefinedName) == camera)
                index = i;
        }
        QVERIFY2(index >= 0, qPrintable("camera not discovered: " + camera));
        widget<QComboBox>("cbDevice")->setCurrentIndex(index);
        QCOMPARE(widget<QComboBox>("cbDevice")->currentIndex(), index);
    }

    // Programs the test file into `camera` and waits for the one box that
    // ends the job; returns the elapsed milliseconds.
    qint64 program(const QString &camera, const QByteArray &data)
    {
        select(camera);
        const QString path = files.filePath("cam_101_top.bit");
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size())
            return -1;
        file.close();
        widget<QLineEdit>("leBitstreamFile")->setText(path);
        QElapsedTimer timer;
        timer.start();
        widget<QPushButton>("btnProgramBit")->click();
        if (controlsState() != 0)
            return -1;
        // The job's own bound (about ten seconds of silence) ends it well
        // within this wait.
        for (int waited = 0; waited < 55000; waited += 50) {
            if (!answerer->boxes.isEmpty() && controlsState() == 1)
                break;
            QTest::qWait(50);
        }
        qInfo() << camera << "job ended after" << timer.elapsed() << "ms";
        return timer.elapsed();
    }

    void expectEnd(const QString &kind, const QString &textStart)
    {
        QCOMPARE(answerer->boxes.size(), 1);
        QCOMPARE(answerer->boxes[0].kind, kind);
        QVERIFY2(answerer->boxes[0].text.startsWith(textStart),
                 qPrintable(answerer->boxes[0].text));
        QCOMPARE(controlsState(), 1);
        QVERIFY(!controlsAtSteps.contains(1) && !controlsAtSteps.contains(-1));
    }

private slots:
    void initTestCase()
    {
        labDir = qEnvironmentVariable("LAB_DIR");
        if (labDir.isEmpty())
            QSKIP("runs only inside scripts/lab (LAB_DIR is not set)");
        QVERIFY(files.isValid());
        window.reset(new MainWindow);
        window->show();
        answerer.reset(new DialogAnswerer);
        auto *worker = window->findChild<SendThread *>();
        QVERIFY(worker);
        connect(worker, &SendThread::step, this, [this](int, bool) {
            controlsAtSteps << controlsState();
        });
        QVERIFY(DeviceLink::instance().devices().size() >= 1);
    }

    void cleanupTestCase()
    {
        answerer.reset();
        window.reset();
    }

    // 5% of replies dropped, a camera that verifies: the flash holds the
    // file and its padding, byte for byte.
    void success()
    {
        const QByteArray data = pattern(FileSize);
        QVERIFY(program("lossy", data) > 0);
        expectEnd("information", "Program success!");
        QCOMPARE(widget<QLabel>("lblProgramProgress")->text(),
                 QStringLiteral("Verify %1/%1").arg(Sectors));
        QCOMPARE(widget<QProgressBar>("progressBar")->value(), 100);
        QCOMPARE(controlsAtSteps.size(), 2 * Sectors);
        QCOMPARE(distinctLog("lossy", "load "), Sectors);
        QCOMPARE(distinctLog("lossy", "program "), Sectors);
        QVERIFY(countLog("lossy", "fault drop") > 0);

        const QByteArray flash = dumpFlash("lossy");
        QCOMPARE(flash.size(), 16777216);
        const QByteArray expected = data + QByteArray(Sectors * 4096 - FileSize, char(0xFF));
        QVERIFY(flash.left(Sectors * 4096) == expected);
        QVERIFY(flash.mid(Sectors * 4096) == QByteArray(16777216 - Sectors * 4096, char(0xFF)));
        // Only the chosen camera was programmed.
        QCOMPARE(countLog("older", "program "), 0);
    }

    void doneWithoutReadBack()
    {
        QVERIFY(program("older", pattern(FileSize)) > 0);
        expectEnd("information", "Program done!");
        QCOMPARE(widget<QLabel>("lblProgramProgress")->text(),
                 QStringLiteral("Program %1/%1").arg(Sectors));
        QCOMPARE(countLog("older", "program "), Sectors);
        QCOMPARE(countLog("older", "load "), 0);
    }

    void verifyError()
    {
        QVERIFY(program("faulty", pattern(FileSize)) > 0);
        expectEnd("critical", "Verify error, please reprogram before power off!(2)");
        QCOMPARE(answerer->boxes[0].title, QStringLiteral("Error"));
        // Sectors 0 to 2 were read back, nothing after the difference.
        QCOMPARE(countLog("faulty", "load "), 3);
        QCOMPARE(widget<QLabel>("lblProgramProgress")->text(), QStringLiteral("Verify 2/%1").arg(Sectors));
    }

    // The camera goes quiet half way: the job gives up on its own and says
    // which sector was being programmed.
    void stopsAnswering()
    {
        QVERIFY(program("quiet", pattern(FileSize)) > 0);
        expectEnd("critical", "The camera stopped answering while programming sector ");
        const QString text = answerer->boxes[0].text;
        const int sector = text.section(' ', 7, 7).remove('.').toInt();
        QVERIFY2(sector >= 10 && sector < 30, qPrintable(text));
        QVERIFY(text.contains("The flash may be incomplete"));
        QCOMPARE(countLog("quiet", "program "), sector);
        QCOMPARE(countLog("quiet", "load "), 0);
    }
};

QTEST_MAIN(BitstreamLabTest)
#include "tst_bitstreamlab.moc"
