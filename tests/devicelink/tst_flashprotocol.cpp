// The flash block protocol over the in-memory camera: the exchanges it makes
// in order, its bound on repeats, cancelling, and refused addresses.
#include "flashprotocol.h"
#include "logcapture.h"
#include "memorycamera.h"

#include <QtTest>

#include <functional>

namespace {

// The in-memory camera with a trace of every call ("readMem 80000c80 2048",
// "writeMem 0c00 512", "word 27 d6181000"), a hook that fails chosen calls,
// and READMEM replies that can be cut short.
class TracingCamera : public MemoryCamera {
public:
    QStringList trace;
    std::function<bool(const QString &call)> fail;
    int shortReplyAt = -1;  // trace index of a READMEM answered short
    int shortSize = 0;

    bool readReg(quint32 address, quint32 &value) override
    {
        return called(QString("readReg %1").arg(address, 0, 16)) && MemoryCamera::readReg(address, value);
    }
    bool readMem(quint32 address, quint32 count, quint8 *buffer, int &size) override
    {
        if (!called(QString("readMem %1 %2").arg(address, 0, 16).arg(size)) ||
            !MemoryCamera::readMem(address, count, buffer, size))
            return false;
        if (trace.size() - 1 == shortReplyAt)
            size = shortSize;
        return true;
    }
    bool writeMem(quint16 address, const quint8 *data, int length, int padded) override
    {
        return called(QString("writeMem %1 %2").arg(address, 4, 16, QChar('0')).arg(padded)) &&
               MemoryCamera::writeMem(address, data, length, padded);
    }
    bool writeMemWord(quint32 address, quint32 value) override
    {
        return called(QString("word %1 %2").arg(address, 0, 16).arg(value, 8, 16, QChar('0'))) &&
               MemoryCamera::writeMemWord(address, value);
    }

private:
    bool called(const QString &call)
    {
        trace << call;
        if (fail && fail(call)) {
            ++exchanges;  // asked, never answered
            if (onExchange)
                onExchange(exchanges);
            return false;
        }
        return true;
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
quint8 *bytes(QByteArray &b) { return reinterpret_cast<quint8 *>(b.data()); }

QStringList readSequence(quint32 address)
{
    QStringList s{QString("word 27 d6%1").arg(address, 6, 16, QChar('0'))};
    for (int k = 0; k < 8; ++k)
        s << QString("readMem %1 2048").arg(0x80000C00 + 0x80 * k, 0, 16);
    return s;
}

QStringList writeSequence()
{
    QStringList s;
    for (int k = 0; k < 8; ++k)
        s << QString("writeMem %1 512").arg(0x0C00 + 0x80 * k, 4, 16, QChar('0'));
    return s << "writeMem 0027 4";
}

}  // namespace

class TestFlashProtocol : public QObject {
    Q_OBJECT

private slots:
    void writeThenReadSequence();
    void readBlockRepeatsShortReplies();
    void boundIsPerExchange();
    void givesUpAfterTheBound_data();
    void givesUpAfterTheBound();
    void cancelStopsBetweenExchanges_data();
    void cancelStopsBetweenExchanges();
    void addressesOutsideTheFlashAreRefused_data();
    void addressesOutsideTheFlashAreRefused();
};

void TestFlashProtocol::writeThenReadSequence()
{
    TracingCamera cam;
    const QByteArray data = block(7);
    QCOMPARE(flash::writeFlashBlock(cam, bytes(data), 0x181000), flash::Status::Ok);
    QCOMPARE(cam.trace, writeSequence());
    QCOMPARE(cam.writes.last().data, QByteArray::fromHex("D5181000"));
    QCOMPARE(cam.sector(0x181), data);
    cam.trace.clear();
    cam.window.fill('\0');
    QByteArray destination(4096, '\x55');
    QCOMPARE(flash::readFlashBlock(cam, bytes(destination), 0x181000), flash::Status::Ok);
    QCOMPARE(cam.trace, readSequence(0x181000));
    QCOMPARE(destination, data);
}

void TestFlashProtocol::readBlockRepeatsShortReplies()
{
    TracingCamera cam;
    cam.flash.replace(0x2000, 4096, block(9));
    cam.shortReplyAt = 2;  // the second piece's first attempt, one byte short
    cam.shortSize = 523;
    QByteArray destination(4096, '\0');
    QCOMPARE(flash::readFlashBlock(cam, bytes(destination), 0x2000), flash::Status::Ok);
    QCOMPARE(destination, block(9));
    QStringList expected = readSequence(0x2000);
    expected.insert(2, expected[2]);
    QCOMPARE(cam.trace, expected);
}

void TestFlashProtocol::boundIsPerExchange()
{
    // Every exchange fails MaxAttempts - 1 times before it succeeds: many
    // failures in all, but never MaxAttempts in a row.
    TracingCamera cam;
    int run = 0;
    cam.fail = [&run](const QString &) {
        if (++run < flash::MaxAttempts)
            return true;
        run = 0;
        return false;
    };
    const QByteArray data = block(11);
    QCOMPARE(flash::writeFlashBlock(cam, bytes(data), 0xFFF000), flash::Status::Ok);
    QCOMPARE(cam.trace.size(), 9 * flash::MaxAttempts);
    QCOMPARE(cam.sector(0xFFF), data);
}

void TestFlashProtocol::givesUpAfterTheBound_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<QString>("failing");  // the exchange that is never answered
    QTest::addColumn<int>("calls");
    QTest::addColumn<int>("rereads");  // "reread <address>" lines
    QTest::newRow("write, first piece") << true << "writeMem 0c00" << flash::MaxAttempts << 0;
    QTest::newRow("write, control word") << true << "writeMem 0027" << 8 + flash::MaxAttempts << 0;
    QTest::newRow("read, control word") << false << "word 27" << flash::MaxAttempts << flash::MaxAttempts;
    QTest::newRow("read, last piece") << false << "readMem 80000f80" << 8 + flash::MaxAttempts << 0;
}

void TestFlashProtocol::givesUpAfterTheBound()
{
    QFETCH(bool, write);
    QFETCH(QString, failing);
    TracingCamera cam;
    cam.fail = [=](const QString &call) { return call.startsWith(failing); };
    LogCapture log(false);
    QByteArray data = block(1);
    QCOMPARE(write ? flash::writeFlashBlock(cam, bytes(data), 0x1000) : flash::readFlashBlock(cam, bytes(data), 0x1000),
             flash::Status::NoAnswer);
    QTEST(int(cam.trace.size()), "calls");
    QTEST(log.count("reread 4096"), "rereads");
    QVERIFY(cam.programmed.isEmpty());
}

void TestFlashProtocol::cancelStopsBetweenExchanges_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("cancelAtCall");  // 0: cancelled before the start
    QTest::newRow("write, before start") << true << 0;
    QTest::newRow("write, during pieces") << true << 3;
    QTest::newRow("write, while retrying") << true << 1;
    QTest::newRow("read, during pieces") << false << 4;
}

