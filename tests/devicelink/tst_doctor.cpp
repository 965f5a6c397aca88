// The diagnosis's rules on observations given by hand (the labs show each
// finding end to end), the power-cycle text, and how registers are read
// from a camera that lacks some, reads one at a time or falls silent.
#include "bootstrap.h"
#include "doctor.h"
#include "ipv4address.h"

#include <QMap>
#include <QtTest>

namespace {

// Registers by address; a READREG naming one it lacks is refused with
// 0x8003, as cameras do. Exchanges count from 1; `silentFrom` and after are
// not answered, nor are those in `lost`.
class RegisterCamera : public DeviceAccess {
public:
    QMap<quint32, quint32> registers;
    int silentFrom = 1 << 30;
    QList<int> lost;
    int exchanges = 0;
    QList<int> sizes;  // registers per READREG

    ExchangeResult readReg(quint32 address, quint32 &value) override { return readRegs(&address, 1, &value); }
    ExchangeResult readRegs(const quint32 *addresses, int count, quint32 *values) override
    {
        sizes << count;
        if (++exchanges >= silentFrom || lost.contains(exchanges))
            return ExchangeResult::of(ExchangeResult::Kind::NoReply);
        for (int i = 0; i < count; ++i) {
            if (!registers.contains(addresses[i]))
                return ExchangeResult::cameraStatus(0x8003);
            values[i] = registers[addresses[i]];
        }
        return ExchangeResult::accepted(8 + 4 * count);
    }
    ExchangeResult writeReg(quint32, quint32) override { return ExchangeResult::cameraStatus(0x8004); }
    ExchangeResult readMem(quint32, quint32, quint8 *, int &) override { return ExchangeResult::cameraStatus(0x8001); }
    ExchangeResult writeMem(quint16, const quint8 *, int, int) override { return ExchangeResult::cameraStatus(0x8001); }
    ExchangeResult writeMemWord(quint32, quint32) override { return ExchangeResult::cameraStatus(0x8001); }
};

bootstrap::Register reg(quint32 value) { return {true, value}; }

quint32 ip(const char *text)
{
    quint8 b[4];
    parseIPv4(QString::fromLatin1(text), b);
    return quint32(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3];
}

// An observation written as text, one item a line:
//   card NAME ADDRESS MASK [speed=N rp=N]
//   camera MAC-LAST-BYTE ADDRESS HEARD-ON-CARD [config=N] [stored=IP/MASK/GATEWAY] [silent] [exclusive]
//                        [held=IP:PORT] [speed=N]
//   pc rpall=N limit=N granted=N rpdrops=N martians=N bufdrops=N
doctor::Observation observation(const QString &text)
{
    doctor::Observation o;
    for (const QString &line : text.split('\n', Qt::SkipEmptyParts)) {
        const QStringList w = line.simplified().split(' ');
        QMap<QString, QString> opt;
        for (const QString &word : w.mid(1))
            opt.insert(word.section('=', 0, 0), word.section('=', 1));
        if (w[0] == "card") {
            o.cards.append({w[2], w[1], w[3]});
            o.pc.cards.append({w[1], opt.value("speed", "-1").toInt(), opt.value("rp", "0").toInt()});
        } else if (w[0] == "camera") {
            DeviceRecord r;
            r.mac[0] = 2;
            r.mac[5] = quint8(w[1].toInt(nullptr, 16));
            parseIPv4(w[2], r.ip);
            parseIPv4("255.255.255.0", r.mask);
            r.hostIP = r.localAddress = w[3];
            r.ipConfig = opt.value("config", "5").toInt();
            qstrcpy(r.serialNumber, "S");
            doctor::CameraReading reading;
            reading.attempted = true;
            reading.result = opt.contains("silent")      ? ExchangeResult::of(ExchangeResult::Kind::NoReply)
                             : opt.contains("exclusive") ? ExchangeResult::cameraStatus(0x8006)
                                                         : ExchangeResult::accepted();
            bootstrap::StoredConfiguration &s = reading.setup.stored;
            s.ipConfig = reg(quint32(r.ipConfig));
            const QStringList stored = opt.value("stored", w[2] + "/255.255.255.0/0.0.0.0").split('/');
            s.persistentIp = reg(ip(qPrintable(stored[0])));
            if (stored.size() > 2) {
                s.persistentMask = reg(ip(qPrintable(stored[1])));
                s.persistentGateway = reg(ip(qPrintable(stored[2])));
            }
            if (opt.contains("speed"))
                reading.setup.linkSpeed = reg(opt.value("speed").toUInt());
            if (opt.contains("held")) {
                reading.holder.state = control::Holder::State::Held;
                reading.holder.addressKnown = true;
                bootstrap::addressBytes(ip(qPrintable(opt.value("held").section(':', 0, 0))), reading.holder.ip);
                reading.holder.port = quint16(opt.value("held").section(':', 1).toUInt());
            }
            o.records.append(r);
            o.readings.append(reading);
        } else if (w[0] == "pc") {
            o.pc.rpFilterAll = opt.value("rpall", "0").toInt();
            o.pc.receiveBufferLimit = opt.value("limit", "-1").toLongLong();
            o.pc.grantedReceiveBuffer = opt.value("granted", "0").toLongLong();
            o.pc.reversePathDrops = opt.value("rpdrops", "0").toLongLong();
            o.pc.martianSources = opt.value("martians", "0").toLongLong();
            o.pc.receiveBufferDrops = opt.value("bufdrops", "0").toLongLong();
        }
    }
    return o;
}

// Many cameras heard on one card: "camera N ..." lines from .10 on.
QString fleet(int count, const QString &card)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += QString("camera %1 192.0.2.%2 %3\n").arg(i, 0, 16).arg(10 + i).arg(card);
    return text;
}

}  // namespace

