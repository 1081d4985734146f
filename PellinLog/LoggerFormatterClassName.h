#pragma once

// Turns a log message into the one line every Pellin program writes:
//
//     2024/03/05 09:05:03:042 [DEBUG] [main] [UninstallCommand.cpp:42 +[UninstallCommand
//     executeUninstallCommand]] Start executeUninstallCommand
//
// (one line): local time, level name ("UNKNOWN" for a flag that is not exactly one level),
// the label of the thread that logged, file name and line, the method's full name, the text.

#include <cstdint>
#include <string>

#include <PellinFoundation/Export.h>
#include <PellinLumberjack/DDLogFormatter.h>
#include <PellinLumberjack/DDLogMessage.h>

class PELLIN_EXPORT LoggerFormatterClassName : public lumberjack::DDLogFormatter {
  public:
    // Sets up the date formatter: pattern "yyyy/MM/dd HH:mm:ss:SSS" in the Gregorian calendar
    // with ASCII digits whatever the user's locale, in local time as the C library makes of TZ
    // (and so what the log file names say), also for a POSIX TZ such as
    // "CET-1CEST,M3.5.0,M10.5.0/3" or "IST-5:30".
    LoggerFormatterClassName();
    ~LoggerFormatterClassName() override;
    LoggerFormatterClassName(const LoggerFormatterClassName&) = delete;
    LoggerFormatterClassName& operator=(const LoggerFormatterClassName&) = delete;

    // Never fails; the formatter adds no line terminator.
    std::string formatLogMessage(const lumberjack::DDLogMessage& logMessage) override;

  private:
    const std::string& formattedTimestamp(std::int64_t millisecondsSince1970);

    // The date formatter, by the C library rather than a locale-aware one: a fixed pattern
    // needs no locale data, and a run that logs a few lines need not load any. Not safe for
    // concurrent use: a formatter serves one sink, which calls it for one message at a time.
    struct DateFormatter {
        // Lines of a burst share their millisecond, and a burst its second: each is formatted
        // once.
        std::int64_t millisecond = INT64_MIN;
        std::string stamp;
        std::int64_t second = INT64_MIN;
        std::string secondText;  // "yyyy/MM/dd HH:mm:ss:" of `second`
    } threadUnsafeDateFormatter;
};
