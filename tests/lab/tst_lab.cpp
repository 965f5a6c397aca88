// The real window, offscreen, end to end in the network lab: scripts/lab
// builds the namespaces of tests/lab/<function>.lab, starts a simulator per
// camera and runs one function of this test in the PC namespace. The window
// discovers the cameras itself; the test clicks, answers the boxes and reads
// what the cameras logged and hold in their flash.
#include "camerachannel.h"
#include "cameratable.h"
#include "devicelink.h"
#include "endings.h"
#include "jobrunner.h"
#include "mainwindow.h"

#include <QAction>
#include <QComboBox>
#include <QDockWidget>

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTextEdit>
#include <QtTest>

#include <csignal>
#include <functional>

namespace {

// 1: every control that talks to a camera is enabled, 0: all are disabled, -1: mixed.
int cameraControls(QWidget *window)
{
    int on = 0;
    const QStringList names{"btnRefresh", "cbDevice", "btnWriteSPI", "btnProgramBit", "btnForceIp", "btnIPConfig"};
    for (const QString &name : names)
        on += window->findChild<QWidget *>(name)->isEnabled();
    return on == names.size() ? 1 : on == 0 ? 0 : -1;
}

// Answers each message box as a technician would: the next planned answer,
// else OK, else No. Records what it showed and the camera controls meanwhile.
class BoxAnswerer : public QObject {
public:
    struct Box {
        QMessageBox::Icon icon;
        QString title, text;
        int controls;
    };
    QList<Box> boxes;
    QList<QMessageBox::StandardButton> answers;

    explicit BoxAnswerer(QWidget *window) : window_(window)
    {
        connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
        timer_.start(10);
    }
    QStringList texts() const
    {
        QStringList t;
        for (const Box &b : boxes)
            t << b.text;
        return t;
    }

private:
    void poll()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || box->property("answered").toBool())
            return;
        box->setProperty("answered", true);
        boxes << Box{box->icon(), box->windowTitle(), box->text(), cameraControls(window_)};
        const QMessageBox::StandardButton planned = answers.isEmpty() ? QMessageBox::Ok : answers.takeFirst();
        for (QMessageBox::StandardButton choice : {planned, QMessageBox::Ok, QMessageBox::No})
            if (QAbstractButton *button = box->button(choice))
                return button->click();
    }
    QWidget *window_;
    QTimer timer_;
};

QString labFile(const QString &name) { return QDir(qEnvironmentVariable("LAB_DIR")).filePath(name); }

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What a camera was sent, besides the reads of who controls it that choosing
// it in the list makes.
int requests(const QString &camera)
{
    int n = 0;
    for (const QString &line : QString::fromLatin1(readAll(labFile(camera + ".log"))).split('\n'))
        n += line.startsWith("rx ") && !line.contains(QRegularExpression("cmd=0x0080 .*addr=0x0(a00|934|a04|a14) "));
    return n;
}

// A camera's log lines starting with `prefix`, each once when `distinct`
// (a command whose reply was lost is sent, and logged, again).
QStringList logLines(const QString &camera, const QString &prefix, bool distinct = false)
{
    QStringList lines;
    for (const QString &line : QString::fromLatin1(readAll(labFile(camera + ".log"))).split('\n'))
        if (line.startsWith(prefix) && !(distinct && lines.contains(line)))
            lines << line;
    return lines;
}

// The camera's whole flash, dumped by its simulator on SIGUSR1.
QByteArray flashOf(const QString &camera)
{
    const int before = logLines(camera, "dump ").size();
    if (::kill(pid_t(readAll(labFile(camera + ".pid")).trimmed().toInt()), SIGUSR1) != 0)
        return {};
    QDeadlineTimer deadline(10000);
    while (logLines(camera, "dump ").size() == before && !deadline.hasExpired())
        QThread::msleep(20);
    return readAll(labFile(camera + ".flash"));
}

// Bytes that are never 0xFF, varying within and across sectors.
QByteArray pattern(int size)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 29 + (i >> 12) * 11 + 3) % 239);
    return data;
}

const QByteArray Erased(4096, char(0xFF));

// A bitstream file of `sectors` sectors (the last one partly), different per `seed`.
QByteArray bitstreamFile(const QString &path, int sectors, int seed)
{
    QByteArray data = pattern(sectors * 4096 - 700);
    for (int i = 0; i < data.size(); i += 97)
        data[i] = char(seed);
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size() ? data : QByteArray();
}

QByteArray withErasedRest(const QByteArray &data) { return data + QByteArray((16 << 20) - data.size(), char(0xFF)); }

QString catalogueText(endings::Operation operation, endings::Result result, flash::Phase phase, int sector)
{
    endings::Ending e = endings::of(operation, result);
    e.phase = phase;
    e.sector = sector;
    return endings::message(e).text;
}

}  // namespace

class LabTest : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<BoxAnswerer> answerer;

    template <class T = QWidget>
    T *child(const char *name)
    {
        return window->findChild<T *>(name);
    }
    QString text(const char *name) { return child<QLineEdit>(name)->text(); }
    bool warned() { return !child("lblWarn")->isHidden(); }
    void setFields(const QString &ip, const QString &mask, const QString &gateway)
    {
        child<QLineEdit>("leIP")->setText(ip);
        child<QLineEdit>("leMask")->setText(mask);
        child<QLineEdit>("leGateway")->setText(gateway);
    }
    void click(const char *button) { QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton); }
    // Chooses the entry of the camera whose user name (its lab name) is
    // `camera`; its address, or empty when it is not listed.
    QString select(const QString &camera)
    {
        auto *list = child<QComboBox>("cbDevice");
        for (int i = 0; i < list->count(); ++i) {
            list->setCurrentIndex(i);
            QMetaObject::invokeMethod(window.get(), "on_cbDevice_currentIndexChanged", Q_ARG(int, i));
            if (child<QTextEdit>("teCamInfo")->toPlainText().contains("\nuserDefinedName " + camera + "\n"))
                return list->itemText(i).section(':', 0, 0);
        }
        return {};
    }
    // Refreshes until `camera` is listed at an address `done` accepts (it
    // moves a moment after its acknowledge); that address.
    QString refreshUntil(const QString &camera, const std::function<bool(const QString &)> &done)
    {
        QElapsedTimer t;
        t.start();
        QString ip;
        do {
            click("btnRefresh");
            ip = select(camera);
        } while (!done(ip) && t.elapsed() < 10000);
        return ip;
    }
    bool registerAnswers()
    {
        quint32 value = 0;
        for (int i = 0; i < 10 && !window->chosenCamera()->readReg(0, value).ok(); ++i)
            QTest::qWait(200);
        return value == 0x00010002;
    }

