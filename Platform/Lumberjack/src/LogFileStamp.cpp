#include "LogFileStamp.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace lumberjack::detail {
namespace {

using Clock = std::chrono::system_clock;

// "2024-03-05--09-05-03-042", then "+0100" when the offset is there.
constexpr std::size_t kLocalLength = 24;
constexpr std::size_t kOffsetLength = 5;

// The `count` decimal digits at `position`; nothing when any of them is not a digit.
std::optional<int> digitsAt(std::string_view text, std::size_t position, std::size_t count) {
    int value = 0;
    for (std::size_t i = position; i < position + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

std::string logFileStamp(Clock::time_point time) {
    const auto milliseconds =
        std::chrono::floor<std::chrono::milliseconds>(time.time_since_epoch()).count();
    const auto seconds = static_cast<std::time_t>(milliseconds / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    const long offsetMinutes = std::labs(local.tm_gmtoff) / 60;
    std::array<char, 64> stamp{};
    std::snprintf(stamp.data(), stamp.size(), "%04d-%02d-%02d--%02d-%02d-%02d-%03d%c%02ld%02ld",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, static_cast<int>(milliseconds % 1000),
                  local.tm_gmtoff < 0 ? '-' : '+', offsetMinutes / 60, offsetMinutes % 60);
    return stamp.data();
}

std::optional<Clock::time_point> timeOfLogFileStamp(std::string_view stamp) {
    if (stamp.size() != kLocalLength && stamp.size() != kLocalLength + kOffsetLength) {
        return std::nullopt;
    }
    // Where each field starts, and the separators between them.
    constexpr std::string_view kShape = "0000-00-00--00-00-00-000";
    for (std::size_t i = 0; i < kLocalLength; ++i) {
        if ((kShape[i] == '-') != (stamp[i] == '-')) {
            return std::nullopt;
        }
    }
    const auto year = digitsAt(stamp, 0, 4);
    const auto month = digitsAt(stamp, 5, 2);
    const auto day = digitsAt(stamp, 8, 2);
    const auto hour = digitsAt(stamp, 12, 2);
    const auto minute = digitsAt(stamp, 15, 2);
    const auto second = digitsAt(stamp, 18, 2);
    const auto millisecond = digitsAt(stamp, 21, 3);
    if (!year || !month || !day || !hour || !minute || !second || !millisecond) {
        return std::nullopt;
    }
    std::tm fields{};
    fields.tm_year = *year - 1900;
    fields.tm_mon = *month - 1;
    fields.tm_mday = *day;
    fields.tm_hour = *hour;
    fields.tm_min = *minute;
    fields.tm_sec = *second;
    std::time_t seconds = -1;
    if (stamp.size() == kLocalLength) {
        fields.tm_isdst = -1;
        seconds = mktime(&fields);
        if (seconds == static_cast<std::time_t>(-1)) {
            return std::nullopt;
        }
    } else {
        const char sign = stamp[kLocalLength];
        const auto offsetHours = digitsAt(stamp, kLocalLength + 1, 2);
        const auto offsetMinutes = digitsAt(stamp, kLocalLength + 3, 2);
        if ((sign != '+' && sign != '-') || !offsetHours || !offsetMinutes) {
            return std::nullopt;
        }
        const long offset = (*offsetHours * 60L + *offsetMinutes) * 60L;
        seconds = timegm(&fields) - (sign == '-' ? -offset : offset);
    }
    return Clock::from_time_t(seconds) + std::chrono::milliseconds(*millisecond);
}

}  // namespace lumberjack::detail
