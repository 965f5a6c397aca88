// The simulated camera driven directly: literal request datagrams in,
// literal reply bytes out, and the state they leave behind. Only what the
// other tests rely on the simulator for: were any of it wrong, a faulty
// application could pass against it.
#include "camera.h"

#include <QtTest>

using namespace camsim;

namespace {

Bytes hex(const char *text)
{
    const QByteArray raw = QByteArray::fromHex(QByteArray(text).replace(' ', ""));
    return Bytes(raw.begin(), raw.end());
}
QByteArray qb(const Bytes &b, size_t at = 0, size_t n = size_t(-1))
{
    return QByteArray(reinterpret_cast<const char *>(b.data() + at), int(std::min(n, b.size() - at)));
}
bool erased(const Bytes &b) { return std::all_of(b.begin(), b.end(), [](uint8_t x) { return x == 0xFF; }); }

const Endpoint host{{{192, 0, 2, 1}}, 50123};
const char *Discovery = "42 11 00 02 00 08 12 34 00 00 00 00 00 00 00 00";
// FORCEIP to 02:00:00:1A:2B:3C: 192.0.2.77/24, gateway 192.0.2.254; and to 0.0.0.0 (restart).
const char *ForceIpTo77 = "42 01 00 04 00 38 00 01 00 00 02 00 00 1A 2B 3C 00 00 00 00 00 00 00 00 00 00 00 00"
                          " C0 00 02 4D 00 00 00 00 00 00 00 00 00 00 00 00 FF FF FF 00 00 00 00 00 00 00 00 00"
                          " 00 00 00 00 C0 00 02 FE";
const char *Restart = "42 01 00 04 00 38 00 01 00 00 02 00 00 1A 2B 3C";

Identity labIdentity()
{
    Identity id;
    id.mac = {{0x02, 0x00, 0x00, 0x1A, 0x2B, 0x3C}};
    id.ip = {{192, 0, 2, 10}};
    id.gateway = {{192, 0, 2, 254}};
    id.manufacturer = "Orvanta Labs";
    id.serial = "SN-0042";
    id.userName = "left";
    return id;
}

Outcome send(Camera &cam, const Bytes &datagram) { return cam.handle(datagram.data(), datagram.size(), host); }
Bytes restart()
{
    Bytes b = hex(Restart);
    b.resize(64, 0);  // all addresses zero
    return b;
}
bool logHas(const Outcome &out, const std::string &line)
{
    return std::find(out.log.begin(), out.log.end(), line) != out.log.end();
}

// A DEVWRITE data-form piece k (512 bytes counting up from `fill`), and the
// READMEM of piece k.
Bytes windowPiece(int k, uint16_t id, uint8_t fill)
{
    Bytes b = hex("42 11 FF F0 02 04 00 00 00 00 0C 00");
    b[6] = uint8_t(id >> 8), b[7] = uint8_t(id), b[10] += uint8_t(k / 2), b[11] = uint8_t(0x80 * (k % 2));
    for (int i = 0; i < 512; ++i)
        b.push_back(uint8_t(fill + i));
    return b;
}
Bytes readPiece(int k, uint16_t id)
{
    Bytes b = hex("42 11 00 84 00 08 00 00 80 00 0C 00 00 00 02 00");
    b[6] = uint8_t(id >> 8), b[7] = uint8_t(id), b[10] += uint8_t(k / 2), b[11] = uint8_t(0x80 * (k % 2));
    return b;
}
void fillWindow(Camera &cam, uint8_t seed)
{
    for (int k = 0; k < 8; ++k)
        send(cam, windowPiece(k, uint16_t(k + 1), uint8_t(seed + k * 31)));
}

}  // namespace

class TestCamsimModel : public QObject {
    Q_OBJECT

private slots:
    void discoveryAckLayout();
    void programAndLoadSector();
    void refusedAccess_data();
    void refusedAccess();
    void forceIp();
    void ipConfigThenRestart_data();
    void ipConfigThenRestart();
    void eachFaultDoesWhatItSays_data();
    void eachFaultDoesWhatItSays();
    void faultsAreReproducibleFromSeed();
    void stopAfterSilencesEverything();
};

