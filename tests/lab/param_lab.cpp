// The parameter writer through the real window (offscreen) in the lab: the
// window discovers the three cameras of param-lab.sh on nic0, the test picks
// one in the device list, sets the path, clicks Write and answers the boxes;
// the cameras' flash comes from their dumps ($LAB_DIR/<cam>.flash on SIGUSR1).
// Every camera's flash starts as 16 MiB of 'Z'.
#include "boxanswerer.h"
#include "devicelink.h"
#include "devicerecord.h"
#include "logcapture.h"
#include "mainwindow.h"

#include <QComboBox>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <memory>

namespace {

constexpr int ImageSize = 151552;
constexpr int Sector = 4096;
const QByteArray Untouched(Sector, 'Z');

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString labFile(const QString &name)
{
    return QDir(qEnvironmentVariable("LAB_DIR")).filePath(name);
}

int logCount(const QString &camera, const QString &prefix)
{
    const QList<QByteArray> lines = readAll(labFile(camera + ".log")).split('\n');
    return int(std::count_if(lines.begin(), lines.end(),
                             [&](const QByteArray &l) { return l.startsWith(prefix.toLatin1()); }));
}

// The camera's whole flash, dumped by the simulator on SIGUSR1.
QByteArray flashOf(const QString &camera)
{
    const int before = logCount(camera, "dump ");
    const pid_t pid = pid_t(readAll(labFile(camera + ".pid")).trimmed().toInt());
    if (pid <= 0 || ::kill(pid, SIGUSR1) != 0)
        return {};
    QDeadlineTimer deadline(10000);
    while (logCount(camera, "dump ") == before && !deadline.hasExpired())
        QThread::msleep(20);
    return readAll(labFile(camera + ".flash"));
}

// A parameter file with `versionWord` at word 0x4A (image offset 296) and,
// in each of the 37 sectors, four words naming the sector; plus the image
// those records must give, built byte by byte.
struct ParamFile {
    QByteArray text = "// parameter file for the lab\n4A: ";
    QByteArray image = QByteArray(ImageSize, '\0');
};

ParamFile makeParamFile(const QByteArray &versionWord)
{
    ParamFile f;
    f.text += versionWord + "\n";
    for (int s = 0; s < 37; ++s) {
        const int word = s * 0x400 + 0x10;
        f.text += QByteArray::number(word, 16) + ":";
        for (int k = 0; k < 4; ++k) {
            const quint32 value = 0xC0DE0000u | quint32(s) << 8 | quint32(k);
            f.text += " " + QByteArray::number(value, 16).toUpper();
            for (int b = 0; b < 4; ++b)
                f.image[(word + k) * 4 + b] = char(value >> (24 - 8 * b));
        }
        f.text += " // sector\r\n";
    }
    f.image.replace(296, 4, QByteArray::fromHex(versionWord));
    return f;
}

}  // namespace

