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

using Replies = FakeCamera::Replies;

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

const quint8 Mac[6] = {0x02, 0x00, 0x00, 0x1A, 0x2B, 0x3C};
const QByteArray ForceIpHead = hexBytes("42 01 00 04 00 38 00 01 00 00 02 00 00 1A 2B 3C");

// Operation n of the channel, as the failure-line tests run them.
bool runOperation(DeviceChannel &channel, int operation)
{
    quint32 value = 0;
    quint8 buffer[2048];
    int size = sizeof buffer;
    const quint8 data[4] = {0xD5, 0, 0, 0};
    switch (operation) {
    case 0: return channel.readReg(0, value);
    case 1: return channel.readMem(0x80000C00, 512, buffer, size);
    case 2: return channel.writeMem(0x27, data, 4, 4);
    case 3: return channel.writeMemWord(0x27, 0xD6000000);
    case 4: return channel.forceIp("192.0.2.7", "255.255.255.0", "192.0.2.1", Mac);
    default: return channel.configIp("192.0.2.7", "255.255.255.0", "192.0.2.1", Mac, 5);
    }
}

}  // namespace

class TestDeviceChannel : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void noDeviceSendsNothing();
    void readRegOnTheWireAndByRequestId();
    void readMemRejects_data();
    void readMemRejects();
    void readMemSkipsStaleReply();
    void writeMemRefusesOversizedRequests();
    void devWriteAcks_data();
    void devWriteAcks();
    void waitingDatagramIsDiscardedBeforeSending();
    void lateAckOfEarlierWriteIsNotTaken();
    void failureLines_data();
    void failureLines();
    void forceIp();
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
    const quint8 loopback[4] = {127, 0, 0, 1};
    QVERIFY(socket->open() && socket->bindTo(loopback, 0));
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

void TestDeviceChannel::noDeviceSendsNothing()
{
    camera->setScript(ackEveryWrite());
    DeviceChannel none;  // no camera chosen, but it would know where to send
    none.deviceAddr = none.broadcastAddr = channel->deviceAddr;
    QVERIFY(!none.hasDevice());
    LogCapture log(false);
    for (int operation = 0; operation <= 5; ++operation)
        QVERIFY(!runOperation(none, operation));
    QVERIFY(!none.forceIp("0.0.0.0", "0.0.0.0", "0.0.0.0", Mac));
    QThread::msleep(100);
    QCOMPARE(camera->receivedCount(), 0);
    QCOMPARE(log.lines(), QStringList());
}

void TestDeviceChannel::readRegOnTheWireAndByRequestId()
{
    // The first reply carries the previous request's id: not this one's,
    // and no log line for it. The second matches.
    gvcp::resetAccessReqIdForTest(0x0FFF);
    int calls = 0;
    camera->setScript([&calls](const QByteArray &r) {
        const quint16 id = ++calls == 1 ? quint16(idOf(r) - 1) : idOf(r);
        return Replies{{ackBytes(0x8006, 0x0081, id, hexBytes("00 01 00 02"))}};
    });
    LogCapture log(false);
    quint32 value = 99;
    QVERIFY(!channel->readReg(0, value));
    QCOMPARE(value, 99u);
    QCOMPARE(log.lines(), QStringList());
    QVERIFY(channel->readReg(0, value));  // the status is not looked at
    QCOMPARE(value, 0x00010002u);
    QCOMPARE(camera->received().value(0), hexBytes("42 01 00 80 00 04 10 00 00 00 00 00"));
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
        return Replies{{ackBytes(quint16(status), quint16(code), quint16(idOf(r) ^ idXor), QByteArray(516, '\x33'))}};
    });
    LogCapture log(false);
    quint8 buffer[2048];
    int size = 2048;
    QVERIFY(!channel->readMem(0x80000C00, 512, buffer, size));
    QCOMPARE(size, 2048);
    QCOMPARE(log.lines(), QStringList{"readmem error on header 524"});
}

