// Programming through the real window (offscreen) in the network lab: the
// window discovers the simulated cameras over a real interface, one is
// picked in the device list, and 40 sectors go over the wire with the
// simulator's faults. One test function per lab run (tests/lab/bitstream.cmake).
#include "boxanswerer.h"
#include "cameracontrols.h"
#include "devicelink.h"
#include "mainwindow.h"
#include "sendthread.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <memory>
#include <signal.h>

namespace {
constexpr int Sectors = 40;
constexpr int FileSize = Sectors * 4096 - 1234;  // not a whole number of sectors

QByteArray pattern()
{
    QByteArray data(FileSize, '\0');
    for (int i = 0; i < FileSize; ++i)
        data[i] = char((i * 29 + (i >> 12) * 11 + 3) % 239);
    return data;
}
}  // namespace

class BitstreamLabTest : public QObject {
    Q_OBJECT
    QString labDir;
    QTemporaryDir files;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<BoxAnswerer> answerer;
    QList<int> controlsAtSteps;

    template <class T>
    T *widget(const char *name) { return window->findChild<T *>(QLatin1String(name)); }

    int controlsState() { return cameraControlsState(window.get()); }

    // Log lines of `camera` starting with `prefix`; distinct ones only when
    // asked (a command whose reply was lost is sent, and logged, again).
    int countLog(const QString &camera, const QString &prefix, bool distinct = false)
    {
        QFile f(labDir + "/" + camera + ".log");
        if (!f.open(QIODevice::ReadOnly))
            return -1;
        QStringList lines = QString::fromLatin1(f.readAll()).split('\n').filter(QRegularExpression("^" + prefix));
        if (distinct)
            lines.removeDuplicates();
        return lines.size();
    }

    QByteArray dumpFlash(const QString &camera)
    {
        const QString flashPath = labDir + "/" + camera + ".flash";
        QFile pidFile(labDir + "/" + camera + ".pid");
        QFile::remove(flashPath);
        if (!pidFile.open(QIODevice::ReadOnly) || ::kill(pid_t(pidFile.readAll().trimmed().toLongLong()), SIGUSR1) != 0)
            return {};
        for (QDeadlineTimer deadline(15000); !deadline.hasExpired(); QThread::msleep(50)) {
            QFile f(flashPath);  // renamed into place whole
            if (f.size() == 16777216 && f.open(QIODevice::ReadOnly))
                return f.readAll();
        }
        return {};
    }

    // Picks the discovered camera named `camera`, programs the test file and
    // waits for the job to end with one box of `kind` starting with `text`.
    void program(const QString &camera, const QString &kind, const QString &text)
    {
        const QList<DeviceRecord> devices = DeviceLink::instance().devices();
        int index = -1;
        for (int i = 0; i < devices.size(); ++i)
            index = QString::fromLatin1(devices[i].userDefinedName) == camera ? i : index;
        QVERIFY2(index >= 0, qPrintable("camera not discovered: " + camera));
        widget<QComboBox>("cbDevice")->setCurrentIndex(index);
        const QString path = files.filePath("cam_101_top.bit");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(pattern()) == FileSize);
        f.close();
        widget<QLineEdit>("leBitstreamFile")->setText(path);
        QElapsedTimer timer;
        timer.start();
        widget<QPushButton>("btnProgramBit")->click();
        QCOMPARE(controlsState(), 0);
        // The job's own bound (some seconds of silence) ends it well within this.
        QTRY_VERIFY_WITH_TIMEOUT(!answerer->boxes.isEmpty() && controlsState() == 1, 55000);
        qInfo() << camera << "job ended after" << timer.elapsed() << "ms";
        QCOMPARE(answerer->boxes.size(), 1);
        QCOMPARE(answerer->boxes[0].kind, kind);
        QVERIFY2(answerer->boxes[0].text.startsWith(text), qPrintable(answerer->boxes[0].text));
        QVERIFY(!controlsAtSteps.isEmpty() && controlsAtSteps.count(0) == controlsAtSteps.size());
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
        answerer.reset(new BoxAnswerer);
        connect(window->findChild<SendThread *>(), &SendThread::step, this,
                [this](int, bool) { controlsAtSteps << controlsState(); });
        QVERIFY(DeviceLink::instance().devices().size() >= 1);
    }
    void cleanupTestCase()
    {
        answerer.reset();
        window.reset();
    }

    // 5% of replies dropped: the flash holds the file and its padding.
    void success()
    {
        program("lossy", "information", "Program success!");
        QCOMPARE(widget<QLabel>("lblProgramProgress")->text(), QStringLiteral("Verify %1/%1").arg(Sectors));
        QCOMPARE(widget<QProgressBar>("progressBar")->value(), 100);
        QCOMPARE(controlsAtSteps.size(), 2 * Sectors);
        QCOMPARE(countLog("lossy", "program ", true), Sectors);
        QCOMPARE(countLog("lossy", "load ", true), Sectors);
        QVERIFY(countLog("lossy", "fault drop") > 0);
        const QByteArray flash = dumpFlash("lossy");
        QCOMPARE(flash.size(), 16777216);
        QVERIFY(flash == pattern() + QByteArray(16777216 - FileSize, char(0xFF)));
        QCOMPARE(countLog("older", "program "), 0);  // only the chosen camera
    }

    void doneWithoutReadBack()
    {
        program("older", "information", "Program done!");
        QCOMPARE(widget<QLabel>("lblProgramProgress")->text(), QStringLiteral("Program %1/%1").arg(Sectors));
        QCOMPARE(countLog("older", "program "), Sectors);
        QCOMPARE(countLog("older", "load "), 0);
    }

    void verifyError()
    {
        program("faulty", "critical", "Verify error, please reprogram before power off!(2)");
        QCOMPARE(answerer->boxes[0].title, QStringLiteral("Error"));
        QCOMPARE(countLog("faulty", "load "), 3);  // nothing read after the difference
        QCOMPARE(widget<QLabel>("lblProgramProgress")->text(), QStringLiteral("Verify 2/%1").arg(Sectors));
    }

    // Quiet half way: the job gives up on its own and names the sector.
    void stopsAnswering()
    {
        program("quiet", "critical", "The camera stopped answering while programming sector ");
        const QString text = answerer->boxes[0].text;
        const int sector = text.section(' ', 7, 7).remove('.').toInt();
        QVERIFY2(sector >= 10 && sector < 30 && text.contains("The flash may be incomplete"), qPrintable(text));
        QCOMPARE(countLog("quiet", "program "), sector);
        QCOMPARE(countLog("quiet", "load "), 0);
    }
};

QTEST_MAIN(BitstreamLabTest)
#include "tst_bitstreamlab.moc"
