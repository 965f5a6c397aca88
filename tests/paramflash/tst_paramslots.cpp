// The parameter slots of the real window, offscreen, in a private network
// namespace: the Browse dialog, the message order of the Write button, the
// cleaned copy, the control-word slot, and the write against the simulator
// on a loopback address (presence check, layout from the chosen camera,
// read-back, dump files, a camera that stops answering, the job lock).
#include "camsimprocess.h"
#include "devicelink.h"
#include "devicerecord.h"
#include "ipv4address.h"
#include "paramfile.h"
#include "windowtest.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <memory>

namespace {

const QString JobRunning =
    QStringLiteral("A programming job is running; please wait until it has finished.");

void writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    f.write(content);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The image a file of the three records below must give: built by hand.
QByteArray expectedImage()
{
    QByteArray image(151552, '\0');
    image.replace(0, 4, QByteArray("\x11\x22\x33\x44", 4));
    image.replace(296, 4, QByteArray("1.2\0", 4));            // word 0x4A
    image.replace(0x1000, 4, QByteArray("\xAA\xBB\xCC\xDD", 4));  // word 0x400, sector 1
    return image;
}
const QByteArray ParamFile12 = "// version 1.2 layout\n0: 11223344\n4A: 312E3200 // text\n400: AABBCCDD\n";

}  // namespace

class TestParamSlots : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    // No camera.
    void browseSetsPath();
    void browseCancelKeepsPath();
    void writeMessages_data();
    void writeMessages();
    void clean_data();
    void clean();
    void cleanTwiceOverwrites();
    void controlWordWithoutCamera();

    // A simulated camera on 127.0.0.2.
    void writeVerified();
    void writeWithoutFileVersionIgnoresCamera();
    void writeNeedsChosenRecordForFileVersion();
    void cameraStopsAnswering_data();
    void cameraStopsAnswering();
    void refusedWhileJobRuns();
    void controlWord();
    void controlWordNoAnswer();

private:
    void invoke(const char *slot);
    void useCamera(const QStringList &options, bool listed = true, const QByteArray &version = "2.3");
    QLineEdit *pathEdit() const { return window->findChild<QLineEdit *>("leParamHexFile"); }
    QWidget *writeButton() const { return window->findChild<QWidget *>("btnWriteSPI"); }

    QTemporaryDir work;
    QString previousDir;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<DialogAnswerer> answer;
    std::unique_ptr<CamsimProcess> camsim;
};

void TestParamSlots::initTestCase()
{
    QVERIFY(work.isValid());
    previousDir = QDir::currentPath();
    // The dump files and a clean copy of an empty path land in the working directory.
    QVERIFY(QDir::setCurrent(work.path()));
    window.reset(new MainWindow);
    QVERIFY(DeviceLink::instance().devices().isEmpty());
}

void TestParamSlots::init()
{
    answer.reset(new DialogAnswerer(writeButton()));
    QFile::remove(work.filePath("hexdata.dat"));
    QFile::remove(work.filePath("data.dat"));
}

void TestParamSlots::cleanup()
{
    answer.reset();
    camsim.reset();
    DeviceLink::instance().devices().clear();
    window->refreshDeviceList();
    window->channel().choose(nullptr, nullptr);
}

void TestParamSlots::cleanupTestCase()
{
    window.reset();
    QDir::setCurrent(previousDir);
}

void TestParamSlots::invoke(const char *slot)
{
    QVERIFY(QMetaObject::invokeMethod(window.get(), slot, Qt::DirectConnection));
}

void TestParamSlots::useCamera(const QStringList &options, bool listed, const QByteArray &version)
{
    camsim.reset(new CamsimProcess(work.path(), "127.0.0.2",
                                   QStringList{"--version", QString::fromLatin1(version)} + options));
    QVERIFY(camsim->ready());

    UdpSocket *socket = DeviceLink::instance().socketSlot(0);
    const quint8 loopback[4] = {127, 0, 0, 1};
    QVERIFY(socket->open());
    QVERIFY(socket->bindTo(loopback, 0));

    DeviceRecord record;
    QVERIFY(parseIPv4("127.0.0.2", record.ip));
    QVERIFY(parseIPv4("255.0.0.0", record.mask));
    std::strncpy(record.deviceVersion, version.constData(), sizeof record.deviceVersion - 1);
    record.socketSlot = socket;
    record.hostIP = "127.0.0.1";
    if (listed) {
        DeviceLink::instance().devices() = {record};
        window->refreshDeviceList();
    } else {
        window->channel().choose(socket, record.ip);
    }
    // A camera that went quiet is given up after 20 short waits instead of 20 x 500 ms.
    window->channel().setReplyTimeoutMs(50);
}

