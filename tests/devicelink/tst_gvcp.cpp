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

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

QByteArray bytesOf(const quint8 *data, int length)
{
    return QByteArray(reinterpret_cast<const char *>(data), length);
}

// A discovery acknowledge laid out by absolute offsets.
struct AckImage {
    quint8 bytes[1024] = {};
    AckImage(int lengthField = 0x00F8)
    {
        bytes[2] = 0x00;
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
    void discoveryCommandBytes();
    void fillGvcpCommandTakesWordsModulo65536();

    void accessIdsRunFromOneAndWrapToOne();
    void readRegBytes();
    void readMemBytes();
    void devWriteDataFormPadsWithZeros();
    void devWriteDataAndWordFormAgree();
    void devWriteDataFormIsBoundedByItsBuffer();
    void forceIpBytes();
    void ipConfigBytes();

    void discoveryAckAcceptance_data();
    void discoveryAckAcceptance();
    void discoveryAckFields();
    void discoveryAckFullWidthTexts();
    void discoveryAckNonAsciiAndLongDatagram();
    void rejectedAckLeavesRecordUntouched();

    void replyTests_data();
    void replyTests();
    void staleRequestIds_data();
    void staleRequestIds();

    void recordTexts_data();
    void recordTexts();
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
    const quint16 first = quint16((a[6] << 8) | a[7]);
    const quint16 second = quint16((b[6] << 8) | b[7]);
    QCOMPARE(first, expected);
    QCOMPARE(second, quint16(expected + 1));
}

void TestGvcp::discoveryCommandBytes()
{
    quint8 buffer[32];
    std::memset(buffer, 0, sizeof buffer);
    const int n = gvcp::fillGvcpCommand(buffer, 2, 0, 0, 0, 0);
    QCOMPARE(n, 16);
    QByteArray wire = bytesOf(buffer, n);
    wire[6] = 0;  // request id checked above
    wire[7] = 0;
    QCOMPARE(wire, hex("42 11 00 02 00 08 00 00 00 00 00 00 00 00 00 00"));
    QCOMPARE(bytesOf(buffer + 16, 16), QByteArray(16, '\0'));
}

void TestGvcp::fillGvcpCommandTakesWordsModulo65536()
{
    quint8 buffer[16] = {};
    gvcp::fillGvcpCommand(buffer, 0x0084, 0x12345, 1, 0x10002, 0xFFFF);
    QByteArray wire = bytesOf(buffer, 16);
    wire[6] = wire[7] = 0;
    QCOMPARE(wire, hex("42 11 00 84 00 08 00 00 23 45 00 01 00 02 FF FF"));
}

void TestGvcp::accessIdsRunFromOneAndWrapToOne()
{
    gvcp::resetAccessReqIdForTest(0);
    QCOMPARE(gvcp::nextAccessReqId(), quint16(1));
    QCOMPARE(gvcp::nextAccessReqId(), quint16(2));
    gvcp::resetAccessReqIdForTest(0);
    quint16 last = 0;
    for (int i = 0; i < 65535; ++i) {
        last = gvcp::nextAccessReqId();
        if (last == 0)
            QFAIL("request id 0 was handed out");
    }
    QCOMPARE(last, quint16(0xFFFF));
    QCOMPARE(gvcp::nextAccessReqId(), quint16(1));
}

void TestGvcp::readRegBytes()
{
    quint8 buffer[512] = {};
    QCOMPARE(gvcp::buildReadReg(buffer, 0x1234, 0), 12);
    QCOMPARE(bytesOf(buffer, 12), hex("42 01 00 80 00 04 12 34 00 00 00 00"));
    std::memset(buffer, 0, sizeof buffer);
    gvcp::buildReadReg(buffer, 0xFFFF, 0x00000A00);
    QCOMPARE(bytesOf(buffer, 12), hex("42 01 00 80 00 04 FF FF 00 00 0A 00"));
}

void TestGvcp::readMemBytes()
{
    quint8 buffer[1024] = {};
    QCOMPARE(gvcp::buildReadMem(buffer, 7, 0x80000C80, 512), 16);
    QCOMPARE(bytesOf(buffer, 16), hex("42 11 00 84 00 08 00 07 80 00 0C 80 00 00 02 00"));
}

void TestGvcp::devWriteDataFormPadsWithZeros()
{
    quint8 buffer[1024];
    std::memset(buffer, 0xEE, sizeof buffer);  // the padding must be written, not inherited
    quint8 data[100];
    for (int i = 0; i < 100; ++i)
        data[i] = quint8(i + 1);
    QCOMPARE(gvcp::buildDevWriteData(buffer, 0x0102, 0x0C00, data, 100, 512), 524);
    QCOMPARE(bytesOf(buffer, 12), hex("42 11 FF F0 02 04 01 02 00 00 0C 00"));
    QCOMPARE(bytesOf(buffer + 12, 100), bytesOf(data, 100));
    QCOMPARE(bytesOf(buffer + 112, 412), QByteArray(412, '\0'));

    // More data than the padded length: only the first paddedLength bytes go.
    std::memset(buffer, 0, sizeof buffer);
    QCOMPARE(gvcp::buildDevWriteData(buffer, 9, 0x27, data, 100, 4), 16);
    QCOMPARE(bytesOf(buffer, 17), hex("42 11 FF F0 00 08 00 09 00 00 00 27 01 02 03 04 00"));
}

void TestGvcp::devWriteDataAndWordFormAgree()
{
    quint8 dataForm[1024] = {}, wordForm[1024] = {};
    const quint8 control[4] = {0xD5, 0x00, 0x30, 0x00};
    QCOMPARE(gvcp::buildDevWriteData(dataForm, 0x0010, 0x27, control, 4, 4), 16);
    QCOMPARE(gvcp::buildDevWriteWord(wordForm, 0x0011, 0x27, 0xD5003000), 16);
    QCOMPARE(bytesOf(dataForm, 16), hex("42 11 FF F0 00 08 00 10 00 00 00 27 D5 00 30 00"));
    QCOMPARE(bytesOf(wordForm, 16), hex("42 11 FF F0 00 08 00 11 00 00 00 27 D5 00 30 00"));

    std::memset(wordForm, 0, sizeof wordForm);
    gvcp::buildDevWriteWord(wordForm, 1, 0x27, 0xD6181000);
    QCOMPARE(bytesOf(wordForm, 16), hex("42 11 FF F0 00 08 00 01 00 00 00 27 D6 18 10 00"));
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

void TestGvcp::forceIpBytes()
{
    quint8 buffer[512] = {};
    const quint8 mac[6] = {0x02, 0x00, 0x00, 0x1A, 0x2B, 0x3C};
    const quint8 ip[4] = {192, 168, 2, 14}, mask[4] = {255, 255, 255, 0}, gw[4] = {192, 168, 2, 1};
    QCOMPARE(gvcp::buildForceIp(buffer, mac, ip, mask, gw), 64);
    QCOMPARE(bytesOf(buffer, 64),
             hex("42 01 00 04 00 38 00 01"
                 "00 00 02 00 00 1A 2B 3C"
                 "00 00 00 00 00 00 00 00 00 00 00 00"
                 "C0 A8 02 0E"
                 "00 00 00 00 00 00 00 00 00 00 00 00"
                 "FF FF FF 00"
                 "00 00 00 00 00 00 00 00 00 00 00 00"
                 "C0 A8 02 01"));
}

void TestGvcp::ipConfigBytes()
{
    quint8 buffer[512] = {};
    const quint8 mac[6] = {0x02, 0x00, 0x00, 0x1A, 0x2B, 0x3C};
    const quint8 ip[4] = {10, 1, 2, 3}, mask[4] = {255, 255, 0, 0}, gw[4] = {10, 1, 0, 1};
    QCOMPARE(gvcp::buildIpConfig(buffer, mac, 0x105, ip, mask, gw), 84);  // lowest 8 bits only
    QCOMPARE(bytesOf(buffer, 84),
             hex("42 11 80 04 00 4C FF FF"
                 "00 00 02 00 00 1A 2B 3C"
                 "00 00 00 05"
                 "00 00 00 00 00 00 00 00 00 00 00 00"
                 "0A 01 02 03"
                 "00 00 00 00 00 00 00 00 00 00 00 00"
                 "FF FF 00 00"
                 "00 00 00 00 00 00 00 00 00 00 00 00"
                 "0A 01 00 01"
                 "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"));
}

void TestGvcp::discoveryAckAcceptance_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("lengthField");
    QTest::addColumn<QByteArray>("head");  // status and code
    QTest::addColumn<bool>("accepted");
    QTest::newRow("7 bytes") << 7 << 0x0100 << hex("0000 0003") << false;
    QTest::newRow("0 bytes") << 0 << 0x00F8 << hex("0000 0003") << false;
    QTest::newRow("length field F7") << 300 << 0x00F7 << hex("0000 0003") << false;
    QTest::newRow("length field F8") << 300 << 0x00F8 << hex("0000 0003") << true;
    QTest::newRow("length field FFFF") << 256 << 0xFFFF << hex("0000 0003") << true;
    QTest::newRow("8 bytes claiming F8") << 8 << 0x00F8 << hex("0000 0003") << true;
    QTest::newRow("error status") << 256 << 0x00F8 << hex("8001 0003") << true;
    QTest::newRow("foreign code") << 256 << 0x00F8 << hex("0000 0085") << true;
    QTest::newRow("length field 0") << 1024 << 0 << hex("0000 0003") << false;
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
    DeviceRecord record;
    QCOMPARE(gvcp::parseDiscoveryAck(ack.bytes, length, record), accepted);
    QCOMPARE(record.mac[5], quint8(accepted ? 0x3C : 0));
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
    ack.put(224, "SN-0042/x");
    ack.put(240, "left door");
    DeviceRecord record;
    QVERIFY(gvcp::parseDiscoveryAck(ack.bytes, 256, record));
    QCOMPARE(bytesOf(record.mac, 6), hex("02 00 00 1A 2B 3C"));
    QCOMPARE(record.ipConfig, -123);
    QVERIFY(record.ipConfig & 0x01);
    QVERIFY(record.ipConfig & 0x04);
    QVERIFY(!(record.ipConfig & 0x02));
    QCOMPARE(bytesOf(record.ip, 4), hex("C0 A8 02 0E"));
    QCOMPARE(bytesOf(record.mask, 4), hex("FF FF FF 00"));
    QCOMPARE(bytesOf(record.gateway, 4), hex("C0 A8 02 01"));
    QCOMPARE(QByteArray(record.manufacturerName), QByteArray("Manufacturer"));
    QCOMPARE(QByteArray(record.modelName), QByteArray("Model-X"));
    QCOMPARE(QByteArray(record.deviceVersion), QByteArray("2.3"));
    QCOMPARE(QByteArray(record.serialNumber), QByteArray("SN-0042/x"));
    QCOMPARE(QByteArray(record.userDefinedName), QByteArray("left door"));
    QCOMPARE(record.socketSlot, static_cast<UdpSocket *>(nullptr));
}

void TestGvcp::discoveryAckFullWidthTexts()
{
    AckImage ack;
    const QByteArray name32 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
    ack.put(80, name32);
    ack.put(112, "M" + QByteArray(31, 'm'));    // directly after, no zero between
    ack.put(144, QByteArray(32, 'v'));
    ack.put(176, "NOT-A-FIELD");                // between version and serial: never read
    ack.put(224, "0123456789ABCDEF");
    ack.put(240, "UUUUUUUUUUUUUUUU");
    DeviceRecord record;
    QVERIFY(gvcp::parseDiscoveryAck(ack.bytes, 256, record));
    QCOMPARE(QByteArray(record.manufacturerName), name32);
    QCOMPARE(QByteArray(record.modelName), "M" + QByteArray(31, 'm'));
    QCOMPARE(QByteArray(record.deviceVersion), QByteArray(32, 'v'));
    QCOMPARE(QByteArray(record.serialNumber), QByteArray("0123456789ABCDEF"));
    QCOMPARE(QByteArray(record.userDefinedName), QByteArray(16, 'U'));
}

void TestGvcp::discoveryAckNonAsciiAndLongDatagram()
{
    AckImage ack(0xFFFF);
    std::memset(ack.bytes + 8, 0xAB, 1024 - 8);
    ack.put(44, hex("0A 00 00 07"));
    ack.put(224, hex("53 E9 4E 2D 31 FF 32 00"));  // "S", e9, "N-1", ff, "2"
    DeviceRecord record;
    QVERIFY(gvcp::parseDiscoveryAck(ack.bytes, 1024, record));
    QCOMPARE(QByteArray(record.manufacturerName), QByteArray(32, '\xAB'));
    QCOMPARE(QByteArray(record.userDefinedName), QByteArray(16, '\xAB'));
    QCOMPARE(record.ipConfig, qint32(qint8(0xAB)));
    QCOMPARE(record.comboText(), QStringLiteral("10.0.0.7:SN12"));
}

void TestGvcp::rejectedAckLeavesRecordUntouched()
{
    AckImage ack(0x00F7);
    std::memset(ack.bytes + 8, 0x11, 248);
    DeviceRecord record;
    std::memset(record.mac, 0x77, 6);
    record.ipConfig = 99;
    std::strcpy(record.serialNumber, "keep");
    QVERIFY(!gvcp::parseDiscoveryAck(ack.bytes, 300, record));
    QCOMPARE(bytesOf(record.mac, 6), QByteArray(6, '\x77'));
    QCOMPARE(record.ipConfig, 99);
    QCOMPARE(QByteArray(record.serialNumber), QByteArray("keep"));
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
    QTest::newRow("readreg ok") << hex("0000 0081 0004 0005 12345678") << 5 << true
                                << 0x12345678u << false << false;
    QTest::newRow("readreg busy status, same id") << hex("8006 0081 0004 0005 00000001") << 5
                                                  << true << 1u << false << false;
    QTest::newRow("readreg previous id") << hex("0000 0081 0004 0004 00000001") << 5 << false
                                         << 0u << false << false;
    QTest::newRow("readreg only header") << hex("0000 0081 0000 0005") << 5 << true << 0u
                                         << false << false;
    QTest::newRow("readmem ack") << hex("0000 0085 0204 0009 80000C00") << 9 << true << 0x80000C00u
                                 << true << false;
    QTest::newRow("readmem bad status") << hex("0001 0085 0204 0009") << 9 << true << 0u << false
                                        << false;
    QTest::newRow("devwrite ack") << hex("0000 8005 0000 0003") << 1 << false << 0u << false
                                  << true;
    QTest::newRow("devwrite ack 4 bytes") << hex("0000 8005") << 1 << false << 0u << false << true;
    QTest::newRow("devwrite 3 bytes") << hex("0000 80") << 1 << false << 0u << false << false;
    QTest::newRow("devwrite bad status") << hex("8001 8005 0000 0001") << 1 << true << 0u << false
                                         << false;
    QTest::newRow("empty") << QByteArray() << 1 << false << 0u << false << false;
}

void TestGvcp::replyTests()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, sentId);
    QFETCH(bool, readReg);
    QFETCH(quint32, value);
    QFETCH(bool, readMem);
    QFETCH(bool, devWrite);
    const quint8 *d = reinterpret_cast<const quint8 *>(reply.constData());
    quint32 got = 0xDEADBEEF;
    QCOMPARE(gvcp::isReadRegReply(d, reply.size(), quint16(sentId), got), readReg);
    if (readReg)
        QCOMPARE(got, value);
    else
        QCOMPARE(got, 0xDEADBEEFu);
    QCOMPARE(gvcp::isReadMemAck(d, reply.size()), readMem);
    QCOMPARE(gvcp::isDevWriteAck(d, reply.size()), devWrite);
}

