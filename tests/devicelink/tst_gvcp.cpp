// Wire format, record texts and address parsing: pure functions checked
// against byte vectors written out by hand from the packet layouts.
#include "devicechannel.h"
#include "devicerecord.h"
#include "gvcp.h"
#include "ipv4address.h"

#include <QtTest>

#include <cstdlib>
#include <cstring>

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }
QByteArray bytesOf(const quint8 *data, int length) { return QByteArray(reinterpret_cast<const char *>(data), length); }

const quint8 Mac[6] = {0x02, 0x00, 0x00, 0x1A, 0x2B, 0x3C};
const char *Zeros12 = "00 00 00 00 00 00 00 00 00 00 00 00";

// A discovery acknowledge laid out by absolute offsets.
struct AckImage {
    quint8 bytes[1024] = {};
    explicit AckImage(int lengthField = 0x00F8)
    {
        bytes[3] = 0x03;
        bytes[4] = quint8(lengthField >> 8);
        bytes[5] = quint8(lengthField);
    }
    void put(int at, const QByteArray &data) { std::memcpy(bytes + at, data.constData(), size_t(data.size())); }
};

}  // namespace

class TestGvcp : public QObject {
    Q_OBJECT

private slots:
    // Must run first: the discovery counter draws its start once per process.
    void discoveryIdStartsFromRandAndCounts();
    void accessIdsRunFromOneAndWrapToOne();
    void builders_data();
    void builders();
    void devWriteDataFormIsBoundedByItsBuffer();
    void discoveryAckAcceptance_data();
    void discoveryAckAcceptance();
    void discoveryAckFields();
    void discoveryAckTextsWithoutZeroAndNonAscii();
    void replyTests_data();
    void replyTests();
    void staleRequestIds_data();
    void staleRequestIds();
    void parseIPv4_data();
    void parseIPv4();
};

void TestGvcp::discoveryIdStartsFromRandAndCounts()
{
    std::srand(4242);
    const quint16 expected = quint16(std::rand());
    std::srand(4242);
    quint8 a[16] = {}, b[16] = {};
    gvcp::fillGvcpCommand(a, 2, 0, 0, 0, 0);
    gvcp::fillGvcpCommand(b, 2, 0, 0, 0, 0);
    QCOMPARE(quint16((a[6] << 8) | a[7]), expected);
    QCOMPARE(quint16((b[6] << 8) | b[7]), quint16(expected + 1));
}

void TestGvcp::accessIdsRunFromOneAndWrapToOne()
{
    gvcp::resetAccessReqIdForTest(0);
    quint16 last = 0;
    for (int i = 1; i <= 65535; ++i) {
        last = gvcp::nextAccessReqId();
        if (last != i)
            QFAIL(qPrintable(QString("id %1 handed out as number %2").arg(last).arg(i)));
    }
    QCOMPARE(gvcp::nextAccessReqId(), quint16(1));  // never 0
}

