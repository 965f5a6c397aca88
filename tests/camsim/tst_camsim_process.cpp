// The camsim program on loopback: ready line and socket loop, the log lines
// other tests count, the flash dump on request and at exit, --flash-in, and
// replies really held late and sent twice. Run it in a private namespace.
#include "camsimprocess.h"

#include <QtNetwork>
#include <QtTest>

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

// A client socket talking to one simulator.
struct Client {
    QUdpSocket socket;
    quint16 port;
    explicit Client(quint16 simPort) : port(simPort) { socket.bind(QHostAddress(QHostAddress::LocalHost), 0); }
    // Sends `datagram`, returns the next reply within `ms` (empty if none).
    QByteArray ask(const QByteArray &datagram, int ms = 3000)
    {
        if (!datagram.isEmpty())
            socket.writeDatagram(datagram, QHostAddress::LocalHost, port);
        if (!socket.hasPendingDatagrams() && !socket.waitForReadyRead(ms))
            return {};
        QByteArray d(int(socket.pendingDatagramSize()), 0);
        socket.readDatagram(d.data(), d.size());
        return d;
    }
};

QByteArray control(quint16 id, quint32 word)
{
    QByteArray d = hex("4211fff0000800000000002700000000");
    for (int i = 0; i < 4; ++i)
        d[12 + i] = char(word >> (24 - 8 * i));
    d[6] = char(id >> 8), d[7] = char(id);
    return d;
}

QByteArray readPiece(int k)
{
    QByteArray d = hex("421100840008000180000c0000000200");
    d[10] = char(0x0C + k / 2), d[11] = char(0x80 * (k % 2));
    return d;
}

}  // namespace

class TestCamsimProcess : public QObject {
    Q_OBJECT

private slots:
    void discoveryOverTheSocketAndLog();
    void programmedSectorInDumps();
    void flashInIsLoaded();
    void heldAndDoubledReplies();
};

void TestCamsimProcess::discoveryOverTheSocketAndLog()
{
    CamsimProcess sim;
    QString error;
    QVERIFY2(sim.start({"--ip", "192.0.2.10", "--mac", "02:00:00:00:00:07", "--serial", "S1", "--ipconfig", "6"}, &error),
             qPrintable(error));
    Client client(sim.port());
    const QByteArray ack = client.ask(hex("4211000200080abc0000000000000000"));
    QCOMPARE(ack.size(), 256);
    QCOMPARE(ack.left(8).toHex(), QByteArray("0000000300f80abc"));
    QCOMPARE(ack.mid(18, 6).toHex(), QByteArray("020000000007"));
    QCOMPARE(int(ack[31]), 6);
    QCOMPARE(ack.mid(44, 4).toHex(), QByteArray("c000020a"));
    QCOMPARE(ack.mid(224, 3), QByteArray("S1\0", 3));
    QVERIFY(sim.logLines("rx ").value(0).contains(
        QRegularExpression("^rx cmd=0x0002 id=2748 len=16 from=127\\.0\\.0\\.1:\\d+ to=127\\.0\\.0\\.1$")));
}

void TestCamsimProcess::programmedSectorInDumps()
{
    CamsimProcess sim;
    QVERIFY(sim.start());
    Client client(sim.port());
    for (int k = 0; k < 8; ++k) {
        QByteArray piece = hex("4211fff0020400000000") + char(0x0C + k / 2) + char(0x80 * (k % 2));
        piece[7] = char(k + 1);
        QByteArray ack = hex("0000800500000000");
        ack[7] = char(k + 1);
        QCOMPARE(client.ask(piece + QByteArray(512, char('a' + k))), ack);
    }
    QCOMPARE(client.ask(control(9, 0xD5005000)).toHex(), QByteArray("0000800500000009"));
    QByteArray sector;
    for (int k = 0; k < 8; ++k)
        sector += QByteArray(512, char('a' + k));
    const QByteArray expected = QByteArray(1, '\xFF') + sector + QByteArray(1, '\xFF');
    // On request (written aside and renamed) and again at exit.
    QCOMPARE(sim.dumpFlash().mid(0x4FFF, 4098), expected);
    QVERIFY(!QFileInfo::exists(sim.flashPath() + ".tmp"));
    QCOMPARE(client.ask(control(10, 0xD6005000)).toHex(), QByteArray("000080050000000a"));
    QCOMPARE(client.ask(readPiece(3)).mid(12), QByteArray(512, 'd'));
    QFile::remove(sim.flashPath());
    const QByteArray atExit = sim.stopAndReadFlash();
    QCOMPARE(atExit.size(), 16 * 1024 * 1024);
    QCOMPARE(atExit.mid(0x4FFF, 4098), expected);
    QCOMPARE(sim.logLines("program "), QStringList{"program 0x005000"});
    QCOMPARE(sim.logLines("load "), QStringList{"load 0x005000"});
}

void TestCamsimProcess::flashInIsLoaded()
{
    QTemporaryDir dir;
    QFile in(dir.filePath("in.bin"));
    QByteArray content(8192, 0);
    for (int i = 0; i < content.size(); ++i)
        content[i] = char(i * 7);
    QVERIFY(in.open(QIODevice::WriteOnly) && in.write(content) == 8192);
    in.close();
    CamsimProcess sim;
    QVERIFY(sim.start({"--flash-in", in.fileName()}));
    Client client(sim.port());
    client.ask(control(1, 0xD6001000));
    QCOMPARE(client.ask(readPiece(0)).mid(12), content.mid(4096, 512));
    client.ask(control(3, 0xD6002000));  // beyond the file the flash is erased
    QCOMPARE(client.ask(readPiece(0)).mid(12), QByteArray(512, '\xFF'));
}

void TestCamsimProcess::heldAndDoubledReplies()
{
    CamsimProcess sim;
    QVERIFY(sim.start({"--late", "100", "--late-ms", "800", "--duplicate", "100"}));
    Client client(sim.port());
    // Held far beyond the moment: nothing can arrive before its time.
    QVERIFY(client.ask(hex("420100800004002100000000"), 300).isEmpty());
    QCOMPARE(client.ask({}, 5000).toHex(), QByteArray("000000810004002100010002"));
    QCOMPARE(client.ask({}, 2000).toHex(), QByteArray("000000810004002100010002"));
    QVERIFY(client.ask({}, 300).isEmpty());
}

QTEST_GUILESS_MAIN(TestCamsimProcess)
#include "tst_camsim_process.moc"
