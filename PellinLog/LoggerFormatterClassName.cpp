#include <PellinLog/LoggerFormatterClassName.h>

#include <unicode/locid.h>
#include <unicode/simpletz.h>
#include <unicode/smpdtfmt.h>
#include <unicode/unistr.h>

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

// The C library's offset from UTC for `second`, in seconds: TZ as the C library reads it.
long localOffsetAt(std::int64_t second) {
    const auto seconds = static_cast<std::time_t>(second);
    std::tm local{};
    return localtime_r(&seconds, &local) != nullptr ? local.tm_gmtoff : 0;
}

// The same pattern by hand, for the case that ICU cannot give a formatter: the line keeps its
// time stamp rather than losing it.
std::string formatWithoutICU(std::int64_t milliseconds) {
    const auto seconds = static_cast<std::time_t>(secondOf(milliseconds));
    std::tm local{};
    localtime_r(&seconds, &local);
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), "%04d/%02d/%02d %02d:%02d:%02d:%03d",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec,
                  static_cast<int>(milliseconds - secondOf(milliseconds) * 1000));
    return text.data();
}

}  // namespace

LoggerFormatterClassName::LoggerFormatterClassName() {
    UErrorCode status = U_ZERO_ERROR;
    try {
        auto formatter = std::make_unique<icu::SimpleDateFormat>(
            icu::UnicodeString(u"yyyy/MM/dd HH:mm:ss:SSS"), icu::Locale("en_US_POSIX"), status);
        if (U_SUCCESS(status)) {
            threadUnsafeDateFormatter = std::move(formatter);
        }
    } catch (...) {
    }
}

LoggerFormatterClassName::~LoggerFormatterClassName() = default;

const std::string& LoggerFormatterClassName::formattedTimestamp(
    std::int64_t millisecondsSince1970) {
    if (millisecondsSince1970 == cachedMillisecond_) {
        return cachedTimestamp_;
    }
    cachedTimestamp_.clear();
    const std::int64_t second = secondOf(millisecondsSince1970);
    if (second != offsetSecond_) {
        offset_ = localOffsetAt(second);
        offsetSecond_ = second;
    }
    if (threadUnsafeDateFormatter && offset_ != formatterOffset_) {
        // ICU reads TZ itself and, for a POSIX TZ it cannot parse, falls back to another zone;
        // at the C library's offset it shows the time every other part of the system shows.
        try {
            threadUnsafeDateFormatter->adoptTimeZone(new icu::SimpleTimeZone(
                static_cast<std::int32_t>(offset_ * 1000), icu::UnicodeString(u"local")));
            formatterOffset_ = offset_;
        } catch (...) {
            threadUnsafeDateFormatter.reset();
        }
    }
    if (threadUnsafeDateFormatter) {
        icu::UnicodeString formatted;
        threadUnsafeDateFormatter->format(static_cast<UDate>(millisecondsSince1970), formatted);
        formatted.toUTF8String(cachedTimestamp_);
    } else {
        cachedTimestamp_ = formatWithoutICU(millisecondsSince1970);
    }
    cachedMillisecond_ = millisecondsSince1970;
    return cachedTimestamp_;
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
