// The camera simulator as a child process for a test: started on a loopback
// address with its ready line awaited, its log and flash dump readable,
// stopped on scope exit. Only for tests already in a private namespace.
#pragma once

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <signal.h>
#include <sys/types.h>

#ifndef CAMSIM_PATH
#error "link orvanta_testsupport: CAMSIM_PATH names the simulator"
#endif

class CamsimProcess {
public:
    // The log and the flash dump go to `workDir`, or to a private
    // temporary directory when it is empty.
    explicit CamsimProcess(const QString &workDir = QString()) : workDir_(workDir) {}
    ~CamsimProcess() { stop(); }
    CamsimProcess(const CamsimProcess &) = delete;
    CamsimProcess &operator=(const CamsimProcess &) = delete;

    // Starts camsim on `bindAddress`:`port` (0 = a free port) with `options`
    // added; false (and `error`) when no ready line came within 10 s.
    bool start(const QStringList &options = {}, QString *error = nullptr,
               const QString &bindAddress = QStringLiteral("127.0.0.1"), quint16 port = 0)
    {
        stop();
        const QString dir = workDir_.isEmpty() ? tempDir_.path() : workDir_;
        logPath_ = QDir(dir).filePath("camsim-" + bindAddress + ".log");
        flashPath_ = QDir(dir).filePath("camsim-" + bindAddress + ".flash");
        QFile::remove(logPath_);
        QFile::remove(flashPath_);
        address_ = bindAddress;
        port_ = 0;
        QStringList args{"--bind", bindAddress, "--port", QString::number(port),
                         "--log", logPath_, "--flash-out", flashPath_};
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(CAMSIM_PATH), args + options);
        const QByteArray prefix = "camsim ready " + bindAddress.toLatin1() + ':';
        QByteArray out;
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && process_.state() != QProcess::NotRunning) {
            process_.waitForReadyRead(50);
            out += process_.readAllStandardOutput();
            const int end = out.indexOf('\n');
            if (end < 0)
                continue;
            const QByteArray line = out.left(end).trimmed();
            if (line.startsWith(prefix))
                port_ = quint16(line.mid(prefix.size()).toUInt());
            break;
        }
        if (port_ != 0)
            return true;
        if (error)
            *error = "camsim not ready: " + process_.errorString() + ' ' + QString::fromLatin1(out);
        stop();
        return false;
    }

    bool running() const { return process_.state() == QProcess::Running; }
    QString address() const { return address_; }
    quint16 port() const { return port_; }
    qint64 pid() const { return process_.processId(); }
    QString logPath() const { return logPath_; }
    QString flashPath() const { return flashPath_; }

    bool signal(int sig) { return running() && ::kill(pid_t(pid()), sig) == 0; }

    // The log's lines, only those starting with `prefix` when one is given.
    QStringList logLines(const QString &prefix = QString()) const
    {
        QFile f(logPath_);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QStringList out;
        for (const QString &line : QString::fromLatin1(f.readAll()).split('\n', Qt::SkipEmptyParts))
            if (line.startsWith(prefix))
                out << line;
        return out;
    }
    int countLog(const QString &prefix) const { return logLines(prefix).size(); }

    // Asks the running simulator for a dump; the 16 MiB, empty on time-out.
    QByteArray dumpFlash()
    {
        const int before = countLog("dump ");
        if (!signal(SIGUSR1))
            return {};
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            if (countLog("dump ") > before)
                return readFlashFile();
            QThread::msleep(20);
        }
        return {};
    }

    // Stops the simulator (it dumps its flash on the way out) and returns
    // the flash, empty when it was not written.
    QByteArray stopAndReadFlash()
    {
        const int before = countLog("dump ");
        stop();
        return countLog("dump ") > before ? readFlashFile() : QByteArray();
    }

    void stop()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(pid()), SIGTERM);
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(2000);
        }
    }

private:
    QByteArray readFlashFile() const
    {
        QFile f(flashPath_);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QString workDir_;
    QTemporaryDir tempDir_;
    QProcess process_;
    QString address_;
    QString logPath_;
    QString flashPath_;
    quint16 port_ = 0;
};