void TestDeviceChannel::readMemSkipsStaleReply()
{
    gvcp::resetAccessReqIdForTest(0x0041);
    camera->setScript([](const QByteArray &r) {
        return Replies{{ackBytes(0, 0x0085, quint16(idOf(r) - 1), QByteArray(4, '\0') + QByteArray(512, 'o'))},
                       {ackBytes(0, 0x0085, idOf(r), QByteArray(4, '\0') + QByteArray(512, 'n'))}};
    });
    quint8 buffer[2048];
    int size = 2048;
    QVERIFY(channel->readMem(0x80000C80, 512, buffer, size));
    QCOMPARE(size, 524);
    QCOMPARE(QByteArray(reinterpret_cast<char *>(buffer) + 12, 512), QByteArray(512, 'n'));
    QCOMPARE(camera->received(), QList<QByteArray>{hexBytes("42 11 00 84 00 08 00 42 80 00 0C 80 00 00 02 00")});
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
    QTest::newRow("error status") << hexBytes("8001 8005 0000 0000") << 0 << false << "writemem error on header 8";
    QTest::newRow("readmem code") << hexBytes("0000 0085 0000 0000") << 0 << false << "writemem error on header 8";
    QTest::newRow("3 bytes") << hexBytes("0000 80") << 2 << false << "writemem error on header 3";
}

void TestDeviceChannel::devWriteAcks()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, idMode);
    QFETCH(bool, accepted);
    QFETCH(QString, logLine);
    camera->setScript([=](const QByteArray &r) {
        return Replies{{idMode == 2 ? reply : withId(reply, quint16(idOf(r) - idMode))}};
    });
    LogCapture log(false);
    const quint8 control[4] = {0xD5, 0x00, 0x10, 0x00};
    QCOMPARE(channel->writeMem(0x27, control, 4, 4), accepted);
    QCOMPARE(channel->writeMemWord(0x27, 0xD6001000), accepted);
    QCOMPARE(log.lines(), logLine.isEmpty() ? QStringList() : QStringList({logLine, logLine}));
}

void TestDeviceChannel::waitingDatagramIsDiscardedBeforeSending()
{
    // The camera stays silent; an acknowledge already waiting on the socket
    // (a late one from before) must not be taken for this write's.
    camera->sendTo(socket->localAddress().port, hexBytes("0000 8005 0000 0000"));
    QThread::msleep(30);
    LogCapture log(false);
    const quint8 control[4] = {0xD5, 0x00, 0x10, 0x00};
    QVERIFY(!channel->writeMem(0x27, control, 4, 4));
    QCOMPARE(log.count("error on recv "), 1);
}

void TestDeviceChannel::lateAckOfEarlierWriteIsNotTaken()
{
    // The first write's acknowledge comes after its time-out, while the
    // second write waits for its own, which never comes.
    channel->setReplyTimeoutMs(200);
    int calls = 0;
    camera->setScript([&calls](const QByteArray &r) {
        return ++calls == 1 ? Replies{{ackBytes(0, 0x8005, idOf(r)), 300}} : Replies{};
    });
    const quint8 data[4] = {1, 2, 3, 4};
    QVERIFY(!channel->writeMem(0x0C00, data, 4, 4));
    LogCapture log(false);
    QVERIFY(!channel->writeMem(0x0C00, data, 4, 4));
    QCOMPARE(log.lines(), QStringList{"writemem error on header 8"});
}

void TestDeviceChannel::failureLines_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("prefix");  // then a number: the error code
    QTest::newRow("readReg") << 0 << "error on recv ";
    QTest::newRow("readMem") << 1 << "readmem error on recv ";
    QTest::newRow("writeMem") << 2 << "error on recv ";
    QTest::newRow("writeMemWord") << 3 << "writemem error on recv ";
    QTest::newRow("forceIp") << 4 << "error on recv ";
    QTest::newRow("configIp") << 5 << "error on recv ";
}

