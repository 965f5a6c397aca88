// The chosen-camera channel against a scripted camera on loopback: the bytes
// each operation puts on the wire, which replies it takes, what it logs, and
// that two threads never interleave their exchanges.
#include "devicechannel.h"
#include "fakecamera.h"
#include "gvcp.h"
#include "logcapture.h"

#include <QtTest>

#include <thread>

namespace {

using Replies = std::vector<FakeCamera::Reply>;

quint16 idOf(const QByteArray &request) { return be16At(request, 6); }

QByteArray withId(QByteArray bytes, quint16 id)
{
    bytes[6] = char(id >> 8);
    bytes[7] = char(id);
    return bytes;
}

FakeCamera::Script ackEveryWrite()
{
    return [](const QByteArray &r) { return Replies{{ackBytes(0, 0x8005, idOf(r))}}; };
}

QByteArray piece(int seed)
{
    QByteArray p(512, '\0');
    for (int i = 0; i < 512; ++i)
        p[i] = char((i * 7 + seed) & 0xFF);
    return p;
}

}  // namespace

class TestDeviceChannel : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void addressesAfterConstructionAndChoice();
    void noDeviceSendsNothing();

    void readRegTakesMatchingId();
    void readRegPreviousIdFailsQuietlyThenMatches();
    void readRegIgnoresStatus();
    void readMemShortReplyIsAccepted();
    void readMemRejects_data();
    void readMemRejects();
    void readMemSkipsStaleReply();

    void writeMemControlWordBytes();
    void writeMemPadsData();
    void writeMemRefusesOversizedRequests();
    void devWriteAcks_data();
    void devWriteAcks();
    void waitingDatagramIsDiscardedBeforeSending();
    void lateAckOfEarlierWriteIsNotTaken();

    void receiveFailureLines_data();
    void receiveFailureLines();
    void sendFailureLines();

    void forceIpReleaseDoesNotWait();
    void forceIpTakesAnyDatagram();
    void forceIpNonAddressTextGoesAsAllOnes();
    void configIpBytes_data();
    void configIpBytes();

    void concurrentExchangesDoNotInterleave();

private:
    std::unique_ptr<FakeCamera> camera;
    std::unique_ptr<UdpSocket> socket;
    std::unique_ptr<DeviceChannel> channel;
};

void TestDeviceChannel::init()
{
    camera.reset(new FakeCamera);
    QVERIFY(camera->bound());
    socket.reset(new UdpSocket);
    QVERIFY(socket->open());
    const quint8 loopback[4] = {127, 0, 0, 1};
    QVERIFY(socket->bindTo(loopback, 0));
    channel.reset(new DeviceChannel);
    channel->choose(socket.get(), loopback);
    channel->deviceAddr.port = camera->port();
    channel->broadcastAddr = channel->deviceAddr;  // no broadcasts from unit tests
    channel->setReplyTimeoutMs(150);
}

void TestDeviceChannel::cleanup()
{
    channel.reset();
    socket.reset();
    camera.reset();
}

void TestDeviceChannel::addressesAfterConstructionAndChoice()
{
    DeviceChannel fresh;
    QVERIFY(!fresh.hasDevice());
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(fresh.broadcastAddr.address), 4),
             hexBytes("FF FF FF FF"));
    QCOMPARE(fresh.broadcastAddr.port, quint16(3956));
    QCOMPARE(fresh.replyTimeoutMs(), 500);
    const quint8 camAddress[4] = {192, 168, 2, 14};
    fresh.choose(socket.get(), camAddress);
    QVERIFY(fresh.hasDevice());
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(fresh.deviceAddr.address), 4),
             hexBytes("C0 A8 02 0E"));
    QCOMPARE(fresh.deviceAddr.port, quint16(3956));
    fresh.setReplyTimeoutMs(5000);
    QCOMPARE(fresh.replyTimeoutMs(), 500);
    fresh.choose(nullptr, camAddress);
    QVERIFY(!fresh.hasDevice());
}

