// The programming worker: idles polling its flags every 100 ms and runs one
// job each time it is asked to.
#pragma once

#include <QThread>
#include <atomic>
#include <functional>

class SendThread : public QThread {
    Q_OBJECT

public:
    using Job = std::function<void()>;
    SendThread(QObject *parent, Job job);

    void requestProgram() { workFlag = true; }
    void requestStop() { stopFlag = true; }

signals:
    void step(int num, bool verify);
    void msg(QString title, QString str);

protected:
    void run() override;

private:
    std::atomic<bool> stopFlag{false};
    std::atomic<bool> workFlag{false};
    Job job_;
};
