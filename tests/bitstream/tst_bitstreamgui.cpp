// The "FPGA Bit" row through the real window, offscreen, against the
// simulator on loopback: Browse, the refusals before any traffic, the
// endings the lab does not cover, and closing during a job. The camera
// controls must stay disabled from the click until the job has ended.
// Run in a private network namespace: the window broadcasts when built.
#include "boxanswerer.h"
#include "cameracontrols.h"
#include "camsimprocess.h"
#include "devicelink.h"
#include "mainwindow.h"
#include "sendthread.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <cstring>
#include <memory>

class BitstreamGuiTest : public QObject {
    Q_OBJECT
    QTemporaryDir files;
    CamsimProcess sim;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<BoxAnswerer> answerer;

    template <class T>
    T *widget(const char *name) { return window->findChild<T *>(QLatin1String(name)); }

    int controlsState() { return cameraControlsState(window.get()); }

    // A file of `size` bytes (sparse, zeros) named `name`; "" when it failed.
    QString makeFile(const QString &name, qint64 size)
    {
        const QString path = files.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.resize(size) ? path : QString();
    }

    // Starts the simulator and the window with one camera of `version` in
    // the device table, chosen, the channel pointed at the simulator.
    void openWindow(const QString &version, const QStringList &simOptions = {})
    {
        QString error;
        QVERIFY2(sim.start(QStringList{"--version", version} + simOptions, &error), qPrintable(error));
        window.reset(new MainWindow);
        window->show();
        answerer.reset(new BoxAnswerer);
        DeviceLink &link = DeviceLink::instance();
        UdpSocket *slot = link.socketSlot(DeviceLink::MaxSockets - 1);
        const quint8 loopback[4] = {127, 0, 0, 1};
        QVERIFY(slot->open() && slot->bindTo(loopback, 0));
        DeviceRecord record;
        const quint8 mac[6] = {0x02, 0, 0, 0, 0, 0x01};
        std::memcpy(record.mac, mac, 6);
        std::memcpy(record.ip, loopback, 4);
        record.mask[0] = 255;
        qstrncpy(record.deviceVersion, version.toLatin1().constData(), sizeof record.deviceVersion);
        record.ipConfig = 5;
        record.socketSlot = slot;
        record.hostIP = QStringLiteral("127.0.0.1");
        link.devices() = {record};
        window->refreshDeviceList();
        window->channel().deviceAddr.port = sim.port();
        QCOMPARE(widget<QComboBox>("cbDevice")->currentIndex(), 0);
    }

    void clickProgram(const QString &path)
    {
        widget<QLineEdit>("leBitstreamFile")->setText(path);
        widget<QPushButton>("btnProgramBit")->click();
    }

private slots:
    void initTestCase() { QVERIFY(files.isValid()); }
    void cleanup()
    {
        answerer.reset();
        window.reset();
        sim.stop();
        DeviceLink::instance().devices().clear();
    }

