// The window offscreen: what the slots rely on in the form, message boxes, the
// job lock, closing and teardown, the device panel, and the IP panel on the
// wire. Run in a private network namespace: the window's own discovery then
// finds nothing, and the tests fill the device table themselves.
#include "boxanswerer.h"
#include "cameracontrols.h"
#include "buildstamp.h"
#include "devicelink.h"
#include "ipv4address.h"
#include "logcapture.h"
#include "mainwindow.h"
#include "sendthread.h"
#include "udpsocket.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTextEdit>
#include <QtTest>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

struct MainWindowTestPeer {
    static void setCameraControlsEnabled(MainWindow &w, bool on) { w.setCameraControlsEnabled(on); }
    static bool jobCancel(MainWindow &w) { return w.jobCancel; }
    static SendThread *worker(MainWindow &w) { return w.sendThread; }
};

// How many connections sit on a signal of `object` (SIGNAL(...) text).
struct SignalReceivers : QObject {
    static int count(QObject *object, const char *signal)
    {
        int (QObject::*receivers)(const char *) const = &SignalReceivers::receivers;
        return (object->*receivers)(signal);
    }
};

namespace {

void copyText(char *field, int width, const QByteArray &text)
{
    std::memset(field, 0, size_t(width));
    std::memcpy(field, text.constData(), size_t(qMin(width - 1, text.size())));
}

// A device record as discovery makes it, MAC 00:11:22:33:44:<mac>.
DeviceRecord record(const QString &ip, const QString &mask, const QString &gateway, const QString &hostIP,
                    const QByteArray &serial = "AB1234", int ipConfig = 5, quint8 mac = 0xaa,
                    UdpSocket *socket = nullptr)
{
    DeviceRecord r;
    const quint8 address[6] = {0x00, 0x11, 0x22, 0x33, 0x44, mac};
    std::memcpy(r.mac, address, 6);
    if (!parseIPv4(ip, r.ip) || !parseIPv4(mask, r.mask) || !parseIPv4(gateway, r.gateway))
        qFatal("bad test address");
    r.ipConfig = ipConfig;
    copyText(r.manufacturerName, 33, "Acme Imaging");
    copyText(r.modelName, 33, "GX-1000");
    copyText(r.deviceVersion, 33, "2.3");
    copyText(r.serialNumber, 17, serial);
    copyText(r.userDefinedName, 17, "line 4");
    r.hostIP = hostIP;
    r.socketSlot = socket;
    return r;
}

// The window's socket and a "camera" socket standing in for the broadcast
// address, both on loopback. The camera records every datagram and, when
// asked to, acknowledges it.
class LoopbackCamera {
public:
    explicit LoopbackCamera(bool answer)
    {
        const quint8 loopback[4] = {127, 0, 0, 1};
        for (UdpSocket *s : {&hostSocket, &cameraSocket})
            s->open(), s->bindTo(loopback, 0);
        thread_ = std::thread([this, answer] {
            char b[2048];
            while (!stop_) {
                SocketAddress from;
                const int n = cameraSocket.receive(b, sizeof b, 20, &from);
                if (n < 8)
                    continue;
                QMutexLocker lock(&mutex_);
                got_ << QByteArray(b, n);
                const quint8 ack[8] = {0, 0, 0, 5, 0, 0, quint8(b[6]), quint8(b[7])};
                if (answer)
                    cameraSocket.sendTo(ack, sizeof ack, from);
            }
        });
    }
    ~LoopbackCamera()
    {
        stop_ = true;
        thread_.join();
    }
    QByteArrayList received()  // once nothing more arrived for a moment
    {
        QTest::qWait(200);
        QMutexLocker lock(&mutex_);
        return got_;
    }
    UdpSocket hostSocket, cameraSocket;

private:
    std::thread thread_;
    std::atomic<bool> stop_{false};
    QMutex mutex_;
    QByteArrayList got_;
};

const QByteArray Z12 = "000000000000000000000000";  // 12 zero bytes
const char *const Zero = "00000000";

// FORCEIP to MAC 00:11:22:33:44:55: header, reserved, MAC, then ip, mask,
// gateway, each after 12 reserved bytes.
QByteArray forceIp(const char *ip, const char *mask, const char *gateway)
{
    return QByteArray::fromHex("4201000400380001" "0000001122334455" + Z12 + ip + Z12 + mask + Z12 + gateway);
}

// IPCONFIG: header, reserved, MAC, configuration word, then ip, mask and
// gateway after 12 reserved bytes each, and 16 reserved bytes.
QByteArray ipConfig(const char *mode, const char *ip, const char *mask, const char *gateway)
{
    return QByteArray::fromHex("42118004004cffff" "0000001122334455" "000000" + QByteArray(mode) + Z12 + ip
                               + Z12 + mask + Z12 + gateway + Z12 + "00000000");
}

}  // namespace

class WindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<LogCapture> constructionLog;
    std::unique_ptr<MainWindow> window;
    UdpSocket slot0, slot1;  // identities only

    template <class T = QWidget>
    T *child(const QString &name) { return window->findChild<T *>(name); }
    QString text(const QString &name)
    {
        return child(name)->property(child<QTextEdit>(name) ? "plainText" : "text").toString();
    }
    QString fields() { return text("leIP") + ' ' + text("leMask") + ' ' + text("leGateway"); }
    void setFields(const QString &ip, const QString &mask, const QString &gateway)
    {
        child<QLineEdit>("leIP")->setText(ip);
        child<QLineEdit>("leMask")->setText(mask);
        child<QLineEdit>("leGateway")->setText(gateway);
    }
    bool checked(const QString &name) { return child<QAbstractButton>(name)->isChecked(); }
    bool warned() { return !child("lblWarn")->isHidden(); }
    void click(const QString &button) { QTest::mouseClick(child<QAbstractButton>(button), Qt::LeftButton); }
    void setDevices(const QList<DeviceRecord> &records)
    {
        DeviceLink::instance().devices() = records;
        window->refreshDeviceList();
    }
    void selectLoopback(LoopbackCamera &camera, const QString &hostIP = "127.0.0.1")
    {
        setDevices({record("192.0.2.10", "255.255.255.0", "192.0.2.254", hostIP, "LB1", 5, 0x55, &camera.hostSocket)});
        // The IP commands are broadcast; here the camera socket stands in.
        window->channel().broadcastAddr = camera.cameraSocket.localAddress();
    }

