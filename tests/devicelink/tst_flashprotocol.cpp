// The flash block protocol over an in-memory camera that records every call
// and fails on request, plus one run against a silent camera over UDP.
#include "devicechannel.h"
#include "fakecamera.h"
#include "flashprotocol.h"
#include "logcapture.h"

#include <QtTest>

#include <cstring>
#include <functional>
#include <map>

namespace {

// A camera in memory: window, control word, flash. `fail` decides per call
// (numbered from 1) whether the exchange fails; `readMemSize` can shorten
// READMEM replies.
class MemoryCamera : public DeviceAccess {
public:
    struct Call {
        QString op;
        quint32 address;
        QByteArray data;
        int offered;  // readMem: size offered
    };

    QList<Call> calls;
    std::function<bool(int callNumber, const Call &)> fail;
    std::function<int(int callNumber)> readMemSize;
    std::function<void(int callNumber)> onCall;
    QByteArray window = QByteArray(4096, '\0');
    std::map<quint32, QByteArray> flash;

    bool readReg(quint32 address, quint32 &value) override
    {
        if (record({"readReg", address, {}, 0}))
            return false;
        value = 0x00010002;
        return true;
    }

    bool readMem(quint32 address, quint32 count, quint8 *buffer, int &size) override
    {
        if (record({"readMem", address, {}, size}))
            return false;
        const int k = int((address - 0x80000C00) / 0x80);
        int length = 12 + int(count);
        if (readMemSize)
            length = readMemSize(calls.size());
        std::memset(buffer, 0, size_t(size));
        const QByteArray reply = ackBytes(0, 0x0085, 1, hexBytes("80000C00") + window.mid(512 * k, int(count)));
        std::memcpy(buffer, reply.constData(), size_t(qMin(length, reply.size())));
        size = length;
        return true;
    }

    bool writeMem(quint16 address, const quint8 *data, int length, int paddedLength) override
    {
        QByteArray bytes(reinterpret_cast<const char *>(data), length);
        bytes = bytes.left(paddedLength);
        if (record({"writeMem", address, bytes, paddedLength}))
            return false;
        if (address == 0x27)
            control(be32At(bytes, 0));
        else
            window.replace(int(address - 0x0C00) / 0x80 * 512, 512, bytes);
        return true;
    }

    bool writeMemWord(quint32 address, quint32 value) override
    {
        QByteArray bytes(4, '\0');
        bytes[0] = char(value >> 24);
        bytes[1] = char(value >> 16);
        bytes[2] = char(value >> 8);
        bytes[3] = char(value);
        if (record({"writeMemWord", address, bytes, 4}))
            return false;
        control(value);
        return true;
    }

private:
    bool record(const Call &call)
    {
        calls.append(call);
        if (onCall)
            onCall(calls.size());
        return fail && fail(calls.size(), call);
    }
    void control(quint32 word)
    {
        const quint32 address = word & 0x00FFFFFF;
        if ((word >> 24) == 0xD5)
            flash[address] = window;
        else if ((word >> 24) == 0xD6)
            window = flash.count(address) ? flash[address] : QByteArray(4096, '\xFF');
    }
};

QByteArray block(int seed)
{
    QByteArray b(4096, '\0');
    for (int i = 0; i < 4096; ++i)
        b[i] = char((i / 3 + seed * 31) & 0xFF);
    return b;
}

const quint8 *bytes(const QByteArray &b) { return reinterpret_cast<const quint8 *>(b.constData()); }

}  // namespace

class TestFlashProtocol : public QObject {
    Q_OBJECT

private slots:
    void readBlockSequence();
    void readBlockRepeatsShortReplies_data();
    void readBlockRepeatsShortReplies();
    void readBlockRetriesControlWordAndLogs();
    void readBlockGivesUp_data();
    void readBlockGivesUp();
    void writeBlockSequence();
    void writeBlockBoundIsPerExchange();
    void writeBlockGivesUp_data();
    void writeBlockGivesUp();
    void cancelStopsBetweenExchanges_data();
    void cancelStopsBetweenExchanges();
    void addressesOutsideTheFlashAreRefused_data();
    void addressesOutsideTheFlashAreRefused();
    void silentCameraOverUdpIsGivenUp();
};

void TestFlashProtocol::readBlockSequence()
{
    MemoryCamera cam;
    cam.flash[0x181000] = block(5);
    QByteArray destination(4096, '\x55');
    QCOMPARE(flash::readFlashBlock(cam, reinterpret_cast<quint8 *>(destination.data()), 0x181000),
             flash::Status::Ok);
    QCOMPARE(destination, block(5));
    QCOMPARE(cam.calls.size(), 9);
    QCOMPARE(cam.calls[0].op, QString("writeMemWord"));
    QCOMPARE(cam.calls[0].address, 0x27u);
    QCOMPARE(cam.calls[0].data, hexBytes("D6 18 10 00"));
    const quint32 windows[8] = {0x80000C00, 0x80000C80, 0x80000D00, 0x80000D80,
                                0x80000E00, 0x80000E80, 0x80000F00, 0x80000F80};
    for (int k = 0; k < 8; ++k) {
        QCOMPARE(cam.calls[1 + k].op, QString("readMem"));
        QCOMPARE(cam.calls[1 + k].address, windows[k]);
        QCOMPARE(cam.calls[1 + k].offered, 2048);
    }
}

