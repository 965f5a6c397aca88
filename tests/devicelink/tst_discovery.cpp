// Endpoints and discovery with real interfaces: the test runs in a network
// namespace of its own (see own-netns) and adds a veth pair with addresses
// from 198.51.100.0/24; a scripted camera on port 3956 answers the
// broadcasts, which the namespace delivers locally.
#include "devicelink.h"
#include "fakecamera.h"
#include "logcapture.h"

#include <QDir>
#include <QNetworkInterface>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>

namespace {

using Replies = std::vector<FakeCamera::Reply>;

bool run(const QString &command)
{
    return QProcess::execute("sh", {"-c", command}) == 0;
}

// A discovery acknowledge built from absolute offsets.
QByteArray discoveryAck(const QByteArray &mac, const QByteArray &ip, const QByteArray &manufacturer,
                        const QByteArray &serial)
{
    QByteArray a(256, '\0');
    a.replace(0, 8, hexBytes("0000 0003 00F8 0000"));
    a.replace(18, 6, mac);
    a[31] = 0x05;
    a.replace(44, 4, ip);
    a.replace(60, 4, hexBytes("FFFFFF00"));
    a.replace(76, 4, hexBytes("C6336401"));
    a.replace(80, manufacturer.size(), manufacturer);
    a.replace(112, 5, "Model");
    a.replace(144, 3, "2.3");
    a.replace(224, serial.size(), serial);
    return a;
}

QString slotAddress(int i)
{
    const SocketAddress a = DeviceLink::instance().socketSlot(i)->localAddress();
    return QStringLiteral("%1.%2.%3.%4").arg(a.address[0]).arg(a.address[1]).arg(a.address[2]).arg(a.address[3]);
}

int openDescriptors()
{
    return QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size();
}

}  // namespace

class TestDiscovery : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void settingsFileIsNextToTheExecutable();
    void onlyLoopbackGivesNoSocket();
    void interfaceNotRunningIsSkipped();
    void tenAddressesGiveEightSockets();
    void fourCharacterSettingKeepsPerInterfaceMode();
    void localSettingSelectsOneSocket();
    void settingThatIsNotLocalStillDiscovers();
    void nonForcedDiscoveryKeepsTheTable();
    void rediscoveryClosesEarlierSockets();
    void shortAcknowledgeReadsZerosNotOldBytes();
    void endlessSenderDoesNotHoldDiscovery();

private:
    void addInterface(int addresses, bool carrier = true);
    void useSetting(const QByteArray &value);

    QTemporaryDir dir;
    std::unique_ptr<FakeCamera> camera;
};

void TestDiscovery::initTestCase()
{
    // Never run where discovery could reach a real network.
    for (const QNetworkInterface &iface : QNetworkInterface::allInterfaces())
        if (!(iface.flags() & QNetworkInterface::IsLoopBack))
            QFAIL(qPrintable("refusing to run: this network namespace has interface " + iface.name() +
                             "; run the test through own-netns"));
    QVERIFY(qgetenv("ORVANTA_OWN_NETNS") == "1");
    QVERIFY(dir.isValid());
}

void TestDiscovery::init()
{
    useSetting(QByteArray());
    camera.reset(new FakeCamera("0.0.0.0", 3956));
    QVERIFY(camera->bound());
}

void TestDiscovery::cleanup()
{
    camera.reset();
    run("ip link del orv0 2>/dev/null; true");
}

void TestDiscovery::addInterface(int addresses, bool carrier)
{
    QVERIFY(run("ip link add orv0 type veth peer name orv1"));
    for (int i = 1; i <= addresses; ++i)
        QVERIFY(run(QStringLiteral("ip addr add 198.51.100.%1/24 dev orv0").arg(i)));
    QVERIFY(run("ip link set orv0 up"));
    if (carrier)
        QVERIFY(run("ip link set orv1 up"));
    // Wait until the kernel reports the state the test asked for.
    for (int i = 0; i < 100; ++i) {
        const auto iface = QNetworkInterface::interfaceFromName("orv0");
        if (bool(iface.flags() & QNetworkInterface::IsRunning) == carrier)
            break;
        QThread::msleep(20);
    }
}

void TestDiscovery::useSetting(const QByteArray &value)
{
    const QString path = dir.filePath("setting.ini");
    QFile::remove(path);
    if (!value.isNull()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[File]\nBroadcast=" + value + "\n");
    }
    DeviceLink::instance().setSettingsPath(path);
}

void TestDiscovery::settingsFileIsNextToTheExecutable()
{
    DeviceLink::instance().setSettingsPath(QString());
    QCOMPARE(DeviceLink::instance().settingsPath(),
             QCoreApplication::applicationDirPath() + "/setting.ini");
}