void TestDeviceChannel::noDeviceSendsNothing()
{
    camera->setScript([](const QByteArray &r) { return Replies{{ackBytes(0, 0x8005, idOf(r))}}; });
    DeviceChannel none;
    none.deviceAddr = channel->deviceAddr;
    none.broadcastAddr = channel->deviceAddr;
    LogCapture log;
    quint32 value = 0;
    quint8 buffer[2048];
    int size = sizeof buffer;
    const quint8 data[4] = {1, 2, 3, 4};
    const quint8 mac[6] = {2, 0, 0, 0, 0, 1};
    QVERIFY(!none.readReg(0, value));
    QVERIFY(!none.readMem(0x80000C00, 512, buffer, size));
    QCOMPARE(size, int(sizeof buffer));
    QVERIFY(!none.writeMem(0x27, data, 4, 4));
    QVERIFY(!none.writeMemWord(0x27, 0xD6000000));
    QVERIFY(!none.forceIp("0.0.0.0", "0.0.0.0", "0.0.0.0", mac));
    QVERIFY(!none.forceIp("192.0.2.5", "255.255.255.0", "0.0.0.0", mac));
    QVERIFY(!none.configIp("192.0.2.5", "255.255.255.0", "0.0.0.0", mac, 5));
    QThread::msleep(100);
    QCOMPARE(camera->receivedCount(), 0);
    QCOMPARE(log.all(), QStringList());
}

void TestDeviceChannel::readRegTakesMatchingId()
{
    gvcp::resetAccessReqIdForTest(0x0FFF);
    camera->setScript([](const QByteArray &r) {
        return Replies{{ackBytes(0, 0x0081, idOf(r), hexBytes("00 01 00 02"))}};
    });
    quint32 value = 0;
    QVERIFY(channel->readReg(0, value));
    QCOMPARE(value, 0x00010002u);
    QCOMPARE(camera->received(), QList<QByteArray>{hexBytes("42 01 00 80 00 04 10 00 00 00 00 00")});
}

void TestDeviceChannel::readRegPreviousIdFailsQuietlyThenMatches()
{
    int calls = 0;
    camera->setScript([&calls](const QByteArray &r) {
        const quint16 id = ++calls == 1 ? quint16(idOf(r) - 1) : idOf(r);
        return Replies{{ackBytes(0, 0x0081, id, hexBytes("00 00 00 07"))}};
    });
    LogCapture log;
    quint32 value = 99;
    QVERIFY(!channel->readReg(0, value));
    QCOMPARE(value, 99u);
    QCOMPARE(log.all(), QStringList());
    QVERIFY(channel->readReg(0, value));
    QCOMPARE(value, 7u);
}

void TestDeviceChannel::readRegIgnoresStatus()
{
    camera->setScript([](const QByteArray &r) {
        return Replies{{ackBytes(0x8006, 0x0081, idOf(r), hexBytes("00 00 00 2A"))}};
    });
    quint32 value = 0;
    QVERIFY(channel->readReg(0, value));
    QCOMPARE(value, 42u);
}

void TestDeviceChannel::readMemShortReplyIsAccepted()
{
    gvcp::resetAccessReqIdForTest(0x0041);
    camera->setScript([](const QByteArray &r) {
        return Replies{{ackBytes(0, 0x0085, idOf(r), hexBytes("80 00 0C 00 AA BB CC DD EE FF 11 22"))}};
    });
    quint8 buffer[2048];
    int size = sizeof buffer;
    QVERIFY(channel->readMem(0x80000C00, 512, buffer, size));
    QCOMPARE(size, 20);
    QCOMPARE(QByteArray(reinterpret_cast<char *>(buffer) + 12, 8), hexBytes("AA BB CC DD EE FF 11 22"));
    QCOMPARE(QByteArray(reinterpret_cast<char *>(buffer) + 20, 8), QByteArray(8, '\0'));
    QCOMPARE(camera->received(),
             QList<QByteArray>{hexBytes("42 11 00 84 00 08 00 42 80 00 0C 00 00 00 02 00")});
}

void TestDeviceChannel::readMemRejects_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("idXor");
    QTest::newRow("non-zero status, same id") << 0x8006 << 0x0085 << 0;
    QTest::newRow("write acknowledge code") << 0 << 0x8005 << 0;
    QTest::newRow("id of no earlier request") << 0 << 0x0085 << 0x8000;
}

void TestDeviceChannel::readMemRejects()
{
    QFETCH(int, status);
    QFETCH(int, code);
    QFETCH(int, idXor);
    camera->setScript([=](const QByteArray &r) {
        return Replies{{ackBytes(quint16(status), quint16(code), quint16(idOf(r) ^ idXor),
                                 QByteArray(516, '\x33'))}};
    });
    LogCapture log;
    quint8 buffer[2048];
    int size = 2048;
    QVERIFY(!channel->readMem(0x80000C00, 512, buffer, size));
    QCOMPARE(size, 2048);
    QCOMPARE(log.all(), QStringList{"readmem error on header 524"});
}

