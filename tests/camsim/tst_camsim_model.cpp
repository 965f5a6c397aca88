// The simulated camera driven directly: literal request datagrams in,
// literal reply bytes out, and the state they leave behind.
#include "camera.h"

#include <QtTest>

using camsim::Bytes;
using camsim::Camera;
using camsim::Endpoint;
using camsim::Faults;
using camsim::Identity;
using camsim::Ip4;
using camsim::Outcome;

namespace {

// "42 11 00 02 ..." -> bytes. Tests spell every datagram out this way.
Bytes hexBytes(const char *text) {
    const QByteArray raw = QByteArray::fromHex(QByteArray(text).replace(' ', ""));
    return Bytes(raw.begin(), raw.end());
}

Bytes withZeros(Bytes b, size_t total) {
    b.resize(total, 0);
    return b;
}

QByteArray qb(const Bytes &b) { return QByteArray(reinterpret_cast<const char *>(b.data()), int(b.size())); }
QByteArray qb(const Bytes &b, size_t at, size_t n) {
    return QByteArray(reinterpret_cast<const char *>(b.data() + at), int(n));
}

const Endpoint host{{{192, 0, 2, 1}}, 50123};

Identity labIdentity() {
    Identity id;
    id.mac = {{0x02, 0x00, 0x00, 0x1A, 0x2B, 0x3C}};
    id.ip = {{192, 0, 2, 10}};
    id.mask = {{255, 255, 255, 0}};
    id.gateway = {{192, 0, 2, 254}};
    id.ipConfig = 5;
    id.manufacturer = "Orvanta Labs";
    id.model = "CamSim";
    id.version = "2.3";
    id.info = "sim";
    id.serial = "SN-0042";
    id.userName = "left";
    return id;
}

Outcome send(Camera &cam, const Bytes &datagram, const Endpoint &from = host) {
    return cam.handle(datagram.data(), datagram.size(), from);
}

// A DEVWRITE data-form piece: header 42 11 FF F0, length 0x0204, then
// 00 00, the 16-bit address and 512 data bytes.
Bytes windowPiece(int k, uint16_t reqId, uint8_t fill) {
    const uint16_t address = uint16_t(0x0C00 + 0x80 * k);
    Bytes b = hexBytes("42 11 FF F0 02 04 00 00 00 00 00 00");
    b[6] = uint8_t(reqId >> 8);
    b[7] = uint8_t(reqId);
    b[10] = uint8_t(address >> 8);
    b[11] = uint8_t(address);
    for (int i = 0; i < 512; ++i) b.push_back(uint8_t(fill + i));
    return b;
}

Bytes readPiece(int k, uint16_t reqId) {
    const uint32_t address = 0x80000C00u + 0x80u * uint32_t(k);
    Bytes b = hexBytes("42 11 00 84 00 08 00 00 00 00 00 00 00 00 02 00");
    b[6] = uint8_t(reqId >> 8);
    b[7] = uint8_t(reqId);
    for (int i = 0; i < 4; ++i) b[size_t(8 + i)] = uint8_t(address >> (24 - 8 * i));
    return b;
}

bool logHas(const Outcome &out, const std::string &text) {
    for (const std::string &line : out.log)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

}  // namespace

class TestCamsimModel : public QObject {
    Q_OBJECT

private slots:
    // Discovery
    void discoveryAckLayout();
    void discoveryTextsCutAtWidth();
    void discoveryWithoutAckFlagIsSilent();
    void malformedDatagramsGetNoReply_data();
    void malformedDatagramsGetNoReply();

    // Registers, window and flash
    void readRegEchoesId_data();
    void readRegEchoesId();
    void windowPieceRoundTrip_data();
    void windowPieceRoundTrip();
    void programAndLoadSector();
    void wordFormAndDataFormControlAreOneCommand();
    void otherControlWordIsOnlyRecorded();
    void unalignedOrForeignAddressesAreRefused_data();
    void unalignedOrForeignAddressesAreRefused();
    void corruptSectorOnlyHitsThatSector();

    // IP commands
    void forceIpMovesCamera();
    void forceIpForOtherMacIsIgnored();
    void forceIpRefusesBroadcastAddress();
    void ipConfigThenRestart_data();
    void ipConfigThenRestart();
    void ipConfigForOtherMacIsIgnored();
    void restartWithoutIpConfigUsesStartupSetting();

