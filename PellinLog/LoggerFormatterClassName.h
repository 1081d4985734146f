#pragma once

// Turns a log message into the one line every Pellin program writes:
//
//     2024/03/05 09:05:03:042 [DEBUG] [main] [UninstallCommand.cpp:42 +[UninstallCommand
//     executeUninstallCommand]] Start executeUninstallCommand
//
// (one line): local time, level name ("UNKNOWN" for a flag that is not exactly one level),
// the label of the thread that logged, file name and line, the method's full name, the text.

#include <climits>
#include <cstdint>
#include <memory>
#include <string>

#include <unicode/uversion.h>

#include <PellinFoundation/Export.h>
#include <PellinLumberjack/DDLogFormatter.h>
#include <PellinLumberjack/DDLogMessage.h>

U_NAMESPACE_BEGIN
class SimpleDateFormat;
U_NAMESPACE_END

class PELLIN_EXPORT LoggerFormatterClassName : public lumberjack::DDLogFormatter {
  public:
    // Sets up the date formatter: pattern "yyyy/MM/dd HH:mm:ss:SSS", locale "en_US_POSIX"
    // (Gregorian calendar and ASCII digits whatever the user's settings), the local time zone.
    // Local time is what the C library makes of TZ (and so what the log file names say), also
    // for a POSIX TZ such as "CET-1CEST,M3.5.0,M10.5.0/3" or "IST-5:30", which names no zone
    // ICU knows: the date formatter works at the C library's offset for each instant.
    LoggerFormatterClassName();
    ~LoggerFormatterClassName() override;
    LoggerFormatterClassName(const LoggerFormatterClassName&) = delete;
    LoggerFormatterClassName& operator=(const LoggerFormatterClassName&) = delete;

    // Never fails; the formatter adds no line terminator.
    std::string formatLogMessage(const lumberjack::DDLogMessage& logMessage) override;

  private:
    const std::string& formattedTimestamp(std::int64_t millisecondsSince1970);

    // Not safe for concurrent use: a formatter serves one sink, which calls it for one message
    // at a time.
    std::unique_ptr<icu::SimpleDateFormat> threadUnsafeDateFormatter;
    // Lines of a burst share their millisecond; formatting it once saves most of the cost.
    std::int64_t cachedMillisecond_ = INT64_MIN;
    std::string cachedTimestamp_;
    // The offset from UTC, in seconds, that the C library gives for the second last formatted,
    // and the one the date formatter is set to: an offset changes at a whole second at most.
    std::int64_t offsetSecond_ = INT64_MIN;
    long offset_ = 0;
    long formatterOffset_ = LONG_MIN;
};
