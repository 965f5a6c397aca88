#include "holderreads.h"

#include "camerachannel.h"

HolderReads::HolderReads(QObject *receiver, Answer answer, int threads)
    : receiver_(receiver), answer_(std::move(answer)), maxThreads_(threads)
{
}

HolderReads::~HolderReads()
{
    std::vector<Worker> workers;
    {
        std::lock_guard<std::mutex> lock(lock_);
        waiting_.clear();
        ++batch_;  // nothing under way is answered any more
        workers.swap(workers_);
    }
    for (Worker &w : workers)
        w.thread.join();
}

void HolderReads::read(const QList<DeviceRecord> &cameras, const QStringList &keys)
{
    std::lock_guard<std::mutex> lock(lock_);
    reap();
    waiting_.clear();
    ++batch_;
    for (int i = 0; i < cameras.size() && i < keys.size(); ++i)
        waiting_.push_back({cameras[i], keys[i], batch_});
    while (running_ < maxThreads_ && running_ < int(waiting_.size())) {
        ++running_;
        auto done = std::make_shared<std::atomic<bool>>(false);
        workers_.push_back({std::thread([this, done] { work(done); }), done});
    }
}

void HolderReads::reap()
{
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void HolderReads::work(const std::shared_ptr<std::atomic<bool>> &done)
{
    for (;;) {
        Item item;
        {
            std::lock_guard<std::mutex> lock(lock_);
            if (waiting_.empty()) {
                --running_;
                done->store(true);
                return;
            }
            item = waiting_.front();
            waiting_.pop_front();
        }
        CameraChannel channel(item.camera);
        const control::Holder holder = control::readHolder(channel);
        std::lock_guard<std::mutex> lock(lock_);
        if (item.batch != batch_)
            continue;
        const Answer answer = answer_;
        const QString key = item.key;
        QMetaObject::invokeMethod(
            receiver_, [answer, key, holder] { answer(key, holder); }, Qt::QueuedConnection);
    }
}
