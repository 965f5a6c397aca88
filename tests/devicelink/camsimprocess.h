// Starts the camera simulator on loopback with a free port and stops it
// again; the flash it holds can be dumped to a file for inspection.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <signal.h>

class CamsimProcess {
public:
    // Starts camsim with `options` added; false (with `error`) when it did
    // not print its ready line within five seconds.
    bool start(const QStringList &options, QString *error = nullptr)
    {
        if (!dir_.isValid()) {
            if (error)
                *error = "no temporary directory";
            return false;
        }
        QStringList args{"--bind", "127.0.0.1", "--port", "0", "--flash-out", flashPath(),
                         "--log", logPath()};
        args += options;
        process_.setProgram(CAMSIM_PATH);
        process_.setArguments(args);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start();
        if (!process_.waitForStarted(5000)) {
            if (error)
                *error = "camsim did not start: " + process_.errorString();
            return false;
        }
        QByteArray out;
        while (!out.contains('\n') && process_.waitForReadyRead(5000))
            out += process_.readAllStandardOutput();
        const QByteArray line = out.left(out.indexOf('\n')).trimmed();
        const QByteArray prefix = "camsim ready 127.0.0.1:";
        bool ok = false;
        if (line.startsWith(prefix))
            port_ = quint16(line.mid(prefix.size()).toUInt(&ok));
        if (!ok || port_ == 0) {
            if (error)
                *error = "no ready line from camsim: " + QString::fromLatin1(out);
            stop();
            return false;
        }
        return true;
    }

    quint16 port() const { return port_; }
    QString flashPath() const { return dir_.filePath("flash.bin"); }
    QString logPath() const { return dir_.filePath("camsim.log"); }

    // Stops the simulator (it writes its flash on the way out) and returns
    // the 16 MiB flash image, empty when it could not be read.
    QByteArray stopAndReadFlash()
    {
        stop();
        QFile f(flashPath());
        if (!f.open(QIODevice::ReadOnly))
            return QByteArray();
        return f.readAll();
    }

    QStringList logLines() const
    {
        QFile f(logPath());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLatin1(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }

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

    ~CamsimProcess() { stop(); }

private:
    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
};
