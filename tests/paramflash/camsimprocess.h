// The camera simulator as a child process on a loopback address: started
// with its ready line awaited, its log and flash readable, stopped on scope
// exit. Only for tests that already run in a private network namespace.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QThread>

#include <csignal>

#ifndef CAMSIM_PATH
#error "CAMSIM_PATH must name the simulator executable"
#endif

class CamsimProcess {
public:
    // `workDir` holds the log and the flash dump.
    CamsimProcess(const QString &workDir, const QString &bindAddress, const QStringList &options)
        : logPath_(QDir(workDir).filePath("camsim-" + bindAddress + ".log")),
          flashPath_(QDir(workDir).filePath("camsim-" + bindAddress + ".flash"))
    {
        QStringList args{"--bind", bindAddress, "--port", "3956", "--log", logPath_,
                         "--flash-out", flashPath_};
        args += options;
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(CAMSIM_PATH), args);
        QDeadlineTimer deadline(10000);
        QByteArray out;
        while (!deadline.hasExpired() && process_.state() != QProcess::NotRunning) {
            process_.waitForReadyRead(100);
            out += process_.readAllStandardOutput();
            if (out.contains("camsim ready")) {
                ready_ = true;
                break;
            }
        }
    }

    ~CamsimProcess() { stop(); }

    bool ready() const { return ready_; }

    void stop()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(process_.processId()), SIGTERM);
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(2000);
        }
    }

    QStringList logLines() const
    {
        QFile f(logPath_);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    // Lines of the log that start with `prefix`.
    QStringList logLines(const QString &prefix) const
    {
        QStringList r;
        for (const QString &line : logLines())
            if (line.startsWith(prefix))
                r << line;
        return r;
    }

    // Asks for a flash dump and returns the 16 MiB (empty on time-out).
    QByteArray flash()
    {
        const int dumpsBefore = logLines("dump ").size();
        ::kill(pid_t(process_.processId()), SIGUSR1);
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            if (logLines("dump ").size() > dumpsBefore) {
                QFile f(flashPath_);
                return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
            }
            QThread::msleep(20);
        }
        return QByteArray();
    }

private:
    QString logPath_;
    QString flashPath_;
    QProcess process_;
    bool ready_ = false;
};