// ---- no camera -------------------------------------------------------------

void TestParamSlots::browseSetsPath()
{
    const QString path = work.filePath("chosen.hex");
    writeFile(path, "0: 1\n");
    pathEdit()->setText("before");
    answer->onFileDialog = [&](QFileDialog *d) {
        d->selectFile(path);
        static_cast<QDialog *>(d)->accept();  // QFileDialog::accept checks the selection
    };
    invoke("on_btnBrowse_clicked");
    QCOMPARE(answer->fileDialogTitles, QStringList{"Open Hex File"});
    QCOMPARE(answer->fileDialogFilters, QStringList{"*.hex"});
    QCOMPARE(pathEdit()->text(), path);
    QVERIFY(answer->boxes.isEmpty());
}

void TestParamSlots::browseCancelKeepsPath()
{
    pathEdit()->setText("kept.hex");
    answer->onFileDialog = [](QFileDialog *d) { d->reject(); };
    invoke("on_btnBrowse_clicked");
    QCOMPARE(answer->fileDialogTitles.size(), 1);
    QCOMPARE(pathEdit()->text(), QString("kept.hex"));
}

void TestParamSlots::writeMessages_data()
{
    QTest::addColumn<QString>("name");       // file in the work dir; empty: no file
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("missing file") << "missing.hex" << QByteArray()
                                  << QStringList{"Open file failed!", "Please select hex file first."};
    QTest::newRow("empty path") << "" << QByteArray()
                                << QStringList{"Open file failed!", "Please select hex file first."};
    QTest::newRow("empty file") << "empty.hex" << QByteArray("")
                                << QStringList{"Please select hex file first."};
    QTest::newRow("comments only") << "comments.hex" << QByteArray("// a\n  // b\n\n")
                                   << QStringList{"Please select hex file first."};
    QTest::newRow("no record syntax") << "words.hex" << QByteArray("0 1 2\n1:2:3\n")
                                      << QStringList{"Please select hex file first."};
    QTest::newRow("binary data") << "binary.hex" << QByteArray("\x00\xFF\xFE\x80\n\x01:", 7)
                                 << QStringList{"Device not exists, please fresh."};
    QTest::newRow("a record, no camera") << "one.hex" << QByteArray("0: 1\n")
                                         << QStringList{"Device not exists, please fresh."};
    QTest::newRow("too large")
        << "large.hex" << QByteArray(4 * 1024 * 1024 + 1, ' ')
        << QStringList{"The parameter file is too large to be a parameter file (4194305 bytes, "
                       "limit 4194304 bytes). Nothing was written."};
}

void TestParamSlots::writeMessages()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, texts);
    QString path;
    if (!name.isEmpty()) {
        path = work.filePath(name);
        if (!content.isNull())
            writeFile(path, content);
    }
    pathEdit()->setText(path);
    invoke("on_btnWriteSPI_clicked");
    QCOMPARE(answer->texts(), texts);
    for (const DialogAnswerer::Box &b : answer->boxes) {
        QCOMPARE(b.title, QString("Info"));
        QCOMPARE(b.icon, QMessageBox::Information);
        QCOMPARE(b.parent, window.get());
    }
    QCOMPARE(pathEdit()->text(), path);  // the path stays
    QVERIFY(writeButton()->isEnabled());
}

void TestParamSlots::clean_data()
{
    QTest::addColumn<QString>("path");         // relative to the work dir ("" stays empty)
    QTest::addColumn<QByteArray>("content");   // null: no file
    QTest::addColumn<QString>("cleanName");    // expected clean file, relative; empty: none
    QTest::addColumn<QByteArray>("cleanContent");
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("comments and blanks removed")
        << "p.hex" << QByteArray("// head\r\n 0: 1 2 // c\r\n\r\n  \r\n80:5//x\r\nodd line\r\n")
        << "p_clean.hex" << QByteArray("0: 1 2\n80:5\nodd line\n") << QStringList{"Clean hex file created."};
    QTest::newRow("other four-character extension")
        << "q.txt" << QByteArray("0: 1\n") << "q_clean.hex" << QByteArray("0: 1\n")
        << QStringList{"Clean hex file created."};
    QTest::newRow("missing file: empty copy")
        << "gone.hex" << QByteArray() << "gone_clean.hex" << QByteArray()
        << QStringList{"Open file failed!", "Clean hex file created."};
    QTest::newRow("empty path: _clean.hex here")
        << "" << QByteArray() << "_clean.hex" << QByteArray()
        << QStringList{"Open file failed!", "Clean hex file created."};
    QTest::newRow("copy cannot be created")
        << "nodir/x.hex" << QByteArray() << "" << QByteArray()
        << QStringList{"Open file failed!", "Open file failed!"};
    QTest::newRow("too large: no copy")
        << "big.hex" << QByteArray(4 * 1024 * 1024 + 10, '\n') << "" << QByteArray()
        << QStringList{"The parameter file is too large to be a parameter file (4194314 bytes, "
                       "limit 4194304 bytes). Nothing was written."};
}

