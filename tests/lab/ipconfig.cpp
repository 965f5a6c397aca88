// IP assignment end to end, run by scripts/lab in the host namespace of
// ipconfig.lab: the window moves "mover" with Force IP and IP Config, and
// "bystander" on the same segment is never touched.
#include "guitest.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>

#include <memory>

namespace {

const QString MoverMac = QStringLiteral("020000000303");
const QString BystanderMac = QStringLiteral("020000000202");

QStringList cameraLog(const char *camera)
{
    QFile f(qEnvironmentVariable("LAB_DIR") + QLatin1Char('/') + QLatin1String(camera) + QStringLiteral(".log"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Lines of a camera's log that show an IP command acting on it (as opposed
// to one it saw and ignored because it was addressed to another MAC).
QStringList actedOn(const char *camera)
{
    QStringList acted;
    for (const QString &line : cameraLog(camera))
        if ((line.startsWith(QLatin1String("forceip")) || line.startsWith(QLatin1String("ipconfig"))
             || line.startsWith(QLatin1String("restart")) || line.startsWith(QLatin1String("ip-hook")))
            && !line.contains(QLatin1String("ignored")))
            acted << line;
    return acted;
}

// IP command datagrams a camera received at all.
int ipCommandsReceived(const char *camera)
{
    int n = 0;
    for (const QString &line : cameraLog(camera))
        n += line.startsWith(QLatin1String("rx cmd=0x0004 ")) || line.startsWith(QLatin1String("rx cmd=0x8004 "));
    return n;
}

// The address on the camera namespace's eth0.
QString namespaceAddress(const char *camera)
{
    QProcess ip;
    ip.start(QStringLiteral("ip"), {QStringLiteral("-n"), qEnvironmentVariable("LAB_PREFIX") + QLatin1Char('-') + QLatin1String(camera),
                                    QStringLiteral("-4"), QStringLiteral("-o"), QStringLiteral("addr"),
                                    QStringLiteral("show"), QStringLiteral("dev"), QStringLiteral("eth0")});
    if (!ip.waitForFinished(5000))
        return {};
    const auto m = QRegularExpression(QStringLiteral("inet (\\S+)")).match(QString::fromUtf8(ip.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1) : QString();
}

}  // namespace

class IpConfigLab : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void forceIpIntoHostSubnet();
    void ipConfigStatic();
    void ipConfigDhcpThenLla();
    void refusedInputsSendNothing();

private:
    template <class T = QWidget>
    T *child(const char *name) { return window->findChild<T *>(QLatin1String(name)); }
    // Selects the entry of the camera with this MAC; its label, or empty.
    QString select(const QString &mac)
    {
        auto *cb = child<QComboBox>("cbDevice");
        for (int i = 0; i < cb->count(); ++i) {
            if (cb->itemText(i).endsWith(QLatin1Char(':') + mac)) {
                cb->setCurrentIndex(i);
                QMetaObject::invokeMethod(window.get(), "on_cbDevice_currentIndexChanged", Q_ARG(int, i));
                return cb->itemText(i);
            }
        }
        return {};
    }
    // Refreshes until the camera with `mac` is listed at an address matching
    // `ip` (its move is carried out by the lab a moment after the answer).
    QString refreshUntil(const QString &mac, const QRegularExpression &ip)
    {
        QElapsedTimer t;
        t.start();
        QString label;
        do {
            QTest::mouseClick(child<QPushButton>("btnRefresh"), Qt::LeftButton);
            label = select(mac);
            if (ip.match(label.section(QLatin1Char(':'), 0, 0)).hasMatch())
                return label;
        } while (t.elapsed() < 10000);
        return label;
    }
    bool readRegWorks()
    {
        // The camera's interface move is asynchronous: allow a few tries.
        for (int i = 0; i < 10; ++i) {
            quint32 value = 0;
            if (window->readReg(0, value))
                return true;
            QTest::qWait(200);
        }
        return false;
    }
    void setFields(const QString &ip, const QString &mask, const QString &gateway)
    {
        child<QLineEdit>("leIP")->setText(ip);
        child<QLineEdit>("leMask")->setText(mask);
        child<QLineEdit>("leGateway")->setText(gateway);
    }
    void checkBystanderUntouched()
    {
        QCOMPARE(actedOn("bystander"), QStringList());
        QCOMPARE(namespaceAddress("bystander"), QStringLiteral("192.0.2.20/24"));
        const QString label = select(BystanderMac);
        QCOMPARE(label, QStringLiteral("192.0.2.20:STILL:020000000202"));
        QVERIFY(child<QRadioButton>("rbIPConfigStatic")->isChecked());
    }

    std::unique_ptr<MainWindow> window;
};

void IpConfigLab::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("LAB_DIR"))
        QSKIP("runs only inside scripts/lab with ipconfig.lab");
}

void IpConfigLab::init()
{
    window = std::make_unique<MainWindow>();
    QCOMPARE(child<QComboBox>("cbDevice")->count(), 2);
}

void IpConfigLab::cleanup()
{
    window.reset();
}

void IpConfigLab::forceIpIntoHostSubnet()
{
    QCOMPARE(select(MoverMac), QStringLiteral("203.0.113.30:MOVER:020000000303"));
    QVERIFY(!child("lblWarn")->isHidden());
    setFields(QStringLiteral("192.0.2.77"), QStringLiteral("255.255.255.0"), QStringLiteral("192.0.2.1"));
    BoxAnswerer answerer;
    QTest::mouseClick(child<QPushButton>("btnForceIp"), Qt::LeftButton);
    QVERIFY2(answerer.boxes.isEmpty(), qPrintable(answerer.texts().join('|')));

    const QString label = refreshUntil(MoverMac, QRegularExpression(QStringLiteral("^192\\.0\\.2\\.77$")));
    QCOMPARE(label, QStringLiteral("192.0.2.77:MOVER:020000000303"));
    QVERIFY(child("lblWarn")->isHidden());
    QCOMPARE(child("gbIPConfig")->styleSheet(), QString());
    QCOMPARE(child<QLabel>("lblHostIP")->text(), QStringLiteral("192.0.2.1"));
    QVERIFY(readRegWorks());
    QVERIFY(actedOn("mover").contains(QStringLiteral("forceip 192.0.2.77 255.255.255.0 192.0.2.1")));
    QCOMPARE(namespaceAddress("mover"), QStringLiteral("192.0.2.77/24"));
    checkBystanderUntouched();
}

void IpConfigLab::ipConfigStatic()
{
    select(MoverMac);
    child<QRadioButton>("rbIPConfigStatic")->setChecked(true);
    // Leading zeros are decimal: 088 is eighty-eight.
    setFields(QStringLiteral("192.0.2.088"), QStringLiteral("255.255.255.0"), QStringLiteral("192.0.2.1"));
    BoxAnswerer answerer;
    QTest::mouseClick(child<QPushButton>("btnIPConfig"), Qt::LeftButton);
    QVERIFY2(answerer.boxes.isEmpty(), qPrintable(answerer.texts().join('|')));

    const QString label = refreshUntil(MoverMac, QRegularExpression(QStringLiteral("^192\\.0\\.2\\.88$")));
    QCOMPARE(label, QStringLiteral("192.0.2.88:MOVER:020000000303"));
    QVERIFY(child("lblWarn")->isHidden());
    QVERIFY(child<QRadioButton>("rbIPConfigStatic")->isChecked());
    QCOMPARE(child<QLineEdit>("leGateway")->text(), QStringLiteral("192.0.2.1"));
    QVERIFY(readRegWorks());
    const QStringList acted = actedOn("mover");
    QVERIFY2(acted.contains(QStringLiteral("ipconfig 0x05 192.0.2.88 255.255.255.0 192.0.2.1")),
             qPrintable(acted.join('|')));
    QVERIFY(acted.contains(QStringLiteral("forceip 0.0.0.0 0.0.0.0 0.0.0.0")));
    QVERIFY(acted.contains(QStringLiteral("restart static 192.0.2.88 255.255.255.0 192.0.2.1")));
    checkBystanderUntouched();
}

void IpConfigLab::ipConfigDhcpThenLla()
{
    const QRegularExpression linkLocal(QStringLiteral("^169\\.254\\.\\d+\\.\\d+$"));

    select(MoverMac);
    child<QRadioButton>("rbIPConfigDHCP")->setChecked(true);
    {
        BoxAnswerer answerer;
        QTest::mouseClick(child<QPushButton>("btnIPConfig"), Qt::LeftButton);
        QVERIFY2(answerer.boxes.isEmpty(), qPrintable(answerer.texts().join('|')));
    }
    QString label = refreshUntil(MoverMac, linkLocal);
    QVERIFY2(linkLocal.match(label.section(QLatin1Char(':'), 0, 0)).hasMatch(), qPrintable(label));
    QVERIFY(child<QRadioButton>("rbIPConfigDHCP")->isChecked());
    QVERIFY(!child("lblWarn")->isHidden());  // 169.254 is not nic0's subnet
    QCOMPARE(child<QLineEdit>("leMask")->text(), QStringLiteral("255.255.0.0"));
    QVERIFY(actedOn("mover").contains(QStringLiteral("ipconfig 0x06 0.0.0.0 0.0.0.0 0.0.0.0")));

    // From link-local, the IP commands still reach it: they are broadcast.
    child<QRadioButton>("rbIPConfigLLA")->setChecked(true);
    {
        BoxAnswerer answerer;
        QTest::mouseClick(child<QPushButton>("btnIPConfig"), Qt::LeftButton);
        QVERIFY2(answerer.boxes.isEmpty(), qPrintable(answerer.texts().join('|')));
    }
    QElapsedTimer t;
    t.start();
    do {
        QTest::mouseClick(child<QPushButton>("btnRefresh"), Qt::LeftButton);
        label = select(MoverMac);
    } while (!child<QRadioButton>("rbIPConfigLLA")->isChecked() && t.elapsed() < 10000);
    QVERIFY2(linkLocal.match(label.section(QLatin1Char(':'), 0, 0)).hasMatch(), qPrintable(label));
    QVERIFY(child<QRadioButton>("rbIPConfigLLA")->isChecked());
    QVERIFY(actedOn("mover").contains(QStringLiteral("ipconfig 0x04 0.0.0.0 0.0.0.0 0.0.0.0")));
    QVERIFY(namespaceAddress("mover").startsWith(QLatin1String("169.254.")));
    checkBystanderUntouched();
}

void IpConfigLab::refusedInputsSendNothing()
{
    struct Case {
        const char *button;
        const char *field;
        const char *text;
        const char *message;
    };
    const Case cases[] = {
        {"btnForceIp", "leIP", "192.0..5",
         "The IP address is not a valid IPv4 address (four numbers 0-255 separated by dots)."},
        {"btnForceIp", "leGateway", "192.0.2.256",
         "The gateway is not a valid IPv4 address (four numbers 0-255 separated by dots)."},
        {"btnIPConfig", "leMask", "255.255.256.0",
         "The subnet mask is not a valid IPv4 address (four numbers 0-255 separated by dots)."},
    };
    select(MoverMac);
    for (const Case &c : cases) {
        setFields(QStringLiteral("192.0.2.77"), QStringLiteral("255.255.255.0"), QStringLiteral("192.0.2.1"));
        child<QRadioButton>("rbIPConfigStatic")->setChecked(true);
        child<QLineEdit>(c.field)->setText(QLatin1String(c.text));
        BoxAnswerer answerer;
        QTest::mouseClick(child<QPushButton>(c.button), Qt::LeftButton);
        QCOMPARE(answerer.texts(), QStringList{QLatin1String(c.message)});
        QCOMPARE(answerer.boxes[0].title, QStringLiteral("Error"));
    }

    // No camera selected: the list is empty, the channel still has a socket.
    DeviceLink::instance().devices().clear();
    window->refreshDeviceList();
    QVERIFY(window->channel().hasDevice());
    setFields(QStringLiteral("192.0.2.77"), QStringLiteral("255.255.255.0"), QStringLiteral("192.0.2.1"));
    for (const char *button : {"btnForceIp", "btnIPConfig"}) {
        BoxAnswerer answerer;
        QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton);
        QCOMPARE(answerer.texts(), QStringList{QStringLiteral("Please select a camera first.")});
        QCOMPARE(answerer.boxes[0].title, QStringLiteral("Info"));
    }

    // Nothing reached either camera: no IP command datagram at all.
    QTest::qWait(300);
    QCOMPARE(ipCommandsReceived("mover"), 0);
    QCOMPARE(ipCommandsReceived("bystander"), 0);
    QCOMPARE(namespaceAddress("mover"), QStringLiteral("203.0.113.30/24"));
}

QTEST_MAIN(IpConfigLab)
#include "ipconfig.moc"