    // Faults
    void faultsAreReproducibleFromSeed();
    void eachFaultDoesWhatItSays_data();
    void eachFaultDoesWhatItSays();
    void dropShareIsRoughlyAsAsked();
    void stopAfterSilencesEverything();
    void discoveryIsNotFaulted();
};

void TestCamsimModel::discoveryAckLayout() {
    Camera cam(labIdentity(), Faults{});
    const Outcome out = send(cam, hexBytes("42 11 00 02 00 08 12 34 00 00 00 00 00 00 00 00"));
    QCOMPARE(out.replies.size(), size_t(1));
    const Bytes &r = out.replies[0].bytes;
    QCOMPARE(r.size(), size_t(256));
    // status 0, DISCOVERY_ACK, length 248, request id echoed
    QCOMPARE(qb(r, 0, 8), qb(hexBytes("00 00 00 03 00 F8 12 34")));
    QCOMPARE(qb(r, 18, 6), qb(hexBytes("02 00 00 1A 2B 3C")));
    QCOMPARE(int(r[31]), 5);
    QCOMPARE(qb(r, 44, 4), qb(hexBytes("C0 00 02 0A")));
    QCOMPARE(qb(r, 60, 4), qb(hexBytes("FF FF FF 00")));
    QCOMPARE(qb(r, 76, 4), qb(hexBytes("C0 00 02 FE")));
    QCOMPARE(qb(r, 80, 32), qb(withZeros(hexBytes("4F 72 76 61 6E 74 61 20 4C 61 62 73"), 32)));  // Orvanta Labs
    QCOMPARE(qb(r, 112, 32), qb(withZeros(hexBytes("43 61 6D 53 69 6D"), 32)));                    // CamSim
    QCOMPARE(qb(r, 144, 32), qb(withZeros(hexBytes("32 2E 33"), 32)));                             // 2.3
    QCOMPARE(qb(r, 176, 48), qb(withZeros(hexBytes("73 69 6D"), 48)));                             // sim
    QCOMPARE(qb(r, 224, 16), qb(withZeros(hexBytes("53 4E 2D 30 30 34 32"), 16)));                 // SN-0042
    QCOMPARE(qb(r, 240, 16), qb(withZeros(hexBytes("6C 65 66 74"), 16)));                          // left
    // Unicast to the sender.
    QCOMPARE(out.replies[0].to.addr, host.addr);
    QCOMPARE(out.replies[0].to.port, host.port);
    QCOMPARE(out.replies[0].delayMs, 0);
}

void TestCamsimModel::discoveryTextsCutAtWidth() {
    Identity id = labIdentity();
    id.manufacturer = std::string(40, 'M');
    id.serial = "ABCDEFGHIJKLMNOPQRS";   // 19 characters, 16 fit
    id.userName = std::string(16, 'U');
    Camera cam(id, Faults{});
    const Bytes r = send(cam, hexBytes("42 11 00 02 00 08 00 01 00 00 00 00 00 00 00 00")).replies.at(0).bytes;
    QCOMPARE(qb(r, 80, 32), QByteArray(32, 'M'));
    QCOMPARE(int(r[112]), int('C'));   // the model is not overwritten by the long name
    QCOMPARE(qb(r, 224, 16), QByteArray("ABCDEFGHIJKLMNOP"));
    QCOMPARE(qb(r, 240, 16), QByteArray(16, 'U'));
}

void TestCamsimModel::discoveryWithoutAckFlagIsSilent() {
    Camera cam(labIdentity(), Faults{});
    QVERIFY(send(cam, hexBytes("42 00 00 02 00 00 00 09")).replies.empty());
}

void TestCamsimModel::malformedDatagramsGetNoReply_data() {
    QTest::addColumn<QByteArray>("datagram");
    QTest::newRow("7 bytes") << QByteArray::fromHex("42110002000800");
    QTest::newRow("wrong key") << QByteArray::fromHex("43110002000800010000000000000000");
    QTest::newRow("length beyond datagram") << QByteArray::fromHex("42110080000800030000000000");
    QTest::newRow("readmem cut short") << QByteArray::fromHex("421100840008000480000c00");
    QTest::newRow("forceip cut short") << QByteArray::fromHex("420100040000000102000000");
    QTest::newRow("empty") << QByteArray();
}

void TestCamsimModel::malformedDatagramsGetNoReply() {
    QFETCH(QByteArray, datagram);
    Camera cam(labIdentity(), Faults{});
    const Bytes before = cam.window();
    const Outcome out = cam.handle(reinterpret_cast<const uint8_t *>(datagram.constData()),
                                   size_t(datagram.size()), host);
    QVERIFY(out.replies.empty());
    QVERIFY(!out.addressChanged);
    QVERIFY(!out.log.empty() && out.log[0].rfind("rx ", 0) == 0);   // logged, also junk
    QVERIFY(cam.window() == before);
}

void TestCamsimModel::readRegEchoesId_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("version register") << QByteArray::fromHex("420100800004000700000000")
                                      << QByteArray::fromHex("000000810004000700010002");
    QTest::newRow("id 0xFFFF") << QByteArray::fromHex("420100800004ffff00000000")
                               << QByteArray::fromHex("000000810004ffff00010002");
    QTest::newRow("other register reads 0") << QByteArray::fromHex("420100800004002A00000A00")
                                            << QByteArray::fromHex("000000810004002A00000000");
    QTest::newRow("two registers") << QByteArray::fromHex("42010080000800020000000000000004")
                                   << QByteArray::fromHex("00000081000800020001000200000000");
}

