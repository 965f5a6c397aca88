// The real window, offscreen, end to end in the network lab: scripts/lab
// builds the namespaces of tests/lab/<function>.lab, starts a simulator per
// camera and runs one function of this test in the PC namespace. The window
// discovers the cameras itself; the test clicks, answers the boxes and reads
// what the cameras logged and hold in their flash.
#include "endings.h"
#include "jobrunner.h"
#include "mainwindow.h"

#include <QComboBox>
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
            QString label, nic, mode, model, version, serial, name;
        };
        const QList<Entry> expected{
            {"192.0.2.10:CAM10001:020000000101", "192.0.2.1", "rbIPConfigStatic", "LabCam GX", "2.3", "CAM1-0001",
             "cam1"},
            {"203.0.113.30:CAM3:020000000303", "192.0.2.1", "rbIPConfigDHCP", "LabCam GX", "2.1", "CAM3", "cam3"},
            {"198.51.100.10:CAM10001:020000000101", "198.51.100.1", "rbIPConfigStatic", "LabCam GX", "2.3", "CAM1-0001",
             "cam1"},
            {"198.51.100.200:CAM2b:020000000202", "198.51.100.1", "rbIPConfigLLA", "LabCam S", "1.4", "CAM 2/b",
             "cam2"}};
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
                             "mac %5\nuserDefinedName %6\n%7")
                         .arg(ip, e.model, e.version, e.serial, e.label.section(':', 2).toUpper(), e.name,
                              ip.startsWith("203.") ? "" : "Not controlled\n"));
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
        QCOMPARE(info(), base.arg(1).arg("held") + "Controlled by 192.0.2.50\n");
        select("nopriv");
        QCOMPARE(info(), base.arg(3).arg("nopriv"));

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
        QCOMPARE(info(), base.arg(2).arg("free") + "Controlled by 192.0.2.1\n");
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