void TestDeviceChannel::failureLines()
{
    QFETCH(int, operation);
    QFETCH(QString, prefix);
    for (const QString &expected : {prefix, QString("sendto err ")}) {
        LogCapture log(false);
        QVERIFY(!runOperation(*channel, operation));
        const QStringList lines = log.lines();
        QCOMPARE(lines.size(), 1);
        bool isNumber = false;
        lines[0].mid(expected.size()).toInt(&isNumber);
        QVERIFY2(lines[0].startsWith(expected) && isNumber, qPrintable(lines[0]));
        socket->close();  // the slot lost its handle: the send itself fails
    }
    QCOMPARE(camera->receivedCount(), 1);
}

void TestDeviceChannel::forceIp()
{
    // Any datagram is an answer.
    camera->setScript([](const QByteArray &) { return Replies{{hexBytes("01 02 03")}}; });
    QVERIFY(channel->forceIp("192.168.2.14", "255.255.255.0", "192.168.2.1", Mac));
    QCOMPARE(camera->received().value(0).left(16), ForceIpHead);
    // The release to 0.0.0.0 is done once the datagram is out: nobody answers.
    camera->setScript({});
    QVERIFY(channel->forceIp("0.0.0.0", "0.0.0.0", "0.0.0.0", Mac));
    QTRY_COMPARE(camera->receivedCount(), 2);
    QCOMPARE(camera->received()[1], ForceIpHead + QByteArray(48, '\0'));
}

void TestDeviceChannel::configIpBytes_data()
{
    QTest::addColumn<int>("config");
    QTest::addColumn<QByteArray>("wire");
    const QByteArray head = hexBytes("42 11 80 04 00 4C FF FF 00 00 02 00 00 1A 2B 3C");
    const QByteArray z12(12, '\0');
    QTest::newRow("static + LLA") << 5
                                  << head + hexBytes("00 00 00 05") + z12 + hexBytes("C0 A8 02 0E") + z12 +
                                         hexBytes("FF FF FF 00") + z12 + hexBytes("C0 A8 02 01") + QByteArray(16, '\0');
    // The addresses are not sent for DHCP and LLA.
    QTest::newRow("DHCP + LLA") << 6 << head + hexBytes("00 00 00 06") + QByteArray(64, '\0');
    QTest::newRow("LLA only") << 4 << head + hexBytes("00 00 00 04") + QByteArray(64, '\0');
}

void TestDeviceChannel::configIpBytes()
{
    QFETCH(int, config);
    QFETCH(QByteArray, wire);
    camera->setScript(ackEveryWrite());
    QVERIFY(channel->configIp("192.168.2.14", "255.255.255.0", "192.168.2.1", Mac, config));
    QCOMPARE(camera->received(), QList<QByteArray>{wire});
}

void TestDeviceChannel::concurrentExchangesDoNotInterleave()
{
    // Replies come 2 ms late: were two exchanges in flight at once, the
    // camera would see a request while a reply is still due.
    camera->setScript([](const QByteArray &r) { return Replies{{ackBytes(0, 0x8005, idOf(r)), 2}}; });
    channel->setReplyTimeoutMs(500);
    std::atomic<int> failures{0};
    auto worker = [&](char fill) {
        const QByteArray data(512, fill);
        for (int i = 0; i < 60; ++i)
            if (!channel->writeMem(quint16(0x0C00 + 0x80 * (i % 8)), reinterpret_cast<const quint8 *>(data.constData()),
                                   512, 512))
                ++failures;
    };
    std::thread a(worker, 'a'), b(worker, 'b');
    a.join();
    b.join();
    QCOMPARE(failures.load(), 0);
    QCOMPARE(camera->receivedCount(), 120);
    QVERIFY(!camera->sawOverlap());
}

QTEST_GUILESS_MAIN(TestDeviceChannel)
#include "tst_devicechannel.moc"