class DoctorTest : public QObject {
    Q_OBJECT

private slots:
    void rules_data()
    {
        QTest::addColumn<QString>("lab");
        QTest::addColumn<QStringList>("expected");  // "kind mac-or-card: a text the finding holds"
        const QString nic0 = "card nic0 192.0.2.1 255.255.255.0\n";
        QTest::newRow("heard on two cards, at home on one") << "card nic1 198.51.100.1 255.255.255.0\n" + nic0 +
                                                                   "camera 1 192.0.2.10 198.51.100.1\n"
                                                                   "camera 1 192.0.2.10 192.0.2.1\n"
                                                            << QStringList();
        QTest::newRow("free addresses: after the highest, wrapping, never a stored or proposed one")
            << "card nic0 192.0.2.1 255.255.255.248\ncamera 1 192.0.2.5 192.0.2.1 stored=192.0.2.2\n"
               "camera 2 192.0.2.3 192.0.2.1 config=6\ncamera 3 203.0.113.3 192.0.2.1\ncamera 4 203.0.113.4 192.0.2.1\n"
               "camera 5 203.0.113.5 192.0.2.1\n"
            << QStringList{"moves-at-power-cycle 02:00:00:00:00:01: after a power cycle: static 192.0.2.2.",
                           "off-subnet 02:00:00:00:00:03: force-ip -c 02:00:00:00:00:03 --ip 192.0.2.6 --mask "
                           "255.255.255.248 --gateway 192.0.2.1",
                           "off-subnet 02:00:00:00:00:04: --ip 192.0.2.4 ",
                           "off-subnet 02:00:00:00:00:05: Give nic0 a larger subnet"};
        QTest::newRow("duplicate: the higher MAC moves, stored; the card's address")
            << nic0 + "card nic1 198.51.100.1 255.255.255.0\ncamera 7 192.0.2.20 192.0.2.1 silent\n"
                      "camera 3 192.0.2.20 192.0.2.1\ncamera 4 198.51.100.1 192.0.2.1\n"
            << QStringList{
                   "duplicate-address 02:00:00:00:00:07: ip-config -c 02:00:00:00:00:07 static --ip 192.0.2.21 ",
                   "card-address 02:00:00:00:00:04: of card nic1 (198.51.100.1/24)"};
        QTest::newRow("cards in one subnet, by either mask; one card's two addresses are not")
            << "card nic1 192.0.2.130 255.255.255.128\n" + nic0 +
                   "card nic1 198.51.100.1 255.255.255.0\ncard nic2 198.51.100.2 255.255.0.0\n"
            << QStringList{"no-camera : on card nic1 (192.0.2.130/25), card nic0 (192.0.2.1/24)",
                           "cards-one-subnet nic0: nic1 (192.0.2.130/25) and nic0 (192.0.2.1/24)",
                           "cards-one-subnet nic2: Give nic2 an address"};
        QTest::newRow("rp_filter: dropped ARP requests count; the keys that are on, a VLAN's with a slash")
            << "card eth0.100 192.0.2.1 255.255.255.0 rp=2\ncard nic1 198.51.100.1 255.255.255.0 rp=0\n"
               "pc rpall=1 martians=3\n" +
                   fleet(1, "192.0.2.1")
            << QStringList{"reverse-path-filter eth0.100: sudo sysctl -w net.ipv4.conf.all.rp_filter=0 "
                           "net.ipv4.conf.eth0/100.rp_filter=0",
                           "reverse-path-filter nic1: sudo sysctl -w net.ipv4.conf.all.rp_filter=0"};
        QTest::newRow("rp_filter off: drops are someone else's")
            << nic0 + "pc rpdrops=5\n" + fleet(1, "192.0.2.1") << QStringList();
        QTest::newRow("receive buffer: 160 answers fit twice in 2 x 224000")
            << nic0 + "pc limit=224000 granted=8388608\n" + fleet(160, "192.0.2.1") << QStringList();
        QTest::newRow("receive buffer: 161 do not")
            << nic0 + "pc limit=224000 granted=8388608\n" + fleet(161, "192.0.2.1")
            << QStringList{"receive-buffer nic0: sudo sysctl -w net.core.rmem_max=4194304"};
        QTest::newRow("receive buffer: what the socket got counts too")
            << nic0 + "pc limit=4194304 granted=300000\n" + fleet(120, "192.0.2.1")
            << QStringList{"receive-buffer nic0: buffer of 293 KB"};
        QTest::newRow("receive buffer: answers dropped, the limit doubled")
            << nic0 + "pc limit=4194304 granted=8388608 bufdrops=7\n" + fleet(3, "192.0.2.1")
            << QStringList{"receive-buffer nic0: rmem_max=8388608"};
        QTest::newRow("power cycle: LLA only moves, DHCP cannot be told, one changed field moves")
            << nic0 + "camera 1 192.0.2.10 192.0.2.1 config=4\ncamera 2 192.0.2.11 192.0.2.1 config=6\n"
                      "camera 3 192.0.2.12 192.0.2.1 stored=192.0.2.12/255.255.255.0/192.0.2.1\n"
                      "camera 4 192.0.2.13 192.0.2.1 stored=192.0.2.13\n"
            << QStringList{
                   "moves-at-power-cycle 02:00:00:00:00:01: but after a power cycle: link-local.",
                   "moves-at-power-cycle 02:00:00:00:00:03: runs 192.0.2.12 / 255.255.255.0 / 0.0.0.0 now, but "
                   "after a power cycle: static 192.0.2.12 / 255.255.255.0 / 192.0.2.1. Fix: orvanta-cli "
                   "ip-config -c 02:00:00:00:00:03 static --ip 192.0.2.12 --mask 255.255.255.0 --gateway 0.0.0.0"};
        QTest::newRow("DHCP fallen back on a link-local card; outside another card's subnet")
            << "card nic9 169.254.1.1 255.255.0.0\n" + nic0 +
                   "camera 1 169.254.7.7 169.254.1.1 config=6\ncamera 2 169.254.8.8 192.0.2.1 config=6 silent\n"
            << QStringList{"dhcp-fallback 02:00:00:00:00:01: fell back to link-local 169.254.7.7. Make",
                           "dhcp-fallback 02:00:00:00:00:02: 169.254.8.8, outside card nic0 (192.0.2.1/24). Make"};
        QTest::newRow("unreachable: outside the subnet says why; at home it is a finding")
            << nic0 + "camera 1 203.0.113.9 192.0.2.1 silent\ncamera 2 192.0.2.10 192.0.2.1 silent\n"
            << QStringList{"no-unicast-reply 02:00:00:00:00:02: answers discovery but not",
                           "off-subnet 02:00:00:00:00:01: answered on card nic0"};
        QTest::newRow("controlled: exclusive access, or another application named; slow links")
            << "card nic0 192.0.2.1 255.255.255.0 speed=100\ncard nic1 198.51.100.1 255.255.255.0 speed=10\n"
               "camera 1 192.0.2.10 192.0.2.1 exclusive speed=100\n"
               "camera 2 192.0.2.11 192.0.2.1 held=192.0.2.99:50123 speed=1000\n"
            << QStringList{"slow-link nic0: Card nic0 (192.0.2.1/24) links at 100 Mb/s",
                           "controlled 02:00:00:00:00:01: refuses even reads",
                           "controlled 02:00:00:00:00:02: at 192.0.2.99, port 50123: nothing can be written to it "
                           "until that application lets go. Fix: Close the application on 192.0.2.99"};
        QTest::newRow("nothing to hear on") << QString() << QStringList{"no-camera : no running network card"};
    }
    void rules()
    {
        QFETCH(QString, lab);
        QFETCH(QStringList, expected);
        const QList<doctor::Finding> found = doctor::findings(observation(lab));
        QStringList lines;
        for (const doctor::Finding &f : found)
            lines << doctor::kindName(f.kind) + ' ' + (f.mac.isEmpty() ? f.card : f.mac) + ": " + doctor::lineOf(f);
        QCOMPARE(lines.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i)
            QVERIFY2(lines[i].startsWith(expected[i].section(": ", 0, 0) + ": ") &&
                         lines[i].contains(expected[i].section(": ", 1)),
                     qPrintable(lines[i] + "\n  expected " + expected[i]));
    }

