// The device panel: list labels, the information text, the subnet warning,
// the mode buttons, the chosen camera, and what a refresh keeps.
#include "guitest.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>

#include <memory>

class DevicePanelTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void listLabelsAndDebugLines();
    void informationText();
    void firstCameraChosenOnRefresh();
    void choosingAnotherEntry();
    void subnetWarning_data();
    void subnetWarning();
    void warningKeptForOddHostAddress_data();
    void warningKeptForOddHostAddress();
    void modeButtons_data();
    void modeButtons();
    void namesWithOddCharacters();
    void emptyRefreshKeepsFields();
    void indexOutOfRangeChangesNothing_data();
    void indexOutOfRangeChangesNothing();
    void selectionStillWorksAfterRepeatedRefresh();
    void refreshButtonRediscovers();

private:
    void setDevices(const QList<DeviceRecord> &records)
    {
        DeviceLink::instance().devices() = records;
        window->refreshDeviceList();
    }
    template <class T = QWidget>
    T *child(const char *name) { return window->findChild<T *>(QLatin1String(name)); }
    bool warned() { return !child("lblWarn")->isHidden(); }
    QString style() { return child("gbIPConfig")->styleSheet(); }
    QString field(const char *name) { return child<QLineEdit>(name)->text(); }

    std::unique_ptr<MainWindow> window;
    UdpSocket slot0, slot1;
};

void DevicePanelTest::init()
{
    DeviceLink::instance().devices().clear();
    window = std::make_unique<MainWindow>();
}

void DevicePanelTest::cleanup()
{
    window.reset();
    DeviceLink::instance().devices().clear();
}

void DevicePanelTest::listLabelsAndDebugLines()
{
    DebugCapture log;
    setDevices({makeRecord("192.168.2.14", "255.255.255.0", "192.168.2.1", "192.168.2.10", "AB1234", 5, 0xaa),
                makeRecord("192.168.3.15", "255.255.255.0", "192.168.3.1", "192.168.3.10", "SN-0042/x", 6, 0x0f),
                makeRecord("10.0.0.7", "255.0.0.0", "0.0.0.0", "10.0.0.1", "", 4, 0x00)});
    auto *cb = child<QComboBox>("cbDevice");
    QCOMPARE(cb->count(), 3);
    QCOMPARE(cb->itemText(0), QStringLiteral("192.168.2.14:AB1234:0011223344aa"));
    QCOMPARE(cb->itemText(1), QStringLiteral("192.168.3.15:SN0042x:00112233440f"));
    QCOMPARE(cb->itemText(2), QStringLiteral("10.0.0.7::001122334400"));
    QCOMPARE(cb->currentIndex(), 0);
    QStringList cameraLines;
    for (const QString &line : log.lines())
        if (line.startsWith(QLatin1String("Camera ")))
            cameraLines << line;
    QCOMPARE(cameraLines, (QStringList{"Camera 192.168.2.14:AB1234:0011223344aa",
                                       "Camera 192.168.3.15:SN0042x:00112233440f",
                                       "Camera 10.0.0.7::001122334400"}));
    for (int i = 0; i < cb->count(); ++i)
        QVERIFY(cb->itemIcon(i).isNull() && !cb->itemData(i).isValid());
}

void DevicePanelTest::informationText()
{
    setDevices({makeRecord("192.168.2.14", "255.255.255.0", "192.168.2.1", "192.168.2.10")});
    QCOMPARE(child<QTextEdit>("teCamInfo")->toPlainText(),
             QStringLiteral("ip 192.168.2.14\n"
                            "manufacturerName Acme Imaging\n"
                            "modelName GX-1000\n"
                            "deviceVersion 2.3\n"
                            "serialNumber AB1234\n"
                            "mac 0011223344AA\n"
                            "userDefinedName line 4\n"));
}

