#pragma once

// The log facility: a registry of sinks that every log call of the process hands its messages
// to. Each sink formats and writes on its own serial queue (DDLoggerQueue); a synchronous
// hand-over returns only after every sink has written the message.
//
// No line is lost when the process ends: when main returns, on exit() and on quick_exit(),
// everything queued is written first (this library's static destructor flushes), and a line
// logged after that, by a later static destructor, is written before its call returns. The
// application's terminate calls flushLog itself. The end never hangs on a sink that cannot
// write (standard error a pipe nobody reads): the wait is bounded by 2 seconds in all, and what
// is not written by then is dropped and counted on standard error. A child of fork() starts
// queues of its own, without the lines its parent had queued or gathered.
//
// The sinks: DDFileLogger (files in $HOME/Library/Logs/<program>/), DDTTYLogger (standard
// error), DDASLLogger (syslog); each formats with its own DDLogFormatter.

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include <PellinFoundation/Export.h>
#include <PellinFoundation/Format.h>
#include <PellinLumberjack/DDLogMessage.h>

namespace lumberjack {

class DDAbstractLogger;

class PELLIN_EXPORT DDLog {
  public:
    DDLog() = delete;

    // Registers `logger` for the rest of the process; it receives every later message.
    static void addLogger(std::shared_ptr<DDAbstractLogger> logger);
    // Unregisters `logger` after it has written what it holds (tests use this).
    static void removeLogger(const std::shared_ptr<DDAbstractLogger>& logger);

    // Builds a message stamped with the current time and the calling thread's label, and
    // hands it to every registered sink. With `asynchronous` false it returns only after
    // every sink has taken the message.
    static void log(bool asynchronous, long level, DDLogFlag flag, long context, const char* file,
                    const char* function, unsigned long line, const char* tag, std::string message);

    // The same for the log call macros, with less work on the calling thread: `file`,
    // `function` and `format` are string literals of the calling site, which live as long as
    // the process (a library that logs is never unloaded), so they are not copied; the
    // arguments are copied as they are now (a value's description is made now), and the
    // message's text is made on each sink's queue.
    static void log(bool asynchronous, long level, DDLogFlag flag, const char* file,
                    const char* function, unsigned long line, std::string_view format,
                    std::span<const foundation::format_detail::Argument> arguments);

    // Returns after every sink has written every message handed to it so far, or after 2 seconds
    // at most: what a sink has not written by then is dropped, and standard error says how many
    // lines that were.
    static void flushLog();
};

}  // namespace lumberjack