private slots:
    void init()
    {
        DeviceLink::instance().devices().clear();
        constructionLog = std::make_unique<LogCapture>();
        window = std::make_unique<MainWindow>();
    }
    void cleanup()
    {
        window.reset();
        constructionLog.reset();
        DeviceLink::instance().devices().clear();
    }

    void startState()
    {
        QCOMPARE(window->windowTitle(), QStringLiteral("Orvanta"));
        // The input masks must read back the start texts as plain addresses.
        QCOMPARE(fields(), QStringLiteral("192.168.2.14 255.255.255.0 192.168.2.1"));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(child("lblWarn")->isVisible());
        QCOMPARE(child<QLabel>("lblWarn")->pixmap(Qt::ReturnByValue).size(), QSize(64, 64));
        QStringList status;
        for (QLabel *l : window->statusBar()->findChildren<QLabel *>())
            status << l->text();
        QVERIFY(status.contains(versionLabelText(buildStamp())));
    }

    void slotsConnectedByName()
    {
        // Exactly the two slots with no button in the form stay unconnected.
        QCOMPARE(constructionLog->startingWith("QMetaObject::connectSlotsByName"), (QStringList{
            "QMetaObject::connectSlotsByName: No matching signal for on_btnWrite_clicked()",
            "QMetaObject::connectSlotsByName: No matching signal for on_btnClean_clicked()"}));
        for (const char *name : {"btnRefresh", "btnForceIp", "btnIPConfig", "btnRandomIP", "btnBrowse",
                                 "btnWriteSPI", "btnBrowseBit", "btnProgramBit"})
            QVERIFY2(SignalReceivers::count(child(name), SIGNAL(clicked())) >= 1, name);
        QVERIFY(SignalReceivers::count(child("cbDevice"), SIGNAL(currentIndexChanged(int))) >= 1);
    }

    void workerMessageBoxKind_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("kind");
        QTest::newRow("Error") << "Error" << "critical";
        QTest::newRow("error") << "error" << "information";
        QTest::newRow("Info") << "Info" << "information";
    }
    void workerMessageBoxKind()
    {
        // The worker's messages, emitted on its thread, are queued to showMsg.
        QFETCH(QString, title);
        SendThread *worker = MainWindowTestPeer::worker(*window);
        QVERIFY(worker && worker->isRunning());
        BoxAnswerer answerer;
        std::thread([&] { emit worker->msg(title, "Program done!"); }).join();
        QTRY_COMPARE(answerer.texts(), QStringList{"Program done!"});
        const BoxAnswerer::Box box = answerer.boxes.first();
        QCOMPARE(box.title, title);
        QTEST(box.kind, "kind");
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(box.parent, static_cast<QWidget *>(window.get()));
    }

    void jobLocksCameraControls()
    {
        const QStringList &locked = cameraControlNames();
        const QStringList free{"btnBrowse", "btnBrowseBit", "btnRandomIP", "leIP", "leParamHexFile"};
        for (bool on : {false, true}) {
            MainWindowTestPeer::setCameraControlsEnabled(*window, on);
            QCOMPARE(window->jobRunning(), !on);
            for (const QString &n : locked)
                QVERIFY2(child(n)->isEnabled() == on, qPrintable(n));
            for (const QString &n : free)
                QVERIFY2(child(n)->isEnabled(), qPrintable(n));
        }
    }

    void closeWindow_data()
    {
        QTest::addColumn<bool>("job");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closes");
        QTest::newRow("idle: no question") << false << int(QMessageBox::No) << true;
        QTest::newRow("job, No keeps the window") << true << int(QMessageBox::No) << false;
        QTest::newRow("job, Yes cancels and closes") << true << int(QMessageBox::Yes) << true;
    }
    void closeWindow()
    {
        QFETCH(bool, job);
        QFETCH(int, answer);
        QFETCH(bool, closes);
        window->show();
        if (job)
            MainWindowTestPeer::setCameraControlsEnabled(*window, false);
        BoxAnswerer answerer{QMessageBox::StandardButton(answer)};
        QCOMPARE(window->close(), closes);
        QCOMPARE(window->isVisible(), !closes);
        QCOMPARE(MainWindowTestPeer::jobCancel(*window), job && closes);
        QCOMPARE(answerer.boxes.size(), job ? 1 : 0);
        if (job) {
            QCOMPARE(answerer.boxes[0].buttons, QMessageBox::Yes | QMessageBox::No);
            QVERIFY(answerer.boxes[0].text.contains("programming job is running"));
        }
    }

    void teardownStopsWorker()
    {
        QPointer<SendThread> worker = MainWindowTestPeer::worker(*window);
        QVERIFY(worker->isRunning());
        QStringList events;
        QMutex lock;
        auto note = [&](const char *e) { QMutexLocker l(&lock); events << e; };
        connect(worker.data(), &QThread::finished, this, [&] { note("finished"); }, Qt::DirectConnection);
        connect(worker.data(), &QObject::destroyed, this, [&] { note("destroyed"); }, Qt::DirectConnection);
        LogCapture log;
        window.reset();
        QVERIFY(worker.isNull());
        // The worker left its loop before the window let go of it.
        QCOMPARE(events, (QStringList{"finished", "destroyed"}));
        QVERIFY(log.contains("thread end"));
    }

    void subnetWarning_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("hostIP");
        QTest::addColumn<bool>("warn");
        QTest::newRow("other subnet") << "192.168.3.14" << "255.255.255.0" << "192.168.2.10" << true;
        QTest::newRow("same subnet") << "192.168.2.14" << "255.255.255.0" << "192.168.2.10" << false;
        QTest::newRow("first octet differs") << "10.168.2.14" << "255.255.255.0" << "192.168.2.10" << true;
        QTest::newRow("mask .128: fourth octet not compared") << "192.168.2.200" << "255.255.255.128" << "192.168.2.10" << false;
        QTest::newRow("mask 0.0.0.0 never warns") << "10.1.2.3" << "0.0.0.0" << "192.168.2.10" << false;
        QTest::newRow("camera's mask on both sides") << "192.168.2.14" << "255.255.252.0" << "192.168.3.10" << false;
    }
    void subnetWarning()
    {
        QFETCH(QString, ip);
        QFETCH(QString, mask);
        QFETCH(QString, hostIP);
        QFETCH(bool, warn);
        // Start from the opposite state, so that each outcome is really set.
        setDevices({record(warn ? "192.0.2.5" : "198.51.100.5", "255.255.255.0", "0.0.0.0", "192.0.2.1")});
        QCOMPARE(warned(), !warn);
        setDevices({record(ip, mask, "0.0.0.0", hostIP)});
        QCOMPARE(warned(), warn);
        QCOMPARE(child("gbIPConfig")->styleSheet(), warn ? QStringLiteral("color: indianred") : QString());
    }

    void modeButtons_data()
    {
        QTest::addColumn<int>("ipConfig");
        QTest::addColumn<QString>("button");
        QTest::newRow("persistent") << 1 << "rbIPConfigStatic";
        QTest::newRow("persistent + LLA") << 5 << "rbIPConfigStatic";
        QTest::newRow("DHCP") << 2 << "rbIPConfigDHCP";
        QTest::newRow("DHCP + LLA") << 6 << "rbIPConfigDHCP";
        QTest::newRow("LLA only") << 4 << "rbIPConfigLLA";
        QTest::newRow("nothing") << 0 << "rbIPConfigLLA";
        QTest::newRow("signed byte 0x85") << -123 << "rbIPConfigStatic";
    }
    void modeButtons()
    {
        QFETCH(int, ipConfig);
        QFETCH(QString, button);
        for (const char *start : {"rbIPConfigStatic", "rbIPConfigDHCP", "rbIPConfigLLA"}) {
            child<QAbstractButton>(start)->setChecked(true);
            setDevices({record("192.168.2.14", "255.255.255.0", "192.168.2.1", "192.168.2.10", "A", ipConfig)});
            QVERIFY2(checked(button), start);
        }
    }

    void namesWithOddCharacters()
    {
        LogCapture log;
        DeviceRecord r = record("192.168.2.14", "255.255.255.0", "192.168.2.1", "192.168.2.10",
                                QByteArray("SN-00 42\xc3\xa9"));
        copyText(r.manufacturerName, 33, "<b>Acme</b> & Co");
        std::memset(r.modelName, 'M', 32);  // filled its 32 bytes: no terminating zero on the wire
        r.modelName[32] = 0;
        setDevices({r, record("10.0.0.7", "255.0.0.0", "0.0.0.0", "10.0.0.1", "", 4, 0x00)});
        // Labels keep letters and digits of the serial only.
        QCOMPARE(log.startingWith("Camera "), (QStringList{"Camera 192.168.2.14:SN0042:0011223344aa",
                                                            "Camera 10.0.0.7::001122334400"}));
        QCOMPARE(child<QComboBox>("cbDevice")->itemText(0), QStringLiteral("192.168.2.14:SN0042:0011223344aa"));
        const QString info = text("teCamInfo");
        QVERIFY(info.contains(QStringLiteral("serialNumber SN-00 42\u00e9\n")));
        QVERIFY(info.contains("manufacturerName <b>Acme</b> & Co\n"));  // as written, not as markup
        QVERIFY(info.contains("modelName " + QString(32, 'M') + "\ndeviceVersion"));
    }

    void emptyRefreshKeepsFields()
    {
        setDevices({record("192.168.3.14", "255.255.255.0", "192.168.3.1", "192.168.2.10", "A", 4, 1, &slot0)});
        QVERIFY(warned());
        setDevices({});
        QCOMPARE(child<QComboBox>("cbDevice")->count(), 0);
        QCOMPARE(text("teCamInfo"), QString());
        QCOMPARE(fields(), QStringLiteral("192.168.3.14 255.255.255.0 192.168.3.1"));
        QVERIFY(checked("rbIPConfigLLA"));
        QVERIFY(warned());
        QCOMPARE(text("lblHostIP"), QStringLiteral("192.168.2.10"));
        QCOMPARE(window->channel().deviceSocket, &slot0);
        DeviceRecord none;
        QVERIFY(!window->selectedRecord(none));
    }

    void selectionSurvivesBadIndexAndRefills()
    {
        auto *cb = child<QComboBox>("cbDevice");
        const int receivers = SignalReceivers::count(cb, SIGNAL(currentIndexChanged(int)));
        for (int i = 0; i < 3; ++i)
            setDevices({record("192.168.2.14", "255.255.255.0", "192.168.2.1", "192.168.2.10", "A", 5, 1, &slot0),
                        record("192.168.2.15", "255.255.255.0", "192.168.2.1", "192.168.2.10", "B", 5, 2, &slot1)});
        // The refill disconnects and reconnects the selection: never twice.
        QCOMPARE(SignalReceivers::count(cb, SIGNAL(currentIndexChanged(int))), receivers);
        const QString info = text("teCamInfo");
        for (int index : {-1, 2, 1000}) {
            QVERIFY(QMetaObject::invokeMethod(window.get(), "on_cbDevice_currentIndexChanged", Q_ARG(int, index)));
            QCOMPARE(text("teCamInfo"), info);
            QCOMPARE(window->channel().deviceSocket, &slot0);
        }
        cb->setCurrentIndex(1);
        QCOMPARE(window->channel().deviceSocket, &slot1);
        cb->setCurrentIndex(0);
        QCOMPARE(window->channel().deviceSocket, &slot0);
    }

    void ipCommandsOnTheWire_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("ip");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<QByteArrayList>("sent");
        QTest::addColumn<QStringList>("boxes");
        const QByteArray restart = forceIp(Zero, Zero, Zero);
        // Leading zeros are decimal: 014 is fourteen, 010 ten, not octal.
        QTest::newRow("Force IP") << "btnForceIp" << "rbIPConfigDHCP" << "192.168.002.014" << true
            << QByteArrayList{forceIp("c0a8020e", "ffffff80", "0a00000a")} << QStringList();
        QTest::newRow("IP Config Static") << "btnIPConfig" << "rbIPConfigStatic" << "192.168.002.014" << true
            << QByteArrayList{ipConfig("05", "c0a8020e", "ffffff80", "0a00000a"), restart} << QStringList();
        // DHCP and LLA carry no addresses, so their fields are not even looked at.
        QTest::newRow("IP Config DHCP") << "btnIPConfig" << "rbIPConfigDHCP" << "192.168..14" << true
            << QByteArrayList{ipConfig("06", Zero, Zero, Zero), restart} << QStringList();
        QTest::newRow("IP Config LLA") << "btnIPConfig" << "rbIPConfigLLA" << "999.1.1.1" << true
            << QByteArrayList{ipConfig("04", Zero, Zero, Zero), restart} << QStringList();
        QTest::newRow("Force IP unanswered") << "btnForceIp" << "rbIPConfigDHCP" << "192.168.2.14" << false
            << QByteArrayList{forceIp("c0a8020e", "ffffff80", "0a00000a")} << QStringList{"ForceIP failed."};
        // The restart is still sent: it awaits no answer.
        QTest::newRow("IP Config unanswered") << "btnIPConfig" << "rbIPConfigDHCP" << "192.168.2.14" << false
            << QByteArrayList{ipConfig("06", Zero, Zero, Zero), restart} << QStringList{"IP configure failed."};
    }
    void ipCommandsOnTheWire()
    {
        QFETCH(QString, button);
        QFETCH(QString, mode);
        QFETCH(QString, ip);
        QFETCH(bool, answered);
        LoopbackCamera camera(answered);
        selectLoopback(camera);
        setFields(ip, "255.255.255.128", "010.000.000.010");
        child<QAbstractButton>(mode)->setChecked(true);
        BoxAnswerer answerer;
        click(button);
        QTEST(camera.received(), "sent");
        QTEST(answerer.texts(), "boxes");
        for (const BoxAnswerer::Box &box : answerer.boxes)
            QCOMPARE(box.title, QStringLiteral("Error"));
    }

    void ipCommandRefusedSendsNothing_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        const QString tail = " is not a valid IPv4 address (four numbers 0-255 separated by dots).";
        for (const char *button : {"btnForceIp", "btnIPConfig"}) {
            const QByteArray b(button);
            QTest::newRow(b + " empty group") << button << "leIP" << "192.168..14" << "Error" << "The IP address" + tail;
            QTest::newRow(b + " group above 255") << button << "leIP" << "192.168.2.256" << "Error" << "The IP address" + tail;
            QTest::newRow(b + " mask missing group") << button << "leMask" << "255.255.255" << "Error" << "The subnet mask" + tail;
            QTest::newRow(b + " gateway empty") << button << "leGateway" << "..." << "Error" << "The gateway" + tail;
            // A camera was chosen once, then a refresh found none: the channel
            // still holds its socket, but no entry is current.
            QTest::newRow(b + " no camera") << button << "" << "" << "Info" << "Please select a camera first.";
        }
    }
    void ipCommandRefusedSendsNothing()
    {
        QFETCH(QString, button);
        QFETCH(QString, field);
        QFETCH(QString, text);
        LoopbackCamera camera(true);
        selectLoopback(camera);
        if (field.isEmpty())
            setDevices({});
        else
            child<QLineEdit>(field)->setText(text);
        BoxAnswerer answerer;
        click(button);
        QCOMPARE(answerer.boxes.size(), 1);
        QTEST(answerer.boxes[0].title, "title");
        QTEST(answerer.boxes[0].text, "message");
        QCOMPARE(camera.received(), QByteArrayList());
    }

    void randomIp_data()
    {
        QTest::addColumn<QString>("hostIP");
        QTest::addColumn<QString>("mask");
        QTest::newRow("link-local") << "169.254.7.3" << "255.255.0.0";
        QTest::newRow("documentation range") << "192.0.2.10" << "255.255.255.0";
        QTest::newRow("no host address: unchanged") << "" << "255.0.0.0";
    }
    void randomIp()
    {
        QFETCH(QString, hostIP);
        LoopbackCamera camera(true);
        selectLoopback(camera, hostIP);
        setFields("1.2.3.4", "255.0.0.0", "1.0.0.1");
        child<QAbstractButton>("rbIPConfigLLA")->setChecked(true);
        const QString prefix = hostIP.isEmpty() ? "1.2.3." : hostIP.section('.', 0, 2) + '.';
        for (int i = 0; i < 20; ++i) {
            click("btnRandomIP");
            const int h = text("leIP").mid(prefix.size()).toInt();
            QVERIFY2(text("leIP").startsWith(prefix) && h >= 1 && h <= 253, qPrintable(text("leIP")));
            QTEST(text("leMask"), "mask");
            QCOMPARE(text("leGateway"), hostIP.isEmpty() ? "1.0.0.1" : prefix + "254");
            QCOMPARE(checked("rbIPConfigStatic"), !hostIP.isEmpty());
        }
        QCOMPARE(camera.received(), QByteArrayList());
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