void TestDeviceChannel::readMemSkipsStaleReply()
{
    camera->setScript([](const QByteArray &r) {
        return Replies{{ackBytes(0, 0x0085, quint16(idOf(r) - 1), QByteArray(4, '\0') + piece(1))},
                       {ackBytes(0, 0x0085, idOf(r), QByteArray(4, '\0') + piece(2))}};
    });
    quint8 buffer[2048];
    int size = 2048;
    QVERIFY(channel->readMem(0x80000C80, 512, buffer, size));
    QCOMPARE(size, 524);
    QCOMPARE(QByteArray(reinterpret_cast<char *>(buffer) + 12, 512), piece(2));
}

void TestDeviceChannel::writeMemControlWordBytes()
{
    camera->setScript(ackEveryWrite());
    gvcp::resetAccessReqIdForTest(0x0200);
    const quint8 control[4] = {0xD5, 0x00, 0x30, 0x00};
    QVERIFY(channel->writeMem(0x27, control, 4, 4));
    QVERIFY(channel->writeMemWord(0x27, 0xD5003000));
    const QList<QByteArray> sent = camera->received();
    QCOMPARE(sent.size(), 2);
    QCOMPARE(sent[0], hexBytes("42 11 FF F0 00 08 02 01 00 00 00 27 D5 00 30 00"));
    QCOMPARE(sent[1], hexBytes("42 11 FF F0 00 08 02 02 00 00 00 27 D5 00 30 00"));
}

void TestDeviceChannel::writeMemPadsData()
{
    camera->setScript(ackEveryWrite());
    gvcp::resetAccessReqIdForTest(0x0300);
    QByteArray data(100, '\0');
    for (int i = 0; i < 100; ++i)
        data[i] = char(0xC0 + (i % 64));
    QVERIFY(channel->writeMem(0x0C80, reinterpret_cast<const quint8 *>(data.constData()), 100, 512));
    const QList<QByteArray> sent = camera->received();
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent[0].size(), 524);
    QCOMPARE(sent[0].left(12), hexBytes("42 11 FF F0 02 04 03 01 00 00 0C 80"));
    QCOMPARE(sent[0].mid(12, 100), data);
    QCOMPARE(sent[0].mid(112), QByteArray(412, '\0'));
}

void TestDeviceChannel::writeMemRefusesOversizedRequests()
{
    camera->setScript(ackEveryWrite());
    static quint8 data[2048];
    QVERIFY(channel->writeMem(0x0C00, data, 1012, 1012));
    QVERIFY(!channel->writeMem(0x0C00, data, 1013, 1013));
    QVERIFY(!channel->writeMem(0x0C00, data, 4, 1013));
    QVERIFY(!channel->writeMem(0x0C00, data, -1, 4));
    QVERIFY(!channel->writeMem(0x0C00, nullptr, 4, 4));
    QThread::msleep(50);
    QCOMPARE(camera->receivedCount(), 1);
    QCOMPARE(camera->received()[0].size(), 1024);
}

void TestDeviceChannel::devWriteAcks_data()
{
    QTest::addColumn<QByteArray>("reply");  // request id bytes 6-7 replaced per mode
    QTest::addColumn<int>("idMode");         // 0: echo, 1: previous, 2: leave as given
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("logLine");
    QTest::newRow("echoing ack") << hexBytes("0000 8005 0000 0000") << 0 << true << QString();
    QTest::newRow("ack without id") << hexBytes("0000 8005 0000 0000") << 2 << true << QString();
    QTest::newRow("4-byte ack") << hexBytes("0000 8005") << 2 << true << QString();
    QTest::newRow("ack of an earlier write") << hexBytes("0000 8005 0000 0000") << 1 << false
                                             << "writemem error on header 8";
    QTest::newRow("error status") << hexBytes("8001 8005 0000 0000") << 0 << false
                                  << "writemem error on header 8";
    QTest::newRow("readmem code") << hexBytes("0000 0085 0000 0000") << 0 << false
                                  << "writemem error on header 8";
    QTest::newRow("3 bytes") << hexBytes("0000 80") << 2 << false << "writemem error on header 3";
}

void TestDeviceChannel::devWriteAcks()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, idMode);
    QFETCH(bool, accepted);
    QFETCH(QString, logLine);
    camera->setScript([=](const QByteArray &r) {
        if (idMode == 2)
            return Replies{{reply}};
        return Replies{{withId(reply, quint16(idOf(r) - (idMode == 1 ? 1 : 0)))}};
    });
    LogCapture log;
    const quint8 control[4] = {0xD5, 0x00, 0x10, 0x00};
    QCOMPARE(channel->writeMem(0x27, control, 4, 4), accepted);
    QCOMPARE(channel->writeMemWord(0x27, 0xD6001000), accepted);
    const QStringList expected =
        logLine.isEmpty() ? QStringList() : QStringList{logLine, logLine};
    QCOMPARE(log.all(), expected);
}

