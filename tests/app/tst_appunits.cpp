// Pure pieces of the application shell: the build stamp and random ip's proposal.
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
    void randomHostNumberCoversOneTo253();
};

void AppUnits::buildStamp_data()
{
    QTest::addColumn<QString>("dateText");
    QTest::addColumn<QString>("timeText");
    QTest::addColumn<QString>("label");
    QTest::newRow("two-digit day") << "Jul 12 2023" << "22:14:14" << "Ver: 20230712 221414";
    QTest::newRow("space-padded day") << "Jul  2 2023" << "22:14:14" << "Ver: 20230702 221414";
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
    QTEST(versionLabelText(parseBuildStamp(dateText, timeText)), "label");
}

void AppUnits::buildStampIgnoresSystemLocale()
{
    // The compiler writes English month names, whatever the desktop's language.
    const QLocale saved;
    for (auto language : {QLocale::German, QLocale::French, QLocale::Japanese}) {
        QLocale::setDefault(QLocale(language));
        QCOMPARE(parseBuildStamp("Mar  4 2021", "08:09:10").date, QDate(2021, 3, 4));
    }
    QLocale::setDefault(saved);
}

void AppUnits::thisBuildsStamp()
{
    const BuildStamp &stamp = ::buildStamp();
    QVERIFY(stamp.date.isValid() && stamp.date <= QDate::currentDate().addDays(1));
    QVERIFY(QRegularExpression("^Ver: \\d{8} \\d{6}$").match(versionLabelText(stamp)).hasMatch());
}

void AppUnits::randomHostAddress_data()
{
    QTest::addColumn<QString>("hostIP");
    QTest::addColumn<int>("r");
    QTest::addColumn<QString>("proposal");  // ip mask gateway
    QTest::newRow("r 0") << "192.0.2.10" << 0 << "192.0.2.1 255.255.255.0 192.0.2.254";
    QTest::newRow("r max") << "192.0.2.10" << 32767 << "192.0.2.253 255.255.255.0 192.0.2.254";
    QTest::newRow("r middle") << "192.0.2.10" << 16383 << "192.0.2.126 255.255.255.0 192.0.2.254";
    QTest::newRow("link-local") << "169.254.7.3" << 0 << "169.254.7.1 255.255.0.0 169.254.7.254";
    QTest::newRow("169 only as first part") << "10.169.7.3" << 0 << "10.169.7.1 255.255.255.0 10.169.7.254";
    QTest::newRow("empty") << "" << 0 << "refused";
    QTest::newRow("three parts") << "192.0.2" << 0 << "refused";
    QTest::newRow("IPv6") << "fe80::1" << 0 << "refused";
}

void AppUnits::randomHostAddress()
{
    QFETCH(QString, hostIP);
    QFETCH(int, r);
    AddressProposal p;
    const bool ok = ::randomHostAddress(hostIP, r, p);
    QTEST(ok ? p.ip + ' ' + p.mask + ' ' + p.gateway : QStringLiteral("refused"), "proposal");
}

void AppUnits::randomHostNumberCoversOneTo253()
{
    // Never .0 (the network), .254 (the proposed gateway) nor .255 (broadcast).
    QSet<int> seen;
    for (int r = 0; r <= 32767; ++r) {
        AddressProposal p;
        QVERIFY(::randomHostAddress("192.0.2.10", r, p));
        const int h = p.ip.section('.', 3).toInt();
        QVERIFY2(h >= 1 && h <= 253, qPrintable(p.ip));
        seen.insert(h);
    }
    QCOMPARE(seen.size(), 253);
}

QTEST_GUILESS_MAIN(AppUnits)
#include "tst_appunits.moc"