void TestCamsimModel::discoveryAckLayout()
{
    Camera cam(labIdentity(), Faults{});
    const Outcome out = send(cam, hex(Discovery));
    QCOMPARE(out.replies.size(), size_t(1));
    const Bytes &r = out.replies[0].bytes;
    QCOMPARE(r.size(), size_t(256));
    QCOMPARE(qb(r, 0, 80).toHex(' '), qb(hex("00 00 00 03 00 F8 12 34 00 01 00 02 80 00 00 01 00 00 02 00 00 1A 2B 3C"
                                             "00 00 00 07 00 00 00 05 00 00 00 00 00 00 00 00 00 00 00 00 C0 00 02 0A"
                                             "00 00 00 00 00 00 00 00 00 00 00 00 FF FF FF 00 00 00 00 00 00 00 00 00"
                                             "00 00 00 00 C0 00 02 FE")).toHex(' '));
    QCOMPARE(qb(r, 80, 32), QByteArray("Orvanta Labs").leftJustified(32, '\0'));
    QCOMPARE(qb(r, 112, 32), QByteArray("CamSim").leftJustified(32, '\0'));
    QCOMPARE(qb(r, 144, 32), QByteArray("2.3").leftJustified(32, '\0'));
    QCOMPARE(qb(r, 224, 16), QByteArray("SN-0042").leftJustified(16, '\0'));
    QCOMPARE(qb(r, 240, 16), QByteArray("left").leftJustified(16, '\0'));
    QCOMPARE(out.replies[0].to.port, host.port);  // unicast to the sender
}

void TestCamsimModel::programAndLoadSector()
{
    Camera cam(labIdentity(), Faults{});
    QVERIFY(cam.flash().size() == size_t(16) << 20 && erased(cam.flash()));
    fillWindow(cam, 0);
    const Bytes written = cam.window();
    // Other control words are only recorded.
    const Outcome other = send(cam, hex("42 11 FF F0 00 08 00 07 00 00 00 27 01 34 3E F5"));
    QCOMPARE(qb(other.replies.at(0).bytes).toHex(), QByteArray("0000800500000007"));
    QVERIFY(logHas(other, "control 0x01343ef5") && cam.window() == written && erased(cam.flash()));
    // D5 programs the window into the sector, as the data form's 4 bytes.
    Outcome p = send(cam, hex("42 11 FF F0 00 08 00 09 00 00 00 27 D5 00 30 00"));
    QCOMPARE(qb(p.replies.at(0).bytes).toHex(), QByteArray("0000800500000009"));
    QCOMPARE(qb(cam.flash(), 0x2FFF, 0x1002), '\xFF' + qb(written) + '\xFF');
    // D6 (word form) loads a sector back into the window.
    fillWindow(cam, 7);
    Outcome l = send(cam, hex("42 11 FF F0 00 08 00 30 00 00 00 27 D6 00 30 00"));
    QCOMPARE(qb(l.replies.at(0).bytes).toHex(), QByteArray("0000800500000030"));
    for (int k = 0; k < 8; ++k) {  // READMEM of each piece: header, address, 512 bytes
        const Bytes r = send(cam, readPiece(k, 0x0103)).replies.at(0).bytes;
        Bytes head = hex("00 00 00 85 02 04 01 03 80 00 0C 00");
        head[10] += uint8_t(k / 2), head[11] = uint8_t(0x80 * (k % 2));
        QCOMPARE(qb(r).toHex(), qb(head).toHex() + qb(written, 512 * size_t(k), 512).toHex());
    }
    // An erased sector loads as 0xFF; the top sector is reachable.
    send(cam, hex("42 11 FF F0 00 08 00 31 00 00 00 27 D6 FF F0 00"));
    QVERIFY(erased(cam.window()));
    fillWindow(cam, 1);
    send(cam, hex("42 11 FF F0 00 08 00 32 00 00 00 27 D5 FF F0 00"));
    QCOMPARE(cam.flash().back(), cam.window().back());
    QVERIFY(logHas(p, "program 0x003000") && logHas(l, "load 0x003000"));
}

void TestCamsimModel::refusedAccess_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("replyHead");
    QTest::newRow("program at no sector start") << QByteArray("4211fff00008000a00000027d5003010") << QByteArray("80028005");
    QTest::newRow("read outside the window") << QByteArray("421100840008000d8000100000000200") << QByteArray("80030085");
}

void TestCamsimModel::refusedAccess()
{
    QFETCH(QByteArray, request);
    Camera cam(labIdentity(), Faults{});
    const Bytes window = cam.window();
    const Outcome out = send(cam, hex(request.constData()));
    QCOMPARE(out.replies.size(), size_t(1));
    QTEST(qb(out.replies[0].bytes, 0, 4).toHex(), "replyHead");
    QVERIFY(cam.window() == window && erased(cam.flash()));
}

