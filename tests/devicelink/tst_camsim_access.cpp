// Flash round trips through the real channel against the camera simulator on
// loopback, with and without injected faults, and a camera that stops
// answering half-way.
#include "camsimprocess.h"
#include "devicechannel.h"
#include "flashprotocol.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtTest>

namespace {

constexpr int Sectors = 16;
constexpr quint32 BaseAddress = 0x100000;

QByteArray randomSectors(quint32 seed, int count)
{
    QRandomGenerator gen(seed);
    QByteArray data(count * flash::SectorSize, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(gen.bounded(256));
    return data;
}

struct Link {
    UdpSocket socket;
    DeviceChannel channel;
    explicit Link(quint16 port)
    {
        socket.open();
        const quint8 loopback[4] = {127, 0, 0, 1};
        socket.bindTo(loopback, 0);
        channel.choose(&socket, loopback);
        channel.deviceAddr.port = port;
    }
};

}  // namespace

class TestCamsimAccess : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void corruptedSectorShowsInReadBack();
    void cameraThatStopsAnsweringIsGivenUp();
};

void TestCamsimAccess::roundTrip_data()
{
    QTest::addColumn<QStringList>("faults");
    QTest::newRow("no faults") << QStringList();
    QTest::newRow("10% of replies dropped") << QStringList{"--seed", "3", "--drop", "10"};
    QTest::newRow("replies duplicated") << QStringList{"--seed", "4", "--duplicate", "30"};
    QTest::newRow("late replies") << QStringList{"--seed", "5", "--late", "5", "--late-ms", "700"};
    QTest::newRow("wrong ids and busy status")
        << QStringList{"--seed", "6", "--wrong-id", "5", "--bad-status", "5"};
}

void TestCamsimAccess::roundTrip()
{
    QFETCH(QStringList, faults);
    CamsimProcess sim;
    QString error;
    QVERIFY2(sim.start(faults, &error), qPrintable(error));
    Link link(sim.port());

    const QByteArray data = randomSectors(0xC0FFEE + quint32(faults.size()), Sectors);
    QElapsedTimer timer;
    timer.start();
    for (int s = 0; s < Sectors; ++s) {
        const quint32 address = BaseAddress + quint32(s) * flash::SectorSize;
        const auto *block = reinterpret_cast<const quint8 *>(data.constData()) + s * flash::SectorSize;
        QCOMPARE(flash::writeFlashBlock(link.channel, block, address), flash::Status::Ok);
    }
    const qint64 writeMs = timer.restart();
    QByteArray readBack(data.size(), '\0');
    for (int s = 0; s < Sectors; ++s) {
        const quint32 address = BaseAddress + quint32(s) * flash::SectorSize;
        auto *destination = reinterpret_cast<quint8 *>(readBack.data()) + s * flash::SectorSize;
        QCOMPARE(flash::readFlashBlock(link.channel, destination, address), flash::Status::Ok);
    }
    const qint64 readMs = timer.elapsed();
    qInfo("%d sectors: write %lld ms, read %lld ms", Sectors, writeMs, readMs);
    QVERIFY(readBack == data);

    // The simulator's own flash holds exactly what was written, and nothing
    // around it changed.
    const QByteArray image = sim.stopAndReadFlash();
    QCOMPARE(image.size(), int(flash::FlashSize));
    QVERIFY(image.mid(int(BaseAddress), data.size()) == data);
    QVERIFY(image.mid(int(BaseAddress) - flash::SectorSize, flash::SectorSize) ==
            QByteArray(flash::SectorSize, '\xFF'));
    QVERIFY(image.mid(int(BaseAddress) + data.size(), flash::SectorSize) ==
            QByteArray(flash::SectorSize, '\xFF'));
}

void TestCamsimAccess::corruptedSectorShowsInReadBack()
{
    CamsimProcess sim;
    QString error;
    QVERIFY2(sim.start({"--corrupt-sector", QString::number(BaseAddress / flash::SectorSize + 1)}, &error),
             qPrintable(error));
    Link link(sim.port());
    const QByteArray data = randomSectors(77, 2);
    for (int s = 0; s < 2; ++s)
        QCOMPARE(flash::writeFlashBlock(link.channel,
                                        reinterpret_cast<const quint8 *>(data.constData()) + s * 4096,
                                        BaseAddress + quint32(s) * 4096),
                 flash::Status::Ok);
    QByteArray readBack(data.size(), '\0');
    for (int s = 0; s < 2; ++s)
        QCOMPARE(flash::readFlashBlock(link.channel, reinterpret_cast<quint8 *>(readBack.data()) + s * 4096,
                                       BaseAddress + quint32(s) * 4096),
                 flash::Status::Ok);
    QVERIFY(readBack.left(4096) == data.left(4096));
    QVERIFY(readBack.mid(4096) != data.mid(4096));
}

void TestCamsimAccess::cameraThatStopsAnsweringIsGivenUp()
{
    // 9 datagrams write one block; the camera goes silent in the middle of
    // the second. The write must end with NoAnswer after MaxAttempts
    // unanswered requests of full length.
    CamsimProcess sim;
    QString error;
    QVERIFY2(sim.start({"--stop-after", "13"}, &error), qPrintable(error));
    Link link(sim.port());
    const QByteArray data = randomSectors(9, 2);
    const auto *bytes = reinterpret_cast<const quint8 *>(data.constData());
    QCOMPARE(flash::writeFlashBlock(link.channel, bytes, BaseAddress), flash::Status::Ok);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(flash::writeFlashBlock(link.channel, bytes + 4096, BaseAddress + 4096),
             flash::Status::NoAnswer);
    qInfo("gave up after %lld ms", timer.elapsed());
    sim.stop();
    int ignored = 0;
    for (const QString &line : sim.logLines())
        if (line.contains("ignored (stopped)"))
            ++ignored;
    QCOMPARE(ignored, flash::MaxAttempts);
}

QTEST_GUILESS_MAIN(TestCamsimAccess)
#include "tst_camsim_access.moc"
