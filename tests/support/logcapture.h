// Collects the lines written to Qt's message stream while it lives, and
// forwards them too unless the innermost capture was made quiet. Captures nest: an inner one records alongside the outer
// ones. Create and destroy them on one thread, innermost first; the handler
// itself may be called from any thread.
#pragma once

#include <QMutex>
#include <QStringList>
#include <QtGlobal>

class LogCapture {
public:
    explicit LogCapture(bool echo = true) : echo_(echo)
    {
        QMutexLocker lock(&mutex());
        outer_ = current();
        current() = this;
        if (!outer_)
            original() = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture()
    {
        QMutexLocker lock(&mutex());
        current() = outer_;
        if (!outer_)
            qInstallMessageHandler(original());
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const
    {
        QMutexLocker lock(&mutex());
        return lines_;
    }
    bool contains(const QString &line) const { return lines().contains(line); }
    QStringList startingWith(const QString &prefix) const
    {
        QStringList out;
        for (const QString &line : lines())
            if (line.startsWith(prefix))
                out << line;
        return out;
    }
    int count(const QString &prefix) const { return startingWith(prefix).size(); }
    void clear()
    {
        QMutexLocker lock(&mutex());
        lines_.clear();
    }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &msg)
    {
        QtMessageHandler forward;
        {
            QMutexLocker lock(&mutex());
            for (LogCapture *c = current(); c; c = c->outer_)
                c->lines_ << msg;
            forward = current() && current()->echo_ ? original() : nullptr;
        }
        if (forward)
            forward(type, context, msg);
    }
    static QMutex &mutex()
    {
        static QMutex m;
        return m;
    }
    static LogCapture *&current()
    {
        static LogCapture *c = nullptr;
        return c;
    }
    static QtMessageHandler &original()
    {
        static QtMessageHandler h = nullptr;
        return h;
    }

    bool echo_;
    LogCapture *outer_ = nullptr;
    QStringList lines_;
};