void TestCamsimModel::readRegEchoesId() {
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    Camera cam(labIdentity(), Faults{});
    const Outcome out = cam.handle(reinterpret_cast<const uint8_t *>(request.constData()), size_t(request.size()), host);
    QCOMPARE(out.replies.size(), size_t(1));
    QCOMPARE(qb(out.replies[0].bytes).toHex(), reply.toHex());
}

void TestCamsimModel::windowPieceRoundTrip_data() {
    QTest::addColumn<int>("piece");
    for (int k = 0; k < 8; ++k) QTest::newRow(qPrintable(QString("piece %1").arg(k))) << k;
}

void TestCamsimModel::windowPieceRoundTrip() {
    QFETCH(int, piece);
    Camera cam(labIdentity(), Faults{});
    const Bytes before = cam.window();
    const Outcome w = send(cam, windowPiece(piece, 0x0102, uint8_t(0x40 + piece)));
    QCOMPARE(w.replies.size(), size_t(1));
    QCOMPARE(qb(w.replies[0].bytes).toHex(), QByteArray("0000800500000102"));

    // Only the piece's 512 bytes of the window changed.
    for (size_t i = 0; i < Camera::WindowSize; ++i) {
        const bool inside = i / 512 == size_t(piece);
        if (inside) QCOMPARE(int(cam.window()[i]), int(uint8_t(0x40 + piece + int(i % 512))));
        else QCOMPARE(int(cam.window()[i]), int(before[i]));
    }

    const Outcome r = send(cam, readPiece(piece, 0x0103));
    QCOMPARE(r.replies.size(), size_t(1));
    const Bytes &reply = r.replies[0].bytes;
    QCOMPARE(reply.size(), size_t(524));
    // status 0, READMEM_ACK, length 516, id, then the address
    Bytes head = hexBytes("00 00 00 85 02 04 01 03 80 00 0C 00");
    head[11] = uint8_t(0x80 * piece);
    head[10] = uint8_t(0x0C + (0x80 * piece) / 256);
    QCOMPARE(qb(reply, 0, 12).toHex(), qb(head).toHex());
    QCOMPARE(qb(reply, 12, 512), qb(windowPiece(piece, 0, uint8_t(0x40 + piece)), 12, 512));
}