void TestCamsimModel::forceIp()
{
    Camera cam(labIdentity(), Faults{});
    Bytes other = hex(ForceIpTo77);
    other[15] = 0x3D;  // another camera's MAC: ignored
    QVERIFY(send(cam, other).replies.empty());
    Bytes allOnes = hex(ForceIpTo77);
    std::fill(allOnes.begin() + 28, allOnes.begin() + 32, 0xFF);  // refused, as a broadcast address
    QCOMPARE(qb(send(cam, allOnes).replies.at(0).bytes).toHex(), QByteArray("8002000500000001"));
    QCOMPARE(cam.currentIp(), (Ip4{{192, 0, 2, 10}}));

    const Outcome out = send(cam, hex(ForceIpTo77));
    QCOMPARE(qb(out.replies.at(0).bytes).toHex(), QByteArray("0000000500000001"));
    QVERIFY(out.addressChanged);
    const Bytes r = send(cam, hex(Discovery)).replies.at(0).bytes;  // reports the new address
    QCOMPARE(qb(r, 44, 4) + qb(r, 76, 4), qb(hex("C0 00 02 4D C0 00 02 FE")));
    // A restart without IPCONFIG returns a static camera to its stored address.
    QVERIFY(send(cam, restart()).addressChanged);
    QCOMPARE(cam.currentIp(), (Ip4{{192, 0, 2, 10}}));
}

void TestCamsimModel::ipConfigThenRestart_data()
{
    QTest::addColumn<QByteArray>("ipconfig");
    QTest::addColumn<bool>("acked");
    QTest::addColumn<QString>("comesUpOn");  // address mask gateway, configuration byte
    // The link-local address of 02:00:00:1A:2B:3C is 169.254.44.61.
    const QByteArray head = "42118004004cffff00000200001a2b3c";
    QTest::newRow("static") << head + "00000005" + QByteArray(24, '0') + "c6336414" + QByteArray(24, '0') + "ffffff00" +
                                   QByteArray(24, '0') + "c63364fe" + QByteArray(32, '0')
                            << true << "198.51.100.20 255.255.255.0 198.51.100.254 5";
    QTest::newRow("dhcp") << head + "00000006" + QByteArray(128, '0') << true << "169.254.44.61 255.255.0.0 0.0.0.0 6";
    QTest::newRow("lla") << head + "00000004" + QByteArray(128, '0') << true << "169.254.44.61 255.255.0.0 0.0.0.0 4";
    QTest::newRow("other MAC: ignored") << QByteArray(head).replace(31, 1, "d") + "00000006" + QByteArray(128, '0')
                                        << false << "192.0.2.10 255.255.255.0 192.0.2.254 5";
}

void TestCamsimModel::ipConfigThenRestart()
{
    QFETCH(QByteArray, ipconfig);
    QFETCH(QString, comesUpOn);
    Camera cam(labIdentity(), Faults{});
    const Outcome stored = send(cam, hex(ipconfig.constData()));
    QFETCH(bool, acked);
    QCOMPARE(qb(stored.replies.empty() ? Bytes() : stored.replies[0].bytes).toHex(),
             QByteArray(acked ? "000080050000ffff" : ""));
    // Stored only: until the restart the camera runs and reports as before.
    QVERIFY(!stored.addressChanged);
    QCOMPARE(send(cam, hex(Discovery)).replies.at(0).bytes[31], uint8_t(5));
    QCOMPARE(qb(send(cam, restart()).replies.at(0).bytes).toHex(), QByteArray("0000000500000001"));
    const Bytes r = send(cam, hex(Discovery)).replies.at(0).bytes;
    QCOMPARE(QString::fromStdString(ipText(cam.currentIp()) + " " + ipText(cam.currentMask()) + " " +
                                    ipText(cam.currentGateway()) + " " + std::to_string(r[31])),
             comesUpOn);
    QCOMPARE(QString::fromStdString(ipText(Ip4{{r[44], r[45], r[46], r[47]}})), comesUpOn.section(' ', 0, 0));
}