    void nextStart_data()
    {
        QTest::addColumn<int>("config");  // -1: the camera lacks the register
        QTest::addColumn<bool>("gateway");
        QTest::addColumn<QString>("line");
        QTest::newRow("static") << 5 << true << "After a power cycle: static 192.0.2.50 / 255.255.255.0 / 192.0.2.254";
        QTest::newRow("static, no gateway register")
            << 1 << false << "After a power cycle: static 192.0.2.50 / 255.255.255.0";
        QTest::newRow("static before DHCP")
            << 7 << true << "After a power cycle: static 192.0.2.50 / 255.255.255.0 / 192.0.2.254";
        QTest::newRow("DHCP") << 6 << true << "After a power cycle: DHCP, then link-local";
        QTest::newRow("DHCP alone") << 2 << true << "After a power cycle: DHCP";
        QTest::newRow("link-local") << 4 << true << "After a power cycle: link-local";
        QTest::newRow("nothing") << 0 << true << "After a power cycle: no IP configuration enabled";
        QTest::newRow("no register") << -1 << true << "";
    }
    void nextStart()
    {
        QFETCH(int, config);
        QFETCH(bool, gateway);
        QFETCH(QString, line);
        bootstrap::StoredConfiguration s;
        if (config >= 0)
            s.ipConfig = reg(quint32(config));
        s.persistentIp = reg(0xC0000232);
        s.persistentMask = reg(0xFFFFFF00);
        if (gateway)
            s.persistentGateway = reg(0xC00002FE);
        QCOMPARE(bootstrap::powerCycleLine(s), line);
    }

