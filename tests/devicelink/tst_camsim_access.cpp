// Flash round trips through the real channel against the camera simulator on
// loopback, with and without injected faults, and a camera that stops
// answering half-way.
#include "camsimprocess.h"
#include "devicechannel.h"
#include "flashprotocol.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

constexpr quint32 Base = 0x100000;
constexpr int Sector = flash::SectorSize;

QByteArray randomSectors(quint32 seed, int count)
{
    QRandomGenerator gen(seed);
    QByteArray data(count * Sector, '\0');
    gen.fillRange(reinterpret_cast<quint32 *>(data.data()), data.size() / 4);
    return data;
}

struct Link {
    UdpSocket socket;
    DeviceChannel channel;
    explicit Link(quint16 port)
    {
        const quint8 loopback[4] = {127, 0, 0, 1};
        socket.open();
        socket.bindTo(loopback, 0);
        channel.choose(&socket, loopback);
        channel.deviceAddr.port = port;
    }
    flash::Status write(const QByteArray &data, int s)
    {
        return flash::writeFlashBlock(channel, reinterpret_cast<const quint8 *>(data.constData()) + s * Sector,
                                      Base + quint32(s * Sector));
    }
    flash::Status read(QByteArray &data, int s)
    {
        return flash::readFlashBlock(channel, reinterpret_cast<quint8 *>(data.data()) + s * Sector,
                                     Base + quint32(s * Sector));
    }
};

}  // namespace

class TestCamsimAccess : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void cameraThatStopsAnsweringIsGivenUp();
};

void TestCamsimAccess::roundTrip_data()
{
    QTest::addColumn<QStringList>("faults");
    QTest::newRow("no faults") << QStringList();
    QTest::newRow("10% of replies dropped") << QStringList{"--seed", "3", "--drop", "10"};
    QTest::newRow("replies duplicated") << QStringList{"--seed", "4", "--duplicate", "30"};
    QTest::newRow("late replies") << QStringList{"--seed", "5", "--late", "5", "--late-ms", "700"};
    QTest::newRow("wrong ids and busy status") << QStringList{"--seed", "6", "--wrong-id", "5", "--bad-status", "5"};
}

void TestCamsimAccess::roundTrip()
{
    QFETCH(QStringList, faults);
    CamsimProcess sim;
    QString error;
    QVERIFY2(sim.start(faults, &error), qPrintable(error));
    Link link(sim.port());
    constexpr int Sectors = 16;
    const QByteArray data = randomSectors(0xC0FFEE + quint32(faults.size()), Sectors);
    for (int s = 0; s < Sectors; ++s)
        QCOMPARE(link.write(data, s), flash::Status::Ok);
    QByteArray readBack(data.size(), '\0');
    for (int s = 0; s < Sectors; ++s)
        QCOMPARE(link.read(readBack, s), flash::Status::Ok);
    QVERIFY(readBack == data);

    // The simulator's own flash holds exactly what was written, and the
    // sectors around it are still erased.
    const QByteArray image = sim.stopAndReadFlash();
    QCOMPARE(image.size(), int(flash::FlashSize));
    QVERIFY(image.mid(int(Base) - Sector, data.size() + 2 * Sector) ==
            QByteArray(Sector, '\xFF') + data + QByteArray(Sector, '\xFF'));
}

void TestCamsimAccess::cameraThatStopsAnsweringIsGivenUp()
{
    // 9 datagrams write one block; the camera goes silent in the middle of
    // the second, which ends with NoAnswer after MaxAttempts unanswered
    // requests of full length.
    CamsimProcess sim;
    QString error;
    QVERIFY2(sim.start({"--stop-after", "13"}, &error), qPrintable(error));
    Link link(sim.port());
    QByteArray data = randomSectors(9, 2);
    QCOMPARE(link.write(data, 0), flash::Status::Ok);
    QCOMPARE(link.write(data, 1), flash::Status::NoAnswer);
    sim.stop();
    QCOMPARE(sim.logLines().filter("ignored (stopped)").size(), flash::MaxAttempts);
}

QTEST_GUILESS_MAIN(TestCamsimAccess)
#include "tst_camsim_access.moc"