void TestFlashProtocol::readBlockRepeatsShortReplies_data()
{
    QTest::addColumn<int>("shortSize");
    QTest::newRow("20 bytes") << 20;
    QTest::newRow("512 bytes") << 512;
    QTest::newRow("513 bytes: part of the piece missing") << 513;
    QTest::newRow("523 bytes") << 523;
}

void TestFlashProtocol::readBlockRepeatsShortReplies()
{
    QFETCH(int, shortSize);
    MemoryCamera cam;
    cam.flash[0x2000] = block(9);
    // Call 3 is the second piece's first attempt.
    cam.readMemSize = [=](int call) { return call == 3 ? shortSize : 524; };
    QByteArray destination(4096, '\0');
    QCOMPARE(flash::readFlashBlock(cam, reinterpret_cast<quint8 *>(destination.data()), 0x2000),
             flash::Status::Ok);
    QCOMPARE(destination, block(9));
    QCOMPARE(cam.calls.size(), 10);
    QCOMPARE(cam.calls[2].address, 0x80000C80u);
    QCOMPARE(cam.calls[3].address, 0x80000C80u);
    QCOMPARE(cam.calls[3].offered, 2048);
}

void TestFlashProtocol::readBlockRetriesControlWordAndLogs()
{
    MemoryCamera cam;
    cam.flash[0x181000] = block(3);
    cam.fail = [](int call, const MemoryCamera::Call &) { return call <= 3; };
    LogCapture log;
    QByteArray destination(4096, '\0');
    QCOMPARE(flash::readFlashBlock(cam, reinterpret_cast<quint8 *>(destination.data()), 0x181000),
             flash::Status::Ok);
    QCOMPARE(destination, block(3));
    QCOMPARE(log.all(), QStringList({"reread 1576960", "reread 1576960", "reread 1576960"}));
    QCOMPARE(cam.calls.size(), 12);
}

void TestFlashProtocol::readBlockGivesUp_data()
{
    QTest::addColumn<QString>("failing");  // which exchange never succeeds
    QTest::addColumn<int>("calls");
    QTest::newRow("control word") << "writeMemWord" << flash::MaxAttempts;
    QTest::newRow("window pieces") << "readMem" << 1 + flash::MaxAttempts;
}

void TestFlashProtocol::readBlockGivesUp()
{
    QFETCH(QString, failing);
    QFETCH(int, calls);
    MemoryCamera cam;
    cam.fail = [=](int, const MemoryCamera::Call &c) { return c.op == failing; };
    LogCapture log;
    QByteArray destination(4096, '\0');
    QCOMPARE(flash::readFlashBlock(cam, reinterpret_cast<quint8 *>(destination.data()), 0),
             flash::Status::NoAnswer);
    QCOMPARE(cam.calls.size(), calls);
}

void TestFlashProtocol::writeBlockSequence()
{
    MemoryCamera cam;
    const QByteArray data = block(7);
    QCOMPARE(flash::writeFlashBlock(cam, bytes(data), 0x003000), flash::Status::Ok);
    QCOMPARE(cam.calls.size(), 9);
    for (int k = 0; k < 8; ++k) {
        QCOMPARE(cam.calls[k].op, QString("writeMem"));
        QCOMPARE(cam.calls[k].address, quint32(0x0C00 + 0x80 * k));
        QCOMPARE(cam.calls[k].offered, 512);
        QCOMPARE(cam.calls[k].data, data.mid(512 * k, 512));
    }
    QCOMPARE(cam.calls[8].op, QString("writeMem"));
    QCOMPARE(cam.calls[8].address, 0x27u);
    QCOMPARE(cam.calls[8].data, hexBytes("D5 00 30 00"));
    QCOMPARE(cam.flash[0x3000], data);
}

void TestFlashProtocol::writeBlockBoundIsPerExchange()
{
    // Every exchange fails MaxAttempts - 1 times before it succeeds: many
    // failures in all, but never MaxAttempts in a row.
    MemoryCamera cam;
    int run = 0;
    cam.fail = [&run](int, const MemoryCamera::Call &) {
        if (++run < flash::MaxAttempts)
            return true;
        run = 0;
        return false;
    };
    const QByteArray data = block(11);
    QCOMPARE(flash::writeFlashBlock(cam, bytes(data), 0xFFF000), flash::Status::Ok);
    QCOMPARE(cam.calls.size(), 9 * flash::MaxAttempts);
    QCOMPARE(cam.flash[0xFFF000], data);
    QCOMPARE(cam.calls.last().data, hexBytes("D5 FF F0 00"));
}