    // All in one READREG where the camera allows; one at a time when it
    // refuses that; a lost reply asked again; a silent camera left absent.
    void readingRegisters()
    {
        RegisterCamera full;
        full.registers = {{0x14, 5},  {0x64C, 0xC0000232}, {0x65C, 0xFFFFFF00}, {0x66C, 0},
                          {0x600, 1}, {0x934, 0x10000000}, {0x670, 100}};
        full.lost = {1};
        bootstrap::CameraSetup setup;
        QVERIFY(bootstrap::readCameraSetup(full, setup).ok());
        QCOMPARE(full.sizes, (QList<int>{6, 6, 1}));
        QVERIFY(setup.linkSpeed.present && setup.linkSpeed.value == 100 &&
                setup.stored.persistentIp.value == 0xC0000232);

        RegisterCamera older;  // no interfaces register, no link speed
        older.registers = {{0x14, 6}, {0x64C, 0}, {0x65C, 0}, {0x66C, 0}, {0x934, 0}};
        const ExchangeResult r = bootstrap::readCameraSetup(older, setup);
        QVERIFY(r.kind == ExchangeResult::Kind::CameraStatus && r.status == 0x8003);
        QCOMPARE(older.sizes, (QList<int>{6, 1, 1, 1, 1, 1, 1}));
        QVERIFY(!setup.interfaces.present && !setup.linkSpeed.present && setup.capability.present &&
                setup.stored.ipConfig.value == 6);

        RegisterCamera leaving;  // lacks the gateway, stops answering on the way through them
        leaving.registers = {{0x14, 5}, {0x64C, 0xC0000232}, {0x65C, 0xFFFFFF00}};
        leaving.silentFrom = 4;
        bootstrap::StoredConfiguration stored;
        QVERIFY(!bootstrap::readStoredConfiguration(leaving, stored));
        QVERIFY(stored.ipConfig.present && stored.persistentIp.present && !stored.persistentMask.present);

        RegisterCamera silent;
        silent.silentFrom = 1;
        QCOMPARE(bootstrap::readCameraSetup(silent, setup).kind, ExchangeResult::Kind::NoReply);
        QCOMPARE(silent.exchanges, 2);
        QVERIFY(!setup.stored.ipConfig.present && !setup.capability.present);
    }
};

QTEST_MAIN(DoctorTest)
#include "tst_doctor.moc"
