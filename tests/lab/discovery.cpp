// Discovery end to end, run by scripts/lab in the host namespace of
// discovery.lab: the window built on two NICs lists every acknowledge,
// shows each camera's data and warns for the camera in another subnet only.
#include "devicelink.h"
#include "logcapture.h"
#include "mainwindow.h"
#include "udpsocket.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTextEdit>
#include <QtTest>

namespace {

struct Expected {
    QString label, hostIP, radio, info;
    bool warn;
};

Expected entry(const char *ip, const char *serial, const char *mac, const char *hostIP, const char *radio,
               const char *model, const char *version, const char *shownSerial, const char *name)
{
    const QString info = QStringLiteral("ip %1\nmanufacturerName Orvanta Lab\nmodelName %2\ndeviceVersion %3\n"
                                        "serialNumber %4\nmac %5\nuserDefinedName %6\n")
                             .arg(ip, model, version, shownSerial, QString(mac).toUpper(), name);
    return {QStringLiteral("%1:%2:%3").arg(ip, serial, mac), hostIP, radio, info,
            QString(ip).startsWith("203.")};
}

}  // namespace

class DiscoveryLab : public QObject {
    Q_OBJECT

    template <class T = QWidget>
    static T *child(MainWindow &w, const char *name) { return w.findChild<T *>(name); }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("LAB_DIR"))
            QSKIP("runs only inside scripts/lab with discovery.lab");
    }

    void fourEntriesOverTwoInterfaces()
    {
        const QList<Expected> expected{
            entry("192.0.2.10", "CAM10001", "020000000101", "192.0.2.1", "rbIPConfigStatic", "LabCam GX", "2.3", "CAM1-0001", "cam1"),
            entry("203.0.113.30", "CAM3", "020000000303", "192.0.2.1", "rbIPConfigDHCP", "LabCam GX", "2.1", "CAM3", "cam3"),
            entry("198.51.100.10", "CAM10001", "020000000101", "198.51.100.1", "rbIPConfigStatic", "LabCam GX", "2.3", "CAM1-0001", "cam1"),
            entry("198.51.100.20", "CAM2b", "020000000202", "198.51.100.1", "rbIPConfigLLA", "LabCam S", "1.4", "CAM 2/b", "cam2")};
        LogCapture log;
        MainWindow window;
        auto *cb = child<QComboBox>(window, "cbDevice");

        // One entry per acknowledge, grouped by the socket (NIC) they came
        // on; within a socket, in arrival order.
        QStringList labels;
        for (int i = 0; i < cb->count(); ++i)
            labels << cb->itemText(i);
        QCOMPARE(labels.size(), 4);
        QStringList nic0 = labels.mid(0, 2), nic1 = labels.mid(2, 2);
        nic0.sort();
        nic1.sort();
        QCOMPARE(nic0 + nic1, (QStringList{expected[0].label, expected[1].label, expected[2].label, expected[3].label}));
        QCOMPARE(log.startingWith("Camera "), QStringList(labels).replaceInStrings(QRegularExpression("^"), "Camera "));
        QCOMPARE(cb->currentIndex(), 0);
        QCOMPARE(child<QLabel>(window, "lblHostIP")->text(), QStringLiteral("192.0.2.1"));

        QList<SocketAddress> sockets;
        for (const Expected &e : expected) {
            const int index = labels.indexOf(e.label);
            cb->setCurrentIndex(index);
            if (index == 0)  // already current: no change signal
                QMetaObject::invokeMethod(&window, "on_cbDevice_currentIndexChanged", Q_ARG(int, 0));
            QCOMPARE(child<QTextEdit>(window, "teCamInfo")->toPlainText(), e.info);
            QCOMPARE(child<QLabel>(window, "lblHostIP")->text(), e.hostIP);
            QCOMPARE(!child(window, "lblWarn")->isHidden(), e.warn);
            QCOMPARE(child(window, "gbIPConfig")->styleSheet(), e.warn ? QStringLiteral("color: indianred") : QString());
            QVERIFY2(child<QRadioButton>(window, qPrintable(e.radio))->isChecked(), qPrintable(e.radio));
            QCOMPARE(child<QLineEdit>(window, "leIP")->text(), e.label.section(':', 0, 0));
            sockets << window.chosenCamera()->localEndpoint();
            // Register access follows the selection onto the right NIC (the
            // camera in another subnet cannot be reached by unicast).
            quint32 version = 0;
            QVERIFY2(e.warn || window.chosenCamera()->readReg(0, version).ok(), qPrintable(e.label));
        }
        auto same = [](const SocketAddress &a, const SocketAddress &b) { return !memcmp(a.address, b.address, 4); };
        QVERIFY(same(sockets[0], sockets[1]) && same(sockets[2], sockets[3]) && !same(sockets[0], sockets[2]));
    }

    void benchDiscoveryPerSocket()
    {
        // Figures only: each socket's collection ends with the receive
        // time-out, the floor of a discovery.
        const int repeats = qMax(1, qEnvironmentVariableIntValue("BENCH_REPEATS"));
        DeviceLink &link = DeviceLink::instance();
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < repeats; ++i)
            link.discover(true);
        const double ms = double(t.elapsed()) / repeats;
        const int sockets = qMax(1, link.socketCount());
        qInfo("discovery: %d sockets, %d devices, %.1f ms per discovery, %.1f ms per socket (floor %d ms)",
              sockets, int(link.devices().size()), ms, ms / sockets, UdpSocket::ReceiveTimeoutMs);
    }

    void screenshot()
    {
        // By hand under Xvfb: ORVANTA_SCREENSHOT=PATH tst_discoverylab screenshot
        const QString path = qEnvironmentVariable("ORVANTA_SCREENSHOT");
        if (path.isEmpty())
            QSKIP("set ORVANTA_SCREENSHOT to the output file");
        // Laid out for the 8 pt dialog font of the Windows desktop; a bare X
        // server's larger default clips the 100-pixel address fields.
        QFont font = QApplication::font();
        font.setPointSize(8);
        QApplication::setFont(font);
        MainWindow window;
        auto *cb = child<QComboBox>(window, "cbDevice");
        for (int i = 0; i < cb->count(); ++i)  // show the warning on the picture
            if (cb->itemText(i).startsWith("203."))
                cb->setCurrentIndex(i);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(300);
        QVERIFY(window.grab().save(path));
    }
};

QTEST_MAIN(DiscoveryLab)
#include "discovery.moc"