void TestCamsimModel::programAndLoadSector() {
    Camera cam(labIdentity(), Faults{});
    QVERIFY(cam.flash().size() == size_t(16) << 20);
    QVERIFY(std::all_of(cam.flash().begin(), cam.flash().end(), [](uint8_t b) { return b == 0xFF; }));
    for (int k = 0; k < 8; ++k) send(cam, windowPiece(k, uint16_t(k + 1), uint8_t(k * 31)));
    const Bytes written = cam.window();

    // Control word D5 00 30 00 as the four data bytes of a data-form write.
    Outcome p = send(cam, hexBytes("42 11 FF F0 00 08 00 09 00 00 00 27 D5 00 30 00"));
    QCOMPARE(qb(p.replies.at(0).bytes).toHex(), QByteArray("0000800500000009"));
    QVERIFY(logHas(p, "program 0x003000"));
    QVERIFY(std::equal(written.begin(), written.end(), cam.flash().begin() + 0x3000));
    QCOMPARE(int(cam.flash()[0x2FFF]), 0xFF);
    QCOMPARE(int(cam.flash()[0x4000]), 0xFF);
    QCOMPARE(cam.lastControlWord(), 0xD5003000u);

    // Overwrite the window, then load the sector back into it.
    for (int k = 0; k < 8; ++k) send(cam, windowPiece(k, uint16_t(k + 20), 0));
    QVERIFY(cam.window() != written);
    Outcome l = send(cam, hexBytes("42 11 FF F0 00 08 00 30 00 00 00 27 D6 00 30 00"));
    QCOMPARE(qb(l.replies.at(0).bytes).toHex(), QByteArray("0000800500000030"));
    QVERIFY(logHas(l, "load 0x003000"));
    QVERIFY(cam.window() == written);

    // Loading an erased sector fills the window with 0xFF.
    send(cam, hexBytes("42 11 FF F0 00 08 00 31 00 00 00 27 D6 18 10 00"));
    QVERIFY(std::all_of(cam.window().begin(), cam.window().end(), [](uint8_t b) { return b == 0xFF; }));
    // The top sector is reachable.
    send(cam, hexBytes("42 11 FF F0 00 08 00 32 00 00 00 27 D5 FF F0 00"));
    QCOMPARE(int(cam.flash()[0xFFFFFF]), 0xFF);
}

void TestCamsimModel::wordFormAndDataFormControlAreOneCommand() {
    // The word form with a 32-bit address and the data form with bytes 8-9
    // zero are the same bytes: both must program.
    Camera a(labIdentity(), Faults{}), b(labIdentity(), Faults{});
    for (int k = 0; k < 8; ++k) {
        send(a, windowPiece(k, 1, 0x11));
        send(b, windowPiece(k, 1, 0x11));
    }
    const Outcome oa = send(a, hexBytes("42 11 FF F0 00 08 00 05 00 00 00 27 D5 18 10 00"));
    const Outcome ob = send(b, hexBytes("42 11 FF F0 00 08 00 06 00 00 00 27 D5 18 10 00"));
    QVERIFY(logHas(oa, "program 0x181000"));
    QVERIFY(logHas(ob, "program 0x181000"));
    QVERIFY(a.flash() == b.flash());
}

void TestCamsimModel::otherControlWordIsOnlyRecorded() {
    Camera cam(labIdentity(), Faults{});
    for (int k = 0; k < 8; ++k) send(cam, windowPiece(k, 1, 0x22));
    const Bytes window = cam.window();
    const Outcome out = send(cam, hexBytes("42 11 FF F0 00 08 00 07 00 00 00 27 01 34 3E F5"));
    QCOMPARE(qb(out.replies.at(0).bytes).toHex(), QByteArray("0000800500000007"));
    QVERIFY(logHas(out, "control 0x01343ef5"));
    QCOMPARE(cam.lastControlWord(), 0x01343EF5u);
    QVERIFY(cam.window() == window);
    QVERIFY(std::all_of(cam.flash().begin(), cam.flash().end(), [](uint8_t b) { return b == 0xFF; }));
    // READREG of the control word address reads the recorded word back.
    const Outcome r = send(cam, hexBytes("42 01 00 80 00 04 00 08 00 00 00 27"));
    QCOMPARE(qb(r.replies.at(0).bytes).toHex(), QByteArray("000000810004000801343ef5"));
}

void TestCamsimModel::unalignedOrForeignAddressesAreRefused_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("replyHead");
    // Program at an address that is not a sector start: refused, nothing written.
    QTest::newRow("unaligned program") << QByteArray::fromHex("4211fff00008000a00000027d5003010")
                                       << QByteArray::fromHex("80028005");
    QTest::newRow("write outside window") << QByteArray::fromHex("4211fff00008000b00001000deadbeef")
                                          << QByteArray::fromHex("80038005");
    QTest::newRow("piece between strides") << QByteArray::fromHex("4211fff00008000c00000c40deadbeef")
                                           << QByteArray::fromHex("80038005");
    QTest::newRow("read outside window") << QByteArray::fromHex("421100840008000d8000100000000200")
                                         << QByteArray::fromHex("80030085");
    QTest::newRow("read too long") << QByteArray::fromHex("421100840008000e80000c0000000400")
                                   << QByteArray::fromHex("80030085");
    QTest::newRow("control word of 8 bytes")
        << QByteArray::fromHex("4211fff0000c000f00000027d5003000d5003000") << QByteArray::fromHex("80028005");
}

