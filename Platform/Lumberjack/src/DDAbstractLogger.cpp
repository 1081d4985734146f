#include <PellinLumberjack/DDAbstractLogger.h>

namespace lumberjack {

DDAbstractLogger::DDAbstractLogger()
    : queue_([this](const DDLogMessage& message) { logMessage(message); }, [this] { flush(); }) {}

DDAbstractLogger::~DDAbstractLogger() = default;

void DDAbstractLogger::setLogFormatter(std::unique_ptr<DDLogFormatter> formatter) {
    std::lock_guard lock(mutex_);
    formatter_ = std::move(formatter);
}

void DDAbstractLogger::logMessage(const DDLogMessage& message) {
    std::lock_guard lock(mutex_);
    if (formatter_) {
        writeMessageLine(message, formatter_->formatLogMessage(message));
    } else {
        writeMessageLine(message, message.message);
    }
}

void DDAbstractLogger::writeMessageLine(const DDLogMessage& /*message*/, std::string_view line) {
    writeLine(line);
}

void DDAbstractLogger::flush() {
    std::lock_guard lock(mutex_);
    flushWrites();
}

// The queue's lock first: the worker takes the sink's lock only while it holds no queue lock.
void DDAbstractLogger::prepareForFork() {
    queue_.prepareForFork();
    mutex_.lock();
}

void DDAbstractLogger::afterForkInParent() {
    mutex_.unlock();
    queue_.afterForkInParent();
}

void DDAbstractLogger::afterForkInChild() {
    dropGatheredInForkedChild();
    mutex_.unlock();
    queue_.afterForkInChild();
}

}  // namespace lumberjack