void TestFlashProtocol::writeBlockGivesUp_data()
{
    QTest::addColumn<quint32>("failingAddress");
    QTest::addColumn<int>("calls");
    QTest::newRow("first piece") << 0x0C00u << flash::MaxAttempts;
    QTest::newRow("last piece") << 0x0F80u << 7 + flash::MaxAttempts;
    QTest::newRow("control word") << 0x27u << 8 + flash::MaxAttempts;
}

void TestFlashProtocol::writeBlockGivesUp()
{
    QFETCH(quint32, failingAddress);
    QFETCH(int, calls);
    MemoryCamera cam;
    cam.fail = [=](int, const MemoryCamera::Call &c) { return c.address == failingAddress; };
    const QByteArray data = block(1);
    QCOMPARE(flash::writeFlashBlock(cam, bytes(data), 0x1000), flash::Status::NoAnswer);
    QCOMPARE(cam.calls.size(), calls);
    QVERIFY(cam.flash.empty());
}

void TestFlashProtocol::cancelStopsBetweenExchanges_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("cancelAtCall");  // 0: cancelled before the start
    QTest::newRow("write, before start") << true << 0;
    QTest::newRow("write, during pieces") << true << 3;
    QTest::newRow("write, while retrying") << true << 1;
    QTest::newRow("read, before start") << false << 0;
    QTest::newRow("read, during pieces") << false << 4;
}

void TestFlashProtocol::cancelStopsBetweenExchanges()
{
    QFETCH(bool, write);
    QFETCH(int, cancelAtCall);
    std::atomic<bool> cancel{cancelAtCall == 0};
    MemoryCamera cam;
    cam.onCall = [&](int call) {
        if (call == cancelAtCall)
            cancel = true;
    };
    if (cancelAtCall == 1)
        cam.fail = [](int, const MemoryCamera::Call &) { return true; };
    QByteArray data = block(2);
    const flash::Status s =
        write ? flash::writeFlashBlock(cam, bytes(data), 0x4000, &cancel)
              : flash::readFlashBlock(cam, reinterpret_cast<quint8 *>(data.data()), 0x4000, &cancel);
    QCOMPARE(s, flash::Status::Cancelled);
    QCOMPARE(cam.calls.size(), cancelAtCall);
    QVERIFY(cam.flash.empty());
}

void TestFlashProtocol::addressesOutsideTheFlashAreRefused_data()
{
    QTest::addColumn<quint32>("address");
    QTest::newRow("16 MiB") << 0x01000000u;   // would become sector 0 of another operation
    QTest::newRow("not a sector start") << 0x00001001u;
    QTest::newRow("top byte set") << 0xD5000000u;
}

void TestFlashProtocol::addressesOutsideTheFlashAreRefused()
{
    QFETCH(quint32, address);
    MemoryCamera cam;
    QByteArray data = block(4);
    QCOMPARE(flash::writeFlashBlock(cam, bytes(data), address), flash::Status::NoAnswer);
    QCOMPARE(flash::readFlashBlock(cam, reinterpret_cast<quint8 *>(data.data()), address),
             flash::Status::NoAnswer);
    QCOMPARE(cam.calls.size(), 0);
}

void TestFlashProtocol::silentCameraOverUdpIsGivenUp()
{
    // The real channel against a camera that never answers: the read ends
    // with NoAnswer after MaxAttempts control-word requests. The reply wait
    // is lowered so that the test is quick; the full-length bound is covered
    // against the simulator.
    FakeCamera silent;
    UdpSocket socket;
    QVERIFY(socket.open());
    const quint8 loopback[4] = {127, 0, 0, 1};
    QVERIFY(socket.bindTo(loopback, 0));
    DeviceChannel channel;
    channel.choose(&socket, loopback);
    channel.deviceAddr.port = silent.port();
    channel.setReplyTimeoutMs(20);
    LogCapture log;
    QByteArray destination(4096, '\0');
    QCOMPARE(flash::readFlashBlock(channel, reinterpret_cast<quint8 *>(destination.data()), 0x5000),
             flash::Status::NoAnswer);
    QCOMPARE(silent.receivedCount(), flash::MaxAttempts);
    QCOMPARE(log.count("reread 20480"), flash::MaxAttempts);
    QCOMPARE(log.count("writemem error on recv "), flash::MaxAttempts);
    for (const QByteArray &request : silent.received())
        QCOMPARE(request.mid(8), hexBytes("00 00 00 27 D6 00 50 00"));

    const QByteArray data = block(6);
    silent.clearReceived();
    QCOMPARE(flash::writeFlashBlock(channel, bytes(data), 0x5000), flash::Status::NoAnswer);
    QCOMPARE(silent.receivedCount(), flash::MaxAttempts);
}

QTEST_GUILESS_MAIN(TestFlashProtocol)
#include "tst_flashprotocol.moc"
