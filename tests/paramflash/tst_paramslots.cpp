// The parameter slots of the real window, offscreen, in a private network
// namespace, for what the lab and the write-job tests leave out: the size
// limit, the clean copy, the control word, the job lock, a camera that stops
// answering, clicks queued during a write. Cameras are the simulator on 127.0.0.2.
#include "boxanswerer.h"
#include "camsimprocess.h"
#include "devicelink.h"
#include "devicerecord.h"
#include "ipv4address.h"
#include "mainwindow.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <memory>

struct MainWindowTestPeer {
    static void setCameraControlsEnabled(MainWindow &w, bool on) { w.setCameraControlsEnabled(on); }
};

namespace {

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

const QString JobRunning = "A programming job is running; please wait until it has finished.";
const QString TooLarge = "The parameter file is too large to be a parameter file (%1 bytes, limit 4194304 bytes). "
                         "Nothing was written.";

}  // namespace

class TestParamSlots : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        previousDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(work.path()));  // the dump files land here
        window.reset(new MainWindow);
        QVERIFY(DeviceLink::instance().devices().isEmpty());
    }

    void init()
    {
        answer.reset(new BoxAnswerer(writeButton()));
    }

    void cleanup()
    {
        answer.reset();
        camsim.reset();
        DeviceLink::instance().devices().clear();
        window->refreshDeviceList();
        window->channel().choose(nullptr, nullptr);
    }

    void cleanupTestCase()
    {
        window.reset();
        QDir::setCurrent(previousDir);
    }

    void browseSetsPath()
    {
        setPath("chosen.hex", "0: 1\n");
        answer->files << pathEdit()->text();
        pathEdit()->clear();
        invoke("on_btnBrowse_clicked");
        QCOMPARE(pathEdit()->text(), work.filePath("chosen.hex"));
    }

    void writeRefusesBeforeTheCamera_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("text");
        QTest::newRow("comments only") << QByteArray("// a\n  // b\n\n") << "Please select hex file first.";
        QTest::newRow("a record, no camera") << QByteArray("\x00\xFF\n\x01:", 5) << "Device not exists, please fresh.";
        QTest::newRow("too large") << QByteArray(4 * 1024 * 1024 + 1, ' ') << TooLarge.arg(4194305);
    }

    void writeRefusesBeforeTheCamera()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, text);
        setPath("w.hex", content);
        invoke("on_btnWriteSPI_clicked");
        QCOMPARE(answer->texts(), QStringList{text});
        QVERIFY(answer->boxes.first().title == "Info" && answer->boxes.first().parent == window.get());
        QVERIFY(writeButton()->isEnabled());
    }

    void clean_data()
    {
        QTest::addColumn<QString>("path");       // relative to the work dir
        QTest::addColumn<QByteArray>("content");  // null: no file
        QTest::addColumn<QString>("cleanName");  // relative; empty: no copy expected
        QTest::addColumn<QByteArray>("cleanContent");
        QTest::addColumn<QStringList>("texts");
        const QString created = "Clean hex file created.", failed = "Open file failed!";
        QTest::newRow("comments and blanks removed, older copy replaced")
            << "p.hex" << QByteArray("// head\r\n 0: 1 2 // c\r\n\r\n80:5//x\r\nodd line\r\n")
            << "p_clean.hex" << QByteArray("0: 1 2\n80:5\nodd line\n") << QStringList{created};
        QTest::newRow("missing file: empty copy")
            << "gone.hex" << QByteArray() << "gone_clean.hex" << QByteArray("") << QStringList{failed, created};
        QTest::newRow("copy cannot be created")
            << "nodir/x.hex" << QByteArray() << "" << QByteArray() << QStringList{failed, failed};
        QTest::newRow("too large: no copy")
            << "big.hex" << QByteArray(4 * 1024 * 1024 + 10, '\n') << "" << QByteArray()
            << QStringList{TooLarge.arg(4194314)};
    }

    void clean()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, content);
        QFETCH(QString, cleanName);
        const QString full = work.filePath(path);
        if (!content.isNull())
            writeFile(full, content);
        if (!cleanName.isEmpty())
            writeFile(work.filePath(cleanName), QByteArray(1000, 'x'));
        pathEdit()->setText(full);
        invoke("on_btnClean_clicked");
        QTEST(answer->texts(), "texts");
        if (!cleanName.isEmpty())
            QTEST(readAll(work.filePath(cleanName)), "cleanContent");
        else
            QVERIFY(!QFile::exists(work.filePath(path).replace(".hex", "_clean.hex")));
    }

    void controlWord_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("acknowledged") << QStringList{} << QStringList{};
        QTest::newRow("no answer after the presence check") << QStringList{"--stop-after", "1"}
            << QStringList{"The camera did not acknowledge the control word 01 34 3E F5 after 20 attempts; it "
                           "may not have been carried out. Check the connection and try again."};
    }

    void controlWord()
    {
        QFETCH(QStringList, options);
        QFETCH(QStringList, texts);
        useCamera(options);
        invoke("on_btnWrite_clicked");
        QCOMPARE(answer->texts(), texts);
        if (texts.isEmpty()) {
            QCOMPARE(camsim->logLines("control "), QStringList{"control 0x01343ef5"});
        } else {
            QCOMPARE(answer->boxes.first().icon, QMessageBox::Critical);
            QVERIFY(answer->boxes.first().watchedEnabled);
        }
        QVERIFY(camsim->logLines("program ").isEmpty());
        QVERIFY(writeButton()->isEnabled());
    }

    void refusedWhileJobRuns()
    {
        useCamera();
        setPath("v.hex", "4A: 312E3300\n0: 1\n");
        MainWindowTestPeer::setCameraControlsEnabled(*window, false);
        invoke("on_btnWriteSPI_clicked");
        invoke("on_btnWrite_clicked");
        MainWindowTestPeer::setCameraControlsEnabled(*window, true);
        QCOMPARE(answer->texts(), (QStringList{JobRunning, JobRunning}));
        QVERIFY(camsim->logLines("rx ").isEmpty());
    }

    void cameraStopsAnsweringWhileWriting()
    {
        useCamera({"--stop-after", QString::number(1 + 9 * 3 + 2)});  // presence check, 3 sectors, 2 pieces
        setPath("v.hex", "4A: 312E3200\n0: 1\n");
        invoke("on_btnWriteSPI_clicked");
        QCOMPARE(answer->texts(), QStringList{"The camera stopped answering while writing sector 3. The parameter "
                                              "area may be incomplete: check the connection and write the "
                                              "parameters again before power off!"});
        const BoxAnswerer::Box box = answer->boxes.first();
        QVERIFY(box.title == "Error" && box.icon == QMessageBox::Critical);
        QVERIFY(box.watchedEnabled && !box.waitCursor);  // controls and cursor are back before the box
    }

    void clicksQueuedDuringWriteAreDropped()
    {
        // A double click on Write: the second click waits in the queue while the
        // first write runs and must not start a second one.
        useCamera();
        setPath("n.hex", "4A: FFFFFFFF\n0: 1\n");  // no version: 8 sectors, no read-back
        const QPoint centre = writeButton()->rect().center();
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            QCoreApplication::postEvent(writeButton(), new QMouseEvent(type, centre, Qt::LeftButton,
                                                                       Qt::LeftButton, Qt::NoModifier));
        writeButton()->click();
        QTRY_COMPARE(answer->texts(), QStringList{"Write param done!"});
        QTest::qWait(300);
        QCOMPARE(answer->texts(), QStringList{"Write param done!"});
        QCOMPARE(camsim->countLog("program "), 8);
    }