void TestGvcp::staleRequestIds_data()
{
    QTest::addColumn<int>("replyId");
    QTest::addColumn<int>("sentId");
    QTest::addColumn<bool>("stale");
    QTest::newRow("previous") << 4 << 5 << true;
    QTest::newRow("same") << 5 << 5 << false;
    QTest::newRow("next") << 6 << 5 << false;
    QTest::newRow("no echo (0)") << 0 << 5 << false;
    QTest::newRow("across the wrap") << 0xFFFF << 1 << true;
    QTest::newRow("two across the wrap") << 0xFFFE << 1 << true;
    QTest::newRow("after the wrap") << 1 << 0xFFFF << false;
    QTest::newRow("window edge") << 5000 - 4096 << 5000 << true;
    QTest::newRow("beyond window") << 5000 - 4097 << 5000 << false;
    QTest::newRow("high bit flipped") << (7 ^ 0x8000) << 7 << false;
}

void TestGvcp::staleRequestIds()
{
    QFETCH(int, replyId);
    QFETCH(int, sentId);
    QFETCH(bool, stale);
    QCOMPARE(DeviceChannel::isStaleRequestId(quint16(replyId), quint16(sentId)), stale);
}

void TestGvcp::recordTexts_data()
{
    QTest::addColumn<QByteArray>("ip");
    QTest::addColumn<QByteArray>("mac");
    QTest::addColumn<QByteArray>("serial");
    QTest::addColumn<QString>("ipText");
    QTest::addColumn<QString>("macText");
    QTest::addColumn<QString>("combo");
    QTest::addColumn<QString>("item");
    QTest::newRow("typical") << hex("C0A8020E") << hex("0200001A2B3C") << QByteArray("SN-0042/x")
                             << "192.168.2.14" << "0200001A2B3C" << "192.168.2.14:SN0042x"
                             << "192.168.2.14:SN0042x:0200001a2b3c";
    QTest::newRow("empty serial") << hex("C0A8020E") << hex("0200001A2B3C") << QByteArray()
                                  << "192.168.2.14" << "0200001A2B3C" << "192.168.2.14:"
                                  << "192.168.2.14::0200001a2b3c";
    QTest::newRow("no leading zeros") << hex("0A0001C8") << hex("ABCDEF012345") << QByteArray("a b_c")
                                      << "10.0.1.200" << "ABCDEF012345" << "10.0.1.200:abc"
                                      << "10.0.1.200:abc:abcdef012345";
    QTest::newRow("extremes") << hex("FFFFFFFF") << hex("000000000000") << QByteArray("0123456789abcdef")
                              << "255.255.255.255" << "000000000000"
                              << "255.255.255.255:0123456789abcdef"
                              << "255.255.255.255:0123456789abcdef:000000000000";
    QTest::newRow("zero") << hex("00000000") << hex("FFFFFFFFFFFF") << hex("80 C3 A9 7F 2E")
                          << "0.0.0.0" << "FFFFFFFFFFFF" << "0.0.0.0:" << "0.0.0.0::ffffffffffff";
}