void TestCamsimModel::unalignedOrForeignAddressesAreRefused() {
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, replyHead);
    Camera cam(labIdentity(), Faults{});
    const Bytes window = cam.window();
    const Outcome out = cam.handle(reinterpret_cast<const uint8_t *>(request.constData()), size_t(request.size()), host);
    QCOMPARE(out.replies.size(), size_t(1));
    QCOMPARE(qb(out.replies[0].bytes, 0, 4).toHex(), replyHead.toHex());
    QVERIFY(cam.window() == window);
    QVERIFY(std::all_of(cam.flash().begin(), cam.flash().end(), [](uint8_t b) { return b == 0xFF; }));
}

void TestCamsimModel::corruptSectorOnlyHitsThatSector() {
    Faults faults;
    faults.corruptSectors = {3};
    Camera cam(labIdentity(), faults);
    for (int k = 0; k < 8; ++k) send(cam, windowPiece(k, 1, uint8_t(k)));
    const Bytes window = cam.window();
    send(cam, hexBytes("42 11 FF F0 00 08 00 02 00 00 00 27 D5 00 20 00"));
    const Outcome out = send(cam, hexBytes("42 11 FF F0 00 08 00 03 00 00 00 27 D5 00 30 00"));
    QVERIFY(logHas(out, "corrupt 0x003000"));
    QVERIFY(std::equal(window.begin(), window.end(), cam.flash().begin() + 0x2000));
    QVERIFY(!std::equal(window.begin(), window.end(), cam.flash().begin() + 0x3000));
    // Still acknowledged as a success: only a read-back can catch it.
    QCOMPARE(qb(out.replies.at(0).bytes).toHex(), QByteArray("0000800500000003"));
}

// FORCEIP to 02:00:00:1A:2B:3C: IP 192.0.2.77, mask 255.255.255.0, gateway 192.0.2.254.
static const char *forceIpTo77 =
    "42 01 00 04 00 38 00 01 00 00 02 00 00 1A 2B 3C 00 00 00 00 00 00 00 00 00 00 00 00"
    " C0 00 02 4D 00 00 00 00 00 00 00 00 00 00 00 00 FF FF FF 00 00 00 00 00 00 00 00 00"
    " 00 00 00 00 C0 00 02 FE";

static const char *forceIpRestart =
    "42 01 00 04 00 38 00 01 00 00 02 00 00 1A 2B 3C 00 00 00 00 00 00 00 00 00 00 00 00"
    " 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
    " 00 00 00 00 00 00 00 00";

void TestCamsimModel::forceIpMovesCamera() {
    Camera cam(labIdentity(), Faults{});
    const Bytes cmd = hexBytes(forceIpTo77);
    QCOMPARE(cmd.size(), size_t(64));
    const Outcome out = send(cam, cmd);
    QCOMPARE(out.replies.size(), size_t(1));
    QCOMPARE(qb(out.replies[0].bytes).toHex(), QByteArray("0000000500000001"));
    QVERIFY(out.addressChanged);
    QCOMPARE(cam.currentIp(), (Ip4{{192, 0, 2, 77}}));
    // Discovery reports the new address.
    const Bytes r = send(cam, hexBytes("42 11 00 02 00 08 00 02 00 00 00 00 00 00 00 00")).replies.at(0).bytes;
    QCOMPARE(qb(r, 44, 4), qb(hexBytes("C0 00 02 4D")));
    QCOMPARE(qb(r, 76, 4), qb(hexBytes("C0 00 02 FE")));
    // The same address again moves nothing.
    QVERIFY(!send(cam, cmd).addressChanged);
}