void DevicePanelTest::firstCameraChosenOnRefresh()
{
    setDevices({makeRecord("192.168.2.14", "255.255.255.0", "192.168.2.1", "192.168.2.10", "A", 5, 1, &slot0),
                makeRecord("192.168.2.15", "255.255.255.0", "192.168.2.1", "192.168.2.11", "B", 6, 2, &slot1)});
    QCOMPARE(window->channel().deviceSocket, &slot0);
    QCOMPARE(ipv4Text(window->channel().deviceAddr.address), QStringLiteral("192.168.2.14"));
    QCOMPARE(window->channel().deviceAddr.port, quint16(3956));
    QCOMPARE(child<QLabel>("lblHostIP")->text(), QStringLiteral("192.168.2.10"));
    QCOMPARE(field("leIP"), QStringLiteral("192.168.2.14"));
    QCOMPARE(field("leMask"), QStringLiteral("255.255.255.0"));
    QCOMPARE(field("leGateway"), QStringLiteral("192.168.2.1"));
    QVERIFY(child<QRadioButton>("rbIPConfigStatic")->isChecked());
    DeviceRecord selected;
    QVERIFY(window->selectedRecord(selected));
    QCOMPARE(selected.ipText(), QStringLiteral("192.168.2.14"));
}

void DevicePanelTest::choosingAnotherEntry()
{
    setDevices({makeRecord("192.168.2.14", "255.255.255.0", "192.168.2.1", "192.168.2.10", "A", 5, 1, &slot0),
                makeRecord("198.51.100.20", "255.255.255.0", "198.51.100.1", "198.51.100.1", "B", 6, 2, &slot1)});
    child<QComboBox>("cbDevice")->setCurrentIndex(1);
    QCOMPARE(window->channel().deviceSocket, &slot1);
    QCOMPARE(ipv4Text(window->channel().deviceAddr.address), QStringLiteral("198.51.100.20"));
    QCOMPARE(child<QLabel>("lblHostIP")->text(), QStringLiteral("198.51.100.1"));
    QCOMPARE(field("leIP"), QStringLiteral("198.51.100.20"));
    QCOMPARE(field("leGateway"), QStringLiteral("198.51.100.1"));
    QVERIFY(child<QRadioButton>("rbIPConfigDHCP")->isChecked());
    QVERIFY(child<QTextEdit>("teCamInfo")->toPlainText().startsWith(QLatin1String("ip 198.51.100.20\n")));
    DeviceRecord selected;
    QVERIFY(window->selectedRecord(selected));
    QCOMPARE(selected.socketSlot, &slot1);
}

void DevicePanelTest::subnetWarning_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("hostIP");
    QTest::addColumn<bool>("warn");

    QTest::newRow("other subnet") << "192.168.3.14" << "255.255.255.0" << "192.168.2.10" << true;
    QTest::newRow("same subnet") << "192.168.2.14" << "255.255.255.0" << "192.168.2.10" << false;
    QTest::newRow("fourth octet not compared") << "192.168.2.200" << "255.255.255.128" << "192.168.2.10" << false;
    QTest::newRow("mask 0.0.0.0 never warns") << "10.1.2.3" << "0.0.0.0" << "192.168.2.10" << false;
    QTest::newRow("first octet differs") << "10.168.2.14" << "255.255.255.0" << "192.168.2.10" << true;
    QTest::newRow("wide mask hides third octet") << "172.16.9.4" << "255.255.0.0" << "172.16.200.1" << false;
    QTest::newRow("camera's mask on both sides") << "192.168.2.14" << "255.255.252.0" << "192.168.3.10" << false;
    QTest::newRow("documentation ranges") << "203.0.113.30" << "255.255.255.0" << "192.0.2.1" << true;
    QTest::newRow("host part not a number") << "0.0.0.9" << "255.255.255.0" << "x.y.z.1" << false;
}

void DevicePanelTest::subnetWarning()
{
    QFETCH(QString, ip);
    QFETCH(QString, mask);
    QFETCH(QString, hostIP);
    QFETCH(bool, warn);
    // Start from the opposite state, so that each outcome is really set.
    setDevices({makeRecord(warn ? "192.0.2.5" : "198.51.100.5", "255.255.255.0", "0.0.0.0", "192.0.2.1")});
    QCOMPARE(warned(), !warn);

    setDevices({makeRecord(ip, mask, "0.0.0.0", hostIP)});
    QCOMPARE(warned(), warn);
    QCOMPARE(style(), warn ? QStringLiteral("color: indianred") : QString());
    window->show();
    QCOMPARE(child("lblWarn")->isVisible(), warn);
}