void TestGvcp::builders_data()
{
    QTest::addColumn<QByteArray>("built");
    QTest::addColumn<QByteArray>("wire");
    quint8 b[1024];
    auto out = [&](int n) { return bytesOf(b, n); };
    auto fresh = [&](int fill = 0) { std::memset(b, fill, sizeof b); };  // builders expect zeros

    fresh();
    QByteArray discovery = out(gvcp::fillGvcpCommand(b, 2, 0, 0, 0, 0));
    discovery[6] = discovery[7] = 0;  // the drawn id is checked above
    QTest::newRow("discovery") << discovery << hex("42 11 00 02 00 08 00 00 00 00 00 00 00 00 00 00");
    fresh();
    QByteArray words = out(gvcp::fillGvcpCommand(b, 0x0084, 0x12345, 1, 0x10002, 0xFFFF));
    words[6] = words[7] = 0;
    QTest::newRow("command words modulo 65536") << words << hex("42 11 00 84 00 08 00 00 23 45 00 01 00 02 FF FF");
    fresh();
    QTest::newRow("readreg") << out(gvcp::buildReadReg(b, 0xFFFF, 0x00000A00))
                             << hex("42 01 00 80 00 04 FF FF 00 00 0A 00");
    fresh();
    QTest::newRow("readmem") << out(gvcp::buildReadMem(b, 7, 0x80000C80, 512))
                             << hex("42 11 00 84 00 08 00 07 80 00 0C 80 00 00 02 00");
    quint8 data[100];
    for (int i = 0; i < 100; ++i)
        data[i] = quint8(i + 1);
    fresh(0xEE);  // the padding is written, not inherited
    QTest::newRow("devwrite data, padded") << out(gvcp::buildDevWriteData(b, 0x0102, 0x0C00, data, 100, 512))
                                           << hex("42 11 FF F0 02 04 01 02 00 00 0C 00") + bytesOf(data, 100) +
                                                  QByteArray(412, '\0');
    fresh();
    QTest::newRow("devwrite data, cut to padded length") << out(gvcp::buildDevWriteData(b, 9, 0x27, data, 100, 4))
                                                         << hex("42 11 FF F0 00 08 00 09 00 00 00 27 01 02 03 04");
    fresh();
    const quint8 control[4] = {0xD5, 0x00, 0x30, 0x00};
    QTest::newRow("devwrite data, control word") << out(gvcp::buildDevWriteData(b, 0x10, 0x27, control, 4, 4))
                                                 << hex("42 11 FF F0 00 08 00 10 00 00 00 27 D5 00 30 00");
    fresh();
    QTest::newRow("devwrite word") << out(gvcp::buildDevWriteWord(b, 0x11, 0x27, 0xD6181000))
                                   << hex("42 11 FF F0 00 08 00 11 00 00 00 27 D6 18 10 00");
    const quint8 ip[4] = {192, 168, 2, 14}, mask[4] = {255, 255, 255, 0}, gw[4] = {192, 168, 2, 1};
    fresh();
    QTest::newRow("forceip") << out(gvcp::buildForceIp(b, Mac, ip, mask, gw))
                             << hex("42 01 00 04 00 38 00 01 00 00 02 00 00 1A 2B 3C") + hex(Zeros12) +
                                    hex("C0 A8 02 0E") + hex(Zeros12) + hex("FF FF FF 00") + hex(Zeros12) +
                                    hex("C0 A8 02 01");
    fresh();
    QTest::newRow("ipconfig, lowest 8 bits of the mode") << out(gvcp::buildIpConfig(b, Mac, 0x105, ip, mask, gw))
                                                         << hex("42 11 80 04 00 4C FF FF 00 00 02 00 00 1A 2B 3C") +
                                                                hex("00 00 00 05") + hex(Zeros12) + hex("C0 A8 02 0E") +
                                                                hex(Zeros12) + hex("FF FF FF 00") + hex(Zeros12) +
                                                                hex("C0 A8 02 01") + QByteArray(16, '\0');
}

void TestGvcp::builders()
{
    QFETCH(QByteArray, built);
    QFETCH(QByteArray, wire);
    QCOMPARE(built.toHex(' '), wire.toHex(' '));
}

void TestGvcp::devWriteDataFormIsBoundedByItsBuffer()
{
    quint8 buffer[1024 + 16];
    std::memset(buffer, 0x5A, sizeof buffer);
    static quint8 data[2000];
    QCOMPARE(gvcp::buildDevWriteData(buffer, 1, 0x0C00, data, 2000, 2000), 1024);
    QCOMPARE(bytesOf(buffer + 1024, 16), QByteArray(16, '\x5A'));  // nothing past the buffer
    QCOMPARE(bytesOf(buffer + 4, 2), hex("03 F8"));                 // 1012 + 4
}

void TestGvcp::discoveryAckAcceptance_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("lengthField");
    QTest::addColumn<QByteArray>("head");  // status and code
    QTest::addColumn<bool>("accepted");
    QTest::newRow("0 bytes") << 0 << 0x00F8 << hex("0000 0003") << false;
    QTest::newRow("7 bytes") << 7 << 0x0100 << hex("0000 0003") << false;
    QTest::newRow("8 bytes claiming F8") << 8 << 0x00F8 << hex("0000 0003") << true;
    QTest::newRow("length field 0") << 1024 << 0 << hex("0000 0003") << false;
    QTest::newRow("length field F7") << 300 << 0x00F7 << hex("0000 0003") << false;
    QTest::newRow("length field F8") << 300 << 0x00F8 << hex("0000 0003") << true;
    QTest::newRow("length field FFFF") << 256 << 0xFFFF << hex("0000 0003") << true;
    QTest::newRow("error status") << 256 << 0x00F8 << hex("8001 0003") << true;
    QTest::newRow("foreign code") << 256 << 0x00F8 << hex("0000 0085") << true;
}