void TestCamsimModel::forceIpForOtherMacIsIgnored() {
    Camera cam(labIdentity(), Faults{});
    Bytes cmd = hexBytes(forceIpTo77);
    cmd[15] = 0x3D;   // 02:00:00:1A:2B:3D
    const Outcome out = send(cam, cmd);
    QVERIFY(out.replies.empty());
    QVERIFY(!out.addressChanged);
    QCOMPARE(cam.currentIp(), (Ip4{{192, 0, 2, 10}}));
    // The all-ones MAC is nobody's either.
    for (int i = 10; i < 16; ++i) cmd[size_t(i)] = 0xFF;
    QVERIFY(send(cam, cmd).replies.empty());
    QCOMPARE(cam.currentIp(), (Ip4{{192, 0, 2, 10}}));
}

void TestCamsimModel::forceIpRefusesBroadcastAddress() {
    Camera cam(labIdentity(), Faults{});
    Bytes cmd = hexBytes(forceIpTo77);
    for (int i = 28; i < 32; ++i) cmd[size_t(i)] = 0xFF;   // what a failed address conversion gives
    const Outcome out = send(cam, cmd);
    QCOMPARE(out.replies.size(), size_t(1));
    QCOMPARE(qb(out.replies[0].bytes).toHex(), QByteArray("8002000500000001"));
    QVERIFY(!out.addressChanged);
    QCOMPARE(cam.currentIp(), (Ip4{{192, 0, 2, 10}}));
}

void TestCamsimModel::ipConfigThenRestart_data() {
    QTest::addColumn<QByteArray>("ipconfig");
    QTest::addColumn<int>("configByte");
    QTest::addColumn<QString>("comesUpOn");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("gateway");
    // 02:00:00:1A:2B:3C gives the link-local address 169.254.(1+0x2B%254).(1+0x3C%254) = 169.254.44.61.
    QTest::newRow("static")
        << QByteArray::fromHex("42118004004cffff0000020000 1a2b3c 00000005 000000000000000000000000"
                               "c6336414 000000000000000000000000 ffffff00 000000000000000000000000"
                               "c63364fe 00000000000000000000000000000000")
        << 5 << "198.51.100.20" << "255.255.255.0" << "198.51.100.254";
    QTest::newRow("dhcp")
        << QByteArray::fromHex("42118004004cffff0000020000 1a2b3c 00000006 000000000000000000000000"
                               "00000000 000000000000000000000000 00000000 000000000000000000000000"
                               "00000000 00000000000000000000000000000000")
        << 6 << "169.254.44.61" << "255.255.0.0" << "0.0.0.0";
    QTest::newRow("lla")
        << QByteArray::fromHex("42118004004cffff0000020000 1a2b3c 00000004 000000000000000000000000"
                               "00000000 000000000000000000000000 00000000 000000000000000000000000"
                               "00000000 00000000000000000000000000000000")
        << 4 << "169.254.44.61" << "255.255.0.0" << "0.0.0.0";
    QTest::newRow("static with no address falls back to link-local")
        << QByteArray::fromHex("42118004004cffff0000020000 1a2b3c 00000005 000000000000000000000000"
                               "00000000 000000000000000000000000 00000000 000000000000000000000000"
                               "00000000 00000000000000000000000000000000")
        << 5 << "169.254.44.61" << "255.255.0.0" << "0.0.0.0";
}