void DevicePanelTest::warningKeptForOddHostAddress_data()
{
    QTest::addColumn<QString>("hostIP");
    QTest::addColumn<bool>("warnBefore");
    QTest::newRow("empty, warning kept") << "" << true;
    QTest::newRow("empty, no warning kept") << "" << false;
    QTest::newRow("three parts") << "192.168.2" << true;
    QTest::newRow("five parts") << "192.168.2.10.1" << false;
}

void DevicePanelTest::warningKeptForOddHostAddress()
{
    QFETCH(QString, hostIP);
    QFETCH(bool, warnBefore);
    setDevices({makeRecord(warnBefore ? "192.0.2.5" : "198.51.100.5", "255.255.255.0", "0.0.0.0", "198.51.100.1")});
    QCOMPARE(warned(), warnBefore);
    setDevices({makeRecord("192.168.2.14", "255.255.255.0", "192.168.2.1", hostIP)});
    QCOMPARE(warned(), warnBefore);
    QCOMPARE(style(), warnBefore ? QStringLiteral("color: indianred") : QString());
    QCOMPARE(child<QLabel>("lblHostIP")->text(), hostIP);
}

void DevicePanelTest::modeButtons_data()
{
    QTest::addColumn<int>("ipConfig");
    QTest::addColumn<QString>("checked");
    QTest::newRow("persistent") << 1 << "rbIPConfigStatic";
    QTest::newRow("persistent + DHCP") << 3 << "rbIPConfigStatic";
    QTest::newRow("persistent + LLA") << 5 << "rbIPConfigStatic";
    QTest::newRow("DHCP") << 2 << "rbIPConfigDHCP";
    QTest::newRow("DHCP + LLA") << 6 << "rbIPConfigDHCP";
    QTest::newRow("LLA only") << 4 << "rbIPConfigLLA";
    QTest::newRow("nothing") << 0 << "rbIPConfigLLA";
    QTest::newRow("signed byte 0x85") << -123 << "rbIPConfigStatic";
}

void DevicePanelTest::modeButtons()
{
    QFETCH(int, ipConfig);
    QFETCH(QString, checked);
    for (const char *start : {"rbIPConfigStatic", "rbIPConfigDHCP", "rbIPConfigLLA"}) {
        child<QRadioButton>(start)->setChecked(true);
        setDevices({makeRecord("192.168.2.14", "255.255.255.0", "192.168.2.1", "192.168.2.10", "A", ipConfig)});
        int checkedCount = 0;
        for (const char *name : {"rbIPConfigStatic", "rbIPConfigDHCP", "rbIPConfigLLA"})
            checkedCount += child<QRadioButton>(name)->isChecked();
        QCOMPARE(checkedCount, 1);
        QVERIFY2(child<QRadioButton>(qPrintable(checked))->isChecked(), start);
    }
}

void DevicePanelTest::namesWithOddCharacters()
{
    DeviceRecord r = makeRecord("192.168.2.14", "255.255.255.0", "192.168.2.1", "192.168.2.10",
                                QByteArray("SN-00 42\xc3\xa9"));
    copyText(r.manufacturerName, 33, "<b>Acme</b> & Co");
    // A field that fills its width has no terminating zero in the acknowledge.
    std::memset(r.modelName, 'M', 32);
    r.modelName[32] = 0;
    setDevices({r});
    QCOMPARE(child<QComboBox>("cbDevice")->itemText(0), QStringLiteral("192.168.2.14:SN0042:0011223344aa"));
    const QString info = child<QTextEdit>("teCamInfo")->toPlainText();
    QVERIFY(info.contains(QStringLiteral("serialNumber SN-00 42\u00e9\n")));
    // Names from the network are shown as written, never as markup.
    QVERIFY(info.contains(QStringLiteral("manufacturerName <b>Acme</b> & Co\n")));
    QVERIFY(info.contains(QStringLiteral("modelName ") + QString(32, QLatin1Char('M')) + QLatin1Char('\n')));
}

