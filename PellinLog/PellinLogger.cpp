#include <PellinLog/LoggerFormatterClassName.h>
#include <PellinLog/PellinLogLevel.h>
#include <PellinLog/PellinLogger.h>

#include <PellinFoundation/UserDefaults.h>
#include <PellinLumberjack/DDASLLogger.h>
#include <PellinLumberjack/DDFileLogger.h>
#include <PellinLumberjack/DDLog.h>
#include <PellinLumberjack/DDTTYLogger.h>

#include <limits>
#include <mutex>

foundation::Dictionary* _logLevelMap = nullptr;

namespace {

constexpr std::string_view kLoggingDomain = "com.brenvik.bvlog";
constexpr std::string_view kLevelKey = "level";

// A formatter serves one sink only: its date formatter is not safe for concurrent use.
void install(const std::shared_ptr<lumberjack::DDAbstractLogger>& logger) {
    logger->setLogFormatter(std::make_unique<LoggerFormatterClassName>());
    lumberjack::DDLog::addLogger(logger);
}

}  // namespace

foundation::Dictionary* PellinLogger::logLevelMap() {
    static std::once_flag created;
    try {
        std::call_once(created, [] {
            if (_logLevelMap == nullptr) {
                // Lives until the process ends, like the sinks.
                _logLevelMap = new foundation::Dictionary{
                    {"ERROR", 1},  {"WARN", 3},     {"INFO", 7},
                    {"DEBUG", 15}, {"VERBOSE", 31}, {"OFF", 0},
                };
            }
        });
    } catch (...) {
    }
    return _logLevelMap;
}

void PellinLogger::setup() try {
    setupFileLogger(std::numeric_limits<unsigned long>::max());
    const auto defaults = foundation::UserDefaults::initWithSuiteName(kLoggingDomain);
    if (!defaults) {
        return;
    }
    const foundation::Value level = defaults->objectForKey(kLevelKey);
    if (!level.isNone()) {
        ddLogLevel = formatLogLevelToInt(level);
    }
} catch (...) {
    // An unreadable settings domain leaves the level as it was.
}

void PellinLogger::setupConcoleLogger(unsigned long /*logLevel*/) try {
    install(lumberjack::DDTTYLogger::sharedInstance());
} catch (...) {
}

void PellinLogger::setupAppleSystemLogger(unsigned long /*logLevel*/) try {
    install(lumberjack::DDASLLogger::sharedInstance());
} catch (...) {
}

void PellinLogger::setupFileLogger(unsigned long /*logLevel*/) try {
    auto logger = std::make_shared<lumberjack::DDFileLogger>();
    // Without an absolute home folder there is no folder to write to; the sink has said so.
    if (!logger->logFileManager().logsDirectory().empty()) {
        install(logger);
    }
} catch (...) {
}

std::int32_t PellinLogger::formatLogLevelToInt(const foundation::Value& logLevel) {
    const std::string* name = logLevel.text();
    const foundation::Dictionary* map = logLevelMap();
    if (name == nullptr || map == nullptr) {
        return 0;
    }
    const auto entry = map->find(*name);
    if (entry == map->end()) {
        return 0;
    }
    const std::int64_t* mask = entry->second.integer();
    return mask != nullptr ? static_cast<std::int32_t>(*mask) : 0;
}
