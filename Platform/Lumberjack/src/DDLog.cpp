#include <PellinLumberjack/DDAbstractLogger.h>
#include <PellinLumberjack/DDLog.h>

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <mutex>
#include <vector>

namespace lumberjack {
namespace {

struct Registry {
    std::mutex mutex;
    std::vector<std::shared_ptr<DDAbstractLogger>> loggers;
};

Registry& registry() {
    static Registry* instance = new Registry;  // lives until the process ends
    return *instance;
}

std::string lastPathComponent(const char* path) {
    const std::string_view text = path ? path : "";
    const std::size_t slash = text.rfind('/');
    return std::string(slash == std::string_view::npos ? text : text.substr(slash + 1));
}

std::string threadLabel() {
    if (getpid() == gettid()) {
        return "main";
    }
    std::array<char, 32> name{};
    if (pthread_getname_np(pthread_self(), name.data(), name.size()) == 0 && name[0] != '\0') {
        return name.data();
    }
    return std::to_string(gettid());
}

}  // namespace

DDLogFormatter::~DDLogFormatter() = default;

DDAbstractLogger::DDAbstractLogger() = default;
DDAbstractLogger::~DDAbstractLogger() = default;

void DDAbstractLogger::setLogFormatter(std::unique_ptr<DDLogFormatter> formatter) {
    std::lock_guard lock(mutex_);
    formatter_ = std::move(formatter);
}

void DDAbstractLogger::logMessage(const DDLogMessage& message) {
    std::lock_guard lock(mutex_);
    if (formatter_) {
        writeLine(formatter_->formatLogMessage(message));
    } else {
        writeLine(message.message);
    }
}

void DDAbstractLogger::flush() {
    std::lock_guard lock(mutex_);
    flushWrites();
}

void DDLog::addLogger(std::shared_ptr<DDAbstractLogger> logger) {
    if (!logger) {
        return;
    }
    std::lock_guard lock(registry().mutex);
    registry().loggers.push_back(std::move(logger));
}

void DDLog::removeLogger(const std::shared_ptr<DDAbstractLogger>& logger) {
    std::lock_guard lock(registry().mutex);
    auto& loggers = registry().loggers;
    loggers.erase(std::remove(loggers.begin(), loggers.end(), logger), loggers.end());
}

void DDLog::log(bool /*asynchronous*/, long level, DDLogFlag flag, long context, const char* file,
                const char* function, unsigned long line, const char* tag, std::string message) {
    DDLogMessage m;
    m.message = std::move(message);
    m.level = level;
    m.flag = flag;
    m.context = context;
    m.file = file ? file : "";
    m.fileName = lastPathComponent(file);
    m.function = function ? function : "";
    m.line = line;
    m.tag = tag ? tag : "";
    m.timestamp = std::chrono::system_clock::now();
    m.queueLabel = threadLabel();
    std::lock_guard lock(registry().mutex);
    for (const auto& logger : registry().loggers) {
        logger->logMessage(m);
    }
}

void DDLog::flushLog() {
    std::lock_guard lock(registry().mutex);
    for (const auto& logger : registry().loggers) {
        logger->flush();
    }
}

}  // namespace lumberjack
