// The parameter writer through the real window (offscreen) in the lab: the
// window discovers the three cameras of param-lab.sh on nic0, the test picks
// one in the device list, sets the path, clicks Write and answers the boxes;
// the cameras' flash comes from their dumps ($LAB_DIR/<cam>.flash on SIGUSR1).
// Every camera's flash starts as 16 MiB of 'Z' (0x5A).
#include "devicelink.h"
#include "devicerecord.h"
#include "windowtest.h"

#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <cstring>
#include <memory>

namespace {

constexpr int ImageSize = 151552;
constexpr int Sector = 4096;
const char Prefill = 'Z';

QString labFile(const QString &name)
{
    return QDir(qEnvironmentVariable("LAB_DIR")).filePath(name);
}

QStringList logLines(const QString &camera, const QString &prefix)
{
    QFile f(labFile(camera + ".log"));
    QStringList r;
    if (!f.open(QIODevice::ReadOnly))
        return r;
    for (const QString &line : QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts))
        if (line.startsWith(prefix))
            r << line;
    return r;
}

// The camera's whole flash, dumped by the simulator on SIGUSR1.
QByteArray flashOf(const QString &camera)
{
    QFile pidFile(labFile(camera + ".pid"));
    if (!pidFile.open(QIODevice::ReadOnly))
        return {};
    const pid_t pid = pid_t(pidFile.readAll().trimmed().toInt());
    const int before = logLines(camera, "dump ").size();
    if (pid <= 0 || ::kill(pid, SIGUSR1) != 0)
        return {};
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (logLines(camera, "dump ").size() > before) {
            QFile f(labFile(camera + ".flash"));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }
        QThread::msleep(20);
    }
    return {};
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A parameter file with the version text `version` (at word 0x4A, image
// offset 296) and, in every one of the 37 sectors, four words that name the
// sector; plus the image those records must give, built byte by byte.
struct ParamFile {
    QByteArray text;
    QByteArray image;
};

ParamFile makeParamFile(const QByteArray &versionWord)
{
    ParamFile f;
    f.image = QByteArray(ImageSize, '\0');
    f.text = "// parameter file for the lab\n4A: " + versionWord + "\n";
    for (int s = 0; s < 37; ++s) {
        const int word = s * 0x400 + 0x10;  // 64 bytes into the sector
        f.text += QByteArray::number(word, 16) + ": ";
        for (int k = 0; k < 4; ++k) {
            const quint32 value = 0xC0DE0000u | quint32(s) << 8 | quint32(k);
            f.text += QByteArray::number(value, 16).toUpper() + (k < 3 ? " " : " // sector\r\n");
            const int at = (word + k) * 4;
            f.image[at] = char(value >> 24);
            f.image[at + 1] = char(value >> 16);
            f.image[at + 2] = char(value >> 8);
            f.image[at + 3] = char(value);
        }
    }
    const QByteArray v = QByteArray::fromHex(versionWord);
    f.image.replace(296, 4, v);
    return f;
}

}  // namespace

class TestParamLab : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void camera23WithFile13WritesAndVerifies36Sectors();
    void camera4WritesSectors0To10At0x200000();
    void noFileVersionWritesSectors0To7WithoutCamera();
    void mismatchInSector5IsReported();
    void missingFileSendsNothing();

private:
    void choose(const QString &serial);
    void writeParam(const QByteArray &content);

    QTemporaryDir work;
    QString previousDir;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<DialogAnswerer> answer;
    QStringList debugLines;
};

static QtMessageHandler previousHandler = nullptr;
static QStringList *capturedLines = nullptr;

static void captureDebug(QtMsgType type, const QMessageLogContext &context, const QString &msg)
{
    if (capturedLines && type == QtDebugMsg)
        capturedLines->append(msg);
    if (previousHandler)
        previousHandler(type, context, msg);
}

void TestParamLab::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("LAB_DIR"))
        QSKIP("runs only inside scripts/lab (see tests/lab/param-lab.sh)");
    QVERIFY(work.isValid());
    previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(work.path()));  // the dump files land here
    window.reset(new MainWindow);
    QCOMPARE(DeviceLink::instance().devices().size(), 3);
    capturedLines = &debugLines;
    previousHandler = qInstallMessageHandler(captureDebug);
}

void TestParamLab::init()
{
    answer.reset(new DialogAnswerer(window->findChild<QWidget *>("btnWriteSPI")));
    QFile::remove(work.filePath("hexdata.dat"));
    QFile::remove(work.filePath("data.dat"));
    debugLines.clear();
}

void TestParamLab::cleanupTestCase()
{
    if (!window)
        return;
    qInstallMessageHandler(previousHandler);
    capturedLines = nullptr;
    answer.reset();
    window.reset();
    QDir::setCurrent(previousDir);
}

void TestParamLab::choose(const QString &serial)
{
    const QList<DeviceRecord> &devices = DeviceLink::instance().devices();
    int index = -1;
    for (int i = 0; i < devices.size(); ++i)
        if (QString::fromLatin1(devices[i].serialNumber) == serial)
            index = i;
    QVERIFY2(index >= 0, qPrintable("camera " + serial + " was not discovered"));
    auto *list = window->findChild<QComboBox *>("cbDevice");
    list->setCurrentIndex(index);
    QCOMPARE(list->currentIndex(), index);
}

void TestParamLab::writeParam(const QByteArray &content)
{
    const QString path = work.filePath("param.hex");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
    f.close();
    window->findChild<QLineEdit *>("leParamHexFile")->setText(path);
    window->findChild<QPushButton *>("btnWriteSPI")->click();
}

