#include <PellinLumberjack/DDLoggerQueue.h>

#include <pthread.h>

#include <chrono>
#include <system_error>

namespace lumberjack {
namespace {

// Set on a worker thread for its whole life: a worker must never wait for a queue (it could
// be waiting for itself, or for a worker that waits for it).
thread_local const DDLoggerQueue* workerQueue = nullptr;

// Long enough that a burst of log calls gathers without waking the worker per line, short
// enough that an asynchronous line reaches its file at once for a reader.
constexpr auto kNap = std::chrono::milliseconds(2);

}  // namespace

DDLoggerQueue::DDLoggerQueue(Handler handler)
    : handler_(std::move(handler)),
      wakeWorker_(std::make_unique<std::condition_variable>()),
      handled_(std::make_unique<std::condition_variable>()),
      spaceFreed_(std::make_unique<std::condition_variable>()) {}

DDLoggerQueue::~DDLoggerQueue() {
    stop();
}

bool DDLoggerQueue::isOnWorkerThread() {
    return workerQueue != nullptr;
}

void DDLoggerQueue::startWorkerLocked() {
    if (worker_ && worker_->joinable()) {
        // A worker that ended on its own after a stop() raced with this message; it no longer
        // needs the lock, so joining here cannot block for long.
        worker_->join();
    }
    try {
        worker_ = std::make_unique<std::thread>([this] { run(); });
        state_ = WorkerState::Running;
    } catch (...) {
        worker_.reset();
        state_ = WorkerState::None;
    }
}

DDLoggerQueue::Ticket DDLoggerQueue::enqueue(MessagePtr message, bool urgent) {
    std::unique_lock lock(mutex_);
    if (pending_.size() >= kMaximumPending && !isOnWorkerThread() && state_ != WorkerState::None) {
        urgent_ = true;
        wakeWorker_->notify_one();
        spaceFreed_->wait(lock, [this] {
            return pending_.size() < kMaximumPending || state_ == WorkerState::None;
        });
    }
    pending_.push_back(std::move(message));
    const Ticket ticket = ++enqueuedCount_;
    if (state_ == WorkerState::None) {
        startWorkerLocked();
    }
    if (state_ == WorkerState::None) {
        // No thread could be started: the line is written on the caller rather than lost.
        std::vector<MessagePtr> batch;
        batch.swap(pending_);
        lock.unlock();
        for (const auto& m : batch) {
            try {
                handler_(*m);
            } catch (...) {
            }
        }
        lock.lock();
        handledCount_ += batch.size();
        handled_->notify_all();
        return ticket;
    }
    const bool wake = urgent || state_ == WorkerState::Sleeping;
    if (urgent) {
        urgent_ = true;
    }
    lock.unlock();
    if (wake) {
        wakeWorker_->notify_one();
    }
    return ticket;
}

void DDLoggerQueue::waitUntilHandled(Ticket ticket) {
    if (isOnWorkerThread()) {
        return;
    }
    std::unique_lock lock(mutex_);
    if (handledCount_ >= ticket) {
        return;
    }
    urgent_ = true;
    wakeWorker_->notify_one();
    handled_->wait(lock, [this, ticket] { return handledCount_ >= ticket; });
}

void DDLoggerQueue::drain() {
    Ticket last = 0;
    {
        std::lock_guard lock(mutex_);
        last = enqueuedCount_;
    }
    waitUntilHandled(last);
}

void DDLoggerQueue::stop() {
    if (workerQueue == this) {
        return;  // a worker cannot join itself
    }
    std::unique_ptr<std::thread> worker;
    {
        std::lock_guard lock(mutex_);
        if (!worker_) {
            return;
        }
        stopping_ = true;
        worker = std::move(worker_);
        wakeWorker_->notify_one();
    }
    worker->join();
    std::unique_ptr<std::thread> raced;
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
        raced = std::move(worker_);
    }
    if (raced && raced->joinable()) {
        raced->join();
    }
}

void DDLoggerQueue::run() {
    workerQueue = this;
    pthread_setname_np(pthread_self(), "DDLogQueue");
    std::vector<MessagePtr> batch;
    std::unique_lock lock(mutex_);
    bool napped = false;
    for (;;) {
        if (pending_.empty()) {
            if (stopping_) {
                break;
            }
            if (!napped) {
                state_ = WorkerState::Napping;
                wakeWorker_->wait_for(lock, kNap, [this] { return urgent_ || stopping_; });
                napped = true;
            } else {
                state_ = WorkerState::Sleeping;
                wakeWorker_->wait(lock, [this] { return !pending_.empty() || stopping_; });
            }
            continue;
        }
        state_ = WorkerState::Running;
        urgent_ = false;
        napped = false;
        batch.swap(pending_);
        lock.unlock();
        spaceFreed_->notify_all();
        for (const auto& message : batch) {
            try {
                handler_(*message);
            } catch (...) {
                // A sink that fails on one message loses that line, not the process.
            }
        }
        const std::size_t count = batch.size();
        batch.clear();
        lock.lock();
        handledCount_ += count;
        handled_->notify_all();
    }
    state_ = WorkerState::None;
    spaceFreed_->notify_all();
}

void DDLoggerQueue::prepareForFork() {
    mutex_.lock();
}

void DDLoggerQueue::afterForkInParent() {
    mutex_.unlock();
}

void DDLoggerQueue::afterForkInChild() {
    pending_.clear();
    handledCount_ = enqueuedCount_;
    // The thread object names a thread of the parent; it must be neither joined nor destroyed.
    static_cast<void>(worker_.release());
    state_ = WorkerState::None;
    urgent_ = false;
    stopping_ = false;
    static_cast<void>(wakeWorker_.release());
    static_cast<void>(handled_.release());
    static_cast<void>(spaceFreed_.release());
    wakeWorker_ = std::make_unique<std::condition_variable>();
    handled_ = std::make_unique<std::condition_variable>();
    spaceFreed_ = std::make_unique<std::condition_variable>();
    mutex_.unlock();
}

}  // namespace lumberjack
