// The bytes on the wire: every command the tool builds and every acknowledge
// it parses, against vectors written out by hand from the packet layouts;
// then which of several datagrams an exchange takes, with a scripted camera
// on loopback.
#include "camerachannel.h"
#include "devicerecord.h"
#include "gvcp.h"

#include <QtTest>

#include <cstring>
#include <functional>
#include <thread>

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }
QByteArray bytesOf(const quint8 *data, int length) { return QByteArray(reinterpret_cast<const char *>(data), length); }
const quint8 *raw(const QByteArray &b) { return reinterpret_cast<const quint8 *>(b.constData()); }

const quint8 Mac[6] = {0x02, 0x00, 0x00, 0x1A, 0x2B, 0x3C};
const quint8 Ip[4] = {192, 168, 2, 14}, Mask[4] = {255, 255, 255, 0}, Gateway[4] = {192, 168, 2, 1};
const char *Z12 = "000000000000000000000000";

// A discovery acknowledge of `length` bytes laid out by absolute offsets.
QByteArray ackImage(int length, const char *lengthField, const char *head = "0000 0003")
{
    QByteArray a(1024, '\0');
    a.replace(0, 4, hex(head));
    a.replace(4, 2, hex(lengthField));
    a.replace(18, 6, hex("02 00 00 1A 2B 3C"));
    a.replace(28, 4, hex("00 00 00 85"));
    a.replace(44, 4, hex("C0 A8 02 0E"));
    a.replace(60, 4, hex("FF FF FF 00"));
    a.replace(76, 4, hex("C0 A8 02 01"));
    a.replace(80, 12, "Manufacturer");
    a.replace(112, 32, "Model-X 0123456789 abcdefghijklm");  // fills its 32 bytes
    a.replace(144, 3, "2.3");
    a.replace(176, 11, "NOT-A-FIELD");       // between version and serial: never read
    a.replace(224, 16, "SN-0042/x-ABCDEF");  // fills its 16 bytes
    a.replace(240, 9, "left door");
    a.resize(qMax(length, 256));  // beyond `length`: bytes the parser must not take
    return a;
}

// One acknowledge: status, code, payload length, request id, payload.
QByteArray ack(quint16 status, quint16 code, quint16 id, const QByteArray &payload = {})
{
    QByteArray a;
    for (quint16 w : {status, code, quint16(payload.size()), id})
        a += char(w >> 8), a += char(w);
    return a + payload;
}

}  // namespace