void TestParamSlots::clean()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, content);
    QFETCH(QString, cleanName);
    QFETCH(QByteArray, cleanContent);
    QFETCH(QStringList, texts);

    const QString full = path.isEmpty() ? QString() : work.filePath(path);
    if (!content.isNull())
        writeFile(full, content);
    QFile::remove(work.filePath("_clean.hex"));
    pathEdit()->setText(full);
    invoke("on_btnClean_clicked");
    QCOMPARE(answer->texts(), texts);
    if (!cleanName.isEmpty()) {
        QVERIFY(QFile::exists(work.filePath(cleanName)));
        QCOMPARE(readAll(work.filePath(cleanName)), cleanContent);
    } else {
        QVERIFY(!QFile::exists(param::cleanFileName(full)));
    }
}

void TestParamSlots::cleanTwiceOverwrites()
{
    const QString path = work.filePath("twice.hex");
    writeFile(path, "0: 1\n1: 2\n");
    pathEdit()->setText(path);
    invoke("on_btnClean_clicked");
    writeFile(path, "5: 6\n");
    invoke("on_btnClean_clicked");
    QCOMPARE(readAll(work.filePath("twice_clean.hex")), QByteArray("5: 6\n"));
    QCOMPARE(answer->texts(), (QStringList{"Clean hex file created.", "Clean hex file created."}));
}

void TestParamSlots::controlWordWithoutCamera()
{
    invoke("on_btnWrite_clicked");
    QCOMPARE(answer->texts(), QStringList{"Device not exists, please fresh."});
}

// ---- a simulated camera ----------------------------------------------------

void TestParamSlots::writeVerified()
{
    useCamera({});
    const QString path = work.filePath("v12.hex");
    writeFile(path, ParamFile12);
    pathEdit()->setText(path);
    QTest::ignoreMessage(QtDebugMsg, "\"2.3\" \"1.2\"");
    QTest::ignoreMessage(QtDebugMsg, "2 3 2");
    QTest::ignoreMessage(QtDebugMsg, "write sector 0 0");
    QTest::ignoreMessage(QtDebugMsg, "write sector 7 7000");
    QTest::ignoreMessage(QtDebugMsg, "Block: 36");
    invoke("on_btnWriteSPI_clicked");
    QCOMPARE(answer->texts(), QStringList{"Write param success!"});
    QCOMPARE(answer->boxes.first().icon, QMessageBox::Information);
    // Controls and cursor are given back before the result is shown.
    QVERIFY(answer->boxes.first().writeEnabled);
    QVERIFY(!answer->boxes.first().waitCursor);

    QStringList programs = camsim->logLines("program ");
    QCOMPARE(programs, (QStringList{"program 0x180000", "program 0x181000", "program 0x182000",
                                    "program 0x183000", "program 0x184000", "program 0x185000",
                                    "program 0x186000", "program 0x187000"}));
    QCOMPARE(camsim->logLines("load ").size(), 37);

    const QByteArray image = expectedImage();
    QCOMPARE(readAll(work.filePath("hexdata.dat")), image);
    const QByteArray flash = camsim->flash();
    QCOMPARE(flash.size(), 16 * 1024 * 1024);
    QCOMPARE(readAll(work.filePath("data.dat")), flash.mid(0x180000, 151552));
    QCOMPARE(flash.mid(0x180000, 8 * 4096), image.left(8 * 4096));
    QCOMPARE(flash.mid(0x188000, 29 * 4096), QByteArray(29 * 4096, '\xFF'));
}