void TestDeviceChannel::waitingDatagramIsDiscardedBeforeSending()
{
    // The camera stays silent; an acknowledge already waiting on the socket
    // (a late one from before) must not be taken for this write's.
    camera->sendTo(socket->localAddress().port, hexBytes("0000 8005 0000 0000"));
    QThread::msleep(30);
    LogCapture log;
    const quint8 control[4] = {0xD5, 0x00, 0x10, 0x00};
    QVERIFY(!channel->writeMem(0x27, control, 4, 4));
    QCOMPARE(log.count("error on recv "), 1);
    QCOMPARE(camera->receivedCount(), 1);
}

void TestDeviceChannel::lateAckOfEarlierWriteIsNotTaken()
{
    // The first write's acknowledge comes after its time-out, while the
    // second write waits for its own, which never comes.
    channel->setReplyTimeoutMs(200);
    int calls = 0;
    camera->setScript([&calls](const QByteArray &r) {
        if (++calls == 1)
            return Replies{{ackBytes(0, 0x8005, idOf(r)), 300}};
        return Replies{};
    });
    const quint8 data[4] = {1, 2, 3, 4};
    QVERIFY(!channel->writeMem(0x0C00, data, 4, 4));
    LogCapture log;
    QVERIFY(!channel->writeMem(0x0C00, data, 4, 4));
    QCOMPARE(log.all(), QStringList{"writemem error on header 8"});
}

void TestDeviceChannel::receiveFailureLines_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("prefix");
    QTest::newRow("readReg") << 0 << "error on recv ";
    QTest::newRow("readMem") << 1 << "readmem error on recv ";
    QTest::newRow("writeMem") << 2 << "error on recv ";
    QTest::newRow("writeMemWord") << 3 << "writemem error on recv ";
    QTest::newRow("forceIp") << 4 << "error on recv ";
    QTest::newRow("configIp") << 5 << "error on recv ";
}

namespace {

bool runOperation(DeviceChannel &channel, int operation)
{
    quint32 value = 0;
    quint8 buffer[2048];
    int size = sizeof buffer;
    const quint8 data[4] = {0xD5, 0, 0, 0};
    const quint8 mac[6] = {2, 0, 0, 0, 0, 1};
    switch (operation) {
    case 0: return channel.readReg(0, value);
    case 1: return channel.readMem(0x80000C00, 512, buffer, size);
    case 2: return channel.writeMem(0x27, data, 4, 4);
    case 3: return channel.writeMemWord(0x27, 0xD6000000);
    case 4: return channel.forceIp("192.0.2.7", "255.255.255.0", "192.0.2.1", mac);
    default: return channel.configIp("192.0.2.7", "255.255.255.0", "192.0.2.1", mac, 5);
    }
}

}  // namespace

void TestDeviceChannel::receiveFailureLines()
{
    QFETCH(int, operation);
    QFETCH(QString, prefix);
    LogCapture log;
    QVERIFY(!runOperation(*channel, operation));
    const QStringList lines = log.all();
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines[0].startsWith(prefix), qPrintable(lines[0]));
    bool isNumber = false;
    lines[0].mid(prefix.size()).toInt(&isNumber);
    QVERIFY2(isNumber, qPrintable(lines[0]));
    QCOMPARE(camera->receivedCount(), 1);
}

void TestDeviceChannel::sendFailureLines()
{
    socket->close();  // the slot lost its handle: every send fails
    LogCapture log;
    for (int operation = 0; operation <= 5; ++operation)
        QVERIFY(!runOperation(*channel, operation));
    const QStringList lines = log.all();
    QCOMPARE(lines.size(), 6);
    for (const QString &line : lines)
        QVERIFY2(line.startsWith("sendto err ") && line.size() > 11, qPrintable(line));
}

void TestDeviceChannel::forceIpReleaseDoesNotWait()
{
    // Nobody listens: the release is done once the datagram is out.
    FakeCamera nobody;
    const quint16 port = nobody.port();
    camera.reset();
    channel->broadcastAddr.port = port;
    const quint8 mac[6] = {0x02, 0x00, 0x00, 0x1A, 0x2B, 0x3C};
    QVERIFY(channel->forceIp("0.0.0.0", "0.0.0.0", "0.0.0.0", mac));
    QThread::msleep(50);
    QCOMPARE(nobody.received(),
             QList<QByteArray>{hexBytes("42 01 00 04 00 38 00 01 00 00 02 00 00 1A 2B 3C") +
                               QByteArray(48, '\0')});
}