void TestCamsimModel::eachFaultDoesWhatItSays_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("replies");
    QTest::addColumn<QByteArray>("replyHead");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<bool>("written");  // the window piece was taken
    QTest::newRow("none") << "none" << 1 << QByteArray("0000800500000102") << 0 << true;
    QTest::newRow("drop") << "drop" << 0 << QByteArray() << 0 << true;
    QTest::newRow("duplicate") << "duplicate" << 2 << QByteArray("0000800500000102") << 0 << true;
    QTest::newRow("late") << "late" << 1 << QByteArray("0000800500000102") << 650 << true;
    QTest::newRow("delay") << "delay" << 1 << QByteArray("0000800500000102") << 40 << true;
    QTest::newRow("wrong id") << "wrong-id" << 1 << QByteArray("0000800500008102") << 0 << true;
    QTest::newRow("bad status") << "bad-status" << 1 << QByteArray("8007800500000102") << 0 << false;
    QTest::newRow("corrupt sector") << "corrupt" << 1 << QByteArray("0000800500000103") << 0 << true;
}

void TestCamsimModel::eachFaultDoesWhatItSays()
{
    QFETCH(QString, fault);
    QFETCH(int, delayMs);
    Faults f;
    f.lateMs = 650;
    f.dropPct = fault == "drop" ? 100 : 0;
    f.duplicatePct = fault == "duplicate" ? 100 : 0;
    f.latePct = fault == "late" ? 100 : 0;
    f.delayMs = fault == "delay" ? 40 : 0;
    f.wrongIdPct = fault == "wrong-id" ? 100 : 0;
    f.badStatusPct = fault == "bad-status" ? 100 : 0;
    if (fault == "corrupt")
        f.corruptSectors = {3};
    Camera cam(labIdentity(), f);
    const Bytes before = cam.window();
    Outcome out = send(cam, windowPiece(2, 0x0102, 0x33));
    if (fault == "corrupt") {
        // Still acknowledged as a success: only a read-back can tell.
        send(cam, hex("42 11 FF F0 00 08 00 02 00 00 00 27 D5 00 20 00"));
        out = send(cam, hex("42 11 FF F0 00 08 01 03 00 00 00 27 D5 00 30 00"));
        QCOMPARE(qb(cam.flash(), 0x2000, 4096), qb(cam.window()));
        QVERIFY(qb(cam.flash(), 0x3000, 4096) != qb(cam.window()));
    }
    QTEST(int(out.replies.size()), "replies");
    for (const Reply &r : out.replies) {
        QTEST(qb(r.bytes, 0, 8).toHex(), "replyHead");
        QCOMPARE(r.delayMs, delayMs);
    }
    QTEST(cam.window() != before, "written");
}

void TestCamsimModel::faultsAreReproducibleFromSeed()
{
    // A mixed stream under every fault at 10%: the same seed gives the
    // same replies, another seed others, and about a tenth is dropped.
    auto run = [](uint32_t seed, int *dropped) {
        Faults f;
        f.seed = seed;
        f.dropPct = f.duplicatePct = f.latePct = f.wrongIdPct = f.badStatusPct = 10;
        Camera cam(labIdentity(), f);
        QByteArray seen;
        for (int i = 0; i < 2000; ++i) {
            const Outcome out = send(cam, i % 2 ? readPiece(i % 8, uint16_t(i)) : windowPiece(i % 8, uint16_t(i), 1));
            *dropped += out.replies.empty();
            for (const Reply &r : out.replies)
                seen += qb(r.bytes, 0, 8) + QByteArray::number(r.delayMs);
            seen += '|';
        }
        return seen;
    };
    int dropped = 0, ignored = 0;
    const QByteArray a = run(7, &dropped);
    QCOMPARE(run(7, &ignored), a);
    QVERIFY(run(8, &ignored) != a);
    QVERIFY2(dropped > 120 && dropped < 280, qPrintable(QString::number(dropped)));
}

void TestCamsimModel::stopAfterSilencesEverything()
{
    Faults f;
    f.stopAfter = 2;
    Camera cam(labIdentity(), f);
    QCOMPARE(qb(send(cam, hex("42 01 00 80 00 04 FF FF 00 00 00 00")).replies.at(0).bytes).toHex(),
             QByteArray("000000810004ffff00010002"));  // the version word
    QCOMPARE(send(cam, windowPiece(0, 3, 1)).replies.size(), size_t(1));
    // From the third datagram on the camera is gone: no reply, no effect.
    const Bytes window = cam.window();
    QVERIFY(send(cam, windowPiece(0, 4, 9)).replies.empty());
    QVERIFY(send(cam, hex(Discovery)).replies.empty());
    QVERIFY(send(cam, hex(ForceIpTo77)).replies.empty());
    QVERIFY(cam.window() == window);
    QCOMPARE(cam.currentIp(), (Ip4{{192, 0, 2, 10}}));
}

QTEST_GUILESS_MAIN(TestCamsimModel)
#include "tst_camsim_model.moc"
