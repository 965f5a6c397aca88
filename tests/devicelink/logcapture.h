// Collects the lines written to Qt's debug stream while it is alive.
#pragma once

#include <QMutex>
#include <QStringList>
#include <QtGlobal>

class LogCapture {
public:
    LogCapture()
    {
        QMutexLocker lock(&mutex());
        lines().clear();
        previous() = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture() { qInstallMessageHandler(previous()); }

    QStringList all() const
    {
        QMutexLocker lock(&mutex());
        return lines();
    }
    QStringList startingWith(const QString &prefix) const
    {
        QStringList out;
        for (const QString &line : all())
            if (line.startsWith(prefix))
                out.append(line);
        return out;
    }
    int count(const QString &prefix) const { return startingWith(prefix).size(); }
    void clear()
    {
        QMutexLocker lock(&mutex());
        lines().clear();
    }

private:
    static void handler(QtMsgType, const QMessageLogContext &, const QString &message)
    {
        QMutexLocker lock(&mutex());
        lines().append(message);
    }
    static QMutex &mutex()
    {
        static QMutex m;
        return m;
    }
    static QStringList &lines()
    {
        static QStringList l;
        return l;
    }
    static QtMessageHandler &previous()
    {
        static QtMessageHandler h = nullptr;
        return h;
    }
};