void TestCamsimModel::ipConfigThenRestart() {
    QFETCH(QByteArray, ipconfig);
    QFETCH(int, configByte);
    QFETCH(QString, comesUpOn);
    QFETCH(QString, mask);
    QFETCH(QString, gateway);
    QCOMPARE(ipconfig.size(), 84);
    Camera cam(labIdentity(), Faults{});
    const Outcome stored = cam.handle(reinterpret_cast<const uint8_t *>(ipconfig.constData()), 84, host);
    QCOMPARE(stored.replies.size(), size_t(1));
    QCOMPARE(qb(stored.replies[0].bytes).toHex(), QByteArray("000080050000ffff"));
    QVERIFY(!stored.addressChanged);   // stored only; the address moves at the restart
    QCOMPARE(cam.currentIp(), (Ip4{{192, 0, 2, 10}}));
    QCOMPARE(int(cam.storedConfig()), configByte);
    // Until the restart the camera still reports the configuration it runs with.
    const Bytes before = send(cam, hexBytes("42 11 00 02 00 08 00 02 00 00 00 00 00 00 00 00")).replies.at(0).bytes;
    QCOMPARE(int(before[31]), 5);

    const Outcome restart = send(cam, hexBytes(forceIpRestart));
    QCOMPARE(restart.replies.size(), size_t(1));
    QCOMPARE(qb(restart.replies[0].bytes).toHex(), QByteArray("0000000500000001"));
    QVERIFY(restart.addressChanged);
    QCOMPARE(QString::fromStdString(camsim::ipText(cam.currentIp())), comesUpOn);
    QCOMPARE(QString::fromStdString(camsim::ipText(cam.currentMask())), mask);
    QCOMPARE(QString::fromStdString(camsim::ipText(cam.currentGateway())), gateway);

    const Bytes r = send(cam, hexBytes("42 11 00 02 00 08 00 03 00 00 00 00 00 00 00 00")).replies.at(0).bytes;
    QCOMPARE(int(r[31]), configByte);
    QCOMPARE(QString::fromStdString(camsim::ipText(Ip4{{r[44], r[45], r[46], r[47]}})), comesUpOn);
}

void TestCamsimModel::ipConfigForOtherMacIsIgnored() {
    Camera cam(labIdentity(), Faults{});
    const QByteArray other = QByteArray::fromHex(
        "42118004004cffff0000020000 1a2b3d 00000006 000000000000000000000000"
        "00000000 000000000000000000000000 00000000 000000000000000000000000"
        "00000000 00000000000000000000000000000000");
    const Outcome out = cam.handle(reinterpret_cast<const uint8_t *>(other.constData()), 84, host);
    QVERIFY(out.replies.empty());
    QCOMPARE(int(cam.storedConfig()), 5);
    send(cam, hexBytes(forceIpRestart));
    QCOMPARE(cam.currentIp(), (Ip4{{192, 0, 2, 10}}));   // still the stored static address
}

void TestCamsimModel::restartWithoutIpConfigUsesStartupSetting() {
    // Forced elsewhere, then restarted: a static camera returns to its stored address.
    Camera cam(labIdentity(), Faults{});
    send(cam, hexBytes(forceIpTo77));
    QCOMPARE(cam.currentIp(), (Ip4{{192, 0, 2, 77}}));
    send(cam, hexBytes(forceIpRestart));
    QCOMPARE(cam.currentIp(), (Ip4{{192, 0, 2, 10}}));
    QCOMPARE(cam.currentGateway(), (Ip4{{192, 0, 2, 254}}));
}

namespace {
// A fixed mixed stream of access commands; returns everything observable.
std::vector<std::string> runStream(uint32_t seed) {
    Faults f;
    f.seed = seed;
    f.dropPct = 20;
    f.duplicatePct = 20;
    f.latePct = 20;
    f.wrongIdPct = 20;
    f.badStatusPct = 20;
    Camera cam(labIdentity(), f);
    std::vector<std::string> seen;
    for (int i = 0; i < 300; ++i) {
        Bytes req = (i % 3 == 0) ? windowPiece(i % 8, uint16_t(i + 1), uint8_t(i))
                    : (i % 3 == 1) ? readPiece(i % 8, uint16_t(i + 1))
                                   : hexBytes("42 01 00 80 00 04 00 00 00 00 00 00");
        const Outcome out = send(cam, req);
        for (const auto &r : out.replies)
            seen.push_back(qb(r.bytes, 0, 8).toHex().toStdString() + "@" + std::to_string(r.delayMs));
        seen.push_back("|");
    }
    return seen;
}
}  // namespace

void TestCamsimModel::faultsAreReproducibleFromSeed() {
    const auto a = runStream(7), b = runStream(7), c = runStream(8);
    QVERIFY(a == b);
    QVERIFY(a != c);
}

void TestCamsimModel::eachFaultDoesWhatItSays_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("replies");
    QTest::addColumn<QByteArray>("replyHead");   // first 8 bytes of each reply
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<bool>("written");           // the window piece was taken
    QTest::newRow("none") << "none" << 1 << QByteArray("0000800500000102") << 0 << true;
    QTest::newRow("drop") << "drop" << 0 << QByteArray() << 0 << true;
    QTest::newRow("duplicate") << "duplicate" << 2 << QByteArray("0000800500000102") << 0 << true;
    QTest::newRow("late") << "late" << 1 << QByteArray("0000800500000102") << 650 << true;
    QTest::newRow("delay") << "delay" << 1 << QByteArray("0000800500000102") << 40 << true;
    QTest::newRow("wrong id") << "wrong-id" << 1 << QByteArray("0000800500008102") << 0 << true;
    QTest::newRow("bad status") << "bad-status" << 1 << QByteArray("8007800500000102") << 0 << false;
}

