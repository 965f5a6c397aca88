// Runs the camera simulator on loopback for a test: waits for its ready line,
// reads its log, and asks it for a dump of its flash.
#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <sys/types.h>
#include <signal.h>

class CamsimProcess {
public:
    ~CamsimProcess() { stop(); }

    // Starts camsim on 127.0.0.1 with a free port; false (and `error`) when
    // it does not report ready within a few seconds.
    bool start(const QStringList &extra, QString *error = nullptr)
    {
        stop();
        if (!dir_.isValid()) {
            if (error)
                *error = QStringLiteral("no temporary directory");
            return false;
        }
        logPath = dir_.filePath(QStringLiteral("camsim.log"));
        flashPath = dir_.filePath(QStringLiteral("camsim.flash"));
        QFile::remove(logPath);
        QFile::remove(flashPath);
        QStringList args{"--bind", "127.0.0.1", "--port", "0", "--log", logPath,
                         "--flash-out", flashPath, "--seed", "7"};
        args += extra;
        process_.setProgram(QStringLiteral(ORVANTA_CAMSIM));
        process_.setArguments(args);
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start();
        if (!process_.waitForStarted(5000)) {
            if (error)
                *error = QStringLiteral("camsim did not start: ") + process_.errorString();
            return false;
        }
        static const QRegularExpression ready(QStringLiteral("camsim ready [0-9.]+:([0-9]+)"));
        QElapsedTimer timer;
        timer.start();
        QByteArray out;
        while (timer.elapsed() < 5000) {
            process_.waitForReadyRead(100);
            out += process_.readAllStandardOutput();
            const auto match = ready.match(QString::fromLatin1(out));
            if (match.hasMatch()) {
                port = quint16(match.captured(1).toUInt());
                return port != 0;
            }
            if (process_.state() == QProcess::NotRunning)
                break;
        }
        if (error)
            *error = QStringLiteral("camsim not ready: ") + QString::fromLocal8Bit(out) +
                     QString::fromLocal8Bit(process_.readAllStandardError());
        return false;
    }

    void stop()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(2000);
        }
    }

    QStringList logLines() const
    {
        QFile file(logPath);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    int countLog(const QString &prefix) const
    {
        int n = 0;
        for (const QString &line : logLines())
            n += line.startsWith(prefix) ? 1 : 0;
        return n;
    }

    // The whole 16 MiB flash, or an empty array when no dump arrived.
    QByteArray dumpFlash()
    {
        QFile::remove(flashPath);
        if (process_.state() != QProcess::Running || ::kill(pid_t(process_.processId()), SIGUSR1) != 0)
            return {};
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 10000) {
            // The dump is written beside the name and renamed into place.
            if (QFile::exists(flashPath)) {
                QFile file(flashPath);
                if (file.open(QIODevice::ReadOnly))
                    return file.readAll();
            }
            QThread::msleep(20);
        }
        return {};
    }

    quint16 port = 0;
    QString logPath;
    QString flashPath;

private:
    QTemporaryDir dir_;
    QProcess process_;
};
