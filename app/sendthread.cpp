#include "sendthread.h"

#include "timerresolution.h"

#include "logging.h"

SendThread::SendThread(QObject *parent, Job job) : QThread(parent), job_(std::move(job)) {}

void SendThread::run()
{
    tightenThreadTimerSlack();
    for (;;) {
        if (workFlag.exchange(false)) {
            if (job_)
                job_();
        } else {
            msleep(100);
        }
        if (stopFlag)
            break;
    }
    qCDebug(lcOrvanta) << "thread end";
}