void TestCamsimModel::eachFaultDoesWhatItSays() {
    QFETCH(QString, fault);
    QFETCH(int, replies);
    QFETCH(QByteArray, replyHead);
    QFETCH(int, delayMs);
    QFETCH(bool, written);
    Faults f;
    f.lateMs = 650;
    if (fault == "drop") f.dropPct = 100;
    if (fault == "duplicate") f.duplicatePct = 100;
    if (fault == "late") f.latePct = 100;
    if (fault == "delay") f.delayMs = 40;
    if (fault == "wrong-id") f.wrongIdPct = 100;
    if (fault == "bad-status") f.badStatusPct = 100;
    Camera cam(labIdentity(), f);
    const Bytes before = cam.window();
    const Outcome out = send(cam, windowPiece(2, 0x0102, 0x33));
    QCOMPARE(int(out.replies.size()), replies);
    for (const auto &r : out.replies) {
        QCOMPARE(qb(r.bytes).toHex(), replyHead);
        QCOMPARE(r.delayMs, delayMs);
    }
    QCOMPARE(cam.window() != before, written);
}

void TestCamsimModel::dropShareIsRoughlyAsAsked() {
    Faults f;
    f.dropPct = 10;
    f.seed = 12345;
    Camera cam(labIdentity(), f);
    int answered = 0;
    for (int i = 0; i < 2000; ++i)
        answered += int(send(cam, hexBytes("42 01 00 80 00 04 00 01 00 00 00 00")).replies.size());
    const int dropped = 2000 - answered;
    qInfo("dropped %d of 2000 at 10%%", dropped);
    QVERIFY2(dropped > 120 && dropped < 280, qPrintable(QString::number(dropped)));
}

void TestCamsimModel::stopAfterSilencesEverything() {
    Faults f;
    f.stopAfter = 3;
    Camera cam(labIdentity(), f);
    QCOMPARE(send(cam, hexBytes("42 01 00 80 00 04 00 01 00 00 00 00")).replies.size(), size_t(1));
    QCOMPARE(send(cam, hexBytes("42 11 00 02 00 08 00 02 00 00 00 00 00 00 00 00")).replies.size(), size_t(1));
    QCOMPARE(send(cam, windowPiece(0, 3, 1)).replies.size(), size_t(1));
    // From the fourth datagram on the camera is gone: no reply, no effect.
    const Bytes window = cam.window();
    QVERIFY(send(cam, windowPiece(0, 4, 9)).replies.empty());
    QVERIFY(cam.window() == window);
    QVERIFY(send(cam, hexBytes("42 11 00 02 00 08 00 05 00 00 00 00 00 00 00 00")).replies.empty());
    QVERIFY(send(cam, hexBytes(forceIpTo77)).replies.empty());
    QCOMPARE(cam.currentIp(), (Ip4{{192, 0, 2, 10}}));
}

void TestCamsimModel::discoveryIsNotFaulted() {
    Faults f;
    f.dropPct = 100;
    f.delayMs = 900;
    f.wrongIdPct = 100;
    f.badStatusPct = 100;
    Camera cam(labIdentity(), f);
    const Outcome d = send(cam, hexBytes("42 11 00 02 00 08 00 02 00 00 00 00 00 00 00 00"));
    QCOMPARE(d.replies.size(), size_t(1));
    QCOMPARE(qb(d.replies[0].bytes, 0, 8).toHex(), QByteArray("0000000300f80002"));
    QCOMPARE(d.replies[0].delayMs, 0);
    const Outcome ip = send(cam, hexBytes(forceIpTo77));
    QCOMPARE(ip.replies.size(), size_t(1));
    QCOMPARE(qb(ip.replies[0].bytes).toHex(), QByteArray("0000000500000001"));
}

QTEST_GUILESS_MAIN(TestCamsimModel)
#include "tst_camsim_model.moc"