void TestGvcp::recordTexts()
{
    QFETCH(QByteArray, ip);
    QFETCH(QByteArray, mac);
    QFETCH(QByteArray, serial);
    DeviceRecord r;
    std::memcpy(r.ip, ip.constData(), 4);
    std::memcpy(r.mask, ip.constData(), 4);
    std::memcpy(r.gateway, ip.constData(), 4);
    std::memcpy(r.mac, mac.constData(), 6);
    std::memcpy(r.serialNumber, serial.constData(), size_t(serial.size()));
    QTEST(r.ipText(), "ipText");
    QTEST(r.maskText(), "ipText");
    QTEST(r.gatewayText(), "ipText");
    QTEST(r.macText(), "macText");
    QCOMPARE(r.macHex(), r.macText().toLower());
    QTEST(r.comboText(), "combo");
    QTEST(r.itemText(), "item");

    DeviceRecord copy = r;  // a plain value
    r.ip[0] = 1;
    QTEST(copy.ipText(), "ipText");
}

void TestGvcp::parseIPv4_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("plain") << "192.168.2.14" << true << hex("C0A8020E");
    QTest::newRow("leading zeros are decimal") << "192.168.002.014" << true << hex("C0A8020E");
    QTest::newRow("010 is ten") << "010.000.000.001" << true << hex("0A000001");
    QTest::newRow("mask blanks") << " 192.168.  2. 14" << true << hex("C0A8020E");
    QTest::newRow("trailing blanks") << "1.2.3.4  " << true << hex("01020304");
    QTest::newRow("zero") << "0.0.0.0" << true << hex("00000000");
    QTest::newRow("all ones") << "255.255.255.255" << true << hex("FFFFFFFF");
    QTest::newRow("256") << "256.1.1.1" << false << QByteArray();
    QTest::newRow("999") << "1.2.3.999" << false << QByteArray();
    QTest::newRow("three groups") << "1.2.3" << false << QByteArray();
    QTest::newRow("five groups") << "1.2.3.4.5" << false << QByteArray();
    QTest::newRow("empty group") << "192.168..14" << false << QByteArray();
    QTest::newRow("trailing dot") << "192.168.2." << false << QByteArray();
    QTest::newRow("empty mask") << "   .   .   .   " << false << QByteArray();
    QTest::newRow("empty") << "" << false << QByteArray();
    QTest::newRow("junk after") << "1.2.3.4x" << false << QByteArray();
    QTest::newRow("letters") << "a.b.c.d" << false << QByteArray();
    QTest::newRow("hex") << "0x10.1.1.1" << false << QByteArray();
    QTest::newRow("sign") << "+1.2.3.4" << false << QByteArray();
    QTest::newRow("negative") << "-1.2.3.4" << false << QByteArray();
    QTest::newRow("blank inside digits") << "1 2.1.1.1" << false << QByteArray();
    QTest::newRow("four digits") << "0001.1.1.1" << false << QByteArray();
    QTest::newRow("other script digits") << QString::fromUtf8("\u0661.2.3.4") << false << QByteArray();
    QTest::newRow("single number") << "3232236046" << false << QByteArray();
}

void TestGvcp::parseIPv4()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QByteArray, bytes);
    quint8 out[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    QCOMPARE(::parseIPv4(text, out), ok);
    if (ok) {
        QCOMPARE(bytesOf(out, 4), bytes);
        QCOMPARE(::parseIPv4(ipv4Text(out), out), true);
        QCOMPARE(bytesOf(out, 4), bytes);
    } else {
        QCOMPARE(bytesOf(out, 4), QByteArray(4, '\xAA'));
    }
}

QTEST_APPLESS_MAIN(TestGvcp)
#include "tst_gvcp.moc"
