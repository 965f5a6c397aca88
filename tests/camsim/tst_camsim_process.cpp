// The camsim program itself on loopback: its ready line, the socket loop,
// held and doubled replies, the flash dump on signals, --flash-in, the log,
// the ip hook and the refusal of bad options. Run it in a private network
// namespace (scripts/test does).
#include <QtNetwork>
#include <QtTest>

#include <csignal>

#ifndef CAMSIM_PATH
#error "CAMSIM_PATH must name the camsim executable"
#endif

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

// A running simulator on 127.0.0.1 with a free port; stopped at scope end.
class Sim {
public:
    explicit Sim(QStringList args) {
        args << "--bind" << "127.0.0.1" << "--port" << "0";
        process.setProgram(CAMSIM_PATH);
        process.setArguments(args);
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.start();
    }
    ~Sim() {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(10000)) process.kill();
            process.waitForFinished(5000);
        }
    }
    // Waits (bounded) for "camsim ready 127.0.0.1:PORT".
    bool waitReady() {
        QElapsedTimer t;
        t.start();
        while (!process.canReadLine() && t.elapsed() < 10000) process.waitForReadyRead(200);
        readyLine = QString::fromUtf8(process.readLine()).trimmed();
        QRegularExpression re("^camsim ready 127\\.0\\.0\\.1:(\\d+)$");
        auto m = re.match(readyLine);
        if (!m.hasMatch()) return false;
        port = quint16(m.captured(1).toUInt());
        return port != 0 && socket.bind(QHostAddress(QHostAddress::LocalHost), 0);
    }
    void send(const QByteArray &datagram) { socket.writeDatagram(datagram, QHostAddress::LocalHost, port); }
    // The next datagram within `ms`, or an empty array.
    QByteArray receive(int ms = 3000) {
        QElapsedTimer t;
        t.start();
        while (!socket.hasPendingDatagrams()) {
            const int left = ms - int(t.elapsed());
            if (left <= 0 || !socket.waitForReadyRead(left)) {
                if (!socket.hasPendingDatagrams()) return QByteArray();
            }
        }
        QByteArray d(int(socket.pendingDatagramSize()), 0);
        socket.readDatagram(d.data(), d.size());
        return d;
    }
    bool signal(int sig) { return ::kill(pid_t(process.processId()), sig) == 0; }

    QProcess process;
    QUdpSocket socket;
    QString readyLine;
    quint16 port = 0;
};

bool waitForFile(const QString &path, qint64 size, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (QFileInfo(path).exists() && QFileInfo(path).size() == size) return true;
        QThread::msleep(20);
    }
    return false;
}

QByteArray piece(int k, quint16 id, char fill) {
    QByteArray d = hex("4211fff002040000000000000000");
    d.resize(12);
    d[6] = char(id >> 8);
    d[7] = char(id);
    const int address = 0x0C00 + 0x80 * k;
    d[10] = char(address >> 8);
    d[11] = char(address);
    return d + QByteArray(512, fill);
}

QByteArray readPiece(int k, quint16 id) {
    QByteArray d = hex("421100840008000080000c0000000200");
    d[6] = char(id >> 8);
    d[7] = char(id);
    const int address = 0x0C00 + 0x80 * k;
    d[10] = char(address >> 8);
    d[11] = char(address);
    return d;
}

const qint64 FlashSize = 16 * 1024 * 1024;

}  // namespace

class TestCamsimProcess : public QObject {
    Q_OBJECT

private slots:
    void readyLineAndDiscovery();
    void sectorRoundTripAndDumps();
    void flashInIsLoaded();
    void heldAndDoubledReplies();
    void stopAfterGoesSilent();
    void ipHookRunsAfterTheAcknowledge();
    void badOptionsAreRefused_data();
    void badOptionsAreRefused();

private:
    QTemporaryDir dir;
};

void TestCamsimProcess::readyLineAndDiscovery() {
    const QString log = dir.filePath("discovery.log");
    Sim sim({"--log", log, "--ip", "192.0.2.10", "--mac", "02:00:00:00:00:07", "--serial", "S1",
             "--ipconfig", "6"});
    QVERIFY2(sim.waitReady(), qPrintable(sim.readyLine));
    sim.send(hex("4211000200080abc0000000000000000"));
    const QByteArray ack = sim.receive();
    QCOMPARE(ack.size(), 256);
    QCOMPARE(ack.left(8).toHex(), QByteArray("0000000300f80abc"));
    QCOMPARE(ack.mid(18, 6).toHex(), QByteArray("020000000007"));
    QCOMPARE(int(ack[31]), 6);
    QCOMPARE(ack.mid(44, 4).toHex(), QByteArray("c000020a"));
    QCOMPARE(ack.mid(224, 3), QByteArray("S1\0", 3));

    sim.process.terminate();
    QVERIFY(sim.process.waitForFinished(10000));
    QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process.exitCode(), 0);
    QFile f(log);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    QVERIFY2(text.contains(QRegularExpression("^rx cmd=0x0002 id=2748 len=16 from=127\\.0\\.0\\.1:\\d+ to=127\\.0\\.0\\.1$",
                                              QRegularExpression::MultilineOption)),
             qPrintable(text));
}