void TestFlashProtocol::cancelStopsBetweenExchanges()
{
    QFETCH(bool, write);
    QFETCH(int, cancelAtCall);
    std::atomic<bool> cancel{cancelAtCall == 0};
    TracingCamera cam;
    cam.onExchange = [&](int call) { cancel = cancel || call == cancelAtCall; };
    if (cancelAtCall == 1)
        cam.fail = [](const QString &) { return true; };
    QByteArray data = block(2);
    QCOMPARE(write ? flash::writeFlashBlock(cam, bytes(data), 0x4000, &cancel)
                   : flash::readFlashBlock(cam, bytes(data), 0x4000, &cancel),
             flash::Status::Cancelled);
    QCOMPARE(cam.trace.size(), cancelAtCall);
    QVERIFY(cam.programmed.isEmpty());
}

void TestFlashProtocol::addressesOutsideTheFlashAreRefused_data()
{
    QTest::addColumn<quint32>("address");
    QTest::newRow("16 MiB") << 0x01000000u;  // would become sector 0 of another operation
    QTest::newRow("not a sector start") << 0x00001001u;
    QTest::newRow("top byte set") << 0xD5000000u;
}

void TestFlashProtocol::addressesOutsideTheFlashAreRefused()
{
    QFETCH(quint32, address);
    TracingCamera cam;
    QByteArray data = block(4);
    QCOMPARE(flash::writeFlashBlock(cam, bytes(data), address), flash::Status::NoAnswer);
    QCOMPARE(flash::readFlashBlock(cam, bytes(data), address), flash::Status::NoAnswer);
    QCOMPARE(cam.trace, QStringList());
}

QTEST_GUILESS_MAIN(TestFlashProtocol)
#include "tst_flashprotocol.moc"
