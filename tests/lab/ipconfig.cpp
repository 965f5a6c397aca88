// IP assignment end to end, run by scripts/lab in the host namespace of
// ipconfig.lab: the window moves "mover" with Force IP and IP Config, and
// "bystander" on the same segment is never touched.
#include "boxanswerer.h"
#include "devicelink.h"
#include "mainwindow.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

const QString MoverMac = "020000000303";
const QString BystanderMac = "020000000202";

// A camera's log lines starting with one of `prefixes`, except the commands
// it saw and ignored because they were for another MAC.
QStringList logLines(const char *camera, const QStringList &prefixes)
{
    QFile f(qEnvironmentVariable("LAB_DIR") + '/' + camera + ".log");
    QStringList out;
    if (f.open(QIODevice::ReadOnly))
        for (const QString &line : QString::fromUtf8(f.readAll()).split('\n'))
            for (const QString &p : prefixes)
                if (line.startsWith(p) && !line.contains("ignored"))
                    out << line;
    return out;
}
QStringList actedOn(const char *camera) { return logLines(camera, {"forceip", "ipconfig", "restart", "ip-hook"}); }

// The address on the camera namespace's eth0.
QString namespaceAddress(const char *camera)
{
    QProcess ip;
    ip.start("ip", {"-n", qEnvironmentVariable("LAB_PREFIX") + '-' + camera, "-4", "-o", "addr", "show", "dev", "eth0"});
    ip.waitForFinished(5000);
    return QRegularExpression("inet (\\S+)").match(ip.readAllStandardOutput()).captured(1);
}

}  // namespace