class TestWire : public QObject {
    Q_OBJECT

private slots:
    void builders_data()
    {
        QTest::addColumn<QByteArray>("built");
        QTest::addColumn<QByteArray>("wire");
        quint8 b[1024];
        auto out = [&](int n) { return bytesOf(b, n); };
        auto fresh = [&](int fill = 0) { std::memset(b, fill, sizeof b); };
        fresh();
        QTest::newRow("discovery") << out(gvcp::fillGvcpCommand(b, 0xBEEF, 2, 0, 0, 0, 0))
                                   << hex("42 11 00 02 00 08 BE EF 00 00 00 00 00 00 00 00");
        fresh();
        QTest::newRow("readreg") << out(gvcp::buildReadReg(b, 0xFFFF, 0x00000A00))
                                 << hex("42 01 00 80 00 04 FF FF 00 00 0A 00");
        fresh();
        const quint32 registers[] = {0x0A00, 0x0934, 0x0A14};
        QTest::newRow("readreg, three addresses") << out(gvcp::buildReadRegs(b, 0x0102, registers, 3))
                                                  << hex("42 01 00 80 00 0C 01 02 00 00 0A 00 00 00 09 34 00 00 0A 14");
        fresh();
        QTest::newRow("writereg") << out(gvcp::buildWriteReg(b, 0x0003, 0x0A00, 2))
                                  << hex("42 01 00 82 00 08 00 03 00 00 0A 00 00 00 00 02");
        fresh();
        QTest::newRow("readmem") << out(gvcp::buildReadMem(b, 7, 0x80000C80, 512))
                                 << hex("42 11 00 84 00 08 00 07 80 00 0C 80 00 00 02 00");
        QByteArray data(100, '\0');
        for (int i = 0; i < 100; ++i)
            data[i] = char(i + 1);
        fresh(0xEE);  // the padding is written, not inherited
        QTest::newRow("devwrite data, padded")
            << out(gvcp::buildDevWriteData(b, 0x0102, 0x0C00, raw(data), 100, 512))
            << hex("42 11 FF F0 02 04 01 02 00 00 0C 00") + data + QByteArray(412, '\0');
        fresh();
        QTest::newRow("devwrite data, control word")
            << out(gvcp::buildDevWriteData(b, 0x10, 0x27, raw(hex("D5003000")), 4, 4))
            << hex("42 11 FF F0 00 08 00 10 00 00 00 27 D5 00 30 00");
        fresh();
        QTest::newRow("devwrite word") << out(gvcp::buildDevWriteWord(b, 0x11, 0x27, 0xD6181000))
                                       << hex("42 11 FF F0 00 08 00 11 00 00 00 27 D6 18 10 00");
        fresh();
        QTest::newRow("forceip") << out(gvcp::buildForceIp(b, Mac, Ip, Mask, Gateway))
                                 << hex("42 01 00 04 00 38 00 01 00 00 02 00 00 1A 2B 3C") + hex(Z12) +
                                        hex("C0 A8 02 0E") + hex(Z12) + hex("FF FF FF 00") + hex(Z12) +
                                        hex("C0 A8 02 01");
        fresh();
        QTest::newRow("ipconfig, low 8 bits of the mode")
            << out(gvcp::buildIpConfig(b, Mac, 0x105, Ip, Mask, Gateway))
            << hex("42 11 80 04 00 4C FF FF 00 00 02 00 00 1A 2B 3C 00 00 00 05") + hex(Z12) + hex("C0 A8 02 0E") +
                   hex(Z12) + hex("FF FF FF 00") + hex(Z12) + hex("C0 A8 02 01") + QByteArray(16, '\0');
    }
    void builders()
    {
        QFETCH(QByteArray, built);
        QFETCH(QByteArray, wire);
        QCOMPARE(built.toHex(' '), wire.toHex(' '));
    }

    void accessIdsSkipZero()
    {
        QCOMPARE(gvcp::requestIdAfter(0), quint16(1));
        QCOMPARE(gvcp::requestIdAfter(0xFFFE), quint16(0xFFFF));
        QCOMPARE(gvcp::requestIdAfter(0xFFFF), quint16(1));
    }

