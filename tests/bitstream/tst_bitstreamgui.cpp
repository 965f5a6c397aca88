// The "FPGA Bit" row through the real window, offscreen, against the
// simulator on loopback: the Browse rule, the refusals at the click, and
// that every camera control stays disabled from the click until the job has
// ended, however it ends. Message boxes and the file dialog are answered
// here by a timer. Run in a private network namespace: the window
// broadcasts a discovery when it is built.
#include "camsimprocess.h"
#include "dialoganswerer.h"
#include "devicelink.h"
#include "mainwindow.h"
#include "sendthread.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <cstring>
#include <memory>

namespace {

QByteArray pattern(int size)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 13 + (i >> 12) * 5) % 241);
    return data;
}

}  // namespace

class BitstreamGuiTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir files;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<DialogAnswerer> answerer;
    CamsimProcess sim;

    template <class T>
    T *widget(const char *name) { return window->findChild<T *>(QLatin1String(name)); }

    QList<QWidget *> cameraControls()
    {
        return {widget<QWidget>("btnRefresh"), widget<QWidget>("cbDevice"),
                widget<QWidget>("btnWriteSPI"), widget<QWidget>("btnProgramBit"),
                widget<QWidget>("btnForceIp"), widget<QWidget>("btnIPConfig")};
    }
    // 1: all enabled, 0: all disabled, -1: mixed.
    int controlsState()
    {
        int enabled = 0;
        const auto controls = cameraControls();
        for (QWidget *w : controls)
            enabled += w->isEnabled() ? 1 : 0;
        return enabled == controls.size() ? 1 : enabled == 0 ? 0 : -1;
    }

    QString writeFile(const QString &name, const QByteArray &data)
    {
        const QString path = files.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size())
            return QString();
        return path;
    }
    QString sparseFile(const QString &name, qint64 size)
    {
        const QString path = files.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || !file.resize(size))
            return QString();
        return path;
    }

    // Puts one camera into the device table and chooses it, pointing the
    // window's channel at the simulator.
    void attachCamera(const QString &version)
    {
        DeviceLink &link = DeviceLink::instance();
        UdpSocket *slot = link.socketSlot(DeviceLink::MaxSockets - 1);
        const quint8 loopback[4] = {127, 0, 0, 1};
        QVERIFY(slot->open());
        QVERIFY(slot->bindTo(loopback, 0));
        DeviceRecord record;
        const quint8 mac[6] = {0x02, 0, 0, 0, 0, 0x01};
        std::memcpy(record.mac, mac, 6);
        std::memcpy(record.ip, loopback, 4);
        record.mask[0] = 255;
        qstrncpy(record.deviceVersion, version.toLatin1().constData(), sizeof record.deviceVersion);
        qstrncpy(record.serialNumber, "GUI1", sizeof record.serialNumber);
        record.ipConfig = 5;
        record.socketSlot = slot;
        record.hostIP = QStringLiteral("127.0.0.1");
        link.devices().clear();
        link.devices().append(record);
        window->refreshDeviceList();
        window->channel().deviceAddr.port = sim.port;
        QVERIFY(window->channel().hasDevice());
        QCOMPARE(widget<QComboBox>("cbDevice")->currentIndex(), 0);
    }

    void startSim(const QStringList &options)
    {
        QString error;
        QVERIFY2(sim.start(options, &error), qPrintable(error));
    }

    void openWindow(const QString &version, const QStringList &simOptions = {})
    {
        startSim(QStringList{"--version", version} + simOptions);
        window.reset(new MainWindow);
        window->show();
        answerer.reset(new DialogAnswerer);
        attachCamera(version);
    }

    void clickProgram(const QString &path)
    {
        widget<QLineEdit>("leBitstreamFile")->setText(path);
        widget<QPushButton>("btnProgramBit")->click();
    }

    int received() { return sim.countLog(QStringLiteral("rx ")); }

private slots:
    void initTestCase();
    void cleanup();

    void browseRule_data();
    void browseRule();
    void browseWithoutCameraLeavesField();
    void browseCancelled();
    void shortPathSendsNothing();
    void silentCameraIsRefused();
    void oversizedFileIsRefusedAtClick();
    void paramAreaQuestion_data();
    void paramAreaQuestion();
    void jobEndings_data();
    void jobEndings();
    void closingDuringJobCancelsIt();
};

