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

using Replies = FakeCamera::Replies;

bool run(const QString &command) { return QProcess::execute("sh", {"-c", command}) == 0; }

// A discovery acknowledge built from absolute offsets; `last` is the last
// byte of the MAC and of the address 198.51.100.x.
QByteArray discoveryAck(quint8 last, const QByteArray &manufacturer = "M", const QByteArray &serial = "S")
{
    QByteArray a(256, '\0');
    a.replace(0, 8, hexBytes("0000 0003 00F8 0000"));
    a.replace(18, 6, hexBytes("02 00 00 00 00") + char(last));
    a[31] = 0x05;
    a.replace(44, 4, hexBytes("C6 33 64") + char(last));
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
    void noRunningInterfaceGivesNoSocket();
    void tenAddressesGiveEightSockets();
    void fourCharacterSettingKeepsPerInterfaceMode();
    void localSettingSelectsOneSocket();
    void settingThatIsNotLocalStillDiscovers();
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
            QFAIL(qPrintable("refusing to run beside interface " + iface.name() + "; run it through own-netns"));
    QVERIFY(qgetenv("ORVANTA_OWN_NETNS") == "1");
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
    QVERIFY(run(carrier ? "ip link set orv0 up && ip link set orv1 up" : "ip link set orv0 up"));
    for (int i = 0; i < 100; ++i) {  // until the kernel reports the state asked for
        if (bool(QNetworkInterface::interfaceFromName("orv0").flags() & QNetworkInterface::IsRunning) == carrier)
            break;
        QThread::msleep(20);
    }
}

void TestDiscovery::useSetting(const QByteArray &value)
{
    const QString path = dir.filePath("setting.ini");
    QFile::remove(path);
    QFile f(path);
    if (!value.isNull())
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("[File]\nBroadcast=" + value + "\n") > 0);
    DeviceLink::instance().setSettingsPath(path);
}

void TestDiscovery::noRunningInterfaceGivesNoSocket()
{
    addInterface(2, false);  // up, but no carrier; and the loopback
    LogCapture log(false);
    DeviceLink &link = DeviceLink::instance();
    link.discover(true);
    QCOMPARE(link.socketCount(), 0);
    QVERIFY(link.interfaceAddresses().isEmpty() && link.devices().isEmpty());
    QCOMPARE(log.count("sendto"), 0);
    QCOMPARE(camera->receivedCount(), 0);
}

void TestDiscovery::tenAddressesGiveEightSockets()
{
    addInterface(10);
    camera->setScript([](const QByteArray &) {
        return Replies{{QByteArray(40, '\0')}, {discoveryAck(99, "Maker", "SN-0042/x")}};
    });
    LogCapture log(false);
    DeviceLink &link = DeviceLink::instance();
    link.discover(true);

    QStringList expected;
    for (int i = 1; i <= 10; ++i)
        expected << QStringLiteral("198.51.100.%1").arg(i);
    QCOMPARE(link.interfaceAddresses(), expected);
    QCOMPARE(link.socketCount(), 8);
    // Every socket sent the discovery command and collected the answer: one
    // record per acknowledge, none for the 40 bytes.
    const QList<QByteArray> sent = camera->received();
    QCOMPARE(sent.size(), 8);
    for (const QByteArray &d : sent)
        QCOMPARE(d.left(6) + d.mid(8), hexBytes("42 11 00 02 00 08") + QByteArray(8, '\0'));
    QCOMPARE(link.devices().size(), 8);
    for (int i = 0; i < 8; ++i) {
        QCOMPARE(slotAddress(i), expected[i]);
        const DeviceRecord &r = link.devices()[i];
        QCOMPARE(r.socketSlot, link.socketSlot(i));
        QCOMPARE(r.hostIP, expected[i]);
        QCOMPARE(r.comboText(), QStringLiteral("198.51.100.99:SN0042x"));
    }
    QCOMPARE(log.count("Interface: 198.51.100."), 10);
    for (const char *line : {"sendto OK.\n", "get ack 40", "get ack 256", "error on recv after send! ",
                             "mac 02000000006", "ip 198.51.100.99", "manufacturerName Maker", "modelName Model",
                             "deviceVersion 2.3", "serialNumber SN-0042/x", "userDefinedName"})
        QVERIFY2(log.count(line) == 8, line);
    QCOMPARE(log.count("bind error"), 0);
}