void TestCamsimProcess::sectorRoundTripAndDumps() {
    const QString out = dir.filePath("round.flash");
    const QString log = dir.filePath("round.log");
    Sim sim({"--flash-out", out, "--log", log});
    QVERIFY(sim.waitReady());
    quint16 id = 1;
    for (int k = 0; k < 8; ++k) {
        sim.send(piece(k, id, char('a' + k)));
        QByteArray expected = hex("0000800500000000");
        expected[7] = char(id++);
        QCOMPARE(sim.receive().toHex(), expected.toHex());
    }
    sim.send(hex("4211fff00008000900000027d5005000"));
    QCOMPARE(sim.receive().toHex(), QByteArray("0000800500000009"));

    // Dump on request: the file appears whole (written aside, then renamed).
    QVERIFY(!QFileInfo::exists(out));
    QVERIFY(sim.signal(SIGUSR1));
    QVERIFY(waitForFile(out, FlashSize));
    {
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray flash = f.readAll();
        QCOMPARE(flash.mid(0x4FFF, 1), QByteArray(1, char(0xFF)));
        for (int k = 0; k < 8; ++k) QCOMPARE(flash.mid(0x5000 + 512 * k, 512), QByteArray(512, char('a' + k)));
        QCOMPARE(flash.mid(0x6000, 1), QByteArray(1, char(0xFF)));
    }
    QVERIFY(!QFileInfo::exists(out + ".tmp"));

    // Load another (erased) sector and read it, then load ours back.
    sim.send(hex("4211fff00008000a00000027d6006000"));
    QCOMPARE(sim.receive().toHex(), QByteArray("000080050000000a"));
    sim.send(readPiece(7, 11));
    QCOMPARE(sim.receive().mid(12), QByteArray(512, char(0xFF)));
    sim.send(hex("4211fff00008000c00000027d6005000"));
    QCOMPARE(sim.receive().toHex(), QByteArray("000080050000000c"));
    sim.send(readPiece(3, 13));
    const QByteArray r = sim.receive();
    QCOMPARE(r.left(12).toHex(), QByteArray("000000850204000d80000d80"));
    QCOMPARE(r.mid(12), QByteArray(512, 'd'));

    // At exit the dump is written again.
    QFile::remove(out);
    sim.process.terminate();
    QVERIFY(sim.process.waitForFinished(15000));
    QCOMPARE(sim.process.exitCode(), 0);
    QCOMPARE(QFileInfo(out).size(), FlashSize);
    QFile l(log);
    QVERIFY(l.open(QIODevice::ReadOnly));
    const QByteArray text = l.readAll();
    QVERIFY(text.contains("program 0x005000\n"));
    QVERIFY(text.contains("load 0x006000\n"));
    QVERIFY(text.contains("dump " + out.toUtf8() + "\n"));
}

void TestCamsimProcess::flashInIsLoaded() {
    const QString in = dir.filePath("in.bin");
    {
        QFile f(in);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray content(8192, 0);
        for (int i = 0; i < content.size(); ++i) content[i] = char(i * 7);
        f.write(content);
    }
    Sim sim({"--flash-in", in});
    QVERIFY(sim.waitReady());
    sim.send(hex("4211fff00008000100000027d6001000"));
    QCOMPARE(sim.receive().toHex(), QByteArray("0000800500000001"));
    sim.send(readPiece(0, 2));
    const QByteArray r = sim.receive();
    QCOMPARE(r.size(), 524);
    for (int i = 0; i < 512; ++i) QCOMPARE(quint8(r[12 + i]), quint8((4096 + i) * 7));
    // Beyond the file the flash is erased.
    sim.send(hex("4211fff00008000300000027d6002000"));
    QCOMPARE(sim.receive().toHex(), QByteArray("0000800500000003"));
    sim.send(readPiece(0, 4));
    QCOMPARE(sim.receive().mid(12), QByteArray(512, char(0xFF)));
}