void TestDiscovery::onlyLoopbackGivesNoSocket()
{
    LogCapture log;
    DeviceLink &link = DeviceLink::instance();
    link.discover(true);
    QCOMPARE(link.socketCount(), 0);
    QVERIFY(link.interfaceAddresses().isEmpty());
    QVERIFY(link.devices().isEmpty());
    QVERIFY(link.discovered());
    QCOMPARE(log.count("Interface:"), 0);
    QCOMPARE(log.count("sendto"), 0);
    QCOMPARE(camera->receivedCount(), 0);
}

void TestDiscovery::interfaceNotRunningIsSkipped()
{
    addInterface(2, false);  // up, but no carrier
    DeviceLink &link = DeviceLink::instance();
    link.discover(true);
    QCOMPARE(link.socketCount(), 0);
    QVERIFY(link.interfaceAddresses().isEmpty());
}

void TestDiscovery::tenAddressesGiveEightSockets()
{
    addInterface(10);
    const QByteArray ack = discoveryAck(hexBytes("02 00 00 1A 2B 3C"), hexBytes("C6 33 64 63"),
                                        "Maker", "SN-0042/x");
    camera->setScript([&](const QByteArray &) {
        return Replies{{QByteArray(40, '\0')}, {ack}};
    });
    LogCapture log;
    DeviceLink &link = DeviceLink::instance();
    link.discover(true);

    QStringList expected;
    for (int i = 1; i <= 10; ++i)
        expected << QStringLiteral("198.51.100.%1").arg(i);
    QCOMPARE(link.interfaceAddresses(), expected);
    QCOMPARE(log.count("Interface: 198.51.100."), 10);
    QCOMPARE(link.socketCount(), 8);
    for (int i = 0; i < 8; ++i)
        QCOMPARE(slotAddress(i), expected[i]);

    // Every socket sent the same 16 bytes, and every one collected the
    // camera's answer: one record per acknowledge, none for the 40 bytes.
    const QList<QByteArray> sent = camera->received();
    QCOMPARE(sent.size(), 8);
    for (const QByteArray &d : sent) {
        QCOMPARE(d, sent[0]);
        QCOMPARE(d.left(6), hexBytes("42 11 00 02 00 08"));
        QCOMPARE(d.mid(8), QByteArray(8, '\0'));
    }
    QCOMPARE(link.devices().size(), 8);
    for (int i = 0; i < 8; ++i) {
        const DeviceRecord &r = link.devices()[i];
        QCOMPARE(r.socketSlot, link.socketSlot(i));
        QCOMPARE(r.hostIP, expected[i]);
        QCOMPARE(r.comboText(), QStringLiteral("198.51.100.99:SN0042x"));
        QCOMPARE(r.ipConfig, 5);
    }
    QCOMPARE(log.count("sendto OK.\n"), 8);
    QCOMPARE(log.count("get ack 40"), 8);
    QCOMPARE(log.count("get ack 256"), 8);
    QCOMPARE(log.count("error on recv after send! "), 8);
    QCOMPARE(log.count("mac 0200001A2B3C"), 8);
    QCOMPARE(log.count("ip 198.51.100.99"), 8);
    QCOMPARE(log.count("manufacturerName Maker"), 8);
    QCOMPARE(log.count("modelName Model"), 8);
    QCOMPARE(log.count("deviceVersion 2.3"), 8);
    QCOMPARE(log.count("serialNumber SN-0042/x"), 8);
    QCOMPARE(log.count("userDefinedName"), 8);
    QCOMPARE(log.count("bind error"), 0);
}

void TestDiscovery::fourCharacterSettingKeepsPerInterfaceMode()
{
    addInterface(3);
    useSetting("abcd");
    LogCapture log;
    DeviceLink &link = DeviceLink::instance();
    link.discover(true);
    QCOMPARE(link.socketCount(), 3);
    QCOMPARE(slotAddress(2), QString("198.51.100.3"));
    QCOMPARE(log.count("bind error"), 0);
}

void TestDiscovery::localSettingSelectsOneSocket()
{
    addInterface(3);
    useSetting("198.51.100.3");
    camera->setScript([](const QByteArray &) {
        return Replies{{discoveryAck(hexBytes("02 00 00 00 00 07"), hexBytes("C6 33 64 07"), "M", "S7")}};
    });
    DeviceLink &link = DeviceLink::instance();
    link.discover(true);
    QCOMPARE(link.socketCount(), 1);
    QCOMPARE(link.interfaceAddresses().size(), 3);
    QCOMPARE(slotAddress(0), QString("198.51.100.3"));
    QCOMPARE(link.devices().size(), 1);
    // The record names the first address found, not the configured one.
    QCOMPARE(link.devices()[0].hostIP, QString("198.51.100.1"));
    QCOMPARE(link.devices()[0].socketSlot, link.socketSlot(0));
}