void TestGvcp::discoveryAckAcceptance()
{
    QFETCH(int, length);
    QFETCH(int, lengthField);
    QFETCH(QByteArray, head);
    QFETCH(bool, accepted);
    AckImage ack(lengthField);
    ack.put(0, head);
    ack.put(18, hex("02 00 00 1A 2B 3C"));
    ack.put(224, "SN1");
    DeviceRecord record;
    std::memset(record.mac, 0x77, 6);
    std::strcpy(record.serialNumber, "keep");
    QCOMPARE(gvcp::parseDiscoveryAck(ack.bytes, length, record), accepted);
    // A refused datagram leaves the record as it was.
    QCOMPARE(record.mac[5], quint8(accepted ? 0x3C : 0x77));
    QCOMPARE(QByteArray(record.serialNumber), QByteArray(accepted ? "SN1" : "keep"));
}

void TestGvcp::discoveryAckFields()
{
    AckImage ack;
    ack.put(18, hex("02 00 00 1A 2B 3C"));
    ack.put(28, hex("00 00 00 85"));
    ack.put(44, hex("C0 A8 02 0E"));
    ack.put(60, hex("FF FF FF 00"));
    ack.put(76, hex("C0 A8 02 01"));
    ack.put(80, "Manufacturer");
    ack.put(112, "Model-X");
    ack.put(144, "2.3");
    ack.put(176, "NOT-A-FIELD");  // between version and serial: never read
    ack.put(224, "SN-0042/x");
    ack.put(240, "left door");
    DeviceRecord record;
    QVERIFY(gvcp::parseDiscoveryAck(ack.bytes, 256, record));
    QCOMPARE(bytesOf(record.mac, 6), hex("02 00 00 1A 2B 3C"));
    QCOMPARE(record.ipConfig, -123);  // the byte at 31, signed
    QCOMPARE(bytesOf(record.ip, 4) + bytesOf(record.mask, 4) + bytesOf(record.gateway, 4),
             hex("C0 A8 02 0E FF FF FF 00 C0 A8 02 01"));
    QCOMPARE(QByteArray(record.manufacturerName), QByteArray("Manufacturer"));
    QCOMPARE(QByteArray(record.modelName), QByteArray("Model-X"));
    QCOMPARE(QByteArray(record.deviceVersion), QByteArray("2.3"));
    QCOMPARE(QByteArray(record.serialNumber), QByteArray("SN-0042/x"));
    QCOMPARE(QByteArray(record.userDefinedName), QByteArray("left door"));
}