void TestCamsimProcess::heldAndDoubledReplies() {
    Sim sim({"--late", "100", "--late-ms", "800", "--duplicate", "100"});
    QVERIFY(sim.waitReady());
    QElapsedTimer t;
    t.start();
    sim.send(hex("420100800004002100000000"));
    // Held far beyond the moment: nothing can arrive before its time.
    QVERIFY(sim.receive(300).isEmpty());
    const QByteArray first = sim.receive(5000);
    const qint64 arrived = t.elapsed();
    QCOMPARE(first.toHex(), QByteArray("000000810004002100010002"));
    QCOMPARE(sim.receive(2000).toHex(), QByteArray("000000810004002100010002"));
    QVERIFY(sim.receive(300).isEmpty());
    qInfo("late reply held for %lld ms (asked for 800)", arrived);

    // Discovery is not held.
    sim.send(hex("4211000200080022 0000000000000000"));
    const QByteArray disc = sim.receive(3000);
    QCOMPARE(disc.left(8).toHex(), QByteArray("0000000300f80022"));
}

void TestCamsimProcess::stopAfterGoesSilent() {
    Sim sim({"--stop-after", "2"});
    QVERIFY(sim.waitReady());
    sim.send(hex("420100800004000100000000"));
    QCOMPARE(sim.receive().toHex(), QByteArray("000000810004000100010002"));
    sim.send(hex("420100800004000200000000"));
    QCOMPARE(sim.receive().toHex(), QByteArray("000000810004000200010002"));
    sim.send(hex("420100800004000300000000"));
    QVERIFY(sim.receive(700).isEmpty());
    sim.send(hex("42110002000800040000000000000000"));
    QVERIFY(sim.receive(700).isEmpty());
    // Still a live process that exits cleanly.
    QCOMPARE(sim.process.state(), QProcess::Running);
}

void TestCamsimProcess::ipHookRunsAfterTheAcknowledge() {
    const QString hook = dir.filePath("hook.sh");
    const QString record = dir.filePath("hook.out");
    {
        QFile f(hook);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\necho \"$@\" >> \"" + record.toUtf8() + "\"\n");
    }
    QFile::setPermissions(hook, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    Sim sim({"--ip", "203.0.113.5", "--mask", "255.255.255.0", "--mac", "02:00:00:00:00:01",
             "--ip-hook", hook});
    QVERIFY(sim.waitReady());
    // FORCEIP to 02:00:00:00:00:01: 192.0.2.77/24 gateway 192.0.2.254.
    sim.send(hex("42010004003800010000020000000001000000000000000000000000c000024d"
                 "000000000000000000000000ffffff00000000000000000000000000c00002fe"));
    QCOMPARE(sim.receive().toHex(), QByteArray("0000000500000001"));
    QVERIFY(waitForFile(record, qint64(strlen("192.0.2.77 255.255.255.0 192.0.2.254\n"))));
    QFile r(record);
    QVERIFY(r.open(QIODevice::ReadOnly));
    QCOMPARE(r.readAll(), QByteArray("192.0.2.77 255.255.255.0 192.0.2.254\n"));

    // Another MAC: no answer, no hook.
    sim.send(hex("42010004003800010000020000000002000000000000000000000000c000024e"
                 "000000000000000000000000ffffff00000000000000000000000000c00002fe"));
    QVERIFY(sim.receive(700).isEmpty());
    QCOMPARE(QFileInfo(record).size(), qint64(strlen("192.0.2.77 255.255.255.0 192.0.2.254\n")));
}

void TestCamsimProcess::badOptionsAreRefused_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("unknown option") << QStringList{"--colour", "blue"} << 2;
    QTest::newRow("bad address") << QStringList{"--ip", "192.0.2.256"} << 2;
    QTest::newRow("address with a missing group") << QStringList{"--mask", "255.255..0"} << 2;
    QTest::newRow("bad mac") << QStringList{"--mac", "02:00:00:00:00"} << 2;
    QTest::newRow("percentage above 100") << QStringList{"--drop", "101"} << 2;
    QTest::newRow("missing value") << QStringList{"--seed"} << 2;
    QTest::newRow("sector beyond flash") << QStringList{"--corrupt-sector", "4096"} << 2;
    QTest::newRow("missing flash file") << QStringList{"--flash-in", "/nonexistent/flash.bin"} << 1;
}

void TestCamsimProcess::badOptionsAreRefused() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QProcess p;
    p.start(CAMSIM_PATH, args << "--bind" << "127.0.0.1" << "--port" << "0");
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), exitCode);
    QVERIFY(!p.readAllStandardOutput().contains("ready"));
    QVERIFY(!p.readAllStandardError().isEmpty());
}

QTEST_GUILESS_MAIN(TestCamsimProcess)
#include "tst_camsim_process.moc"