private:
    void useCamera(const QStringList &options = {})
    {
        camsim.reset(new CamsimProcess(work.path()));
        QString error;
        QVERIFY2(camsim->start(QStringList{"--version", "2.3"} + options, &error, "127.0.0.2", 3956),
                 qPrintable(error));
        UdpSocket *socket = DeviceLink::instance().socketSlot(0);
        const quint8 loopback[4] = {127, 0, 0, 1};
        QVERIFY(socket->open() && socket->bindTo(loopback, 0));
        DeviceRecord record;
        QVERIFY(parseIPv4("127.0.0.2", record.ip) && parseIPv4("255.0.0.0", record.mask));
        std::strcpy(record.deviceVersion, "2.3");
        record.socketSlot = socket;
        record.hostIP = "127.0.0.1";
        DeviceLink::instance().devices() = {record};
        window->refreshDeviceList();
        window->channel().setReplyTimeoutMs(50);  // a quiet camera is given up after 20 x 50 ms
    }

    void setPath(const QString &name, const QByteArray &content)
    {
        writeFile(work.filePath(name), content);
        pathEdit()->setText(work.filePath(name));
    }

    void invoke(const char *slot) { QVERIFY(QMetaObject::invokeMethod(window.get(), slot)); }
    QLineEdit *pathEdit() const { return window->findChild<QLineEdit *>("leParamHexFile"); }
    QPushButton *writeButton() const { return window->findChild<QPushButton *>("btnWriteSPI"); }

    QTemporaryDir work;
    QString previousDir;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<BoxAnswerer> answer;
    std::unique_ptr<CamsimProcess> camsim;
};

QTEST_MAIN(TestParamSlots)
#include "tst_paramslots.moc"