void TestParamSlots::writeWithoutFileVersionIgnoresCamera()
{
    // Not even in the device list: with FF FF FF FF at 296 the camera's
    // version is never looked at.
    useCamera({}, false, "4.3");
    const QString path = work.filePath("nover.hex");
    writeFile(path, "4A: FFFFFFFF\n0: 1\n");
    pathEdit()->setText(path);
    invoke("on_btnWriteSPI_clicked");
    QCOMPARE(answer->texts(), QStringList{"Write param done!"});
    QCOMPARE(camsim->logLines("program ").size(), 8);
    QCOMPARE(camsim->logLines("program ").first(), QString("program 0x180000"));
    QVERIFY(camsim->logLines("load ").isEmpty());
    QVERIFY(!QFile::exists(work.filePath("hexdata.dat")));
    QVERIFY(!QFile::exists(work.filePath("data.dat")));
}

void TestParamSlots::writeNeedsChosenRecordForFileVersion()
{
    // The channel answers but the device list has no current entry: the
    // layout cannot be chosen, so nothing is written, and the user is told.
    useCamera({}, false);
    const QString path = work.filePath("v12.hex");
    writeFile(path, ParamFile12);
    pathEdit()->setText(path);
    invoke("on_btnWriteSPI_clicked");
    QCOMPARE(answer->texts(), QStringList{"Please select a camera first."});
    QCOMPARE(camsim->logLines("rx ").size(), 1);  // the presence check only
    QVERIFY(camsim->logLines("program ").isEmpty());
}

void TestParamSlots::cameraStopsAnswering_data()
{
    QTest::addColumn<int>("answered");  // datagrams answered, the presence check included
    QTest::addColumn<QString>("text");
    QTest::newRow("while writing sector 3")
        << 1 + 9 * 3 + 2
        << "The camera stopped answering while writing sector 3. The parameter area may be "
           "incomplete: check the connection and write the parameters again before power off!";
    QTest::newRow("while reading back sector 2")
        << 1 + 9 * 8 + 9 * 2 + 1
        << "The camera stopped answering while reading back sector 2. The parameters were "
           "written but could not be verified: check the connection and write the parameters "
           "again before power off!";
}

void TestParamSlots::cameraStopsAnswering()
{
    QFETCH(int, answered);
    QFETCH(QString, text);
    useCamera({"--stop-after", QString::number(answered)});
    const QString path = work.filePath("v12.hex");
    writeFile(path, ParamFile12);
    pathEdit()->setText(path);
    invoke("on_btnWriteSPI_clicked");
    QCOMPARE(answer->texts(), QStringList{text});
    const DialogAnswerer::Box box = answer->boxes.first();
    QCOMPARE(box.title, QString("Error"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QVERIFY(box.writeEnabled);
    QVERIFY(!box.waitCursor);
    QVERIFY(!QFile::exists(work.filePath("data.dat")));
}

void TestParamSlots::refusedWhileJobRuns()
{
    useCamera({});
    const QString path = work.filePath("v12.hex");
    writeFile(path, ParamFile12);
    pathEdit()->setText(path);
    MainWindowTestPeer::setCameraControlsEnabled(*window, false);
    QVERIFY(window->jobRunning());
    invoke("on_btnWriteSPI_clicked");
    invoke("on_btnWrite_clicked");
    MainWindowTestPeer::setCameraControlsEnabled(*window, true);
    QCOMPARE(answer->texts(), (QStringList{JobRunning, JobRunning}));
    QVERIFY(camsim->logLines("rx ").isEmpty());
}

void TestParamSlots::controlWord()
{
    useCamera({});
    invoke("on_btnWrite_clicked");
    QVERIFY(answer->boxes.isEmpty());
    QCOMPARE(camsim->logLines("control "), QStringList{"control 0x01343ef5"});
    QVERIFY(camsim->logLines("program ").isEmpty());
    QVERIFY(writeButton()->isEnabled());
}

void TestParamSlots::controlWordNoAnswer()
{
    useCamera({"--stop-after", "1"});
    invoke("on_btnWrite_clicked");
    QCOMPARE(answer->boxes.size(), 1);
    QCOMPARE(answer->boxes.first().title, QString("Error"));
    QCOMPARE(answer->boxes.first().icon, QMessageBox::Critical);
    QCOMPARE(answer->boxes.first().text,
             QString("The camera did not acknowledge the control word 01 34 3E F5 after 20 "
                     "attempts; it may not have been carried out. Check the connection and try "
                     "again."));
    QVERIFY(answer->boxes.first().writeEnabled);
}

QTEST_MAIN(TestParamSlots)
#include "tst_paramslots.moc"