class IpConfigLab : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindow> window;

    template <class T = QWidget>
    T *child(const char *name) { return window->findChild<T *>(name); }
    QString text(const char *name) { return child<QLineEdit>(name)->text(); }
    bool checked(const char *name) { return child<QRadioButton>(name)->isChecked(); }
    // Clicks a button; the texts of the boxes it showed.
    QStringList press(const char *button)
    {
        BoxAnswerer answerer;
        QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton);
        return answerer.texts();
    }
    void setFields(const QString &ip, const QString &mask, const QString &gateway)
    {
        child<QLineEdit>("leIP")->setText(ip);
        child<QLineEdit>("leMask")->setText(mask);
        child<QLineEdit>("leGateway")->setText(gateway);
    }
    // Selects the entry of the camera with this MAC; its address, or empty.
    QString select(const QString &mac)
    {
        auto *cb = child<QComboBox>("cbDevice");
        for (int i = 0; i < cb->count(); ++i) {
            if (cb->itemText(i).endsWith(':' + mac)) {
                cb->setCurrentIndex(i);
                QMetaObject::invokeMethod(window.get(), "on_cbDevice_currentIndexChanged", Q_ARG(int, i));
                return cb->itemText(i).section(':', 0, 0);
            }
        }
        return {};
    }
    // Refreshes until the mover is listed and `done` holds for its address
    // (the lab moves it a moment after the answer); its address.
    QString refreshUntil(const std::function<bool(const QString &)> &done)
    {
        QElapsedTimer t;
        t.start();
        QString ip;
        do {
            press("btnRefresh");
            ip = select(MoverMac);
        } while (!done(ip) && t.elapsed() < 10000);
        return ip;
    }
    bool readRegWorks()
    {
        for (int i = 0; i < 10; ++i, QTest::qWait(200)) {
            quint32 value = 0;
            if (window->chosenCamera()->readReg(0, value).ok())
                return true;
        }
        return false;
    }
    void checkBystanderUntouched()
    {
        QCOMPARE(actedOn("bystander"), QStringList());
        QCOMPARE(namespaceAddress("bystander"), QStringLiteral("192.0.2.20/24"));
        QCOMPARE(select(BystanderMac), QStringLiteral("192.0.2.20"));
        QVERIFY(checked("rbIPConfigStatic"));
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("LAB_DIR"))
            QSKIP("runs only inside scripts/lab with ipconfig.lab");
    }
    void init()
    {
        window = std::make_unique<MainWindow>();
        QCOMPARE(child<QComboBox>("cbDevice")->count(), 2);
    }
    void cleanup() { window.reset(); }

    void forceIpIntoHostSubnet()
    {
        QCOMPARE(select(MoverMac), QStringLiteral("203.0.113.30"));
        QVERIFY(!child("lblWarn")->isHidden());
        setFields("192.0.2.77", "255.255.255.0", "192.0.2.1");
        QCOMPARE(press("btnForceIp"), QStringList());
        QCOMPARE(refreshUntil([](const QString &ip) { return ip == "192.0.2.77"; }), QStringLiteral("192.0.2.77"));
        QVERIFY(child("lblWarn")->isHidden());
        QCOMPARE(child<QLabel>("lblHostIP")->text(), QStringLiteral("192.0.2.1"));
        QVERIFY(readRegWorks());
        QVERIFY(actedOn("mover").contains("forceip 192.0.2.77 255.255.255.0 192.0.2.1"));
        QCOMPARE(namespaceAddress("mover"), QStringLiteral("192.0.2.77/24"));
        checkBystanderUntouched();
    }

    void ipConfigStatic()
    {
        select(MoverMac);
        child<QRadioButton>("rbIPConfigStatic")->setChecked(true);
        setFields("192.0.2.088", "255.255.255.0", "192.0.2.1");  // 088 is eighty-eight
        QCOMPARE(press("btnIPConfig"), QStringList());
        QCOMPARE(refreshUntil([](const QString &ip) { return ip == "192.0.2.88"; }), QStringLiteral("192.0.2.88"));
        QVERIFY(child("lblWarn")->isHidden());
        QVERIFY(checked("rbIPConfigStatic"));
        QCOMPARE(text("leGateway"), QStringLiteral("192.0.2.1"));
        QVERIFY(readRegWorks());
        const QStringList acted = actedOn("mover");
        QVERIFY2(acted.contains("ipconfig 0x05 192.0.2.88 255.255.255.0 192.0.2.1"), qPrintable(acted.join('|')));
        QVERIFY(acted.contains("forceip 0.0.0.0 0.0.0.0 0.0.0.0"));
        QVERIFY(acted.contains("restart static 192.0.2.88 255.255.255.0 192.0.2.1"));
        checkBystanderUntouched();
    }

    void ipConfigDhcpThenLla()
    {
        auto linkLocal = [](const QString &ip) { return ip.startsWith("169.254."); };
        select(MoverMac);
        child<QRadioButton>("rbIPConfigDHCP")->setChecked(true);
        QCOMPARE(press("btnIPConfig"), QStringList());
        QVERIFY(linkLocal(refreshUntil(linkLocal)));
        QVERIFY(checked("rbIPConfigDHCP"));
        QVERIFY(!child("lblWarn")->isHidden());  // 169.254 is not nic0's subnet
        QCOMPARE(text("leMask"), QStringLiteral("255.255.0.0"));
        QVERIFY(actedOn("mover").contains("ipconfig 0x06 0.0.0.0 0.0.0.0 0.0.0.0"));

        // From link-local the IP commands still reach it: they are broadcast.
        child<QRadioButton>("rbIPConfigLLA")->setChecked(true);
        QCOMPARE(press("btnIPConfig"), QStringList());
        QVERIFY(linkLocal(refreshUntil([&](const QString &ip) { return !ip.isEmpty() && checked("rbIPConfigLLA"); })));
        QVERIFY(checked("rbIPConfigLLA"));
        QVERIFY(actedOn("mover").contains("ipconfig 0x04 0.0.0.0 0.0.0.0 0.0.0.0"));
        QVERIFY(namespaceAddress("mover").startsWith("169.254."));
        checkBystanderUntouched();
    }

    void refusedInputsSendNothing()
    {
        const QString tail = " is not a valid IPv4 address (four numbers 0-255 separated by dots).";
        const struct { const char *button, *field, *text; QString message; } cases[] = {
            {"btnForceIp", "leIP", "192.0..5", "The IP address" + tail},
            {"btnForceIp", "leGateway", "192.0.2.256", "The gateway" + tail},
            {"btnIPConfig", "leMask", "255.255.256.0", "The subnet mask" + tail}};
        select(MoverMac);
        child<QRadioButton>("rbIPConfigStatic")->setChecked(true);
        for (const auto &c : cases) {
            setFields("192.0.2.77", "255.255.255.0", "192.0.2.1");
            child<QLineEdit>(c.field)->setText(c.text);
            QCOMPARE(press(c.button), QStringList{c.message});
        }
        // No camera selected: the list is empty, the channel still has a socket.
        DeviceLink::instance().devices().clear();
        window->refreshDeviceList();
        QVERIFY(window->chosenCamera());
        setFields("192.0.2.77", "255.255.255.0", "192.0.2.1");
        for (const char *button : {"btnForceIp", "btnIPConfig"})
            QCOMPARE(press(button), QStringList{"Please select a camera first."});

        // Not one IP command datagram reached either camera.
        QTest::qWait(300);
        for (const char *camera : {"mover", "bystander"})
            QCOMPARE(logLines(camera, {"rx cmd=0x0004 ", "rx cmd=0x8004 "}), QStringList());
        QCOMPARE(namespaceAddress("mover"), QStringLiteral("203.0.113.30/24"));
    }
};

QTEST_MAIN(IpConfigLab)
#include "ipconfig.moc"