void BitstreamGuiTest::initTestCase()
{
    QVERIFY(files.isValid());
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("offscreen"));
}

void BitstreamGuiTest::cleanup()
{
    answerer.reset();
    window.reset();
    sim.stop();
    DeviceLink::instance().devices().clear();
}

void BitstreamGuiTest::browseRule_data()
{
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");  // empty: accepted

    QTest::newRow("accepted") << "bits" << "cam_101_top.bit" << "";
    QTest::newRow("accepted with a") << "bits" << "cam_101a_top.bit" << "";
    QTest::newRow("upper-case directory") << "Bits" << "cam_102_top.bit" << "";
    QTest::newRow("capital C") << "bits" << "Cam_101_top.bit" << "File name is not valid!";
    QTest::newRow("capital A") << "bits" << "cam_101A_top.bit" << "File name is not valid!";
    QTest::newRow("four digits") << "bits" << "cam_1010_top.bit" << "File version missed!";
    QTest::newRow("no closing underscore") << "bits" << "cam_101.bit" << "File version missed!";
    QTest::newRow("two digits") << "bits" << "cam_10_top.bit" << "File version missed!";
}

void BitstreamGuiTest::browseRule()
{
    QFETCH(QString, directory);
    QFETCH(QString, name);
    QFETCH(QString, message);
    QVERIFY(QDir(files.path()).mkpath(directory));
    const QString path = writeFile(directory + "/" + name, pattern(100));
    QVERIFY(!path.isEmpty());

    openWindow("2.3");
    auto *field = widget<QLineEdit>("leBitstreamFile");
    field->setText("before");
    answerer->files << path;
    widget<QPushButton>("btnBrowseBit")->click();

    QCOMPARE(answerer->fileDialogs, 1);
    if (message.isEmpty()) {
        QVERIFY(answerer->boxes.isEmpty());
        QCOMPARE(field->text(), path);
    } else {
        QCOMPARE(answerer->boxes.size(), 1);
        QCOMPARE(answerer->boxes[0].kind, QStringLiteral("information"));
        QCOMPARE(answerer->boxes[0].title, QStringLiteral("Info"));
        QCOMPARE(answerer->boxes[0].text, message);
        QCOMPARE(field->text(), QStringLiteral("before"));
    }
    QCOMPARE(received(), 0);
}

void BitstreamGuiTest::browseWithoutCameraLeavesField()
{
    const QString path = writeFile("cam_103_top.bit", pattern(10));
    window.reset(new MainWindow);
    window->show();
    answerer.reset(new DialogAnswerer);
    DeviceLink::instance().devices().clear();
    window->refreshDeviceList();
    auto *field = widget<QLineEdit>("leBitstreamFile");
    field->setText("before");
    answerer->files << path;
    widget<QPushButton>("btnBrowseBit")->click();
    QCOMPARE(answerer->fileDialogs, 1);
    QVERIFY(answerer->boxes.isEmpty());
    QCOMPARE(field->text(), QStringLiteral("before"));
}

void BitstreamGuiTest::browseCancelled()
{
    openWindow("2.3");
    auto *field = widget<QLineEdit>("leBitstreamFile");
    field->setText("before");
    widget<QPushButton>("btnBrowseBit")->click();  // no file planned: cancelled
    QCOMPARE(answerer->fileDialogs, 1);
    QVERIFY(answerer->boxes.isEmpty());
    QCOMPARE(field->text(), QStringLiteral("before"));
}

void BitstreamGuiTest::shortPathSendsNothing()
{
    openWindow("2.3");
    clickProgram("ab");
    QCOMPARE(answerer->texts(), QStringList{"Please select bit file first."});
    QCOMPARE(answerer->boxes[0].kind, QStringLiteral("information"));
    QCOMPARE(controlsState(), 1);
    QTest::qWait(300);
    QCOMPARE(received(), 0);
}

void BitstreamGuiTest::silentCameraIsRefused()
{
    openWindow("2.3", {"--stop-after", "0"});
    const QString path = writeFile("cam_101_top.bit", pattern(4096));
    clickProgram(path);
    QCOMPARE(answerer->texts(), QStringList{"Device not exists, please fresh."});
    QCOMPARE(controlsState(), 1);
    QTest::qWait(300);
    QCOMPARE(sim.countLog("program"), 0);
}