private slots:
    void init()
    {
        if (qEnvironmentVariableIsEmpty("LAB_DIR"))
            QSKIP("runs only inside scripts/lab");
        window.reset(new MainWindow);
        window->show();
        answerer.reset(new BoxAnswerer(window.get()));
    }
    void cleanup()
    {
        answerer.reset();
        window.reset();
    }

    // Two NICs, four acknowledges (cam1 answers on both segments), one
    // camera in another subnet than the NIC it answered on.
    void discovery()
    {
        struct Entry {
            QString label, nic, mode, model, version, serial, name, nextStart;
        };
        const QList<Entry> expected{{"192.0.2.10:CAM10001:020000000101", "192.0.2.1", "rbIPConfigStatic", "LabCam GX",
                                     "2.3", "CAM1-0001", "cam1", "static 192.0.2.10 / 255.255.255.0 / 192.0.2.1"},
                                    {"203.0.113.30:CAM3:020000000303", "192.0.2.1", "rbIPConfigDHCP", "LabCam GX",
                                     "2.1", "CAM3", "cam3", "not known (outside the NIC's subnet)"},
                                    {"198.51.100.10:CAM10001:020000000101", "198.51.100.1", "rbIPConfigStatic",
                                     "LabCam GX", "2.3", "CAM1-0001", "cam1",
                                     "static 198.51.100.10 / 255.255.255.0 / 198.51.100.1"},
                                    {"198.51.100.200:CAM2b:020000000202", "198.51.100.1", "rbIPConfigLLA", "LabCam S",
                                     "1.4", "CAM 2/b", "cam2", "link-local"}};
        auto *list = child<QComboBox>("cbDevice");
        QStringList labels;
        for (int i = 0; i < list->count(); ++i)
            labels << list->itemText(i);
        // Grouped by the NIC they came on; within one, in arrival order.
        QCOMPARE(labels.size(), 4);
        QCOMPARE(QSet<QString>(labels.begin(), labels.begin() + 2),
                 (QSet<QString>{expected[0].label, expected[1].label}));
        QSet<QByteArray> sockets[2];  // the local addresses the channels send from
        for (const Entry &e : expected) {
            const int index = labels.indexOf(e.label);
            list->setCurrentIndex(index);
            QMetaObject::invokeMethod(window.get(), "on_cbDevice_currentIndexChanged", Q_ARG(int, index));
            const QString ip = e.label.section(':', 0, 0);
            // Who controls it, where the camera can be asked: not the one in another subnet.
            QCOMPARE(child<QTextEdit>("teCamInfo")->toPlainText(),
                     QString("ip %1\nmanufacturerName Orvanta Lab\nmodelName %2\ndeviceVersion %3\nserialNumber %4\n"
                             "mac %5\nuserDefinedName %6\n%7After a power cycle: %8\n")
                         .arg(ip, e.model, e.version, e.serial, e.label.section(':', 2).toUpper(), e.name,
                              ip.startsWith("203.") ? "" : "Not controlled\n", e.nextStart));
            QCOMPARE(child<QLabel>("lblHostIP")->text(), e.nic);
            QCOMPARE(warned(), ip.startsWith("203."));
            QVERIFY2(child<QRadioButton>(qPrintable(e.mode))->isChecked(), qPrintable(e.mode));
            QCOMPARE(text("leIP") + ' ' + text("leMask"),
                     ip + (e.name == "cam2" ? " 255.255.255.128" : " 255.255.255.0"));
            const SocketAddress local = window->chosenCamera()->localEndpoint();
            sockets[e.nic == "192.0.2.1"] << QByteArray(reinterpret_cast<const char *>(local.address), 4);
            // Register access follows the choice onto its NIC; the camera in
            // another subnet is not reachable by unicast.
            QVERIFY2(warned() || registerAnswers(), qPrintable(e.label));
        }
        QVERIFY(sockets[0].size() == 1 && sockets[1].size() == 1 && sockets[0] != sockets[1]);
        QCOMPARE(*sockets[1].begin(), QByteArray::fromHex("C0000201"));
    }

    // "mover" sits in another subnet and is given addresses; "bystander"
    // shares its segment and must never be touched.
    void ipcommands()
    {
        const QString tail = " is not a valid IPv4 address (four numbers 0-255 separated by dots).";
        select("mover");
        child<QRadioButton>("rbIPConfigStatic")->setChecked(true);
        setFields("192.0..5", "255.255.255.0", "192.0.2.1");
        click("btnForceIp");
        setFields("192.0.2.77", "255.255.256.0", "192.0.2.1");
        click("btnIPConfig");
        QCOMPARE(answerer->texts(), (QStringList{"The IP address" + tail, "The subnet mask" + tail}));
        QTest::qWait(200);
        QCOMPARE(logLines("mover", "rx cmd=0x0004") + logLines("mover", "rx cmd=0x8004"), QStringList());

        QVERIFY(warned());
        setFields("192.0.2.77", "255.255.255.0", "192.0.2.1");
        click("btnForceIp");
        QCOMPARE(refreshUntil("mover", [](const QString &ip) { return ip == "192.0.2.77"; }), QString("192.0.2.77"));
        QVERIFY(!warned() && registerAnswers());
        QVERIFY(logLines("mover", "forceip ").contains("forceip 192.0.2.77 255.255.255.0 192.0.2.1"));

        setFields("192.0.2.088", "255.255.255.0", "192.0.2.1");  // 088 is eighty-eight
        click("btnIPConfig");
        QCOMPARE(refreshUntil("mover", [](const QString &ip) { return ip == "192.0.2.88"; }), QString("192.0.2.88"));
        QVERIFY(child<QRadioButton>("rbIPConfigStatic")->isChecked() && registerAnswers());
        QCOMPARE(logLines("mover", "ipconfig "), QStringList{"ipconfig 0x05 192.0.2.88 255.255.255.0 192.0.2.1"});
        QVERIFY(logLines("mover", "restart ").contains("restart static 192.0.2.88 255.255.255.0 192.0.2.1"));

        child<QRadioButton>("rbIPConfigDHCP")->setChecked(true);
        click("btnIPConfig");
        QVERIFY(
            refreshUntil("mover", [](const QString &ip) { return ip.startsWith("169.254."); }).startsWith("169.254."));
        QVERIFY(child<QRadioButton>("rbIPConfigDHCP")->isChecked() && warned());
        QCOMPARE(logLines("mover", "ipconfig ").value(1), QString("ipconfig 0x06 0.0.0.0 0.0.0.0 0.0.0.0"));
        QCOMPARE(answerer->boxes.size(), 2);

        // The cable pulled: nothing listed, nothing chosen; refused, nothing sent.
        QProcess::execute("ip", {"link", "set", "nic0", "down"});
        click("btnRefresh");
        QProcess::execute("ip", {"link", "set", "nic0", "up"});
        QCOMPARE(child<QComboBox>("cbDevice")->count(), 0);
        click("btnForceIp");
        QCOMPARE(answerer->texts().last(), QString("Please select a camera first."));
        QTest::qWait(200);
        const QStringList seen = logLines("bystander", "forceip ") + logLines("bystander", "ipconfig ");
        QCOMPARE(seen.filter(" ignored (for 02:00:00:00:03:03)").size(), seen.size());  // all meant for the mover
        QCOMPARE(logLines("bystander", "rx cmd=0x0004").size(), 3);                     // its Force IP and two restarts
        QCOMPARE(logLines("bystander", "ip-hook"), QStringList());
        QCOMPARE(refreshUntil("bystander", [](const QString &ip) { return !ip.isEmpty(); }), QString("192.0.2.20"));
    }

    // Three cameras with erased flash: 2.3 (verifies), 4.1 (layout at
    // 0x200000, no read-back), and a 2.3 that programs sector 0x185 wrong.
    void paramwrite()
    {
        QTemporaryDir work;  // the dump files land in the working directory
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(work.path()));
        // Four words naming each of the 37 sectors, and the image they make.
        auto file = [](const QByteArray &versionWord, QByteArray &image) {
            QByteArray text = "// lab parameters\n4A: " + versionWord + "\n";
            image = QByteArray(151552, '\0');
            image.replace(296, 4, QByteArray::fromHex(versionWord));
            for (int s = 0; s < 37; ++s) {
                text += QByteArray::number(s * 0x400 + 0x10, 16) + ":";
                for (int k = 0; k < 4; ++k) {
                    const QByteArray word = "C0DE" + QByteArray::number(s * 256 + k, 16).rightJustified(4, '0');
                    text += ' ' + word;
                    image.replace(s * 4096 + 0x40 + k * 4, 4, QByteArray::fromHex(word));
                }
                text += " // sector\r\n";
            }
            return text;
        };
        auto write = [&](const QString &camera, const QByteArray &content) {
            answerer->boxes.clear();
            QFile::remove("data.dat");
            QFile f(work.filePath("param.hex"));
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size());
            f.close();
            QVERIFY(!select(camera).isEmpty());
            child<QLineEdit>("leParamHexFile")->setText(content.isNull() ? work.filePath("none.hex") : f.fileName());
            click("btnWriteSPI");
            QCOMPARE(answerer->boxes.size(), content.isNull() ? 2 : 1);
        };
        QByteArray image, noVersion;
        const QByteArray v13 = file("312E3300", image);

        write("v23", v13);
        QCOMPARE(answerer->texts(), QStringList{"Write param success!"});
        QCOMPARE(answerer->boxes[0].icon, QMessageBox::Information);
        QByteArray flash = flashOf("v23");
        for (int s = -1; s <= 37; ++s)  // all but sector 8, and nothing around the area
            QCOMPARE(flash.mid(0x180000 + s * 4096, 4096),
                     s < 0 || s == 8 || s == 37 ? Erased : image.mid(s * 4096, 4096));
        QCOMPARE(readAll("hexdata.dat"), image);
        QCOMPARE(readAll("data.dat"), flash.mid(0x180000, 151552));

        write("v41", v13);
        QCOMPARE(answerer->texts(), QStringList{"Write param done!"});
        flash = flashOf("v41");
        for (int s = 0; s <= 11; ++s)
            QCOMPARE(flash.mid(0x200000 + s * 4096, 4096), s == 11 ? Erased : image.mid(s * 4096, 4096));
        QCOMPARE(flash.mid(0x180000, 0x80000), QByteArray(0x80000, char(0xFF)));
        QVERIFY(logLines("v41", "load ").isEmpty() && !QFile::exists("data.dat"));

        // Without a file version the camera is not consulted: sectors 0-7 at 0x180000.
        write("v41", file("FFFFFFFF", noVersion));
        QCOMPARE(answerer->texts(), QStringList{"Write param done!"});
        QCOMPARE(flashOf("v41").mid(0x180000, 9 * 4096), noVersion.left(8 * 4096) + Erased);

        write("bad5", v13);
        QCOMPARE(answerer->texts(), QStringList{"Verify error(5), please rewrite param before power off!"});
        QCOMPARE(answerer->boxes[0].icon, QMessageBox::Critical);
        QCOMPARE(answerer->boxes[0].controls, 1);
        const QByteArray data = readAll("data.dat");
        QCOMPARE(data.left(5 * 4096), image.left(5 * 4096));
        QVERIFY(data.mid(5 * 4096, 4096) != image.mid(5 * 4096, 4096));

        const int sent = requests("v23");
        write("v23", QByteArray());
        QCOMPARE(answerer->texts(), (QStringList{"Open file failed!", "Please select hex file first."}));
        QCOMPARE(requests("v23"), sent);
        QDir::setCurrent(previous);
    }

    // One file of 24 sectors (the last one partly) on four cameras: lossy,
    // too old to verify, one programming sector 2 wrong, one going silent
    // after sector 11; then a silent camera, and closing during a job.
    void bitstream()
    {
        constexpr int Sectors = 24, Size = Sectors * 4096 - 1234;
        QTemporaryDir work;
        QFile file(work.filePath("cam_101_top.bit"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(pattern(Size)) == Size);
        file.close();
        child<QLineEdit>("leBitstreamFile")->setText(file.fileName());
        QList<int> controlsAtSteps;
        connect(window->findChild<JobRunner *>(), &JobRunner::progress, window.get(),
                [&] { controlsAtSteps << cameraControls(window.get()); });
        auto program = [&](const QString &camera, QMessageBox::Icon icon, const QString &message) {
            answerer->boxes.clear();
            controlsAtSteps.clear();
            QVERIFY(!select(camera).isEmpty());
            click("btnProgramBit");
            QTRY_VERIFY_WITH_TIMEOUT(!answerer->boxes.isEmpty() && cameraControls(window.get()) == 1, 60000);
            QCOMPARE(answerer->boxes.size(), 1);
            QCOMPARE(answerer->boxes[0].icon, icon);
            QCOMPARE(answerer->boxes[0].title, icon == QMessageBox::Critical ? QString("Error") : QString("Info"));
            QVERIFY2(answerer->boxes[0].text.startsWith(message), qPrintable(answerer->boxes[0].text));
            QVERIFY(controlsAtSteps.count(0) == controlsAtSteps.size());  // off from the click to the end
        };
        auto label = [&] { return child<QLabel>("lblProgramProgress")->text(); };

        program("lossy", QMessageBox::Information, "Program success!");
        QCOMPARE(label(), QString("Verify %1/%1").arg(Sectors));
        QCOMPARE(child<QProgressBar>("progressBar")->value(), 100);
        QCOMPARE(controlsAtSteps.size(), 2 * Sectors);
        QVERIFY(flashOf("lossy") == pattern(Size) + QByteArray((16 << 20) - Size, char(0xFF)));
        QCOMPARE(logLines("lossy", "load ", true).size(), Sectors);
        QVERIFY(!logLines("lossy", "fault drop").isEmpty() && !logLines("lossy", "fault late").isEmpty());
        QCOMPARE(logLines("older", "program ").size(), 0);  // only the chosen camera

        program("older", QMessageBox::Information, "Program done!");
        QCOMPARE(label(), QString("Program %1/%1").arg(Sectors));
        QCOMPARE(logLines("older", "program ").size(), Sectors);
        QCOMPARE(logLines("older", "load ").size(), 0);

        // The window and the command line tell the same ending in the catalogue's words.
        auto ending = [](endings::Result result, flash::Phase phase, int sector) {
            endings::Ending e = endings::of(endings::Operation::Program, result);
            e.phase = phase;
            e.sector = sector;
            return endings::message(e).text;
        };
        program("faulty", QMessageBox::Critical, "Verify error, please reprogram before power off!(2)");
        QCOMPARE(answerer->boxes[0].text, ending(endings::Result::VerifyError, flash::Phase::ReadingBack, 2));
        QCOMPARE(logLines("faulty", "load ").size(), 3);  // nothing read after the difference

        program("quiet", QMessageBox::Critical,
                "The camera stopped answering while programming sector 12. "
                "The flash may be incomplete");
        QCOMPARE(answerer->boxes[0].text, ending(endings::Result::NoAnswer, flash::Phase::Writing, 12));
        QCOMPARE(logLines("quiet", "program ").size(), 12);

        QProcess cli;
        cli.start(qEnvironmentVariable("ORVANTA_CLI"),
                  {"program", "--json", "-c", select("faulty"), "-c", select("quiet2"), file.fileName()});
        QVERIFY(cli.waitForFinished(60000));
        QJsonObject byName[2];
        for (const QJsonValue &v : QJsonDocument::fromJson(cli.readAllStandardOutput()).array())
            byName[v["ip"] == select("quiet2")] = v.toObject();
        QCOMPARE(byName[0]["message"].toString(), ending(endings::Result::VerifyError, flash::Phase::ReadingBack, 2));
        const int silentAt = byName[1]["sector"].toInt(-1);
        QVERIFY2(silentAt > 0 && byName[1]["result"] == "no-answer", qPrintable(byName[1]["message"].toString()));
        QCOMPARE(byName[1]["message"].toString(), ending(endings::Result::NoAnswer, flash::Phase::Writing, silentAt));

        // Silent before the job: refused at the probe, the controls stay on.
        answerer->boxes.clear();
        click("btnProgramBit");
        QCOMPARE(answerer->texts(), QStringList{"Device not exists, please fresh."});
        QCOMPARE(cameraControls(window.get()), 1);

        // Closing during a job asks; No goes on, Yes stops it between exchanges.
        select("older");
        click("btnProgramBit");
        QTRY_VERIFY_WITH_TIMEOUT(logLines("older", "program ").size() >= Sectors + 2, 10000);
        answerer->answers << QMessageBox::No << QMessageBox::Yes;
        QVERIFY(!window->close());
        const int going = logLines("older", "program ").size();
        QTRY_VERIFY_WITH_TIMEOUT(logLines("older", "program ").size() > going, 5000);
        QVERIFY(window->close());
        window.reset();
        const int stopped = logLines("older", "program ").size();
        QTest::qWait(300);
        QCOMPARE(logLines("older", "program ").size(), stopped);
        QVERIFY(stopped < 2 * Sectors);
    }

    // Diagnose and the command line's doctor on a clean lab, then on a
    // camera moved out of its NIC's subnet: each fix, typed as given, makes
    // its finding go away; the camera information tells the next start.
    void diagnose()
    {
        auto diagnose = [&] {
            answerer->boxes.clear();
            click("btnDiagnose");
            return answerer->boxes.size() == 1 && answerer->boxes[0].title == "Info" ? answerer->boxes[0].text
                                                                                     : QString();
        };
        auto cli = [](const QStringList &args, QByteArray *out = nullptr) {
            QProcess p;
            p.start(qEnvironmentVariable("ORVANTA_CLI"), args);
            p.waitForFinished(20000);
            if (out)
                *out = p.readAllStandardOutput();
            return p.exitCode();
        };
        auto typed = [&](const QString &line) {  // a finding's fix, run as given
            const QString fix = line.section(" Fix: ", 1);
            QVERIFY2(fix.startsWith("orvanta-cli "), qPrintable(line));
            QCOMPARE(cli(fix.split(' ').mid(1)), 0);
        };
        const QString clean = "No problem found (2 camera(s) on 1 card(s)).";
        QByteArray out;
        QCOMPARE(cli({"doctor"}, &out), 0);
        QCOMPARE(out, (clean + "\n").toUtf8());
        QCOMPARE(cli({"doctor", "--json"}, &out), 0);
        QCOMPARE(QJsonDocument::fromJson(out).array().size(), 0);
        QCOMPARE(diagnose(), clean);
        QCOMPARE(answerer->boxes[0].icon, QMessageBox::Information);
        QCOMPARE(cameraControls(window.get()), 1);
        auto nextStart = [&](const QString &camera) {
            select(camera);
            return child<QTextEdit>("teCamInfo")->toPlainText().section('\n', -2, -2);
        };
        QCOMPARE(nextStart("dhcp"), QString("After a power cycle: DHCP, then link-local"));
        QCOMPARE(nextStart("first"), QString("After a power cycle: static 192.0.2.10 / 255.255.255.0 / 192.0.2.1"));

        setFields("203.0.113.40", "255.255.255.0", "203.0.113.1");
        click("btnForceIp");
        refreshUntil("first", [](const QString &ip) { return ip == "203.0.113.40"; });
        const QString offSubnet = diagnose();
        QCOMPARE(offSubnet,
                 QString("off-subnet: Camera 203.0.113.40 (02:00:00:00:00:01, serial FIRST) answered on card "
                         "nic0 (192.0.2.1/24) but is outside its subnet: only discovery and Force IP reach "
                         "it. Fix: orvanta-cli force-ip -c 02:00:00:00:00:01 --ip 192.0.2.12 --mask "
                         "255.255.255.0 --gateway 192.0.2.1"));
        QCOMPARE(answerer->boxes[0].icon, QMessageBox::Warning);
        typed(offSubnet);
        refreshUntil("first", [](const QString &ip) { return ip == "192.0.2.12"; });
        // Moved by Force IP: it goes back at its next power cycle.
        const QString moves = diagnose();
        QCOMPARE(moves,
                 QString("moves-at-power-cycle: Camera 192.0.2.12 (02:00:00:00:00:01, serial FIRST) runs "
                         "192.0.2.12 / 255.255.255.0 / 192.0.2.1 now, but after a power cycle: static 192.0.2.10 "
                         "/ 255.255.255.0 / 192.0.2.1. Fix: orvanta-cli ip-config -c 02:00:00:00:00:01 static "
                         "--ip 192.0.2.12 --mask 255.255.255.0 --gateway 192.0.2.1"));
        typed(moves);
        QCOMPARE(diagnose(), clean);
        refreshUntil("first", [](const QString &ip) { return ip == "192.0.2.12"; });
        QCOMPARE(nextStart("first"), QString("After a power cycle: static 192.0.2.12 / 255.255.255.0 / 192.0.2.1"));
        // The reports only read: nothing but discovery and register reads from them.
        QCOMPARE(logLines("dhcp", "rx cmd=").filter(QRegularExpression("cmd=0x00(02|80) ")).size(),
                 logLines("dhcp", "rx cmd=").size() - 4);  // Force IP twice, IP Config and its restart
    }

    // The camera table: its order, filter, subnet selection and who controls
    // a camera; eight lossy cameras programmed at once; seven with one going
    // silent half-way, while a parameter write joins them; then a cancel.
    void multicamera()
    {
        using C = CameraTableModel;
        const QStringList eight{"m1", "m2", "m3", "m4", "m5", "m6", "m7", "m8"};
        const QHash<QString, QString> ipOf{
            {"m1", "192.0.2.31"},     {"m2", "192.0.2.32"},         {"m3", "192.0.2.33"},    {"m4", "192.0.2.34"},
            {"m5", "192.0.2.35"},     {"m6", "192.0.2.36"},         {"m7", "192.0.2.37"},    {"m8", "192.0.2.38"},
            {"quitter", "192.0.2.9"}, {"stranger", "203.0.113.50"}, {"m1b", "198.51.100.31"}};
        QTemporaryDir work;
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(work.path()));
        auto *table = child<QTableView>("cameraTable");
        QAbstractItemModel *rows = table->model();
        auto rowOf = [&](const QString &camera) {
            for (int r = 0; r < rows->rowCount(); ++r)
                if (rows->index(r, C::Address).data().toString() == ipOf.value(camera))
                    return r;
            return -1;
        };
        auto cell = [&](const QString &camera, int column) {
            return rows->index(rowOf(camera), column).data().toString();
        };
        auto check = [&](const QString &camera, bool on) {
            QVERIFY(rows->setData(rows->index(rowOf(camera), C::Address), on ? Qt::Checked : Qt::Unchecked,
                                  Qt::CheckStateRole));
        };
        auto checked = [&] {
            QStringList names;
            for (const QString &camera : ipOf.keys())
                if (rows->index(rowOf(camera), C::Address).data(Qt::CheckStateRole) == Qt::Checked)
                    names << camera;
            return names;
        };
        auto summary = [&] { return child<QLabel>("lblJobSummary")->text(); };
        auto chosen = [&] { return child<QComboBox>("cbDevice")->currentText().section(':', 0, 0); };
        auto programmedSince = [](const QString &camera, int before) {
            QStringList lines = logLines(camera, "program ").mid(before);
            lines.removeDuplicates();
            return lines.size();
        };

        // Held by another application: the table reads who, once it is shown.
        DeviceRecord quitter;
        for (const DeviceRecord &r : DeviceLink::instance().devices())
            if (r.ipText() == ipOf["quitter"])
                quitter = r;
        CameraChannel other(quitter);
        QVERIFY(other.writeReg(0x0A00, 2).ok());
        QVERIFY(!table->isVisible());
        window->findChild<QDockWidget *>("cameraDock")->toggleViewAction()->trigger();
        QTRY_COMPARE(cell("quitter", C::ControlledBy), QString("192.0.2.1, port %1").arg(other.localEndpoint().port));
        QTRY_COMPARE(cell("stranger", C::ControlledBy), QString("-"));
        QVERIFY(other.writeReg(0x0A00, 0).ok());
        QCOMPARE(cell("stranger", C::Subnet) + cell("m1", C::Subnet), QString("outside"));

        // Addresses sort as numbers; a row, sorted or filtered, chooses its camera in the list.
        table->sortByColumn(C::Address, Qt::DescendingOrder);
        QCOMPARE(rows->index(0, C::Address).data().toString(), ipOf["stranger"]);
        QCOMPARE(rows->index(rows->rowCount() - 1, C::Address).data().toString(), ipOf["quitter"]);
        table->setCurrentIndex(rows->index(rowOf("m8"), C::Serial));
        QCOMPARE(chosen(), ipOf["m8"]);
        QVERIFY(child<QTextEdit>("teCamInfo")->toPlainText().contains("\nuserDefinedName m8\n"));
        child<QLineEdit>("leCameraFilter")->setText("quit");
        QCOMPARE(rows->rowCount(), 1);
        table->setCurrentIndex(rows->index(0, C::Model));
        QCOMPARE(chosen(), ipOf["quitter"]);
        child<QLineEdit>("leCameraFilter")->clear();
        QCOMPARE(rows->rowCount(), 11);

        // The chosen camera's card: every camera in its subnet, neither the
        // stranger nor the camera on the other card.
        click("btnCheckCardSubnet");
        QCOMPARE(checked().size(), 9);
        QVERIFY(!checked().contains("stranger") && !checked().contains("m1b"));
        check("quitter", false);
        check("m1b", true);  // m1 once more, through the other card: refused
        click("btnProgramChecked");
        QCOMPARE(answerer->boxes.size(), 1);
        QVERIFY2(answerer->boxes[0].text.contains(" is checked twice"), qPrintable(answerer->boxes[0].text));
        QCOMPARE(summary(), QString());
        answerer->boxes.clear();
        check("m1b", false);

        // Eight lossy cameras at once; the window stays usable for the others.
        const QByteArray first = bitstreamFile(work.filePath("multi_101_top.bit"), 8, 1);
        child<QLineEdit>("leBitstreamFile")->setText(work.filePath("multi_101_top.bit"));
        click("btnProgramChecked");
        QVERIFY(summary().startsWith("8 cameras: "));
        QVERIFY(!child("btnRefresh")->isEnabled() && child("cbDevice")->isEnabled());
        QVERIFY(child("btnProgramBit")->isEnabled());  // the quitter is chosen and idle
        QVERIFY(rows->flags(rows->index(rowOf("quitter"), C::Address)) & Qt::ItemIsUserCheckable);
        table->setCurrentIndex(rows->index(rowOf("m3"), C::Address));
        QVERIFY(!child("btnProgramBit")->isEnabled() && !child("btnForceIp")->isEnabled());
        for (const char *busy : {"m3", "m1b"})  // m1b is m1
            QVERIFY(!(rows->flags(rows->index(rowOf(busy), C::Address)) & Qt::ItemIsUserCheckable));
        QTRY_VERIFY_WITH_TIMEOUT(!summary().contains("running"), 60000);
        QCOMPARE(summary(), QString("8 cameras: 8 success"));
        QCOMPARE(cameraControls(window.get()), 1);
        QStringList faults;
        for (const QString &m : eight) {
            QCOMPARE(cell(m, C::Job) + ' ' + cell(m, C::Message), QString("success Program success!"));
            QVERIFY2(flashOf(m) == withErasedRest(first), qPrintable(m));
            faults << logLines(m, "fault ");
        }
        QVERIFY(!faults.filter("fault drop").isEmpty() && !faults.filter("fault late").isEmpty());
        QCOMPARE(logLines("quitter", "program ") + logLines("m1b", "program "), QStringList());
        QCOMPARE(cell("quitter", C::Job), QString());

        // Seven, the quitter and the unreachable stranger; a parameter write
        // on m8 joins them meanwhile.
        check("m8", false);
        check("quitter", true);
        check("stranger", true);
        const QByteArray second = bitstreamFile(work.filePath("multi_102_top.bit"), 8, 2);
        child<QLineEdit>("leBitstreamFile")->setText(work.filePath("multi_102_top.bit"));
        click("btnProgramChecked");
        QByteArray text = "// lab\n4A: 312E3300\n", image(151552, '\0');
        image.replace(296, 4, QByteArray::fromHex("312E3300"));
        for (int s = 0; s < 37; ++s) {
            const QByteArray word = "C0DE" + QByteArray::number(s, 16).rightJustified(4, '0');
            text += QByteArray::number(s * 0x400 + 0x10, 16) + ": " + word + "\n";
            image.replace(s * 4096 + 0x40, 4, QByteArray::fromHex(word));
        }
        QFile hex(work.filePath("param.hex"));
        QVERIFY(hex.open(QIODevice::WriteOnly) && hex.write(text) == text.size());
        hex.close();
        child<QLineEdit>("leParamHexFile")->setText(hex.fileName());
        check("m8", true);
        click("btnWriteParamChecked");
        QVERIFY(summary().startsWith("10 cameras: "));
        // docs/camera-table.png: ORVANTA_SCREENSHOT=PATH in this run's environment.
        if (!qEnvironmentVariableIsEmpty("ORVANTA_SCREENSHOT")) {
            window->resize(1340, 470);
            window->resizeDocks({window->findChild<QDockWidget *>("cameraDock")}, {860}, Qt::Horizontal);
            QTRY_VERIFY_WITH_TIMEOUT(cell("m8", C::Job).startsWith("Write 2") && summary().contains("6 success"),
                                     20000);
            window->grab().save(qEnvironmentVariable("ORVANTA_SCREENSHOT"));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!summary().contains("running"), 60000);
        QCOMPARE(summary(), QString("10 cameras: 8 success, 2 no-answer"));
        QCOMPARE(cell("stranger", C::Message), QString("Device not exists, please fresh."));  // its presence check
        const int silentAt = logLines("quitter", "program ").size();
        QVERIFY(silentAt > 0 && silentAt < 8);
        QCOMPARE(cell("quitter", C::Message), catalogueText(endings::Operation::Program, endings::Result::NoAnswer,
                                                            flash::Phase::Writing, silentAt));
        QCOMPARE(cell("quitter", C::Job), QString("no-answer"));
        auto colour = [&](const QString &m) { return rows->index(rowOf(m), C::Job).data(Qt::BackgroundRole); };
        QVERIFY(colour("quitter") == colour("stranger") && colour("quitter") != colour("m1"));  // red, not green
        for (const QString &m : eight.mid(0, 7))
            QVERIFY2(flashOf(m) == withErasedRest(second), qPrintable(m));
        QCOMPARE(cell("m8", C::Message), QString("Write param success!"));
        const QByteArray m8 = flashOf("m8");
        QCOMPARE(m8.left(first.size()), first);
        for (int s = 0; s < 37; ++s)  // the 1.3 layout leaves sector 8 alone
            QCOMPARE(m8.mid(0x180000 + s * 4096, 4096), s == 8 ? Erased : image.mid(s * 4096, 4096));
        QVERIFY(!logLines("m8", "load ").isEmpty());
        QVERIFY(!QFile::exists("hexdata.dat") && !QFile::exists("data.dat"));  // verified, but no dumps

        // Closing asks once and No goes on; Cancel stops every camera between
        // two exchanges, each row saying where.
        check("quitter", false);
        check("stranger", false);
        QMap<QString, int> before;
        for (const QString &m : eight)
            before[m] = logLines(m, "program ").size();
        bitstreamFile(work.filePath("multi_103_top.bit"), 48, 3);
        child<QLineEdit>("leBitstreamFile")->setText(work.filePath("multi_103_top.bit"));
        click("btnProgramChecked");
        for (const QString &m : eight)
            QTRY_VERIFY_WITH_TIMEOUT(programmedSince(m, before[m]) >= 2, 20000);
        answerer->answers << QMessageBox::No;
        QVERIFY(!window->close());
        QCOMPARE(answerer->boxes.size(), 1);
        QVERIFY(answerer->boxes[0].text.startsWith("Jobs are running on 8 camera(s)."));
        const int going = logLines("m1", "program ").size();
        QTRY_VERIFY_WITH_TIMEOUT(logLines("m1", "program ").size() > going, 5000);
        click("btnCancelJobs");
        QTRY_VERIFY_WITH_TIMEOUT(!summary().contains("running"), 20000);
        QCOMPARE(summary(), QString("8 cameras: 8 cancelled"));
        QMap<QString, int> stopped;
        for (const QString &m : eight) {
            const int n = programmedSince(m, before[m]);
            const QString said = cell(m, C::Message);
            auto at = [](int sector) {
                return catalogueText(endings::Operation::Program, endings::Result::Cancelled, flash::Phase::Writing,
                                     sector);
            };
            // A program command whose reply was lost is logged, then cancelled while repeated.
            QVERIFY2(n < 48 && (said == at(n) || said == at(n - 1)), qPrintable(m + ": " + said));
            stopped[m] = logLines(m, "program ").size();
        }
        QTest::qWait(300);
        for (const QString &m : eight)
            QCOMPARE(logLines(m, "program ").size(), stopped[m]);
        QVERIFY(window->close());
        QCOMPARE(answerer->boxes.size(), 1);
        QDir::setCurrent(previous);
    }

    // Figures only: one camera, then eight, programmed from the camera table,
    // and the longest the event loop waited meanwhile (a 5 ms timer's gaps).
    void multibench()
    {
        constexpr int Sectors = 16;
        QTemporaryDir work;
        QVERIFY(!bitstreamFile(work.filePath("bench_101_top.bit"), Sectors, 7).isEmpty());
        child<QLineEdit>("leBitstreamFile")->setText(work.filePath("bench_101_top.bit"));
        window->findChild<QDockWidget *>("cameraDock")->show();
        QAbstractItemModel *rows = child<QTableView>("cameraTable")->model();
        QCOMPARE(rows->rowCount(), 8);
        auto run = [&](int cameras, double &ms, double &gap) {
            for (int r = 0; r < rows->rowCount(); ++r)
                rows->setData(rows->index(r, 0), r < cameras ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
            QElapsedTimer clock;
            qint64 last = 0, longest = 0;
            bool ended = false;
            QTimer tick;
            tick.setTimerType(Qt::PreciseTimer);
            connect(&tick, &QTimer::timeout, [&] {
                longest = qMax(longest, clock.nsecsElapsed() - last);
                last = clock.nsecsElapsed();
            });
            const auto idle = connect(window->findChild<JobRunner *>(), &JobRunner::idle, &tick, [&] {
                ms = clock.nsecsElapsed() / 1e6;
                ended = true;
            });
            tick.start(5);
            clock.start();
            click("btnProgramChecked");
            QTRY_VERIFY_WITH_TIMEOUT(ended, 120000);
            disconnect(idle);
            gap = longest / 1e6;
            QCOMPARE(child<QLabel>("lblJobSummary")->text(),
                     QString("%1 camera%2: %1 success").arg(cameras).arg(cameras > 1 ? "s" : ""));
        };
        double one = 0, eight = 0, gapOne = 0, gapEight = 0;
        run(1, one, gapOne);
        run(8, eight, gapEight);
        std::printf("window bench: %d sectors, program + verify from the table: 1 camera %.2f s, 8 cameras %.2f s, "
                    "ratio %.2f (aim <= 1.1)\n",
                    Sectors, one / 1000, eight / 1000, eight / one);
        std::printf("window bench: longest event-loop gap of a 5 ms timer: %.1f ms with 1 camera, %.1f ms with 8 "
                    "(aim <= 50)\n",
                    gapOne, gapEight);
        std::fflush(stdout);
    }

    // Every write of the window is recorded, with its file's SHA-256: a
    // parameter write, a bitstream, Force IP, and a bitstream job stopped by
    // closing the window, as cancelled.
    void history()
    {
        QTemporaryDir work;
        const QString path = work.filePath("history.jsonl");
        qputenv("ORVANTA_HISTORY", path.toUtf8());
        window.reset(new MainWindow);  // its runner takes the history's path when made
        window->show();
        answerer.reset(new BoxAnswerer(window.get()));
        auto writeFile = [&](const QString &name, const QByteArray &content) {
            QFile f(work.filePath(name));
            return f.open(QIODevice::WriteOnly) && f.write(content) == content.size() ? f.fileName() : QString();
        };
        const QByteArray params = "0: 00000001 00000002\n400: C0DE0001\n", bits = pattern(3 * 4096 - 100);
        child<QLineEdit>("leParamHexFile")->setText(writeFile("p.hex", params));
        child<QLineEdit>("leBitstreamFile")->setText(writeFile("cam_101_top.bit", bits));
        QVERIFY(!select("cam").isEmpty());
        click("btnWriteSPI");
        click("btnProgramBit");
        QTRY_VERIFY_WITH_TIMEOUT(answerer->boxes.size() == 2, 20000);
        setFields("192.0.2.22", "255.255.255.0", "192.0.2.1");
        click("btnForceIp");
        QCOMPARE(refreshUntil("cam", [](const QString &ip) { return ip == "192.0.2.22"; }), QString("192.0.2.22"));
        child<QLineEdit>("leBitstreamFile")->setText(writeFile("long_102_top.bit", pattern(40 * 4096)));
        click("btnProgramBit");
        QTRY_VERIFY_WITH_TIMEOUT(logLines("cam", "program ").size() >= 5, 10000);
        answerer->answers << QMessageBox::Yes;
        QVERIFY(window->close());
        window.reset();
        QCOMPARE(answerer->texts().mid(0, 2), (QStringList{"Write param success!", "Program success!"}));

        QStringList seen;
        for (const QByteArray &line : readAll(path).split('\n')) {
            const QJsonObject e = QJsonDocument::fromJson(line).object();
            if (e.isEmpty())
                continue;
            QCOMPARE(e["frontEnd"].toString() + e["serial"].toString(), QString("windowHIST1"));
            seen << QStringList{e["operation"].toString(),
                                e["result"].toString(),
                                QString::number(e["sectorsWritten"].toInt()),
                                QFileInfo(e["file"].toString()).fileName(),
                                e["sha256"].toString(),
                                e["ipSettings"].toString()}
                        .join(' ');
        }
        auto sha = [](const QByteArray &b) { return QCryptographicHash::hash(b, QCryptographicHash::Sha256).toHex(); };
        QCOMPARE(seen.size(), 4);
        QCOMPARE(seen.mid(0, 3), (QStringList{"write-param success 8 p.hex " + sha(params) + ' ',
                                              "program success 3 cam_101_top.bit " + sha(bits) + ' ',
                                              "force-ip success 0   force 192.0.2.22 255.255.255.0 192.0.2.1"}));
        QVERIFY2(seen[3].startsWith("program cancelled ") &&
                     seen[3].endsWith(" long_102_top.bit " + sha(pattern(40 * 4096)) + ' '),
                 qPrintable(seen[3]));
    }

    // Who controls a camera: shown when it is chosen; a job on a camera
    // another application holds is refused before anything is written, in
    // either order of the window and the command line; closing during a job
    // gives control back at once.
    void control()
    {
        constexpr int Sectors = 24;
        QTemporaryDir work;
        QFile file(work.filePath("cam_101_top.bit"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(pattern(Sectors * 4096)) == Sectors * 4096);
        file.close();
        child<QLineEdit>("leBitstreamFile")->setText(file.fileName());
        const QString base("ip 192.0.2.3%1\nmanufacturerName Orvanta Labs\nmodelName CamSim\ndeviceVersion 2.3\n"
                           "serialNumber SIM0001\nmac 02000000000%1\nuserDefinedName %2\n");
        const QString inUse("The camera is controlled by another application (%1). Close it or release the camera, "
                            "then try again.");
        auto info = [&] { return child<QTextEdit>("teCamInfo")->toPlainText(); };
        select("held");
        const QString nextStart("After a power cycle: static 192.0.2.3%1 / 255.255.255.0 / 0.0.0.0\n");
        QCOMPARE(info(), base.arg(1).arg("held") + "Controlled by 192.0.2.50\n" + nextStart.arg(1));
        select("nopriv");
        QCOMPARE(info(), base.arg(3).arg("nopriv") + nextStart.arg(3));

        QElapsedTimer clock;
        select("held");
        clock.start();
        click("btnProgramBit");
        QTRY_COMPARE_WITH_TIMEOUT(answerer->boxes.size(), 1, 5000);
        qInfo("in-use: the box after %lld ms", clock.elapsed());
        QCOMPARE(answerer->texts(), QStringList{inUse.arg("192.0.2.50, port 50123")});
        QCOMPARE(answerer->boxes[0].icon, QMessageBox::Critical);
        QFile hex(work.filePath("p.hex"));
        QVERIFY(hex.open(QIODevice::WriteOnly) && hex.write("// one record\n4A: 312E3300\n10: C0DE0000\n") > 0);
        hex.close();
        child<QLineEdit>("leParamHexFile")->setText(hex.fileName());
        click("btnWriteSPI");
        QCOMPARE(answerer->texts().value(1), inUse.arg("192.0.2.50, port 50123"));
        // The fixed control word, a slot without a button, is a write like the others.
        QMetaObject::invokeMethod(window.get(), "on_btnWrite_clicked");
        QCOMPARE(answerer->texts().value(2), inUse.arg("192.0.2.50, port 50123"));
        QCOMPARE(logLines("held", "rx cmd=0xfff0").size() + logLines("held", "program ").size(), 0);

        // The command line first: the window names it and writes nothing.
        auto cli = [&](QProcess &p) {
            p.start(qEnvironmentVariable("ORVANTA_CLI"), {"program", "--json", "-c", "192.0.2.32", file.fileName()});
        };
        auto taken = [] { return logLines("free", "privilege 0x2 by ").value(0).section(' ', 3); };
        QProcess first;
        cli(first);
        QTRY_VERIFY_WITH_TIMEOUT(!taken().isEmpty(), 10000);
        select("free");
        QCOMPARE(info(), base.arg(2).arg("free") + "Controlled by 192.0.2.1\n" + nextStart.arg(2));
        const QString mine = "192.0.2.1:" + QString::number(window->chosenCamera()->localEndpoint().port);
        answerer->boxes.clear();
        click("btnProgramBit");
        QTRY_COMPARE_WITH_TIMEOUT(answerer->boxes.size(), 1, 5000);
        QCOMPARE(answerer->texts(), QStringList{inUse.arg("192.0.2.1, port " + taken().section(':', 1))});
        QVERIFY(first.waitForFinished(30000));
        QCOMPARE(first.exitCode(), 0);
        QCOMPARE(logLines("free", "rx cmd=0xfff0").filter(" from=" + mine + " ").size(), 0);

        // The window first: the command line names it and writes nothing.
        answerer->boxes.clear();
        click("btnProgramBit");
        QTRY_VERIFY_WITH_TIMEOUT(logLines("free", "privilege 0x2 by ").contains("privilege 0x2 by " + mine), 10000);
        QProcess second;
        cli(second);
        QVERIFY(second.waitForFinished(30000));
        const QJsonObject refused = QJsonDocument::fromJson(second.readAllStandardOutput()).array()[0].toObject();
        QCOMPARE(second.exitCode(), 1);
        QCOMPARE(refused["result"].toString(), QString("in-use"));
        QCOMPARE(refused["message"].toString(), inUse.arg("192.0.2.1, port " + mine.section(':', 1)));
        QTRY_COMPARE_WITH_TIMEOUT(answerer->texts(), QStringList{"Program success!"}, 30000);
        QCOMPARE(flashOf("free").left(Sectors * 4096), pattern(Sectors * 4096));

        // Closing during a job releases control; the next run takes it at once.
        click("btnProgramBit");
        QTRY_VERIFY_WITH_TIMEOUT(logLines("free", "program ").size() >= 2 * Sectors + 2, 10000);
        answerer->answers << QMessageBox::Yes;
        const int released = logLines("free", "privilege released by " + mine).size();
        QVERIFY(window->close());
        window.reset();
        QCOMPARE(logLines("free", "privilege released by " + mine).size(), released + 1);
        QProcess third;
        cli(third);
        QVERIFY(third.waitForFinished(30000));
        QCOMPARE(third.exitCode(), 0);
    }
};

QTEST_MAIN(LabTest)
#include "tst_lab.moc"
