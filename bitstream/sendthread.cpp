#include "sendthread.h"

#include <QDebug>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

SendThread::SendThread(QObject *parent, Job job) : QThread(parent), job_(std::move(job)) {}

void SendThread::run()
{
#ifdef Q_OS_LINUX
    // Every exchange of a job holds a fixed 2 ms pause, 18 per sector; the
    // default timer slack of this thread would stretch each of them.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
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
    qDebug() << "thread end";
}