    void discoveryAck_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("256 bytes claiming F8") << ackImage(256, "00F8") << 256 << true;
        QTest::newRow("claims FFFF") << ackImage(1024, "FFFF") << 1024 << true;
        QTest::newRow("error status, foreign code") << ackImage(256, "00F8", "8001 0085") << 256 << true;
        QTest::newRow("7 bytes") << ackImage(7, "0100") << 7 << false;
        QTest::newRow("claims F7") << ackImage(300, "00F7") << 300 << false;
        QTest::newRow("claims 0") << ackImage(1024, "0000") << 1024 << false;
        // Cut short: what the datagram does not carry reads as zeros, whatever lies beyond it.
        QTest::newRow("8 bytes claiming F8") << ackImage(8, "00F8") << 8 << true;
        QTest::newRow("cut inside the serial number") << ackImage(232, "00F8") << 232 << true;
    }
    void discoveryAck()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(int, length);
        QFETCH(bool, accepted);
        DeviceRecord r;
        std::strcpy(r.serialNumber, "keep");
        QCOMPARE(gvcp::parseDiscoveryAck(raw(datagram), length, r), accepted);
        if (!accepted) {  // a refused datagram leaves the record as it was
            QCOMPARE(QByteArray(r.serialNumber), QByteArray("keep"));
            return;
        }
        const QByteArrayList texts{r.manufacturerName, r.modelName, r.deviceVersion, r.serialNumber, r.userDefinedName};
        if (length == 8) {
            QCOMPARE(bytesOf(r.mac, 6) + bytesOf(r.ip, 4) + bytesOf(r.gateway, 4), QByteArray(14, '\0'));
            QCOMPARE(texts.join('|'), QByteArray("||||"));
            return;
        }
        QCOMPARE(bytesOf(r.mac, 6) + bytesOf(r.ip, 4) + bytesOf(r.mask, 4) + bytesOf(r.gateway, 4),
                 hex("02 00 00 1A 2B 3C C0 A8 02 0E FF FF FF 00 C0 A8 02 01"));
        QCOMPARE(r.ipConfig, -123);  // the byte at 31, signed
        const QByteArray head = "Manufacturer|Model-X 0123456789 abcdefghijklm|2.3|SN-0042/";
        QCOMPARE(texts.join('|'), head + (length == 232 ? "|" : "x-ABCDEF|left door"));
        if (length != 232)
            QCOMPARE(r.itemText(), QStringLiteral("192.168.2.14:SN0042xABCDEF:0200001a2b3c"));
    }

    void replies_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("readReg");  // with request id 5
        QTest::addColumn<quint32>("value");
        QTest::addColumn<bool>("readMem");
        QTest::addColumn<bool>("devWrite");
        // READREG goes by request id alone; READMEM and DEVWRITE by status and code.
        QTest::newRow("readreg") << hex("0000 0081 0004 0005 12345678") << true << 0x12345678u << false << false;
        QTest::newRow("readreg, busy") << hex("8006 0081 0004 0005 00000001") << true << 1u << false << false;
        QTest::newRow("readreg, previous id") << hex("0000 0081 0004 0004 00000001") << false << 0u << false << false;
        QTest::newRow("readmem") << hex("0000 0085 0204 0009 80000C00") << false << 0u << true << false;
        QTest::newRow("readmem, bad status") << hex("0001 0085 0204 0009") << false << 0u << false << false;
        QTest::newRow("devwrite") << hex("0000 8005 0000 0003") << false << 0u << false << true;
        QTest::newRow("devwrite, 4 bytes") << hex("0000 8005") << false << 0u << false << true;
        QTest::newRow("devwrite, bad status") << hex("8001 8005 0000 0003") << false << 0u << false << false;
        QTest::newRow("3 bytes") << hex("0000 80") << false << 0u << false << false;
        QTest::newRow("writereg ack: READREG goes by id")
            << hex("0000 0083 0004 0005 0000 0001") << true << 1u << false << false;
    }
    void replies()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, readReg);
        QFETCH(quint32, value);
        quint32 got = 0xDEADBEEF;
        QCOMPARE(gvcp::isReadRegReply(raw(reply), reply.size(), 5, got), readReg);
        QCOMPARE(got, readReg ? value : 0xDEADBEEFu);
        QTEST(gvcp::isReadMemAck(raw(reply), reply.size()), "readMem");
        QTEST(gvcp::isDevWriteAck(raw(reply), reply.size()), "devWrite");
        QCOMPARE(gvcp::isWriteRegAck(raw(reply), reply.size()), reply.mid(0, 4) == hex("0000 0083"));
    }

    void registerValues()
    {
        const QByteArray reply = hex("0000 0081 000C 0009 00000002 08000000 C0000232");
        QCOMPARE(gvcp::readRegValue(raw(reply), reply.size(), 1), 0x08000000u);
        QCOMPARE(gvcp::readRegValue(raw(reply), reply.size(), 2), 0xC0000232u);
        QCOMPARE(gvcp::readRegValue(raw(reply), reply.size() - 2, 2), 0xC0000000u);  // cut: zeros
        int ms = 0;
        const QByteArray pending = hex("0000 0089 0004 0009 0000 01F4");
        QVERIFY(gvcp::isPendingAck(raw(pending), pending.size(), 9, ms) && ms == 500);
        QVERIFY(!gvcp::isPendingAck(raw(pending), pending.size(), 8, ms));
    }

    // Which datagram an exchange takes: the camera answers the request with
    // id n by the listed replies ("old": a late answer to request n - 1).
    void exchange_data()
    {
        QTest::addColumn<bool>("write");          // DEVWRITE of a piece, else READMEM of one
        QTest::addColumn<QByteArray>("waiting");  // already queued before the request
        QTest::addColumn<QStringList>("replies");
        QTest::addColumn<char>("taken");  // fill byte of the piece read, 0: failed
        QTest::addColumn<int>("kind");    // what the exchange came to
        using K = ExchangeResult::Kind;
        QTest::newRow("read, own reply") << false << QByteArray() << QStringList{"new"} << 'n' << int(K::Accepted);
        QTest::newRow("read, late answer first")
            << false << QByteArray() << QStringList{"old", "new"} << 'n' << int(K::Accepted);
        QTest::newRow("read, only a late answer")
            << false << QByteArray() << QStringList{"old"} << char(0) << int(K::BadReply);
        QTest::newRow("read, 4096 requests late, then own")
            << false << QByteArray() << QStringList{"old4096", "new"} << 'n' << int(K::Accepted);
        QTest::newRow("read, 4097 late: another request's")
            << false << QByteArray() << QStringList{"old4097", "new"} << char(0) << int(K::BadReply);
        QTest::newRow("read, pending again and again: 5 s at most")
            << false << QByteArray() << QStringList{"slow60000"} << char(0) << int(K::NoReply);
        QTest::newRow("read, pending first")
            << false << QByteArray() << QStringList{"pending100", "new"} << 'n' << int(K::Accepted);
        QTest::newRow("read, busy") << false << QByteArray() << QStringList{"busy"} << char(0) << int(K::CameraStatus);
        QTest::newRow("write, own ack") << true << QByteArray() << QStringList{"new"} << 'w' << int(K::Accepted);
        QTest::newRow("write, only a late ack")
            << true << QByteArray() << QStringList{"old"} << char(0) << int(K::BadReply);
        QTest::newRow("write, late busy, then own ack")
            << true << QByteArray() << QStringList{"old busy", "new"} << 'w' << int(K::Accepted);
        QTest::newRow("write, busy") << true << QByteArray() << QStringList{"busy"} << char(0) << int(K::CameraStatus);
        QTest::newRow("write, an ack waiting before the request")
            << true << ack(0, 0x8005, 0) << QStringList() << char(0) << int(K::NoReply);
    }
    void exchange()
    {
        QFETCH(bool, write);
        QFETCH(QByteArray, waiting);
        QFETCH(QStringList, replies);
        QFETCH(char, taken);
        const quint8 loopback[4] = {127, 0, 0, 1};
        UdpSocket camera;
        QVERIFY(camera.open() && camera.bindTo(loopback, 0));
        CameraChannel channel("127.0.0.1", camera.localAddress());
        channel.setReplyTimeoutMs(200);
        if (!waiting.isEmpty()) {
            QCOMPARE(camera.sendTo(waiting.constData(), waiting.size(), channel.localEndpoint()), waiting.size());
            QTest::qWait(20);
        }
        std::thread answer([&] {
            char request[1100];
            SocketAddress from;
            if (camera.receive(request, sizeof request, 500, &from) < 8)
                return;
            const quint16 id = quint16(quint8(request[6]) << 8 | quint8(request[7]));
            for (const QString &r : replies) {
                const int n = r.mid(r.indexOf(QRegularExpression("[0-9]|$"))).toInt();
                // "slow": announces a slow answer every 400 ms for 5.6 s, then answers.
                for (int k = r.startsWith("slow") ? 14 : r.startsWith("pending"); k > 0; --k) {
                    const QByteArray d = ack(0, 0x0089, id, hex("0000") + char(n >> 8) + char(n));
                    camera.sendTo(d.constData(), d.size(), from);
                    std::this_thread::sleep_for(std::chrono::milliseconds(r.startsWith("slow") ? 400 : 0));
                }
                if (r.startsWith("pending"))
                    continue;
                const int back = r.startsWith("old") ? qMax(1, n) : 0;  // ids run 1..0xFFFF
                const quint16 replyId = quint16((id - 1 - back + 0xFFFF) % 0xFFFF + 1);
                const quint16 status = r.endsWith("busy") ? 0x8007 : 0;
                const QByteArray d =
                    write ? ack(status, 0x8005, replyId)
                          : ack(status, 0x0085, replyId, hex("80000C00") + QByteArray(512, r[0].toLatin1()));
                camera.sendTo(d.constData(), d.size(), from);
            }
        });
        quint8 buffer[2048] = {};
        int size = sizeof buffer;
        const ExchangeResult r = write ? channel.writeMem(0x0C00, raw(QByteArray(512, 'w')), 512, 512)
                                       : channel.readMem(0x80000C00, 512, buffer, size);
        answer.join();
        const bool ok = r.ok();
        QTEST(int(r.kind), "kind");
        QCOMPARE(ok, taken != 0);
        if (r.kind == ExchangeResult::Kind::CameraStatus)
            QCOMPARE(r.status, quint16(0x8007));
        if (ok && !write)
            QCOMPARE(QByteArray(reinterpret_cast<char *>(buffer) + 12, 512), QByteArray(512, taken));
    }
};

QTEST_GUILESS_MAIN(TestWire)
#include "tst_wire.moc"
