// Pure pieces of the application shell: the build stamp and the IP panel's
// address proposal and mode value.
#include "buildstamp.h"
#include "ippanel.h"

#include <QLocale>
#include <QRegularExpression>
#include <QtTest>

class AppUnits : public QObject {
    Q_OBJECT

private slots:
    void buildStamp_data();
    void buildStamp();
    void buildStampIgnoresSystemLocale();
    void thisBuildsStamp();

    void randomHostAddress_data();
    void randomHostAddress();
    void randomHostAddressRefusesOtherShapes_data();
    void randomHostAddressRefusesOtherShapes();
    void randomHostNumberCoversOneTo253();

    void ipConfigMode_data();
    void ipConfigMode();
};

void AppUnits::buildStamp_data()
{
    QTest::addColumn<QString>("dateText");
    QTest::addColumn<QString>("timeText");
    QTest::addColumn<QString>("label");

    QTest::newRow("two-digit day") << "Jul 12 2023" << "22:14:14" << "Ver: 20230712 221414";
    QTest::newRow("space-padded day") << "Jul  2 2023" << "22:14:14" << "Ver: 20230702 221414";
    QTest::newRow("first day of year") << "Jan  1 2000" << "00:00:00" << "Ver: 20000101 000000";
    QTest::newRow("last day of year") << "Dec 31 1999" << "23:59:59" << "Ver: 19991231 235959";
    QTest::newRow("leap day") << "Feb 29 2024" << "09:05:07" << "Ver: 20240229 090507";
    QTest::newRow("no such day") << "Feb 30 2023" << "10:00:00" << "Ver: 100000";
    QTest::newRow("unknown month") << "Foo 12 2023" << "22:14:14" << "Ver: 221414";
    QTest::newRow("bad time") << "Jul 12 2023" << "25:00:00" << "Ver: 20230712 ";
    QTest::newRow("both bad") << "" << "" << "Ver: ";
}

void AppUnits::buildStamp()
{
    QFETCH(QString, dateText);
    QFETCH(QString, timeText);
    QFETCH(QString, label);
    QCOMPARE(versionLabelText(parseBuildStamp(dateText, timeText)), label);
}

void AppUnits::buildStampIgnoresSystemLocale()
{
    // The compiler writes English month names; a German or French desktop
    // must not turn them into an empty date.
    const QLocale saved;
    for (auto language : {QLocale::German, QLocale::French, QLocale::Japanese}) {
        QLocale::setDefault(QLocale(language));
        const BuildStamp stamp = parseBuildStamp(QStringLiteral("Mar  4 2021"), QStringLiteral("08:09:10"));
        QCOMPARE(stamp.date, QDate(2021, 3, 4));
        QCOMPARE(stamp.time, QTime(8, 9, 10));
    }
    QLocale::setDefault(saved);
}

void AppUnits::thisBuildsStamp()
{
    const BuildStamp &stamp = ::buildStamp();
    QVERIFY(stamp.date.isValid());
    QVERIFY(stamp.time.isValid());
    QVERIFY(stamp.date <= QDate::currentDate().addDays(1));
    QVERIFY(QRegularExpression(QStringLiteral("^Ver: \\d{8} \\d{6}$"))
                .match(versionLabelText(stamp)).hasMatch());
}

void AppUnits::randomHostAddress_data()
{
    QTest::addColumn<QString>("hostIP");
    QTest::addColumn<int>("r");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("gateway");

    QTest::newRow("r 0") << "192.168.2.10" << 0 << "192.168.2.1" << "255.255.255.0" << "192.168.2.254";
    QTest::newRow("r max") << "192.168.2.10" << 32767 << "192.168.2.253" << "255.255.255.0" << "192.168.2.254";
    QTest::newRow("r middle") << "192.168.2.10" << 16383 << "192.168.2.126" << "255.255.255.0" << "192.168.2.254";
    QTest::newRow("r one below max") << "192.168.2.10" << 32766 << "192.168.2.252" << "255.255.255.0" << "192.168.2.254";
    QTest::newRow("documentation range") << "192.0.2.10" << 131 << "192.0.2.2" << "255.255.255.0" << "192.0.2.254";
    QTest::newRow("link-local") << "169.254.7.3" << 0 << "169.254.7.1" << "255.255.0.0" << "169.254.7.254";
    QTest::newRow("169 only as first part") << "10.169.7.3" << 0 << "10.169.7.1" << "255.255.255.0" << "10.169.7.254";
    QTest::newRow("parts kept as text") << "a.b.c.d" << 0 << "a.b.c.1" << "255.255.255.0" << "a.b.c.254";
}

void AppUnits::randomHostAddress()
{
    QFETCH(QString, hostIP);
    QFETCH(int, r);
    AddressProposal p;
    QVERIFY(::randomHostAddress(hostIP, r, p));
    QTEST(p.ip, "ip");
    QTEST(p.mask, "mask");
    QTEST(p.gateway, "gateway");
}

void AppUnits::randomHostAddressRefusesOtherShapes_data()
{
    QTest::addColumn<QString>("hostIP");
    QTest::newRow("empty") << "";
    QTest::newRow("three parts") << "192.168.2";
    QTest::newRow("five parts") << "192.168.2.10.1";
    QTest::newRow("IPv6") << "fe80::1";
}

void AppUnits::randomHostAddressRefusesOtherShapes()
{
    QFETCH(QString, hostIP);
    AddressProposal p{QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z")};
    QVERIFY(!::randomHostAddress(hostIP, 100, p));
    QCOMPARE(p.ip, QStringLiteral("x"));
    QCOMPARE(p.mask, QStringLiteral("y"));
    QCOMPARE(p.gateway, QStringLiteral("z"));
}

void AppUnits::randomHostNumberCoversOneTo253()
{
    // Every draw lands on a usable host number: never .0 (the network) nor
    // .254 (the proposed gateway) nor .255 (broadcast).
    QSet<int> seen;
    for (int r = 0; r <= 32767; ++r) {
        AddressProposal p;
        QVERIFY(::randomHostAddress(QStringLiteral("192.0.2.10"), r, p));
        const int h = p.ip.section(QLatin1Char('.'), 3).toInt();
        QVERIFY2(h >= 1 && h <= 253, qPrintable(p.ip));
        seen.insert(h);
    }
    QCOMPARE(seen.size(), 253);
}

void AppUnits::ipConfigMode_data()
{
    QTest::addColumn<bool>("dhcp");
    QTest::addColumn<bool>("isStatic");
    QTest::addColumn<int>("mode");
    QTest::newRow("DHCP") << true << false << 6;
    QTest::newRow("Static") << false << true << 5;
    QTest::newRow("LLA") << false << false << 4;
    QTest::newRow("DHCP wins") << true << true << 6;
}

void AppUnits::ipConfigMode()
{
    QFETCH(bool, dhcp);
    QFETCH(bool, isStatic);
    QTEST(::ipConfigMode(dhcp, isStatic), "mode");
}

QTEST_GUILESS_MAIN(AppUnits)
#include "tst_appunits.moc"