void TestDiscovery::fourCharacterSettingKeepsPerInterfaceMode()
{
    addInterface(3);
    useSetting("abcd");
    LogCapture log(false);
    DeviceLink::instance().discover(true);
    QCOMPARE(DeviceLink::instance().socketCount(), 3);
    QCOMPARE(slotAddress(2), QString("198.51.100.3"));
    QCOMPARE(log.count("bind error"), 0);
}

void TestDiscovery::localSettingSelectsOneSocket()
{
    addInterface(3);
    useSetting("198.51.100.3");
    camera->setScript([](const QByteArray &) { return Replies{{discoveryAck(7)}}; });
    DeviceLink &link = DeviceLink::instance();
    link.discover(true);
    QCOMPARE(link.socketCount(), 1);
    QCOMPARE(slotAddress(0), QString("198.51.100.3"));
    QCOMPARE(link.devices().size(), 1);
    // The record names the first address found, not the configured one.
    QCOMPARE(link.devices()[0].hostIP, QString("198.51.100.1"));
}

void TestDiscovery::settingThatIsNotLocalStillDiscovers()
{
    addInterface(1);
    QVERIFY(run("ip route add default dev orv0"));
    useSetting("203.0.113.77");
    camera->setScript([](const QByteArray &) { return Replies{{discoveryAck(8)}}; });
    LogCapture log(false);
    DeviceLink &link = DeviceLink::instance();
    link.discover(true);
    QCOMPARE(log.count("bind error"), 1);
    QCOMPARE(link.socketCount(), 1);
    QCOMPARE(camera->receivedCount(), 1);
    QCOMPARE(link.devices().size(), 1);
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
    QVERIFY(!link.socketSlot(2)->isOpen() && !link.socketSlot(3)->isOpen());
    QCOMPARE(openDescriptors(), after - 2);
}

void TestDiscovery::shortAcknowledgeReadsZerosNotOldBytes()
{
    addInterface(1);
    QByteArray shortAck = discoveryAck(11, "", "");
    shortAck.truncate(60);  // claims 248 bytes, carries 60
    camera->setScript([&](const QByteArray &) { return Replies{{discoveryAck(10, "FIRST", "S10")}, {shortAck}}; });
    DeviceLink &link = DeviceLink::instance();
    link.discover(true);
    QCOMPARE(link.devices().size(), 2);
    const DeviceRecord &second = link.devices()[1];
    QCOMPARE(second.ipText(), QString("198.51.100.11"));
    QCOMPARE(second.gatewayText(), QString("0.0.0.0"));  // offset 76, beyond the 60 bytes
    QCOMPARE(QByteArray(second.manufacturerName) + second.deviceVersion + second.serialNumber, QByteArray());
}

void TestDiscovery::endlessSenderDoesNotHoldDiscovery()
{
    // Something keeps sending to the discovery socket every 100 ms: each
    // datagram would restart the 500 ms wait for ever.
    addInterface(1);
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        FakeCamera sender("198.51.100.1", 0);
        while (!stop) {
            if (const quint16 port = DeviceLink::instance().socketSlot(0)->localAddress().port)
                sender.sendTo(port, QByteArray(16, '\x02'), "198.51.100.1");
            QThread::msleep(100);
        }
    });
    LogCapture log(false);
    DeviceLink::instance().discover(true);
    stop = true;
    flood.join();
    QCOMPARE(log.count("discovery collection cut short"), 1);
    QVERIFY(log.count("get ack 16") > 10);
}

QTEST_GUILESS_MAIN(TestDiscovery)
#include "tst_discovery.moc"
