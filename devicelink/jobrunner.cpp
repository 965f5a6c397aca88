#include "jobrunner.h"

#include "camerachannel.h"
#include "control.h"
#include "gvcp.h"
#include "logging.h"
#include "timerresolution.h"

#include <QDir>
#include <QElapsedTimer>

namespace {

// Control of a camera for the length of one job: while held, no exchange
// waits for its reply longer than the keep-alive schedule allows; released on
// every way out, unless another application has taken it meanwhile.
class HeldControl {
public:
    HeldControl(DeviceAccess &camera, const control::Grant &grant)
        : camera_(camera), held_(grant.state == control::Grant::State::Held)
    {
        if (held_)
            camera_.capReplyWait(control::keepAliveFor(grant.heartbeatMs).replyWaitMs);
    }
    ~HeldControl()
    {
        if (!held_)
            return;
        camera_.capReplyWait(0);
        if (!lost_)
            control::release(camera_);
    }
    HeldControl(const HeldControl &) = delete;
    HeldControl &operator=(const HeldControl &) = delete;

    bool held() const { return held_; }
    void markLost() { lost_ = true; }

private:
    DeviceAccess &camera_;
    const bool held_;
    bool lost_ = false;
};

// Whether another application holds the camera, as a real run would find
// when it takes control; then `ending` says so.
bool dryRunMeetsHolder(DeviceAccess &camera, endings::Ending &ending, flash::JobKind kind)
{
    const control::Holder holder = control::readHolder(camera);
    if (holder.state != control::Holder::State::Held)
        return false;
    ending = endings::inUse(endings::operationOf(kind), holder);
    return true;
}

bool refusedAccess(const flash::JobOutcome &o)
{
    return o.result == flash::JobResult::CameraError && o.cause.status == gvcp::StatusAccessDenied;
}

}  // namespace

JobRunner::JobRunner(int parallel, QObject *parent)
    : QObject(parent), parallel_(parallel), historyPath_(history::defaultPath())
{
    qRegisterMetaType<flash::JobProgress>();
    qRegisterMetaType<JobReport>();
}

JobRunner::~JobRunner()
{
    cancelAll();
    waitForAll();
}

void JobRunner::setParallel(int parallel)
{
    std::lock_guard<std::mutex> lock(lock_);
    parallel_ = parallel;
}

void JobRunner::setSharedStop(const std::atomic<bool> *flag)
{
    std::lock_guard<std::mutex> lock(lock_);
    sharedStop_ = flag;
}

void JobRunner::setHistoryPath(const QString &path)
{
    std::lock_guard<std::mutex> lock(lock_);
    historyPath_ = path;
}

int JobRunner::start(JobTask task)
{
    std::lock_guard<std::mutex> lock(lock_);
    reapWorkers();
    auto entry = std::make_unique<Entry>();
    entry->id = nextId_++;
    entry->job = std::make_unique<flash::FlashJob>(task.plan);
    entry->task = std::move(task);
    const int id = entry->id;
    entries_[id] = std::move(entry);
    waiting_.push_back(id);
    if (parallel_ <= 0 || running_ < parallel_) {
        ++running_;
        auto done = std::make_shared<std::atomic<bool>>(false);
        workers_.push_back({std::thread([this, done] { work(done); }), done});
    }
    return id;
}

void JobRunner::cancel(int id)
{
    std::lock_guard<std::mutex> lock(lock_);
    const auto it = entries_.find(id);
    if (it == entries_.end())
        return;
    it->second->cancelledBeforeStart = true;  // read only while it waits
    it->second->job->cancel();
}

void JobRunner::cancelAll()
{
    std::lock_guard<std::mutex> lock(lock_);
    for (auto &entry : entries_) {
        entry.second->cancelledBeforeStart = true;
        entry.second->job->cancel();
    }
}

int JobRunner::activeCount() const
{
    std::lock_guard<std::mutex> lock(lock_);
    return int(entries_.size());
}

