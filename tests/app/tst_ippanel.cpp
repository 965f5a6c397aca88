// The IP configuration panel through the window: what reaches the wire for
// each button, what is refused (and then never sent), and random ip.
#include "guitest.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <memory>

namespace {

const char *const Z12 = "000000000000000000000000";  // 12 zero bytes
const char *const Mac = "001122334455";

// FORCEIP: header, reserved, MAC, reserved, ip, reserved, mask, reserved, gateway.
QByteArray forceIpBytes(const char *ip, const char *mask, const char *gateway)
{
    return hexBytes(QByteArray("42010004 0038 0001 0000").append(Mac).append(Z12).append(ip)
                        .append(Z12).append(mask).append(Z12).append(gateway));
}

// IPCONFIG: header, reserved, MAC, configuration word, reserved, ip, reserved,
// mask, reserved, gateway, reserved.
QByteArray ipConfigBytes(const char *mode, const char *ip, const char *mask, const char *gateway)
{
    return hexBytes(QByteArray("42118004 004c ffff 0000").append(Mac).append("000000").append(mode)
                        .append(Z12).append(ip).append(Z12).append(mask).append(Z12).append(gateway)
                        .append(Z12).append("00000000"));
}

}  // namespace

class IpPanelTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void literalVectorsAreWellFormed();
    void forceIpSendsFields_data();
    void forceIpSendsFields();
    void forceIpWithoutAnswerFails();
    void ipConfigSendsModeThenRestart_data();
    void ipConfigSendsModeThenRestart();
    void ipConfigWithoutAnswer();
    void refusedFieldSendsNothing_data();
    void refusedFieldSendsNothing();
    void noCameraSendsNothing_data();
    void noCameraSendsNothing();
    void randomIp_data();
    void randomIp();
    void randomIpChangesNothingWithoutHostAddress();
    void randomIpRepeatsForTheSameSeed();

private:
    void selectLoopbackCamera(const QString &hostIP = QStringLiteral("127.0.0.1"))
    {
        DeviceRecord r = makeRecord("192.0.2.10", "255.255.255.0", "192.0.2.254", hostIP, "LB1", 5, 0x55,
                                    &camera->hostSocket);
        DeviceLink::instance().devices() = {r};
        window->refreshDeviceList();
        // The IP commands go to the broadcast address; here the test's socket
        // stands in for it.
        window->channel().broadcastAddr = camera->cameraAddress();
    }
    void setFields(const QString &ip, const QString &mask, const QString &gateway)
    {
        child<QLineEdit>("leIP")->setText(ip);
        child<QLineEdit>("leMask")->setText(mask);
        child<QLineEdit>("leGateway")->setText(gateway);
    }
    void click(const char *button) { QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton); }
    template <class T = QWidget>
    T *child(const char *name) { return window->findChild<T *>(QLatin1String(name)); }

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<LoopbackCamera> camera;
};

void IpPanelTest::init()
{
    DeviceLink::instance().devices().clear();
    window = std::make_unique<MainWindow>();
    camera = std::make_unique<LoopbackCamera>();
}

void IpPanelTest::cleanup()
{
    window.reset();
    camera.reset();
    DeviceLink::instance().devices().clear();
}

void IpPanelTest::literalVectorsAreWellFormed()
{
    QCOMPARE(forceIpBytes("c0a8020e", "ffffff00", "c0a80201").size(), 64);
    QCOMPARE(ipConfigBytes("05", "c0a8020e", "ffffff00", "c0a80201").size(), 84);
}

void IpPanelTest::forceIpSendsFields_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<QByteArray>("wire");

    QTest::newRow("plain") << "192.168.2.14" << "255.255.255.0" << "192.168.2.1"
                           << forceIpBytes("c0a8020e", "ffffff00", "c0a80201");
    // Leading zeros are decimal: 010 is ten, not eight; 014 is fourteen, not twelve.
    QTest::newRow("leading zeros") << "192.168.002.014" << "255.255.255.000" << "010.000.000.010"
                                   << forceIpBytes("c0a8020e", "ffffff00", "0a00000a");
    QTest::newRow("documentation range") << "203.0.113.30" << "255.255.255.128" << "203.0.113.1"
                                         << forceIpBytes("cb00711e", "ffffff80", "cb007101");
}

void IpPanelTest::forceIpSendsFields()
{
    QFETCH(QString, ip);
    QFETCH(QString, mask);
    QFETCH(QString, gateway);
    QFETCH(QByteArray, wire);
    selectLoopbackCamera();
    setFields(ip, mask, gateway);
    BoxAnswerer answerer;
    camera->startResponder();
    click("btnForceIp");
    const auto sent = camera->stopResponder();
    QCOMPARE(int(sent.size()), 1);
    QCOMPARE(sent[0].toHex(' '), wire.toHex(' '));
    QVERIFY2(answerer.boxes.isEmpty(), qPrintable(answerer.texts().join('|')));
}