class TestParamLab : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("LAB_DIR"))
            QSKIP("runs only inside scripts/lab (see tests/lab/param-lab.sh)");
        previousDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(work.path()));  // the dump files land here
        window.reset(new MainWindow);
        QCOMPARE(DeviceLink::instance().devices().size(), 3);
        log.reset(new LogCapture);
    }

    void init()
    {
        answer.reset(new BoxAnswerer(window->findChild<QWidget *>("btnWriteSPI")));
        QFile::remove(work.filePath("hexdata.dat"));
        QFile::remove(work.filePath("data.dat"));
        log->clear();
    }

    void cleanupTestCase()
    {
        log.reset();
        answer.reset();
        window.reset();
        QDir::setCurrent(previousDir);
    }

    void camera23WithFile13WritesAndVerifies36Sectors()
    {
        const ParamFile file = makeParamFile("312E3300");  // "1.3"
        writeParam("V23", file.text);
        QCOMPARE(answer->texts(), QStringList{"Write param success!"});
        QCOMPARE(answer->boxes.first().icon, QMessageBox::Information);

        const QByteArray flash = flashOf("v23");
        QCOMPARE(flash.size(), 16 * 1024 * 1024);
        for (int s = -1; s <= 37; ++s)  // the sectors around the area stay too
            QCOMPARE(flash.mid(0x180000 + s * Sector, Sector),
                     s < 0 || s == 8 || s == 37 ? Untouched : file.image.mid(s * Sector, Sector));
        // The dump files: the image as sent, and all 37 sectors as read back.
        QCOMPARE(readAll(work.filePath("hexdata.dat")), file.image);
        QCOMPARE(readAll(work.filePath("data.dat")), flash.mid(0x180000, ImageSize));
        QCOMPARE(logCount("v23", "program "), 36);
        QCOMPARE(logCount("v23", "load "), 37);
        for (const char *line : {"\"2.3\" \"1.3\"", "2 3 3", "write sector 9 9000", "Block: 36"})
            QVERIFY2(log->contains(line), line);
        QVERIFY(!log->contains("write sector 8 8000"));
    }

    void camera4WritesSectors0To10At0x200000()
    {
        const ParamFile file = makeParamFile("312E3300");
        writeParam("V41", file.text);
        QCOMPARE(answer->texts(), QStringList{"Write param done!"});  // minor 1: no read-back

        const QByteArray flash = flashOf("v41");
        for (int s = 0; s < 12; ++s)
            QCOMPARE(flash.mid(0x200000 + s * Sector, Sector), s == 11 ? Untouched : file.image.mid(s * Sector, Sector));
        QCOMPARE(flash.mid(0x180000, ImageSize), Untouched.repeated(37));
        QCOMPARE(logCount("v41", "load "), 0);
        QVERIFY(!QFile::exists(work.filePath("data.dat")));
    }

    void noFileVersionWritesSectors0To7WithoutCamera()
    {
        // On the major-4 camera: were its version consulted, the write would go
        // to 0x200000.
        const QByteArray before = flashOf("v41");
        const ParamFile file = makeParamFile("FFFFFFFF");
        writeParam("V41", file.text);
        QCOMPARE(answer->texts(), QStringList{"Write param done!"});

        const QByteArray after = flashOf("v41");
        QCOMPARE(after.mid(0x180000, 8 * Sector), file.image.left(8 * Sector));
        QCOMPARE(after.left(0x180000), before.left(0x180000));
        QCOMPARE(after.mid(0x188000), before.mid(0x188000));
        QCOMPARE(logCount("v41", "load "), 0);
        QVERIFY(log->contains("2 0 1"));  // the defaults, the versions not looked at
    }

    void mismatchInSector5IsReported()
    {
        const ParamFile file = makeParamFile("312E3300");
        writeParam("BAD5", file.text);  // corrupts flash sector 0x185 when it is programmed
        QCOMPARE(answer->texts(), QStringList{"Verify error(5), please rewrite param before power off!"});
        QCOMPARE(answer->boxes.first().title, QString("Error"));
        QCOMPARE(answer->boxes.first().icon, QMessageBox::Critical);
        QVERIFY(answer->boxes.first().watchedEnabled);
        const QByteArray data = readAll(work.filePath("data.dat"));
        QCOMPARE(data.left(5 * Sector), file.image.left(5 * Sector));
        QVERIFY(data.mid(5 * Sector, Sector) != file.image.mid(5 * Sector, Sector));
    }

    void missingFileSendsNothing()
    {
        const int before = logCount("v23", "rx ");
        writeParam("V23", QByteArray());
        QCOMPARE(answer->texts(), (QStringList{"Open file failed!", "Please select hex file first."}));
        QCOMPARE(logCount("v23", "rx "), before);
    }

private:
    // Chooses the camera with `serial` in the device list, then writes `content`
    // (null: no file) through the path field and the Write button.
    void writeParam(const QString &serial, const QByteArray &content)
    {
        const QList<DeviceRecord> &devices = DeviceLink::instance().devices();
        int index = -1;
        for (int i = 0; i < devices.size(); ++i)
            if (QString::fromLatin1(devices[i].serialNumber) == serial)
                index = i;
        QVERIFY2(index >= 0, qPrintable("camera " + serial + " was not discovered"));
        window->findChild<QComboBox *>("cbDevice")->setCurrentIndex(index);
        const QString path = work.filePath("param.hex");
        QFile::remove(path);
        QFile f(path);
        QVERIFY(content.isNull() || (f.open(QIODevice::WriteOnly) && f.write(content) == content.size()));
        f.close();
        window->findChild<QLineEdit *>("leParamHexFile")->setText(path);
        window->findChild<QPushButton *>("btnWriteSPI")->click();
    }

    QTemporaryDir work;
    QString previousDir;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<BoxAnswerer> answer;
    std::unique_ptr<LogCapture> log;  // made once the test framework has its handler
};

QTEST_MAIN(TestParamLab)
#include "param_lab.moc"
