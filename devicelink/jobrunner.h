// The one place flash jobs start, for the window and the command line alike.
// Each job runs on a worker thread with a channel of its own, at most
// `parallel` at a time; its progress and its ending come back as signals,
// queued to the thread the runner lives in. Cancelling stops a running job
// between two exchanges and ends a waiting one before anything is sent.
#pragma once

#include "devicerecord.h"
#include "endings.h"
#include "flashjob.h"
#include "history.h"

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct JobTask {
    DeviceRecord camera;                   // the camera as discovery found it
    std::shared_ptr<DeviceAccess> access;  // its channel; one is made from `camera` when null
    flash::JobPlan plan;
    int probeAttempts = 0;  // presence checks before the job; 0: the caller checked
    // The history line's file, SHA-256 and front end. A dry run (plan.dryRun)
    // writes no history line, nor anything else.
    history::Source history;
};

struct JobReport {
    int id = -1;
    DeviceRecord camera;
    endings::Ending ending;
    flash::JobOutcome outcome;
    double seconds = 0;
    QString historyProblem;  // why the history line could not be written; empty when it was
};
Q_DECLARE_METATYPE(JobReport)

class JobRunner : public QObject {
    Q_OBJECT

public:
    // `parallel`: jobs running at once; 0 for no limit.
    explicit JobRunner(int parallel = 0, QObject *parent = nullptr);
    // Stops every job between two exchanges and waits for its thread.
    ~JobRunner() override;

    void setParallel(int parallel);
    // Every job also stops when `flag` turns true (Ctrl+C); read from any thread.
    void setSharedStop(const std::atomic<bool> *flag);
    // Where every job's ending is recorded, before finished() is emitted
    // (default: history::defaultPath()).
    void setHistoryPath(const QString &path);

    // Queues a job; it starts as soon as fewer than `parallel` run. Its id.
    int start(JobTask task);
    void cancel(int id);
    void cancelAll();
    // Jobs waiting or running.
    int activeCount() const;
    // Blocks until no job is active; their signals may still be queued.
    void waitForAll();

signals:
    // Emitted on the worker threads; connect with a receiver to have them queued.
    void progress(int id, const flash::JobProgress &progress);
    void finished(const JobReport &report);
    void idle();  // the last active job has finished

private:
    struct Entry {
        int id = 0;
        JobTask task;
        std::unique_ptr<flash::FlashJob> job;
        bool cancelledBeforeStart = false;
    };
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void work(const std::shared_ptr<std::atomic<bool>> &done);
    JobReport run(Entry &entry);
    void reapWorkers();  // under lock_

    mutable std::mutex lock_;
    std::condition_variable allDone_;
    std::map<int, std::unique_ptr<Entry>> entries_;  // active: waiting or running
    std::deque<int> waiting_;
    std::vector<Worker> workers_;
    int running_ = 0;  // workers started and not yet out of their loop
    int parallel_ = 0;
    int nextId_ = 1;
    const std::atomic<bool> *sharedStop_ = nullptr;
    QString historyPath_;  // under lock_
};
