#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <PellinFoundation/Export.h>
#include <PellinLumberjack/DDLogMessage.h>

namespace lumberjack {

// The serial queue of one sink: a worker thread of its own hands the messages to the sink one
// at a time, in the order they arrived, and lets the sink flush after each batch, before the
// batch counts as written. The caller only appends; formatting and writing happen on the
// worker, so an asynchronous log call costs the caller well under a microsecond.
//
// An idle worker does not sleep at once: it waits a short moment during which callers append
// without waking it, so a burst of log calls never pays a wake-up system call per line. A
// synchronous hand-over or a flush wakes it immediately.
//
// The queue grows with a burst up to kMaximumPending messages; beyond that a caller waits for
// the worker to catch up, so a runaway producer slows down instead of exhausting memory or
// losing lines. Messages are copied into slots that are used again and again, with the room
// their texts had: in a steady stream of lines neither side allocates memory, and the worker
// never frees what the caller's thread allocated. An idle queue gives its slots back.
class PELLIN_EXPORT DDLoggerQueue {
  public:
    using Handler = std::function<void(const DDLogMessage&)>;
    using BatchDone = std::function<void()>;
    using Ticket = std::uint64_t;
    using Deadline = std::chrono::steady_clock::time_point;

    static constexpr std::size_t kMaximumPending = std::size_t{1} << 16;

    DDLoggerQueue(Handler handler, BatchDone batchDone);
    // Hands on everything still queued, then ends the worker.
    ~DDLoggerQueue();
    DDLoggerQueue(const DDLoggerQueue&) = delete;
    DDLoggerQueue& operator=(const DDLoggerQueue&) = delete;

    // Appends a copy of `message` and returns its ticket; starts the worker when there is none.
    // `urgent` wakes the worker now (the caller is going to wait for the message).
    Ticket enqueue(const DDLogMessage& message, bool urgent);
    // Returns once the message with `ticket` has been handed to the sink. A worker thread never
    // waits (it could be waiting for itself), so on a worker this returns at once.
    void waitUntilHandled(Ticket ticket);
    // The same, but no later than `deadline`; false when the message was still waiting then.
    bool waitUntilHandled(Ticket ticket, Deadline deadline);
    // Waits, no later than `deadline`, until every message appended so far has been handed to
    // the sink; false when some were still waiting then.
    bool drainUntil(Deadline deadline);
    // Gives up every message appended so far that the sink has not finished: none of them is
    // handed to it any more (the one the sink is busy with excepted). Returns how many there
    // were. For a sink that cannot write while the process has to go on or end.
    std::size_t dropUnhandled();
    // From now on messages are not taken at all (enqueue returns a ticket that counts as
    // handled), and nothing waits for this queue: the process is ending and the sink did not
    // keep up.
    void refuseFurtherMessages();
    // Drains, then ends the worker; a later enqueue starts a new one.
    void stop();

    // True on the worker thread of any sink.
    static bool isOnWorkerThread();

    // Around fork(): the parent's worker does not exist in the child, and the lock must not be
    // held by a thread that is gone. The child drops the parent's pending messages (the parent
    // writes them) and starts a worker of its own on its first message.
    void prepareForFork();
    void afterForkInParent();
    void afterForkInChild();

  private:
    enum class WorkerState { None, Running, Napping, Sleeping };

    void run();
    void startWorkerLocked();
    void handleOnCallerLocked(std::unique_lock<std::mutex>& lock);
    void releaseIdleSlotsLocked();

    void handle(const std::vector<DDLogMessage>& messages, std::size_t count, Ticket first);

    Handler handler_;
    BatchDone batchDone_;
    std::mutex mutex_;
    // Held through pointers so that the child of a fork can replace them: a condition variable
    // may carry waiters of threads that do not exist there.
    std::unique_ptr<std::condition_variable> wakeWorker_;
    std::unique_ptr<std::condition_variable> handled_;
    std::unique_ptr<std::condition_variable> spaceFreed_;
    // pending_[0, pendingCount_) wait for the worker; the slots beyond keep their room for
    // later messages. The worker swaps the whole vector with its own `handling_`.
    std::vector<DDLogMessage> pending_;
    std::size_t pendingCount_ = 0;
    std::vector<DDLogMessage> handling_;
    Ticket enqueuedCount_ = 0;
    Ticket handledCount_ = 0;
    WorkerState state_ = WorkerState::None;
    bool urgent_ = false;
    bool stopping_ = false;
    bool refusing_ = false;
    // Messages with tickets up to this one are dropped rather than handed to the sink. Read by
    // the worker for each message without the lock.
    std::atomic<Ticket> droppedThrough_{0};
    std::unique_ptr<std::thread> worker_;
};

}  // namespace lumberjack
