// The history file under load and damage: eight jobs of the runner and a
// second process append at once, and every line stays whole; a damaged line
// is reported and skipped; where the file lives by default. Run with the
// argument "writer FILE" this is the second process: it appends until its
// standard input closes, then prints how many lines it wrote.
#include "history.h"
#include "jobrunner.h"
#include "memorycamera.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <iostream>
#include <thread>

namespace {

// Long fields make each line span several pages, where a line written in
// pieces would show.
history::Entry bigEntry(int n)
{
    history::Entry e;
    e.time = QDateTime::currentDateTimeUtc();
    e.operation = QStringLiteral("program");
    e.result = QStringLiteral("success");
    e.file = QStringLiteral("/writer/%1/").arg(n) + QString(12000, QLatin1Char('w'));
    return e;
}

int runWriter(const QString &path)
{
    std::atomic<bool> stop{false};
    std::thread stdinWatch([&] {
        std::string ignored;
        while (std::getline(std::cin, ignored)) {
        }
        stop = true;
    });
    int written = 0;
    QString error;
    while (!stop && written < 5000 && history::append(path, bigEntry(written), error))
        ++written;
    stdinWatch.join();
    std::printf("%d\n", written);
    return error.isEmpty() ? 0 : 1;
}

QList<QByteArray> linesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().split('\n') : QList<QByteArray>();
}

}  // namespace

class TestHistory : public QObject {
    Q_OBJECT

private slots:
    void concurrentWriters()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("state/history.jsonl");  // the folder is made
        QProcess writer;
        writer.start(QCoreApplication::applicationFilePath(), {"writer", path});
        QVERIFY(writer.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(linesOf(path).size() > 3, 10000);

        MemoryCamera cams[8];
        std::atomic<bool> cancelSent{false};  // the cancelled job waits for it, however loaded the PC
        cams[7].onExchange = [&](int) {
            while (!cancelSent)
                std::this_thread::yield();
        };
        JobRunner runner(8);
        runner.setHistoryPath(path);
        int ended = 0;
        connect(&runner, &JobRunner::finished, this, [&] { ++ended; });
        // A first round that programs a sector (one job cancelled), then
        // rounds that end at once, so that the lines come thick and fast.
        const int rounds = 25;
        for (int round = 0; round < rounds; ++round) {
            for (int i = 0; i < 8; ++i) {
                JobTask task;
                task.access = std::shared_ptr<DeviceAccess>(&cams[i], [](DeviceAccess *) {});
                task.plan.image = QByteArray(4096, char(i + 1));
                if (round == 0)
                    task.plan.writeSectors = {0};
                task.history.file = QStringLiteral("/job/%1/").arg(i) + QString(9000, QLatin1Char('j'));
                const int id = runner.start(task);
                if (round == 0 && i == 7) {
                    runner.cancel(id);
                    cancelSent = true;
                }
            }
            runner.waitForAll();
        }
        writer.closeWriteChannel();
        QVERIFY(writer.waitForFinished(20000));
        QCOMPARE(writer.exitCode(), 0);
        const int fromWriter = writer.readAllStandardOutput().trimmed().toInt();
        QTRY_COMPARE(ended, 8 * rounds);

        const history::Reading reading = history::read(path);
        QCOMPARE(reading.problems, QStringList());
        QCOMPARE(reading.entries.size(), 8 * rounds + fromWriter);
        QCOMPARE(linesOf(path).size(), 8 * rounds + fromWriter + 1);  // the last ends in '\n'
        int jobs = 0, cancelled = 0, sectors = 0;
        for (const history::Entry &e : reading.entries) {
            if (!e.file.startsWith("/job/"))
                continue;
            ++jobs;
            cancelled += e.result == "cancelled";
            sectors += e.sectorsWritten;
        }
        QCOMPARE(jobs, 8 * rounds);
        QCOMPARE(cancelled, 1);
        QCOMPARE(sectors, 7);
        qInfo("%d lines from the writer process while %d jobs ended", fromWriter, jobs);
    }

    void damagedLines()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("history.jsonl");
        QString error;
        QVERIFY(history::append(path, bigEntry(1), error));
        QFile f(path);
        QVERIFY(f.open(QIODevice::Append));
        f.write("{\"time\": \"2024-05-31T1\n\n[1, 2]\n");  // cut short, empty, not an entry
        f.close();
        QVERIFY(history::append(path, bigEntry(2), error));
        const history::Reading reading = history::read(path);
        QCOMPARE(reading.entries.size(), 2);
        QCOMPARE(reading.entries[1].file, bigEntry(2).file);
        QCOMPARE(reading.problems,
                 (QStringList{path + ":2: not a history entry; skipped.", path + ":4: not a history entry; skipped."}));
    }

    void defaultPath_data()
    {
        QTest::addColumn<QString>("overridden");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("expected");
        QTest::newRow("ORVANTA_HISTORY first") << "/h/mine.jsonl"
                                               << "/s"
                                               << "/h/mine.jsonl";
        QTest::newRow("XDG_STATE_HOME") << ""
                                        << "/s"
                                        << "/s/orvanta/history.jsonl";
        QTest::newRow("a relative XDG_STATE_HOME is ignored") << ""
                                                              << "s"
                                                              << "/home/u/.local/state/orvanta/history.jsonl";
        QTest::newRow("neither") << ""
                                 << ""
                                 << "/home/u/.local/state/orvanta/history.jsonl";
    }
    void defaultPath()
    {
        QFETCH(QString, overridden);
        QFETCH(QString, state);
        const QByteArray saved[3] = {qgetenv("ORVANTA_HISTORY"), qgetenv("XDG_STATE_HOME"), qgetenv("HOME")};
        qputenv("ORVANTA_HISTORY", overridden.toUtf8());
        qputenv("XDG_STATE_HOME", state.toUtf8());
        qputenv("HOME", "/home/u");
        const QString path = history::defaultPath();
        qputenv("ORVANTA_HISTORY", saved[0]);
        qputenv("XDG_STATE_HOME", saved[1]);
        qputenv("HOME", saved[2]);
        QTEST(path, "expected");
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "writer")
        return runWriter(QString::fromLocal8Bit(argv[2]));
    TestHistory test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_history.moc"