void JobRunner::waitForAll()
{
    std::vector<Worker> workers;
    {
        std::unique_lock<std::mutex> lock(lock_);
        allDone_.wait(lock, [this] { return entries_.empty() && running_ == 0; });
        workers.swap(workers_);
    }
    for (Worker &w : workers)
        w.thread.join();
}

void JobRunner::reapWorkers()
{
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->done->load()) {
            it->thread.join();  // it has left its loop: the join does not wait
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void JobRunner::work(const std::shared_ptr<std::atomic<bool>> &done)
{
    tightenThreadTimerSlack();
    for (;;) {
        Entry *entry = nullptr;
        {
            std::lock_guard<std::mutex> lock(lock_);
            if (waiting_.empty()) {
                --running_;
                done->store(true);
                allDone_.notify_all();
                return;
            }
            entry = entries_[waiting_.front()].get();
            waiting_.pop_front();
        }
        const JobReport report = run(*entry);
        emit finished(report);
        bool nowIdle = false;
        {
            std::lock_guard<std::mutex> lock(lock_);
            entries_.erase(report.id);
            nowIdle = entries_.empty();
        }
        // After its own finished(): a receiver sees every ending before idle.
        if (nowIdle)
            emit idle();
    }
}

JobReport JobRunner::run(Entry &entry)
{
    QElapsedTimer clock;
    clock.start();
    JobReport report;
    report.id = entry.id;
    report.camera = entry.task.camera;
    const flash::JobKind kind = entry.task.plan.kind;
    const std::atomic<bool> *sharedStop;
    bool cancelled;
    QString historyPath;
    {
        std::lock_guard<std::mutex> lock(lock_);
        sharedStop = sharedStop_;
        cancelled = entry.cancelledBeforeStart || (sharedStop && sharedStop->load());
        historyPath = historyPath_;
    }
    // Every ending of a real run is recorded, a cancelled or failed one too.
    auto recorded = [&](JobReport &r) -> JobReport & {
        if (entry.task.plan.dryRun)
            return r;
        QString error;
        if (!history::append(historyPath,
                             history::entryOf(r.camera, r.ending, entry.task.history,
                                              r.outcome.programmed, r.seconds),
                             error))
            r.historyProblem = QStringLiteral("The history file %1 was not written: %2")
                                   .arg(QDir::toNativeSeparators(historyPath), error);
        return r;
    };
    if (cancelled) {
        report.ending = endings::of(endings::operationOf(kind), endings::Result::NotStarted);
        report.seconds = clock.elapsed() / 1000.0;
        return recorded(report);
    }
    std::shared_ptr<DeviceAccess> access = entry.task.access;
    if (!access)
        access = std::make_shared<CameraChannel>(entry.task.camera);
    if (entry.task.probeAttempts > 0 && !cameraAnswers(*access, entry.task.probeAttempts)) {
        report.ending = endings::of(endings::operationOf(kind), endings::Result::NotPresent);
    } else if (entry.task.plan.dryRun && dryRunMeetsHolder(*access, report.ending, kind)) {
        // A dry run writes nothing, not even the privilege register: it only
        // says that a real run would be refused.
    } else if (const control::Grant grant =
                   entry.task.plan.dryRun ? control::Grant() : control::take(*access);
               grant.state == control::Grant::State::InUse) {
        report.ending = endings::inUse(endings::operationOf(kind), control::readHolder(*access));
    } else {
        HeldControl held(*access, grant);
        const int id = entry.id;
        report.outcome = entry.job->run(
            *access, [this, id](const flash::JobProgress &p) { emit progress(id, p); }, sharedStop);
        report.ending = endings::fromOutcome(kind, report.outcome);
        // Its heartbeat lapsed (a cable fault) and another application took it.
        if (held.held() && refusedAccess(report.outcome)) {
            held.markLost();
            report.ending =
                endings::lostControl(kind, report.outcome, control::readHolder(*access));
        }
    }
    report.seconds = clock.elapsed() / 1000.0;
    return recorded(report);
}