void DevicePanelTest::emptyRefreshKeepsFields()
{
    setDevices({makeRecord("192.168.3.14", "255.255.255.0", "192.168.3.1", "192.168.2.10", "A", 4, 1, &slot0)});
    QVERIFY(warned());
    setDevices({});
    QCOMPARE(child<QComboBox>("cbDevice")->count(), 0);
    QCOMPARE(child<QTextEdit>("teCamInfo")->toPlainText(), QString());
    QCOMPARE(field("leIP"), QStringLiteral("192.168.3.14"));
    QCOMPARE(field("leMask"), QStringLiteral("255.255.255.0"));
    QCOMPARE(field("leGateway"), QStringLiteral("192.168.3.1"));
    QVERIFY(child<QRadioButton>("rbIPConfigLLA")->isChecked());
    QVERIFY(warned());
    QCOMPARE(style(), QStringLiteral("color: indianred"));
    QCOMPARE(child<QLabel>("lblHostIP")->text(), QStringLiteral("192.168.2.10"));
    QCOMPARE(window->channel().deviceSocket, &slot0);
    QCOMPARE(ipv4Text(window->channel().deviceAddr.address), QStringLiteral("192.168.3.14"));
    DeviceRecord none;
    QVERIFY(!window->selectedRecord(none));
}

void DevicePanelTest::indexOutOfRangeChangesNothing_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("negative") << -1;
    QTest::newRow("equal to count") << 2;
    QTest::newRow("far beyond") << 1000;
}

void DevicePanelTest::indexOutOfRangeChangesNothing()
{
    QFETCH(int, index);
    setDevices({makeRecord("192.168.2.14", "255.255.255.0", "192.168.2.1", "192.168.2.10", "A", 5, 1, &slot0),
                makeRecord("192.168.2.15", "255.255.255.0", "192.168.2.1", "192.168.2.11", "B", 6, 2, &slot1)});
    const QString info = child<QTextEdit>("teCamInfo")->toPlainText();
    QVERIFY(QMetaObject::invokeMethod(window.get(), "on_cbDevice_currentIndexChanged", Q_ARG(int, index)));
    QCOMPARE(child<QTextEdit>("teCamInfo")->toPlainText(), info);
    QCOMPARE(child<QLabel>("lblHostIP")->text(), QStringLiteral("192.168.2.10"));
    QCOMPARE(window->channel().deviceSocket, &slot0);
    QCOMPARE(field("leIP"), QStringLiteral("192.168.2.14"));
}

void DevicePanelTest::selectionStillWorksAfterRepeatedRefresh()
{
    const QList<DeviceRecord> two{
        makeRecord("192.168.2.14", "255.255.255.0", "192.168.2.1", "192.168.2.10", "A", 5, 1, &slot0),
        makeRecord("192.168.2.15", "255.255.255.0", "192.168.2.1", "192.168.2.11", "B", 6, 2, &slot1)};
    auto *cb = child<QComboBox>("cbDevice");
    const int afterConstruction = SignalReceivers::count(cb, SIGNAL(currentIndexChanged(int)));
    QVERIFY(afterConstruction >= 1);
    for (int i = 0; i < 3; ++i)
        setDevices(two);
    // The refill disconnects and reconnects the selection: never twice.
    QCOMPARE(SignalReceivers::count(cb, SIGNAL(currentIndexChanged(int))), afterConstruction);
    cb->setCurrentIndex(1);
    QCOMPARE(window->channel().deviceSocket, &slot1);
    cb->setCurrentIndex(0);
    QCOMPARE(window->channel().deviceSocket, &slot0);
}

void DevicePanelTest::refreshButtonRediscovers()
{
    setDevices({makeRecord("192.168.2.14", "255.255.255.0", "192.168.2.1", "192.168.2.10")});
    QCOMPARE(child<QComboBox>("cbDevice")->count(), 1);
    // This namespace has no interface besides loopback: discovery finds nothing.
    QTest::mouseClick(child<QPushButton>("btnRefresh"), Qt::LeftButton);
    QCOMPARE(child<QComboBox>("cbDevice")->count(), 0);
    QVERIFY(DeviceLink::instance().devices().isEmpty());
    QCOMPARE(DeviceLink::instance().socketCount(), 0);
}

QTEST_MAIN(DevicePanelTest)
#include "tst_devicepanel.moc"
