#include <PellinLumberjack/DDLoggerQueue.h>

#include <pthread.h>

#include <chrono>
#include <system_error>
#include <utility>

#include "QueuedMessage.h"

namespace lumberjack {
namespace {

// Set on a worker thread for its whole life: a worker must never wait for a queue (it could
// be waiting for itself, or for a worker that waits for it).
thread_local const DDLoggerQueue* workerQueue = nullptr;

// Long enough that a burst of log calls gathers without waking the worker per line, short
// enough that an asynchronous line reaches its file at once for a reader.
constexpr auto kNap = std::chrono::milliseconds(2);

// An idle queue keeps room for this many messages, and this many bytes of their texts; the
// room a burst needed is given back.
constexpr std::size_t kEntriesKeptWhenIdle = 256;
constexpr std::size_t kTextsKeptWhenIdle = 256 * 128;

}  // namespace

DDLoggerQueue::DDLoggerQueue(Handler handler, BatchDone batchDone)
    : handler_(std::move(handler)),
      batchDone_(std::move(batchDone)),
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

void DDLoggerQueue::handle(const Batch& batch, Ticket first, detail::MessageMaker& maker) {
    const std::string_view texts(batch.texts);
    std::size_t textsStart = 0;
    for (std::size_t i = 0; i < batch.entries.size(); ++i) {
        const Batch::Entry& entry = batch.entries[i];
        const std::string_view entryTexts = texts.substr(textsStart, entry.textsEnd - textsStart);
        textsStart = entry.textsEnd;
        if (first + i <= droppedThrough_.load(std::memory_order_relaxed)) {
            continue;
        }
        try {
            handler_(maker.make(entry.message, entryTexts));
        } catch (...) {
            // A sink that fails on one message loses that line, not the process.
        }
    }
    try {
        batchDone_();
    } catch (...) {
    }
}

// No thread could be started: the lines are written on the caller rather than lost.
void DDLoggerQueue::handleOnCallerLocked(std::unique_lock<std::mutex>& lock) {
    Batch batch;
    std::swap(batch, pending_);
    const std::size_t count = batch.entries.size();
    const Ticket first = handledCount_ + 1;
    lock.unlock();
    detail::MessageMaker maker;
    handle(batch, first, maker);
    lock.lock();
    handledCount_ += count;
    handled_->notify_all();
}

DDLoggerQueue::Ticket DDLoggerQueue::enqueue(const DDQueuedMessage& message, std::string_view texts,
                                             bool urgent) {
    std::unique_lock lock(mutex_);
    if (refusing_) {
        return 0;
    }
    if (pending_.entries.size() >= kMaximumPending && !isOnWorkerThread() &&
        state_ != WorkerState::None) {
        urgent_ = true;
        wakeWorker_->notify_one();
        spaceFreed_->wait(lock, [this] {
            return pending_.entries.size() < kMaximumPending || state_ == WorkerState::None ||
                   refusing_;
        });
        if (refusing_) {
            return 0;
        }
    }
    const std::size_t textsStart = pending_.texts.size();
    try {
        pending_.texts.append(texts);
        pending_.entries.push_back({message, pending_.texts.size()});
    } catch (...) {
        pending_.texts.resize(textsStart);  // no texts without their entry
        throw;
    }
    const Ticket ticket = ++enqueuedCount_;
    if (state_ == WorkerState::None) {
        startWorkerLocked();
    }
    if (state_ == WorkerState::None) {
        handleOnCallerLocked(lock);
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
    if (handledCount_ >= ticket || refusing_) {
        return;
    }
    urgent_ = true;
    wakeWorker_->notify_one();
    handled_->wait(lock, [this, ticket] { return handledCount_ >= ticket; });
}

bool DDLoggerQueue::waitUntilHandled(Ticket ticket, Deadline deadline) {
    if (isOnWorkerThread()) {
        return true;
    }
    std::unique_lock lock(mutex_);
    if (handledCount_ >= ticket || refusing_) {
        return true;
    }
    urgent_ = true;
    wakeWorker_->notify_one();
    return handled_->wait_until(lock, deadline, [this, ticket] { return handledCount_ >= ticket; });
}

bool DDLoggerQueue::drainUntil(Deadline deadline) {
    Ticket last = 0;
    {
        std::lock_guard lock(mutex_);
        last = enqueuedCount_;
    }
    return waitUntilHandled(last, deadline);
}

std::size_t DDLoggerQueue::dropUnhandled() {
    std::lock_guard lock(mutex_);
    droppedThrough_.store(enqueuedCount_, std::memory_order_relaxed);
    return static_cast<std::size_t>(enqueuedCount_ - handledCount_);
}

void DDLoggerQueue::refuseFurtherMessages() {
    std::lock_guard lock(mutex_);
    refusing_ = true;
    // A caller held up by a full queue must not wait for this one any more either.
    spaceFreed_->notify_all();
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

void DDLoggerQueue::releaseIdleRoomLocked() {
    for (Batch* batch : {&pending_, &handling_}) {
        if (batch->entries.empty() && (batch->entries.capacity() > kEntriesKeptWhenIdle ||
                                       batch->texts.capacity() > kTextsKeptWhenIdle)) {
            *batch = Batch();
        }
    }
}

void DDLoggerQueue::run() {
    workerQueue = this;
    pthread_setname_np(pthread_self(), "DDLogQueue");
    std::unique_lock lock(mutex_);
    bool napped = false;
    detail::MessageMaker maker;
    for (;;) {
        if (pending_.entries.empty()) {
            if (stopping_) {
                break;
            }
            if (!napped) {
                state_ = WorkerState::Napping;
                wakeWorker_->wait_for(lock, kNap, [this] { return urgent_ || stopping_; });
                napped = true;
            } else {
                releaseIdleRoomLocked();
                state_ = WorkerState::Sleeping;
                wakeWorker_->wait(lock, [this] { return !pending_.entries.empty() || stopping_; });
            }
            continue;
        }
        state_ = WorkerState::Running;
        urgent_ = false;
        napped = false;
        std::swap(handling_, pending_);
        const std::size_t count = handling_.entries.size();
        const Ticket first = handledCount_ + 1;
        lock.unlock();
        spaceFreed_->notify_all();
        handle(handling_, first, maker);
        handling_.clear();
        lock.lock();
        handledCount_ += count;
        handled_->notify_all();
    }
    releaseIdleRoomLocked();
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
    // The parent's worker may have been in the middle of `handling_`.
    pending_.clear();
    handling_.clear();
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