void IpPanelTest::forceIpWithoutAnswerFails()
{
    selectLoopbackCamera();
    BoxAnswerer answerer;
    click("btnForceIp");
    QCOMPARE(int(camera->drain().size()), 1);
    QCOMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes[0].title, QStringLiteral("Error"));
    QCOMPARE(answerer.boxes[0].text, QStringLiteral("ForceIP failed."));
    QCOMPARE(int(answerer.boxes[0].icon), int(QMessageBox::Information));
    QCOMPARE(answerer.boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(answerer.boxes[0].parent, static_cast<QWidget *>(window.get()));
}

void IpPanelTest::ipConfigSendsModeThenRestart_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QByteArray>("first");

    const QByteArray zero = "00000000";
    QTest::newRow("Static") << "rbIPConfigStatic" << "192.168.002.014"
                            << ipConfigBytes("05", "c0a8020e", "ffffff00", "c0a80201");
    // DHCP and LLA carry no addresses, so their fields are not even looked at.
    QTest::newRow("DHCP") << "rbIPConfigDHCP" << "192.168..14"
                          << ipConfigBytes("06", zero, zero, zero);
    QTest::newRow("LLA") << "rbIPConfigLLA" << "999.1.1.1"
                         << ipConfigBytes("04", zero, zero, zero);
}

void IpPanelTest::ipConfigSendsModeThenRestart()
{
    QFETCH(QString, button);
    QFETCH(QString, ip);
    QFETCH(QByteArray, first);
    selectLoopbackCamera();
    setFields(ip, QStringLiteral("255.255.255.0"), QStringLiteral("192.168.2.1"));
    child<QRadioButton>(qPrintable(button))->setChecked(true);
    BoxAnswerer answerer;
    camera->startResponder();
    click("btnIPConfig");
    const auto sent = camera->stopResponder();
    QCOMPARE(int(sent.size()), 2);
    QCOMPARE(sent[0].toHex(' '), first.toHex(' '));
    QCOMPARE(sent[1].toHex(' '), forceIpBytes("00000000", "00000000", "00000000").toHex(' '));
    QVERIFY2(answerer.boxes.isEmpty(), qPrintable(answerer.texts().join('|')));
}

void IpPanelTest::ipConfigWithoutAnswer()
{
    // The stored configuration is not acknowledged: the user is told, and the
    // restart is still sent (it awaits no answer).
    selectLoopbackCamera();
    child<QRadioButton>("rbIPConfigDHCP")->setChecked(true);
    BoxAnswerer answerer;
    click("btnIPConfig");
    const auto sent = camera->drain();
    QCOMPARE(int(sent.size()), 2);
    QCOMPARE(sent[1].toHex(' '), forceIpBytes("00000000", "00000000", "00000000").toHex(' '));
    QCOMPARE(answerer.texts(), QStringList{QStringLiteral("IP configure failed.")});
    QCOMPARE(answerer.boxes[0].title, QStringLiteral("Error"));
    QCOMPARE(int(answerer.boxes[0].icon), int(QMessageBox::Information));
}

void IpPanelTest::refusedFieldSendsNothing_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");

    const QString tail = QStringLiteral(" is not a valid IPv4 address (four numbers 0-255 separated by dots).");
    for (const char *button : {"btnForceIp", "btnIPConfig"}) {
        const QByteArray b(button);
        QTest::newRow(b + " empty group") << button << "leIP" << "192.168..14" << "The IP address" + tail;
        QTest::newRow(b + " group above 255") << button << "leIP" << "192.168.2.256" << "The IP address" + tail;
        QTest::newRow(b + " all empty") << button << "leIP" << "" << "The IP address" + tail;
        QTest::newRow(b + " mask group above 255") << button << "leMask" << "255.255.999.0" << "The subnet mask" + tail;
        QTest::newRow(b + " mask missing group") << button << "leMask" << "255.255.255" << "The subnet mask" + tail;
        QTest::newRow(b + " gateway empty") << button << "leGateway" << "..." << "The gateway" + tail;
        QTest::newRow(b + " gateway 300") << button << "leGateway" << "300.0.0.1" << "The gateway" + tail;
    }
}

void IpPanelTest::refusedFieldSendsNothing()
{
    QFETCH(QString, button);
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, message);
    selectLoopbackCamera();
    child<QRadioButton>("rbIPConfigStatic")->setChecked(true);
    child<QLineEdit>(qPrintable(field))->setText(text);
    BoxAnswerer answerer;
    click(qPrintable(button));
    QCOMPARE(answerer.texts(), QStringList{message});
    QCOMPARE(answerer.boxes[0].title, QStringLiteral("Error"));
    QCOMPARE(int(answerer.boxes[0].icon), int(QMessageBox::Information));
    QCOMPARE(int(camera->drain(200).size()), 0);
}

