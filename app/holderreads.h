// Who controls each camera, read in the background after a Refresh: a few
// threads, each camera on a channel of its own, every read bounded by the
// channel's exchanges. The answers come back on the receiver's thread; a new
// batch forgets what the last one had not read yet.
#pragma once

#include "control.h"
#include "devicerecord.h"

#include <QObject>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class HolderReads {
public:
    using Answer = std::function<void(const QString &key, const control::Holder &holder)>;

    // `answer` runs on `receiver`'s thread; `receiver` must outlive this object.
    HolderReads(QObject *receiver, Answer answer, int threads = 8);
    // Drops what waits and waits for the reads under way (each bounded).
    ~HolderReads();
    HolderReads(const HolderReads &) = delete;
    HolderReads &operator=(const HolderReads &) = delete;

    // `keys[i]` names `cameras[i]` in the answer.
    void read(const QList<DeviceRecord> &cameras, const QStringList &keys);

private:
    struct Item {
        DeviceRecord camera;
        QString key;
        unsigned batch;
    };
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void work(const std::shared_ptr<std::atomic<bool>> &done);
    void reap();  // under lock_

    QObject *receiver_;
    Answer answer_;
    const int maxThreads_;
    std::mutex lock_;
    std::deque<Item> waiting_;
    std::vector<Worker> workers_;
    int running_ = 0;
    unsigned batch_ = 0;
};
