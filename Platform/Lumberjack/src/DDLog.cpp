#include <PellinLumberjack/DDAbstractLogger.h>
#include <PellinLumberjack/DDLog.h>

#include <pthread.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "QueuedMessage.h"
#include "StandardErrorNotice.h"
#include "ThreadLabel.h"

namespace lumberjack {
namespace {

using Deadline = DDLoggerQueue::Deadline;

// How long a flush, and the end of the process, waits at most for the sinks in all. A sink
// that has not written its lines by then cannot write (standard error a pipe nobody reads, a
// disk that hangs); waiting longer would only keep the process from ending.
constexpr std::chrono::seconds kFlushBound{2};

struct Registry {
    std::mutex mutex;
    std::vector<std::shared_ptr<DDAbstractLogger>> loggers;
    // Lets a log call with no sink registered return before it builds a message.
    std::atomic<std::size_t> count{0};
    // Set once the process has begun to end: from then on every message is written before its
    // log call returns, so that a line logged by a later static destructor is not left behind,
    // but no later than the end's deadline.
    std::atomic<bool> ending{false};
    std::atomic<Deadline::rep> endingDeadline{0};
};

void prepareForFork();
void afterForkInParent();
void afterForkInChild();

Registry& registry() {
    // Never destroyed: worker threads and late static destructors may still reach it at exit.
    static Registry* instance = [] {
        auto* r = new Registry;
        pthread_atfork(prepareForFork, afterForkInParent, afterForkInChild);
        return r;
    }();
    return *instance;
}

void prepareForFork() {
    Registry& r = registry();
    r.mutex.lock();
    for (const auto& logger : r.loggers) {
        logger->prepareForFork();
    }
}

void afterForkInParent() {
    Registry& r = registry();
    for (const auto& logger : r.loggers) {
        logger->afterForkInParent();
    }
    r.mutex.unlock();
}

void afterForkInChild() {
    Registry& r = registry();
    for (const auto& logger : r.loggers) {
        logger->afterForkInChild();
    }
    r.mutex.unlock();
    detail::forgetCurrentThreadLabel();
}

// Nothing when the registry could not be had before `deadline`: a thread may hold it while it
// waits for room in the queue of a sink that cannot write, and must not hold up the end of the
// process. (Tried rather than a timed lock, which ThreadSanitizer cannot follow.)
std::vector<std::shared_ptr<DDAbstractLogger>> registeredLoggers(Deadline deadline) {
    Registry& r = registry();
    std::unique_lock lock(r.mutex, std::try_to_lock);
    while (!lock.owns_lock() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        static_cast<void>(lock.try_lock());
    }
    if (!lock.owns_lock()) {
        return {};
    }
    return r.loggers;
}

// Waits until every sink has written what it was handed, but no later than `deadline`. What a
// sink has not written by then is dropped, and at the end of the process that sink takes
// nothing more. Returns how many lines were dropped.
std::size_t writeEverythingBefore(Deadline deadline, bool processEnds) {
    std::size_t dropped = 0;
    for (const auto& logger : registeredLoggers(deadline)) {
        DDLoggerQueue& queue = logger->loggerQueue();
        if (!queue.drainUntil(deadline)) {
            dropped += queue.dropUnhandled();
            if (processEnds) {
                queue.refuseFurtherMessages();
            }
        }
    }
    return dropped;
}

void tellDropped(std::size_t dropped) {
    if (dropped == 0) {
        return;
    }
    detail::tellOnStandardError(
        std::to_string(dropped) + (dropped == 1 ? " log line" : " log lines") +
        " could not be written within " + std::to_string(kFlushBound.count()) + " seconds and " +
        (dropped == 1 ? "was" : "were") + " dropped");
}

void flushAtProcessEnd() noexcept try {
    Registry& r = registry();
    const Deadline deadline = std::chrono::steady_clock::now() + kFlushBound;
    r.endingDeadline.store(deadline.time_since_epoch().count());
    // exit() on a sink's own queue: that queue cannot wait for itself.
    if (!DDLoggerQueue::isOnWorkerThread()) {
        tellDropped(writeEverythingBefore(deadline, true));
    }
    r.ending.store(true);
} catch (...) {
}

// exit(), a return from main and quick_exit() all pass through here. This library's static
// objects are destroyed after those of the programs and libraries that link it, so their
// lines are already queued by then.
struct ProcessEndFlush {
    ProcessEndFlush() { std::at_quick_exit(flushAtProcessEnd); }
    ~ProcessEndFlush() { flushAtProcessEnd(); }
    ProcessEndFlush(const ProcessEndFlush&) = delete;
    ProcessEndFlush& operator=(const ProcessEndFlush&) = delete;
};

const ProcessEndFlush processEndFlush;

}  // namespace

void DDLog::addLogger(std::shared_ptr<DDAbstractLogger> logger) {
    if (!logger) {
        return;
    }
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (std::find(r.loggers.begin(), r.loggers.end(), logger) != r.loggers.end()) {
        return;  // a sink registered twice would write every line twice
    }
    try {
        r.loggers.push_back(std::move(logger));
    } catch (...) {
        return;
    }
    r.count.store(r.loggers.size());
}

void DDLog::removeLogger(const std::shared_ptr<DDAbstractLogger>& logger) {
    if (!logger) {
        return;
    }
    Registry& r = registry();
    {
        std::lock_guard lock(r.mutex);
        const auto found = std::find(r.loggers.begin(), r.loggers.end(), logger);
        if (found == r.loggers.end()) {
            return;
        }
        r.loggers.erase(found);
        r.count.store(r.loggers.size());
    }
    logger->loggerQueue().stop();
    logger->flush();
}

namespace {

// The part of a message that the calling thread has to make: the time and place of the call.
DDQueuedMessage queuedMessage(long level, DDLogFlag flag, long context, unsigned long line) {
    DDQueuedMessage m;
    m.level = level;
    m.flag = flag;
    m.context = context;
    m.line = line;
    m.timestamp = std::chrono::system_clock::now();
    m.queueLabel = detail::currentThreadLabel();
    return m;
}

// Hands the message to every sink: the registry's lock keeps one order of messages for all
// sinks. With `asynchronous` false, and at the end of the process, it returns only after every
// sink has taken it.
void handOver(Registry& r, const DDQueuedMessage& m, std::string_view texts, bool asynchronous) {
    if (asynchronous && !r.ending.load(std::memory_order_relaxed)) {
        std::lock_guard lock(r.mutex);
        for (const auto& logger : r.loggers) {
            logger->loggerQueue().enqueue(m, texts, false);
        }
        return;
    }
    // Wait outside the registry's lock, so that other threads keep logging meanwhile.
    std::vector<std::pair<std::shared_ptr<DDAbstractLogger>, DDLoggerQueue::Ticket>> tickets;
    {
        std::lock_guard lock(r.mutex);
        tickets.reserve(r.loggers.size());
        for (const auto& logger : r.loggers) {
            tickets.emplace_back(logger, logger->loggerQueue().enqueue(m, texts, true));
        }
    }
    if (!r.ending.load(std::memory_order_relaxed)) {
        for (const auto& [logger, ticket] : tickets) {
            logger->loggerQueue().waitUntilHandled(ticket);
        }
        return;
    }
    const Deadline deadline{Deadline::duration(r.endingDeadline.load())};
    for (const auto& [logger, ticket] : tickets) {
        DDLoggerQueue& queue = logger->loggerQueue();
        if (!queue.waitUntilHandled(ticket, deadline)) {
            queue.dropUnhandled();
            queue.refuseFurtherMessages();
        }
    }
}

// Room for the captured arguments of a usual log call on the caller's stack.
constexpr std::size_t kCapturedOnStack = 256;

}  // namespace

void DDLog::log(bool asynchronous, long level, DDLogFlag flag, long context, const char* file,
                const char* function, unsigned long line, const char* tag,
                std::string message) try {
    Registry& r = registry();
    if (r.count.load(std::memory_order_relaxed) == 0) {
        return;
    }
    DDQueuedMessage m = queuedMessage(level, flag, context, line);
    m.copiedTexts = true;
    handOver(r, m, detail::copiedTexts(file, function, tag, message), asynchronous);
} catch (...) {
    // Out of memory: the line is lost, the caller carries on.
}

void DDLog::log(bool asynchronous, long level, DDLogFlag flag, const char* file,
                const char* function, unsigned long line, std::string_view format,
                std::span<const foundation::format_detail::Argument> arguments) try {
    Registry& r = registry();
    if (r.count.load(std::memory_order_relaxed) == 0) {
        return;
    }
    DDQueuedMessage m = queuedMessage(level, flag, 0, line);
    m.file = file;
    m.function = function;
    m.format = format;
    const std::size_t size = foundation::format_detail::capturedSize(arguments);
    std::array<char, kCapturedOnStack> onStack;
    std::string onHeap;
    char* captured = onStack.data();
    if (size > onStack.size()) {
        onHeap.resize(size);
        captured = onHeap.data();
    }
    foundation::format_detail::capture(arguments, captured);
    handOver(r, m, std::string_view(captured, size), asynchronous);
} catch (...) {
    // Out of memory: the line is lost, the caller carries on.
}

void DDLog::flushLog() try {
    if (DDLoggerQueue::isOnWorkerThread()) {
        // A sink's own queue cannot wait for itself, and holds its sink's lock.
        return;
    }
    tellDropped(writeEverythingBefore(std::chrono::steady_clock::now() + kFlushBound, false));
} catch (...) {
}

}  // namespace lumberjack