void IpPanelTest::noCameraSendsNothing_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("Force IP") << "btnForceIp";
    QTest::newRow("IP Config") << "btnIPConfig";
}

void IpPanelTest::noCameraSendsNothing()
{
    QFETCH(QString, button);
    // A camera was chosen once, then a refresh found none: the channel still
    // holds the last socket, but the list has no current entry.
    selectLoopbackCamera();
    DeviceLink::instance().devices().clear();
    window->refreshDeviceList();
    QVERIFY(window->channel().hasDevice());
    {
        BoxAnswerer answerer;
        click(qPrintable(button));
        QCOMPARE(answerer.texts(), QStringList{QStringLiteral("Please select a camera first.")});
        QCOMPARE(answerer.boxes[0].title, QStringLiteral("Info"));
        QCOMPARE(int(answerer.boxes[0].icon), int(QMessageBox::Information));
        QCOMPARE(int(camera->drain(200).size()), 0);
    }

    // And on a window that never saw a camera.
    window = std::make_unique<MainWindow>();
    BoxAnswerer again;
    click(qPrintable(button));
    QCOMPARE(again.texts(), QStringList{QStringLiteral("Please select a camera first.")});
}

void IpPanelTest::randomIp_data()
{
    QTest::addColumn<QString>("hostIP");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("gateway");
    QTest::newRow("192.0.2.10") << "192.0.2.10" << "192.0.2." << "255.255.255.0" << "192.0.2.254";
    QTest::newRow("169.254.7.3") << "169.254.7.3" << "169.254.7." << "255.255.0.0" << "169.254.7.254";
    QTest::newRow("198.51.100.1") << "198.51.100.1" << "198.51.100." << "255.255.255.0" << "198.51.100.254";
}

void IpPanelTest::randomIp()
{
    QFETCH(QString, hostIP);
    QFETCH(QString, prefix);
    QFETCH(QString, mask);
    QFETCH(QString, gateway);
    selectLoopbackCamera(hostIP);
    child<QRadioButton>("rbIPConfigDHCP")->setChecked(true);
    BoxAnswerer answerer;
    for (int i = 0; i < 50; ++i) {
        click("btnRandomIP");
        const QString ip = child<QLineEdit>("leIP")->text();
        QVERIFY2(ip.startsWith(prefix), qPrintable(ip));
        const int h = ip.mid(prefix.size()).toInt();
        QVERIFY2(h >= 1 && h <= 253, qPrintable(ip));
        QCOMPARE(child<QLineEdit>("leMask")->text(), mask);
        QCOMPARE(child<QLineEdit>("leGateway")->text(), gateway);
        QVERIFY(child<QRadioButton>("rbIPConfigStatic")->isChecked());
    }
    QVERIFY(answerer.boxes.isEmpty());
    QCOMPARE(int(camera->drain(100).size()), 0);
}

void IpPanelTest::randomIpChangesNothingWithoutHostAddress()
{
    selectLoopbackCamera(QString());
    setFields(QStringLiteral("1.2.3.4"), QStringLiteral("255.0.0.0"), QStringLiteral("1.0.0.1"));
    child<QRadioButton>("rbIPConfigLLA")->setChecked(true);
    BoxAnswerer answerer;
    click("btnRandomIP");
    QCOMPARE(child<QLineEdit>("leIP")->text(), QStringLiteral("1.2.3.4"));
    QCOMPARE(child<QLineEdit>("leMask")->text(), QStringLiteral("255.0.0.0"));
    QVERIFY(child<QRadioButton>("rbIPConfigLLA")->isChecked());

    // No camera selected: nothing either.
    DeviceLink::instance().devices().clear();
    window->refreshDeviceList();
    click("btnRandomIP");
    QCOMPARE(child<QLineEdit>("leIP")->text(), QStringLiteral("1.2.3.4"));
    QVERIFY(answerer.boxes.isEmpty());
}

void IpPanelTest::randomIpRepeatsForTheSameSeed()
{
    selectLoopbackCamera(QStringLiteral("192.0.2.10"));
    QStringList first, second;
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    qsrand(4711);
    for (int i = 0; i < 5; ++i) {
        click("btnRandomIP");
        first << child<QLineEdit>("leIP")->text();
    }
    qsrand(4711);
    QT_WARNING_POP
    for (int i = 0; i < 5; ++i) {
        click("btnRandomIP");
        second << child<QLineEdit>("leIP")->text();
    }
    QCOMPARE(first, second);
}

QTEST_MAIN(IpPanelTest)
#include "tst_ippanel.moc"
