#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <PellinFoundation/Export.h>
#include <PellinLumberjack/DDLogMessage.h>

namespace lumberjack {

namespace detail {
class MessageMaker;
}

// What a log call leaves in a queue: only what has to happen on the caller's thread (the time,
// the thread's label, a copy of the arguments). The worker makes the sink's DDLogMessage of it.
struct DDQueuedMessage {
    long level = 0;
    DDLogFlag flag = DDLogFlagInfo;
    long context = 0;
    unsigned long line = 0;
    std::chrono::system_clock::time_point timestamp;
    std::array<char, 32> queueLabel{};  // NUL-terminated
    // false: file, function and format are texts of the calling site that live as long as the
    // process (string literals), and the message's texts are the captured arguments
    // (foundation::format_detail::capture). true: they are copies of file, function and tag,
    // each ending in NUL, followed by the message's text.
    bool copiedTexts = false;
    const char* file = nullptr;
    const char* function = nullptr;
    std::string_view format;
};

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
// losing lines. The caller copies only what it must (DDQueuedMessage, and the texts its
// message is made of, all into one buffer per batch); the worker makes the message. A batch is
// emptied, not freed, once handled: in a steady stream of lines neither side allocates memory.
// An idle queue gives the room of a burst back.
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

    // Appends a copy of `message` with its `texts` and returns its ticket; starts the worker
    // when there is none. `urgent` wakes the worker now (the caller is going to wait for it).
    Ticket enqueue(const DDQueuedMessage& message, std::string_view texts, bool urgent);
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

    // Messages waiting together: their fixed parts side by side, their texts one after another
    // in one buffer.
    struct Batch {
        struct Entry {
            DDQueuedMessage message;
            std::size_t textsEnd;  // the texts start where those of the entry before end
        };
        std::vector<Entry> entries;
        std::string texts;

        void clear() {
            entries.clear();
            texts.clear();
        }
    };

    void run();
    void startWorkerLocked();
    void handleOnCallerLocked(std::unique_lock<std::mutex>& lock);
    void releaseIdleRoomLocked();

    void handle(const Batch& batch, Ticket first, detail::MessageMaker& maker);

    Handler handler_;
    BatchDone batchDone_;
    std::mutex mutex_;
    // Held through pointers so that the child of a fork can replace them: a condition variable
    // may carry waiters of threads that do not exist there.
    std::unique_ptr<std::condition_variable> wakeWorker_;
    std::unique_ptr<std::condition_variable> handled_;
    std::unique_ptr<std::condition_variable> spaceFreed_;
    // The messages that wait for the worker; it swaps them with its own, emptied `handling_`.
    Batch pending_;
    Batch handling_;
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
