#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace lumberjack::detail {

// The part of a log file's name that says when the file was started: the local time and its
// offset from UTC, "2024-03-05--09-05-03-042+0100". The offset makes the time exact for any
// reader, in any time zone, also in the hour that repeats when daylight-saving time ends.
std::string logFileStamp(std::chrono::system_clock::time_point time);

// The time a stamp names. Stamps without an offset ("2024-03-05--09-05-03-042", as earlier
// versions wrote them) are read as local time, which is right but in that repeated hour. Nothing
// for anything else.
std::optional<std::chrono::system_clock::time_point> timeOfLogFileStamp(std::string_view stamp);

}  // namespace lumberjack::detail
