#include <PellinLog/LoggerFormatterClassName.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string_view>

namespace {

std::string_view levelName(lumberjack::DDLogFlag flag) {
    switch (flag) {
        case lumberjack::DDLogFlagError:
            return "ERROR";
        case lumberjack::DDLogFlagWarning:
            return "WARN";
        case lumberjack::DDLogFlagInfo:
            return "INFO";
        case lumberjack::DDLogFlagDebug:
            return "DEBUG";
        case lumberjack::DDLogFlagVerbose:
            return "VERBOSE";
    }
    return "UNKNOWN";
}

std::string_view lastPathComponent(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::int64_t secondOf(std::int64_t milliseconds) {
    return milliseconds / 1000 - (milliseconds % 1000 < 0 ? 1 : 0);
}

// "yyyy/MM/dd HH:mm:ss:" of `second` in local time, as the C library reads TZ.
std::string secondInLocalTime(std::int64_t second) {
    const auto seconds = static_cast<std::time_t>(second);
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) {
        return "0000/00/00 00:00:00:";
    }
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), "%04d/%02d/%02d %02d:%02d:%02d:", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text.data();
}

}  // namespace

LoggerFormatterClassName::LoggerFormatterClassName() = default;

LoggerFormatterClassName::~LoggerFormatterClassName() = default;

const std::string& LoggerFormatterClassName::formattedTimestamp(
    std::int64_t millisecondsSince1970) {
    DateFormatter& formatter = threadUnsafeDateFormatter;
    if (millisecondsSince1970 == formatter.millisecond) {
        return formatter.stamp;
    }
    const std::int64_t second = secondOf(millisecondsSince1970);
    if (second != formatter.second) {
        formatter.secondText = secondInLocalTime(second);
        formatter.second = second;
    }
    const auto millisecond = static_cast<int>(millisecondsSince1970 - second * 1000);
    const std::array<char, 3> digits{static_cast<char>('0' + millisecond / 100),
                                     static_cast<char>('0' + millisecond / 10 % 10),
                                     static_cast<char>('0' + millisecond % 10)};
    formatter.stamp.assign(formatter.secondText).append(digits.data(), digits.size());
    formatter.millisecond = millisecondsSince1970;
    return formatter.stamp;
}

std::string LoggerFormatterClassName::formatLogMessage(const lumberjack::DDLogMessage& logMessage) {
    try {
        // Whole milliseconds, rounded down: 09:05:03.0429 is still 09:05:03:042.
        const auto milliseconds =
            std::chrono::floor<std::chrono::milliseconds>(logMessage.timestamp.time_since_epoch())
                .count();
        const std::string& timestamp = formattedTimestamp(milliseconds);
        const std::string_view level = levelName(logMessage.flag);
        const std::string_view fileName = lastPathComponent(logMessage.fileName);
        const std::string lineNumber = std::to_string(logMessage.line);
        // "%@ [%@] [%@] [%@:%lu %@] %@", put together piece by piece: this runs for every line
        // on the sink's queue, and the general formatter would copy each piece twice.
        std::string line;
        line.reserve(timestamp.size() + level.size() + logMessage.queueLabel.size() +
                     fileName.size() + lineNumber.size() + logMessage.function.size() +
                     logMessage.message.size() + 10);
        line.append(timestamp)
            .append(" [")
            .append(level)
            .append("] [")
            .append(logMessage.queueLabel)
            .append("] [")
            .append(fileName)
            .append(":")
            .append(lineNumber)
            .append(" ")
            .append(logMessage.function)
            .append("] ")
            .append(logMessage.message);
        return line;
    } catch (...) {
        return logMessage.message;
    }
}