void TestDiscovery::settingThatIsNotLocalStillDiscovers()
{
    addInterface(1);
    QVERIFY(run("ip route add default dev orv0"));
    useSetting("203.0.113.77");
    camera->setScript([](const QByteArray &) {
        return Replies{{discoveryAck(hexBytes("02 00 00 00 00 08"), hexBytes("C6 33 64 08"), "M", "S8")}};
    });
    LogCapture log;
    DeviceLink &link = DeviceLink::instance();
    link.discover(true);
    QCOMPARE(link.socketCount(), 1);
    QCOMPARE(log.count("bind error"), 1);
    QVERIFY(link.socketSlot(0)->isOpen());
    QCOMPARE(camera->receivedCount(), 1);
    QCOMPARE(link.devices().size(), 1);
    QCOMPARE(link.devices()[0].hostIP, QString("198.51.100.1"));
}

void TestDiscovery::nonForcedDiscoveryKeepsTheTable()
{
    addInterface(1);
    camera->setScript([](const QByteArray &) {
        return Replies{{discoveryAck(hexBytes("02 00 00 00 00 09"), hexBytes("C6 33 64 09"), "M", "S9")}};
    });
    DeviceLink &link = DeviceLink::instance();
    link.discover(true);
    QCOMPARE(link.devices().size(), 1);
    camera->setScript([](const QByteArray &) { return Replies{}; });
    link.discover(false);
    QCOMPARE(link.devices().size(), 1);
    QCOMPARE(QByteArray(link.devices()[0].serialNumber), QByteArray("S9"));
    QCOMPARE(camera->receivedCount(), 1);  // nothing sent the second time
    QVERIFY(link.socketSlot(0)->isOpen());
    QVERIFY(link.socketSlot(0)->localAddress().port != 0);
}

void TestDiscovery::rediscoveryClosesEarlierSockets()
{
    addInterface(4);
    DeviceLink &link = DeviceLink::instance();
    link.discover(false);
    const int after = openDescriptors();
    for (int i = 0; i < 3; ++i)
        link.discover(false);
    QCOMPARE(openDescriptors(), after);
    // Fewer addresses than before: the slots no longer in use are closed.
    QVERIFY(run("ip addr del 198.51.100.4/24 dev orv0 && ip addr del 198.51.100.3/24 dev orv0"));
    link.discover(false);
    QCOMPARE(link.socketCount(), 2);
    QVERIFY(!link.socketSlot(2)->isOpen());
    QVERIFY(!link.socketSlot(3)->isOpen());
    QCOMPARE(openDescriptors(), after - 2);
}

void TestDiscovery::shortAcknowledgeReadsZerosNotOldBytes()
{
    addInterface(1);
    QByteArray shortAck = discoveryAck(hexBytes("02 00 00 00 00 0B"), hexBytes("C6 33 64 0B"), "", "");
    shortAck.truncate(60);  // claims 248 bytes, carries 60
    camera->setScript([&](const QByteArray &) {
        return Replies{{discoveryAck(hexBytes("02 00 00 00 00 0A"), hexBytes("C6 33 64 0A"), "FIRST", "S10")},
                       {shortAck}};
    });
    DeviceLink &link = DeviceLink::instance();
    link.discover(true);
    QCOMPARE(link.devices().size(), 2);
    const DeviceRecord &second = link.devices()[1];
    QCOMPARE(second.macText(), QString("02000000000B"));
    QCOMPARE(second.ipText(), QString("198.51.100.11"));
    QCOMPARE(second.gatewayText(), QString("0.0.0.0"));  // offset 76, beyond the 60 bytes
    QCOMPARE(QByteArray(second.manufacturerName), QByteArray());
    QCOMPARE(QByteArray(second.serialNumber), QByteArray());
    QCOMPARE(QByteArray(second.deviceVersion), QByteArray());
}

void TestDiscovery::endlessSenderDoesNotHoldDiscovery()
{
    // Something on the network keeps sending to the discovery socket every
    // 100 ms: each datagram would restart the 500 ms wait for ever.
    addInterface(1);
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        FakeCamera sender("198.51.100.1", 0);
        while (!stop) {
            const quint16 port = DeviceLink::instance().socketSlot(0)->localAddress().port;
            if (port)
                sender.sendTo(port, QByteArray(16, '\x02'), "198.51.100.1");
            QThread::msleep(100);
        }
    });
    LogCapture log;
    QElapsedTimer timer;
    timer.start();
    DeviceLink::instance().discover(true);
    const qint64 ms = timer.elapsed();
    stop = true;
    flood.join();
    qInfo("discovery under a flood ended after %lld ms", ms);
    QCOMPARE(log.count("discovery collection cut short"), 1);
    QVERIFY(log.count("get ack 16") > 10);
}

QTEST_GUILESS_MAIN(TestDiscovery)
#include "tst_discovery.moc"
