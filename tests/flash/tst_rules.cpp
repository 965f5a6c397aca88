// The rules that decide what is written where: the parameter file's image and
// the layout its version picks, the bitstream file name rule, the IP modes, the
// subnet test and the random address proposal. Pure functions, literal values.
#include "bitfilename.h"
#include "devicerecord.h"
#include "endings.h"
#include "ipassignment.h"
#include "ipv4address.h"
#include "paramfile.h"
#include "paramlayout.h"

#include <QBuffer>
#include <QtTest>

#include <vector>

using namespace param;

class TestRules : public QObject {
    Q_OBJECT

private slots:
    void paramImage_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("expected");  // image bytes from offset
        QTest::addColumn<QList<int>>("expectedBlocks");
        const auto row = [](const char *name, const QByteArray &file, int offset, const char *hex,
                            const QList<int> &blocks) {
            QTest::newRow(name) << file << offset << QByteArray::fromHex(hex) << blocks;
        };
        row("comments, CR LF, two values", "// head\r\n\r\n0: A1 B2C3 // note\r\n", 0, "000000A1 0000B2C3 00000000",
            {0});
        row("address 80 is block 1, no blank", "80:1", 0x200, "00000001", {1});
        row("two spaces keep a zero word", "0: 1  2", 0, "00000001 00000000 00000002", {0});
        row("a value that does not convert is 0", "0: 1 zz 3", 0, "00000001 00000000 00000003", {0});
        row("two colons: ignored", "0: 1: 2", 0, "00000000", {});
        row("later lines overwrite", "0: 1 2\n1: 3", 0, "00000001 00000003", {0});
        row("blocks in the order first met", "100: 1\n0: 2\n101: 3\n7F: 4 5", 0x1FC, "00000004 00000005", {2, 0, 1});
        row("last word of the image, the next dropped", "93FF: 11223344 55", ImageSize - 4, "11223344", {295, 296});
    }
    void paramImage()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, offset);
        QFETCH(QByteArray, expected);
        std::vector<quint8> image(ImageSize + 4, 0xEE);  // four guard bytes past the image
        QList<int> blocks{99};
        buildParamImage(cleanParamLines(file), image.data(), blocks);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(image.data()) + offset, expected.size()), expected);
        // Compared as vectors: Qt 6.4 compares two empty QLists with memcmp(nullptr, nullptr, 0).
        QFETCH(QList<int>, expectedBlocks);
        QCOMPARE(std::vector<int>(blocks.begin(), blocks.end()),
                 std::vector<int>(expectedBlocks.begin(), expectedBlocks.end()));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(image.data()) + ImageSize, 4), QByteArray(4, '\xEE'));
    }

    void readLimit()
    {
        for (int size : {100, 101}) {
            QByteArray content(size, ' ');
            QBuffer device(&content);
            QVERIFY(device.open(QIODevice::ReadOnly));
            QCOMPARE(readParamDevice(device, 100).status, size > 100 ? ReadStatus::TooLarge : ReadStatus::Ok);
        }
    }

    // The file's version text (word 4A, byte offset 296) and the camera's
    // version choose where the image goes.
    void layout_data()
    {
        QTest::addColumn<QString>("camera");
        QTest::addColumn<QByteArray>("versionWord");
        QTest::addColumn<uint>("base");
        QTest::addColumn<QList<int>>("written");  // sectors 0 to the first number, but the second
        QTest::addColumn<bool>("verify");
        QTest::newRow("2.3 with 1.3") << "2.3" << QByteArray("312E3300") << 0x180000u << QList<int>{36, 8} << true;
        QTest::newRow("2.2 with 1.2") << "2.2" << QByteArray("312E3200") << 0x180000u << QList<int>{7, 8} << false;
        QTest::newRow("1.0 with 1.9") << "1.0" << QByteArray("312E3900") << 0x180000u << QList<int>{36, 8} << false;
        QTest::newRow("3.5 with 1.3") << "3.5" << QByteArray("312E3300") << 0x200000u << QList<int>{7, 8} << true;
        QTest::newRow("4.1 with 1.3") << "4.1" << QByteArray("312E3300") << 0x200000u << QList<int>{10, 11} << false;
        QTest::newRow("5.3 with 1.3") << "5.3" << QByteArray("312E3300") << 0x180000u << QList<int>{7, 8} << true;
        QTest::newRow("no camera version") << "" << QByteArray("312E3300") << 0x180000u << QList<int>{36, 8} << false;
        QTest::newRow("FFFFFF31: a version")
            << "2.3" << QByteArray("FFFFFF31") << 0x180000u << QList<int>{7, 8} << true;
        QTest::newRow("no file version: camera ignored")
            << "4.3" << QByteArray("FFFFFFFF") << 0x180000u << QList<int>{7, 8} << false;
    }
    void layout()
    {
        QFETCH(QString, camera);
        QFETCH(QByteArray, versionWord);
        QFETCH(QList<int>, written);
        std::vector<quint8> image(ImageSize);
        QList<int> blocks;
        buildParamImage(cleanParamLines("0: 1\n4A: " + versionWord), image.data(), blocks);
        const ParamLayout l = chooseParamLayout(FirmwareVersion::fromText(camera), hasFileVersion(image.data()),
                                                fileVersionText(image.data()));
        QTEST(uint(l.base), "base");
        QTEST(l.verify, "verify");
        QList<int> sectors, expected;
        for (int s = 0; s < SectorCount; ++s) {
            if (l.writes(s))
                sectors << s;
            if (s <= written[0] && s != written[1])
                expected << s;
        }
        QCOMPARE(sectors, expected);
    }

    void bitFileName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");  // empty: accepted
        const QString notValid = "File name is not valid!", missed = "File version missed!";
        QTest::newRow("plain") << "cam_101_top.bit"
                               << "";
        QTest::newRow("letter a, upper-case folders") << "C:/Bits/cam_101a_top.bit"
                                                      << "";
        QTest::newRow("capital letter") << "/x/Cam_101_top.bit" << notValid;
        QTest::newRow("capital A") << "cam_101A_top.bit" << notValid;
        QTest::newRow("four digits") << "cam_1010_top.bit" << missed;
        QTest::newRow("letter b") << "cam_101b_top.bit" << missed;
        QTest::newRow("version only in a folder") << "/x/cam_101_/top.bit" << missed;
    }
    void bitFileName()
    {
        QFETCH(QString, path);
        QTEST(bitFileNameMessage(checkBitFileName(path)), "message");
    }

    // Force IP, and IP Config's two steps, as both front ends tell them.
    void ipEndings_data()
    {
        QTest::addColumn<int>("stored");  // what the exchange came to; -1: Force IP alone
        QTest::addColumn<int>("restarted");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result");  // the result's name, "changed", the camera's status
        const int ok = int(ExchangeResult::Kind::Accepted), silent = int(ExchangeResult::Kind::NoReply),
                  refused = int(ExchangeResult::Kind::CameraStatus);
        QTest::newRow("both acknowledged") << ok << ok << "IP configuration stored; the camera restarts it."
                                           << "success changed";
        QTest::newRow("store unanswered") << silent << ok << "IP configure failed."
                                          << "no-answer changed";
        QTest::newRow("store refused, restart unanswered")
            << refused << silent << "IP configure failed. ForceIP failed."
            << "refused 0x8002";
        QTest::newRow("restart refused") << ok << refused << "ForceIP failed."
                                         << "refused changed 0x8002";
        QTest::newRow("force ip unanswered") << -1 << silent << "ForceIP failed."
                                             << "no-answer";
    }
    void ipEndings()
    {
        QFETCH(int, stored);
        QFETCH(int, restarted);
        auto exchange = [](int kind) {
            return kind == int(ExchangeResult::Kind::CameraStatus) ? ExchangeResult::cameraStatus(0x8002)
                                                                   : ExchangeResult::of(ExchangeResult::Kind(kind));
        };
        const endings::Ending e = stored < 0 ? endings::fromForceIp(exchange(restarted))
                                             : endings::fromIpConfig(exchange(stored), exchange(restarted));
        QTEST(endings::message(e).text, "text");
        QTEST(endings::resultName(e) + (e.changed ? " changed" : "") +
                  (e.cameraStatus ? " 0x" + QString::number(e.cameraStatus, 16) : QString()),
              "result");
    }

    // The mode each configuration byte 0-7 shows (persistent IP before DHCP,
    // else link-local), and a link-local camera in the subnet of its card.
    void ipRules()
    {
        const QStringList modes = QString("lla static dhcp static lla static dhcp static").split(' ');
        for (int config = 0; config < 8; ++config)
            QCOMPARE(ipassign::modeName(ipassign::modeOf(config)), modes[config]);
        DeviceRecord r;
        r.hostIP = "169.254.1.1";
        QVERIFY(parseIPv4("169.254.3.4", r.ip) && parseIPv4("255.255.0.0", r.mask));
        QCOMPARE(checkSubnet(r), SubnetCheck::SameSubnet);
    }

    void randomAddress_data()
    {
        QTest::addColumn<QString>("hostIP");
        QTest::addColumn<QString>("proposal");  // for draw 0: ip mask gateway
        QTest::newRow("documentation range") << "192.0.2.10"
                                             << "192.0.2.1 255.255.255.0 192.0.2.254";
        QTest::newRow("link-local") << "169.254.7.3"
                                    << "169.254.7.1 255.255.0.0 169.254.7.254";
        QTest::newRow("not an address") << "fe80::1"
                                        << "";
    }
    void randomAddress()
    {
        QFETCH(QString, hostIP);
        ipassign::AddressProposal p;
        const bool ok = ipassign::randomHostAddress(hostIP, 0, p);
        QTEST(ok ? p.ip + ' ' + p.mask + ' ' + p.gateway : QString(), "proposal");
        // Every draw gives a host 1 to 253: never the network, the gateway (.254) or broadcast.
        QSet<QString> seen;
        for (int r = 0; ok && r <= 32767; ++r) {
            QVERIFY(ipassign::randomHostAddress(hostIP, r, p));
            seen.insert(p.ip.section('.', 3));
        }
        QCOMPARE(seen.size(), ok ? 253 : 0);
        QVERIFY(!seen.contains("0") && !seen.contains("254"));
    }
};

QTEST_GUILESS_MAIN(TestRules)
#include "tst_rules.moc"