void TestDeviceChannel::forceIpTakesAnyDatagram()
{
    camera->setScript([](const QByteArray &) { return Replies{{hexBytes("01 02 03")}}; });
    const quint8 mac[6] = {0x02, 0x00, 0x00, 0x1A, 0x2B, 0x3C};
    QVERIFY(channel->forceIp("192.168.2.14", "255.255.255.0", "192.168.2.1", mac));
    QCOMPARE(camera->received(),
             QList<QByteArray>{hexBytes("42 01 00 04 00 38 00 01 00 00 02 00 00 1A 2B 3C"
                                        "00 00 00 00 00 00 00 00 00 00 00 00 C0 A8 02 0E"
                                        "00 00 00 00 00 00 00 00 00 00 00 00 FF FF FF 00"
                                        "00 00 00 00 00 00 00 00 00 00 00 00 C0 A8 02 01")});
}

void TestDeviceChannel::forceIpNonAddressTextGoesAsAllOnes()
{
    camera->setScript([](const QByteArray &) { return Replies{{hexBytes("00")}}; });
    const quint8 mac[6] = {0x02, 0x00, 0x00, 0x1A, 0x2B, 0x3C};
    QVERIFY(channel->forceIp("camera", "255.255.255.0", "1.2.3", mac));
    const QByteArray sent = camera->received().value(0);
    QCOMPARE(sent.mid(28, 4), hexBytes("FF FF FF FF"));
    QCOMPARE(sent.mid(44, 4), hexBytes("FF FF FF 00"));
    QCOMPARE(sent.mid(60, 4), hexBytes("FF FF FF FF"));
}

void TestDeviceChannel::configIpBytes_data()
{
    QTest::addColumn<int>("config");
    QTest::addColumn<QByteArray>("wire");
    const char *head = "42 11 80 04 00 4C FF FF 00 00 02 00 00 1A 2B 3C";
    QTest::newRow("static + LLA") << 5
                                  << hexBytes(head) + hexBytes("00 00 00 05"
                                                               "00 00 00 00 00 00 00 00 00 00 00 00"
                                                               "C0 A8 02 0E"
                                                               "00 00 00 00 00 00 00 00 00 00 00 00"
                                                               "FF FF FF 00"
                                                               "00 00 00 00 00 00 00 00 00 00 00 00"
                                                               "C0 A8 02 01") +
                                         QByteArray(16, '\0');
    QTest::newRow("DHCP + LLA") << 6 << hexBytes(head) + hexBytes("00 00 00 06") + QByteArray(64, '\0');
    QTest::newRow("LLA only") << 4 << hexBytes(head) + hexBytes("00 00 00 04") + QByteArray(64, '\0');
}

void TestDeviceChannel::configIpBytes()
{
    QFETCH(int, config);
    QFETCH(QByteArray, wire);
    camera->setScript([](const QByteArray &r) { return Replies{{ackBytes(0, 0x8005, idOf(r))}}; });
    const quint8 mac[6] = {0x02, 0x00, 0x00, 0x1A, 0x2B, 0x3C};
    QVERIFY(channel->configIp("192.168.2.14", "255.255.255.0", "192.168.2.1", mac, config));
    QCOMPARE(wire.size(), 84);
    QCOMPARE(camera->received(), QList<QByteArray>{wire});
}

void TestDeviceChannel::concurrentExchangesDoNotInterleave()
{
    // Replies come 2 ms late: were two exchanges in flight at once, the
    // camera would see a request while a reply is still due.
    camera->setScript([](const QByteArray &r) { return Replies{{ackBytes(0, 0x8005, idOf(r)), 2}}; });
    channel->setReplyTimeoutMs(500);
    std::atomic<int> failures{0};
    auto worker = [&](int base) {
        QByteArray data = piece(base);
        for (int i = 0; i < 60; ++i)
            if (!channel->writeMem(quint16(0x0C00 + 0x80 * (i % 8)),
                                   reinterpret_cast<const quint8 *>(data.constData()), 512, 512))
                ++failures;
    };
    std::thread a(worker, 1), b(worker, 2);
    a.join();
    b.join();
    QCOMPARE(failures.load(), 0);
    QCOMPARE(camera->receivedCount(), 120);
    QVERIFY(!camera->sawOverlap());
}

QTEST_GUILESS_MAIN(TestDeviceChannel)
#include "tst_devicechannel.moc"