void TestParamLab::camera23WithFile13WritesAndVerifies36Sectors()
{
    choose("V23");
    const ParamFile file = makeParamFile("312E3300");  // "1.3"
    writeParam(file.text);
    QCOMPARE(answer->texts(), QStringList{"Write param success!"});
    QCOMPARE(answer->boxes.first().title, QString("Info"));
    QCOMPARE(answer->boxes.first().icon, QMessageBox::Information);

    const QByteArray flash = flashOf("v23");
    QCOMPARE(flash.size(), 16 * 1024 * 1024);
    for (int s = 0; s < 37; ++s) {
        const QByteArray inFlash = flash.mid(0x180000 + s * Sector, Sector);
        if (s == 8)
            QCOMPARE(inFlash, QByteArray(Sector, Prefill));  // skipped: as it was
        else
            QCOMPARE(inFlash, file.image.mid(s * Sector, Sector));
    }
    QCOMPARE(flash.mid(0x17F000, Sector), QByteArray(Sector, Prefill));
    QCOMPARE(flash.mid(0x180000 + ImageSize, Sector), QByteArray(Sector, Prefill));

    // The dump files: the image as sent, and all 37 sectors as read back.
    QCOMPARE(readAll(work.filePath("hexdata.dat")), file.image);
    const QByteArray data = readAll(work.filePath("data.dat"));
    QCOMPARE(data.size(), ImageSize);
    QCOMPARE(data, flash.mid(0x180000, ImageSize));
    QCOMPARE(data.mid(8 * Sector, Sector), QByteArray(Sector, Prefill));

    QCOMPARE(logLines("v23", "program ").size(), 36);
    QVERIFY(!logLines("v23", "program ").contains("program 0x188000"));
    QCOMPARE(logLines("v23", "load ").size(), 37);
    QVERIFY(debugLines.contains("\"2.3\" \"1.3\""));
    QVERIFY(debugLines.contains("2 3 3"));
    QVERIFY(debugLines.contains("write sector 9 9000"));
    QVERIFY(!debugLines.contains("write sector 8 8000"));
    QVERIFY(debugLines.contains("Block: 36"));
}

void TestParamLab::camera4WritesSectors0To10At0x200000()
{
    choose("V41");
    const ParamFile file = makeParamFile("312E3300");
    writeParam(file.text);
    QCOMPARE(answer->texts(), QStringList{"Write param done!"});  // minor 1: no read-back

    const QByteArray flash = flashOf("v41");
    for (int s = 0; s < 12; ++s) {
        const QByteArray inFlash = flash.mid(0x200000 + s * Sector, Sector);
        if (s == 11)
            QCOMPARE(inFlash, QByteArray(Sector, Prefill));
        else
            QCOMPARE(inFlash, file.image.mid(s * Sector, Sector));
    }
    QCOMPARE(flash.mid(0x180000, ImageSize), QByteArray(ImageSize, Prefill));
    QVERIFY(logLines("v41", "load ").isEmpty());
    QVERIFY(!QFile::exists(work.filePath("data.dat")));
    QVERIFY(!QFile::exists(work.filePath("hexdata.dat")));
}

void TestParamLab::noFileVersionWritesSectors0To7WithoutCamera()
{
    // On the major-4 camera: were its version consulted, the write would go
    // to 0x200000.
    choose("V41");
    const QByteArray before = flashOf("v41");
    const ParamFile file = makeParamFile("FFFFFFFF");
    writeParam(file.text);
    QCOMPARE(answer->texts(), QStringList{"Write param done!"});

    const QByteArray after = flashOf("v41");
    QCOMPARE(after.mid(0x180000, 8 * Sector), file.image.left(8 * Sector));
    QCOMPARE(after.mid(0x188000, 29 * Sector), QByteArray(29 * Sector, Prefill));
    QCOMPARE(after.left(0x180000), before.left(0x180000));
    QCOMPARE(after.mid(0x188000), before.mid(0x188000));
    QVERIFY(logLines("v41", "load ").isEmpty());
    // The versions were not looked at, so not logged; the defaults were used.
    QVERIFY(!debugLines.contains("\"4.1\" \"\""));
    QVERIFY(debugLines.contains("2 0 1"));
}

void TestParamLab::mismatchInSector5IsReported()
{
    choose("BAD5");  // corrupts flash sector 0x185 when it is programmed
    const ParamFile file = makeParamFile("312E3300");
    writeParam(file.text);
    QCOMPARE(answer->texts(),
             QStringList{"Verify error(5), please rewrite param before power off!"});
    QCOMPARE(answer->boxes.first().title, QString("Error"));
    QCOMPARE(answer->boxes.first().icon, QMessageBox::Critical);
    QVERIFY(answer->boxes.first().writeEnabled);
    const QByteArray data = readAll(work.filePath("data.dat"));
    QCOMPARE(data.size(), ImageSize);
    QVERIFY(data.mid(5 * Sector, Sector) != file.image.mid(5 * Sector, Sector));
    QCOMPARE(data.left(5 * Sector), file.image.left(5 * Sector));
}

void TestParamLab::missingFileSendsNothing()
{
    choose("V23");
    const int before = logLines("v23", "rx ").size();
    window->findChild<QLineEdit *>("leParamHexFile")->setText(work.filePath("no-such.hex"));
    window->findChild<QPushButton *>("btnWriteSPI")->click();
    QCOMPARE(answer->texts(), (QStringList{"Open file failed!", "Please select hex file first."}));
    QCOMPARE(logLines("v23", "rx ").size(), before);
}

QTEST_MAIN(TestParamLab)
#include "param_lab.moc"