    void browse_data()
    {
        QTest::addColumn<QString>("name");     // empty: the dialog is cancelled
        QTest::addColumn<bool>("camera");
        QTest::addColumn<QString>("message");  // empty: no box
        QTest::addColumn<bool>("taken");
        QTest::newRow("accepted") << "Bits/cam_101a_top.bit" << true << "" << true;
        QTest::newRow("capital C") << "bits/Cam_101_top.bit" << true << "File name is not valid!" << false;
        QTest::newRow("four digits") << "bits/cam_1010_top.bit" << true << "File version missed!" << false;
        QTest::newRow("no camera") << "bits/cam_101_top.bit" << false << "" << false;
        QTest::newRow("cancelled") << "" << true << "" << false;
    }
    void browse()
    {
        QFETCH(QString, name);
        QFETCH(bool, camera);
        QFETCH(QString, message);
        QFETCH(bool, taken);
        const QString path = name.isEmpty() ? QString() : makeFile(name, 100);
        openWindow("2.3");
        if (!camera) {
            DeviceLink::instance().devices().clear();
            window->refreshDeviceList();
        }
        auto *field = widget<QLineEdit>("leBitstreamFile");
        field->setText("before");
        answerer->files << path;
        widget<QPushButton>("btnBrowseBit")->click();
        QCOMPARE(answerer->fileDialogs, 1);
        QCOMPARE(answerer->texts(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(field->text(), taken ? path : QStringLiteral("before"));
    }

    // Each is refused with one box, the controls stay enabled, and nothing
    // but the probe reaches the camera.
    void refusedBeforeTraffic_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<qint64>("size");  // -1: the path "ab"
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");  // start of the box text
        QTest::newRow("two-character path") << "2.3" << QStringList() << qint64(-1) << "information"
                                            << "Please select bit file first.";
        QTest::newRow("over 16 MiB") << "2.3" << QStringList() << qint64(16777217) << "critical"
                                     << "The bitstream file is larger than the camera's 16 MB flash";
        QTest::newRow("reaches 0x180000, declined") << "2.3" << QStringList() << qint64(0x180001) << "question"
                                                    << "The bitstream file reaches the camera's parameter area at 0x180000";
        QTest::newRow("3.1 reaches 0x200000, declined") << "3.1" << QStringList() << qint64(0x200001) << "question"
                                                        << "The bitstream file reaches the camera's parameter area at 0x200000";
        QTest::newRow("silent camera") << "2.3" << QStringList{"--stop-after", "0"} << qint64(4096) << "information"
                                       << "Device not exists, please fresh.";
    }
    void refusedBeforeTraffic()
    {
        QFETCH(QString, version);
        QFETCH(QStringList, simOptions);
        QFETCH(qint64, size);
        QFETCH(QString, kind);
        QFETCH(QString, text);
        openWindow(version, simOptions);
        answerer->answers << QMessageBox::No;
        clickProgram(size < 0 ? QStringLiteral("ab") : makeFile("cam_101_top.bit", size));
        QCOMPARE(answerer->boxes.size(), 1);
        QCOMPARE(answerer->boxes[0].kind, kind);
        QVERIFY2(answerer->boxes[0].text.startsWith(text), qPrintable(answerer->boxes[0].text));
        QCOMPARE(controlsState(), 1);
        QTest::qWait(300);
        const QStringList received = sim.logLines("rx ");
        QCOMPARE(received.filter(" ignored (stopped)").size(), received.size());  // only the silent probe
        QCOMPARE(answerer->boxes.size(), 1);
    }

    // The endings the lab runs do not cover: the controls come back after
    // each, and were off at every step.
    void jobEndings_data()
    {
        QTest::addColumn<int>("size");  // -1: a path to no file
        QTest::addColumn<bool>("selected");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("label");
        QTest::newRow("file cannot be opened") << -1 << true << "Open file failed!" << "";
        QTest::newRow("empty file") << 0 << true << "Program success!" << "0/0";
        QTest::newRow("no selected camera") << 3 * 4096 - 100 << false << "Program done!" << "Program 3/3";
    }
    void jobEndings()
    {
        QFETCH(int, size);
        QFETCH(bool, selected);
        QFETCH(QString, text);
        QFETCH(QString, label);
        openWindow("2.3");
        if (!selected)
            widget<QComboBox>("cbDevice")->setCurrentIndex(-1);
        const QString path = size >= 0 ? makeFile("cam_101_top.bit", size) : files.filePath("none/cam_101_top.bit");
        widget<QLabel>("lblProgramProgress")->setText("");
        QList<int> atSteps;
        connect(window->findChild<SendThread *>(), &SendThread::step, window.get(),
                [&](int, bool) { atSteps << controlsState(); });

        clickProgram(path);
        QCOMPARE(controlsState(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!answerer->boxes.isEmpty() && controlsState() == 1, 40000);
        QCOMPARE(answerer->texts(), QStringList{text});
        QCOMPARE(answerer->boxes[0].kind, QStringLiteral("information"));
        QCOMPARE(widget<QLabel>("lblProgramProgress")->text(), label);
        QCOMPARE(atSteps, (size > 0 ? QList<int>{0, 0, 0} : QList<int>()));
        QCOMPARE(sim.countLog("load "), 0);
        const int before = sim.countLog("rx ");
        QTest::qWait(300);
        QCOMPARE(sim.countLog("rx "), before);  // nothing after the end
    }

    // A 3.x camera takes a file past 0x180000 without asking. Closing is
    // asked: declined, the job goes on; confirmed, it stops between
    // exchanges and the window goes without a crash or another box.
    void closeDuringJob()
    {
        openWindow("3.1");
        clickProgram(makeFile("cam_101_top.bit", 0x180001));
        QTRY_VERIFY_WITH_TIMEOUT(sim.countLog("program ") >= 2, 10000);
        QVERIFY(answerer->boxes.isEmpty());

        answerer->answers << QMessageBox::No;
        window->close();
        QCOMPARE(answerer->boxes.size(), 1);
        QCOMPARE(answerer->boxes[0].kind, QStringLiteral("question"));
        QVERIFY(window->isVisible());
        const int programmed = sim.countLog("program ");
        QTRY_VERIFY_WITH_TIMEOUT(sim.countLog("program ") > programmed, 5000);
        QCOMPARE(controlsState(), 0);

        answerer->answers << QMessageBox::Yes;
        window->close();
        window.reset();
        QCOMPARE(answerer->boxes.size(), 2);
        const int atClose = sim.countLog("program ");
        QTest::qWait(400);
        QCOMPARE(sim.countLog("program "), atClose);
        QVERIFY(atClose < 100);
    }
};

QTEST_MAIN(BitstreamGuiTest)
#include "tst_bitstreamgui.moc"