void TestGvcp::discoveryAckTextsWithoutZeroAndNonAscii()
{
    // A full 1,024-byte datagram with no zero anywhere: every text is cut
    // at its field's width and terminated.
    AckImage ack(0xFFFF);
    std::memset(ack.bytes + 8, 0xAB, 1024 - 8);
    ack.put(44, hex("0A 00 00 07"));
    ack.put(80, "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345");
    ack.put(224, hex("53 E9 4E 2D 31 FF 32 AB AB AB AB AB AB AB AB AB"));  // "S", e9, "N-1", ff, "2"...
    DeviceRecord record;
    QVERIFY(gvcp::parseDiscoveryAck(ack.bytes, 1024, record));
    QCOMPARE(QByteArray(record.manufacturerName), QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"));
    QCOMPARE(QByteArray(record.modelName), QByteArray(32, '\xAB'));
    QCOMPARE(QByteArray(record.userDefinedName), QByteArray(16, '\xAB'));
    QCOMPARE(QByteArray(record.serialNumber), hex("53 E9 4E 2D 31 FF 32 AB AB AB AB AB AB AB AB AB"));
    QCOMPARE(record.comboText(), QStringLiteral("10.0.0.7:SN12"));
}

void TestGvcp::replyTests_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("sentId");
    QTest::addColumn<bool>("readReg");
    QTest::addColumn<quint32>("value");
    QTest::addColumn<bool>("readMem");
    QTest::addColumn<bool>("devWrite");
    // READREG goes by request id alone; READMEM and DEVWRITE by status and code.
    QTest::newRow("readreg ok") << hex("0000 0081 0004 0005 12345678") << 5 << true << 0x12345678u << false << false;
    QTest::newRow("readreg busy, same id") << hex("8006 0081 0004 0005 00000001") << 5 << true << 1u << false << false;
    QTest::newRow("readreg previous id") << hex("0000 0081 0004 0004 00000001") << 5 << false << 0u << false << false;
    QTest::newRow("readmem ack") << hex("0000 0085 0204 0009 80000C00") << 9 << true << 0x80000C00u << true << false;
    QTest::newRow("readmem bad status") << hex("0001 0085 0204 0009") << 9 << true << 0u << false << false;
    QTest::newRow("devwrite ack") << hex("0000 8005 0000 0003") << 1 << false << 0u << false << true;
    QTest::newRow("devwrite ack 4 bytes") << hex("0000 8005") << 1 << false << 0u << false << true;
    QTest::newRow("devwrite 3 bytes") << hex("0000 80") << 1 << false << 0u << false << false;
}

void TestGvcp::replyTests()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, sentId);
    QFETCH(bool, readReg);
    QFETCH(quint32, value);
    const quint8 *d = reinterpret_cast<const quint8 *>(reply.constData());
    quint32 got = 0xDEADBEEF;
    QCOMPARE(gvcp::isReadRegReply(d, reply.size(), quint16(sentId), got), readReg);
    QCOMPARE(got, readReg ? value : 0xDEADBEEFu);
    QTEST(gvcp::isReadMemAck(d, reply.size()), "readMem");
    QTEST(gvcp::isDevWriteAck(d, reply.size()), "devWrite");
}

void TestGvcp::staleRequestIds_data()
{
    QTest::addColumn<int>("replyId");
    QTest::addColumn<int>("sentId");
    QTest::addColumn<bool>("stale");
    QTest::newRow("previous") << 4 << 5 << true;
    QTest::newRow("same") << 5 << 5 << false;
    QTest::newRow("no echo (0)") << 0 << 5 << false;
    QTest::newRow("across the wrap") << 0xFFFF << 1 << true;
    QTest::newRow("window edge") << 5000 - 4096 << 5000 << true;
    QTest::newRow("beyond window") << 5000 - 4097 << 5000 << false;
}

void TestGvcp::staleRequestIds()
{
    QFETCH(int, replyId);
    QFETCH(int, sentId);
    QTEST(DeviceChannel::isStaleRequestId(quint16(replyId), quint16(sentId)), "stale");
}

void TestGvcp::parseIPv4_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");  // empty: refused
    QTest::newRow("plain") << "192.168.2.14" << hex("C0A8020E");
    QTest::newRow("leading zeros are decimal") << "010.168.002.014" << hex("0AA8020E");
    QTest::newRow("mask blanks") << " 192.168.  2. 14  " << hex("C0A8020E");
    QTest::newRow("three groups") << "1.2.3" << QByteArray();
    QTest::newRow("empty group") << "192.168..14" << QByteArray();
    QTest::newRow("junk after") << "1.2.3.4x" << QByteArray();
    QTest::newRow("hex") << "0x10.1.1.1" << QByteArray();
    QTest::newRow("sign") << "+1.2.3.4" << QByteArray();
    QTest::newRow("four digits") << "0001.1.1.1" << QByteArray();
    QTest::newRow("other script digits") << QString::fromUtf8("\u0661.2.3.4") << QByteArray();
}

void TestGvcp::parseIPv4()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    quint8 out[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    QCOMPARE(::parseIPv4(text, out), !bytes.isEmpty());
    QCOMPARE(bytesOf(out, 4), bytes.isEmpty() ? QByteArray(4, '\xAA') : bytes);  // refused: untouched
}

QTEST_APPLESS_MAIN(TestGvcp)
#include "tst_gvcp.moc"