void BitstreamGuiTest::oversizedFileIsRefusedAtClick()
{
    openWindow("2.3");
    const QString path = sparseFile("cam_101_huge.bit", 16777216 + 1);
    QVERIFY(!path.isEmpty());
    clickProgram(path);
    QCOMPARE(answerer->boxes.size(), 1);
    QCOMPARE(answerer->boxes[0].title, QStringLiteral("Error"));
    QCOMPARE(answerer->boxes[0].text,
             QStringLiteral("The bitstream file is larger than the camera's 16 MB flash and "
                            "cannot be programmed."));
    QCOMPARE(controlsState(), 1);
    QTest::qWait(300);
    QCOMPARE(received(), 0);
}

void BitstreamGuiTest::paramAreaQuestion_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("asked");

    QTest::newRow("2.3 into 0x180000") << "2.3" << qint64(0x180001) << true;
    QTest::newRow("whole flash") << "2.3" << qint64(16777216) << true;
    QTest::newRow("3.1 into 0x200000") << "3.1" << qint64(0x200001) << true;
    QTest::newRow("3.1 below 0x200000") << "3.1" << qint64(0x180001) << false;
    QTest::newRow("2.3 up to 0x180000") << "2.3" << qint64(0x180000) << false;
}

// Answers No when asked: nothing may reach the camera. When not asked the
// job starts, and is stopped by closing the window (answered Yes).
void BitstreamGuiTest::paramAreaQuestion()
{
    QFETCH(QString, version);
    QFETCH(qint64, size);
    QFETCH(bool, asked);
    openWindow(version);
    const QString path = sparseFile("cam_101_large.bit", size);
    QVERIFY(!path.isEmpty());
    answerer->answers << QMessageBox::No;
    clickProgram(path);

    if (asked) {
        QCOMPARE(answerer->boxes.size(), 1);
        QCOMPARE(answerer->boxes[0].kind, QStringLiteral("question"));
        QVERIFY(answerer->boxes[0].text.contains("parameter area"));
        QCOMPARE(controlsState(), 1);
        QTest::qWait(300);
        QCOMPARE(received(), 0);
        return;
    }
    QVERIFY(answerer->boxes.isEmpty());
    QCOMPARE(controlsState(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(sim.countLog("program ") >= 1, 10000);
    answerer->answers.clear();
    answerer->answers << QMessageBox::Yes;
    window->close();
    QElapsedTimer timer;
    timer.start();
    window.reset();
    qInfo() << "window gone" << timer.elapsed() << "ms after the close was confirmed";
    QCOMPARE(answerer->boxes.size(), 1);  // the close question, nothing else
    const int programmed = sim.countLog("program ");
    QTest::qWait(400);
    QCOMPARE(sim.countLog("program "), programmed);
    QVERIFY(programmed < 20);
}

void BitstreamGuiTest::jobEndings_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QStringList>("simOptions");
    QTest::addColumn<int>("size");         // -1: a path to no file
    QTest::addColumn<bool>("selected");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");     // box text, or the start of it
    QTest::addColumn<QString>("label");    // the label at the end
    QTest::addColumn<int>("loads");        // read-back commands the camera saw

    const int size = 3 * 4096 - 100;
    QTest::newRow("success") << "2.3" << QStringList() << size << true << "information"
                             << "Program success!" << "Verify 3/3" << 3;
    QTest::newRow("done without read-back") << "1.2" << QStringList() << size << true
                                            << "information" << "Program done!"
                                            << "Program 3/3" << 0;
    QTest::newRow("verify error") << "2.3" << QStringList{"--corrupt-sector", "1"} << size << true
                                  << "critical"
                                  << "Verify error, please reprogram before power off!(1)"
                                  << "Verify 1/3" << 2;
    QTest::newRow("file cannot be opened") << "2.3" << QStringList() << -1 << true
                                           << "information" << "Open file failed!" << "" << 0;
    QTest::newRow("empty file") << "2.3" << QStringList() << 0 << true << "information"
                                << "Program success!" << "0/0" << 0;
    QTest::newRow("no selected camera") << "2.3" << QStringList() << size << false
                                        << "information" << "Program done!" << "Program 3/3"
                                        << 0;
    // The probe is datagram 1, sector 0 takes 2 to 10; the camera goes quiet
    // at the fifth piece of sector 1.
    QTest::newRow("camera stops answering")
        << "2.3" << QStringList{"--stop-after", "15"} << size << true << "critical"
        << "The camera stopped answering while programming sector 1." << "Program 1/3" << 0;
}

void BitstreamGuiTest::jobEndings()
{
    QFETCH(QString, version);
    QFETCH(QStringList, simOptions);
    QFETCH(int, size);
    QFETCH(bool, selected);
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(QString, label);
    QFETCH(int, loads);

    openWindow(version, simOptions);
    if (!selected)
        widget<QComboBox>("cbDevice")->setCurrentIndex(-1);
    const QByteArray data = size > 0 ? pattern(size) : QByteArray();
    const QString path = size >= 0 ? writeFile("cam_101_top.bit", data)
                                   : files.filePath("missing/cam_101_top.bit");
    QVERIFY(!path.isEmpty());
    widget<QLabel>("lblProgramProgress")->setText("");

    // The controls as the GUI saw them at every step.
    QList<int> atSteps;
    auto *worker = window->findChild<SendThread *>();
    QVERIFY(worker);
    connect(worker, &SendThread::step, window.get(),
            [&](int, bool) { atSteps << controlsState(); });

    QElapsedTimer timer;
    timer.start();
    clickProgram(path);
    QCOMPARE(controlsState(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!answerer->boxes.isEmpty() && controlsState() == 1, 40000);
    qInfo() << "ended after" << timer.elapsed() << "ms";

    QCOMPARE(answerer->boxes.size(), 1);
    QCOMPARE(answerer->boxes[0].kind, kind);
    QVERIFY2(answerer->boxes[0].text.startsWith(text), qPrintable(answerer->boxes[0].text));
    QCOMPARE(widget<QLabel>("lblProgramProgress")->text(), label);
    QVERIFY(!atSteps.contains(1) && !atSteps.contains(-1));
    QCOMPARE(sim.countLog("load "), loads);
    if (text == "Program success!" && size > 0) {
        QCOMPARE(widget<QProgressBar>("progressBar")->value(), 100);
        const QByteArray flash = sim.dumpFlash();
        QCOMPARE(flash.size(), 16777216);
        QCOMPARE(flash.left(3 * 4096), data + QByteArray(3 * 4096 - size, char(0xFF)));
    }
    // Nothing further reaches the camera once the job has ended.
    const int before = received();
    QTest::qWait(300);
    QCOMPARE(received(), before);
}

void BitstreamGuiTest::closingDuringJobCancelsIt()
{
    openWindow("2.3");
    const QString path = writeFile("cam_101_top.bit", pattern(60 * 4096));
    clickProgram(path);
    QTRY_VERIFY_WITH_TIMEOUT(sim.countLog("program ") >= 2, 10000);

    // Declined: the window stays and the job goes on.
    answerer->answers << QMessageBox::No;
    window->close();
    QCOMPARE(answerer->boxes.size(), 1);
    QCOMPARE(answerer->boxes[0].kind, QStringLiteral("question"));
    QVERIFY(window->isVisible());
    const int programmed = sim.countLog("program ");
    QTRY_VERIFY_WITH_TIMEOUT(sim.countLog("program ") > programmed, 5000);
    QCOMPARE(controlsState(), 0);

    // Confirmed: the job stops between exchanges, quietly.
    answerer->answers << QMessageBox::Yes;
    window->close();
    QCOMPARE(answerer->boxes.size(), 2);
    QElapsedTimer timer;
    timer.start();
    window.reset();
    qInfo() << "window destroyed" << timer.elapsed() << "ms after the close";
    QCOMPARE(answerer->boxes.size(), 2);
    const int atClose = sim.countLog("program ");
    QVERIFY(atClose < 60);
    QTest::qWait(400);
    QCOMPARE(sim.countLog("program "), atClose);
}

QTEST_MAIN(BitstreamGuiTest)
#include "tst_bitstreamgui.moc"
