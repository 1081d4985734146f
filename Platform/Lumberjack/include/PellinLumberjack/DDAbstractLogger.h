#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include <PellinFoundation/Export.h>
#include <PellinLumberjack/DDLogFormatter.h>
#include <PellinLumberjack/DDLogMessage.h>
#include <PellinLumberjack/DDLoggerQueue.h>

namespace lumberjack {

// Base of every sink. It owns the formatter, the locking and the sink's serial queue; a
// concrete sink only says how to write one formatted line (and, if it gathers lines, how to
// flush them). The facility hands messages to loggerQueue(); its worker calls logMessage() for
// each in turn and flush() after each batch, so writeLine() and flushWrites() run on one thread
// at a time and need no locking of their own.
//
// A sink leaves the facility (DDLog::removeLogger stops its queue) before it is destroyed; the
// facility's own reference to a registered sink makes that the normal course.
class PELLIN_EXPORT DDAbstractLogger {
  public:
    DDAbstractLogger();
    virtual ~DDAbstractLogger();
    DDAbstractLogger(const DDAbstractLogger&) = delete;
    DDAbstractLogger& operator=(const DDAbstractLogger&) = delete;

    // The formatter is called for one message at a time, on the sink's queue.
    void setLogFormatter(std::unique_ptr<DDLogFormatter> formatter);

    // Formats `message` (its plain text when there is no formatter) and writes it, now, on the
    // calling thread.
    void logMessage(const DDLogMessage& message);
    // Writes what the sink may have gathered. The queue calls this after each batch, so a
    // message counts as written only once it is.
    void flush();

    DDLoggerQueue& loggerQueue() { return queue_; }

    // Around fork(): see DDLoggerQueue.
    void prepareForFork();
    void afterForkInParent();
    void afterForkInChild();

  protected:
    virtual void writeLine(std::string_view line) = 0;
    // For a sink that needs more of the message than its line (the system log's priority).
    virtual void writeMessageLine(const DDLogMessage& message, std::string_view line);
    virtual void flushWrites() {}
    // In the child of a fork(): forgets lines gathered for flushWrites(), which the parent
    // writes; written again by the child they would appear twice.
    virtual void dropGatheredInForkedChild() {}

  private:
    std::mutex mutex_;
    std::unique_ptr<DDLogFormatter> formatter_;
    // Last, so that it is the first member to go: its worker still uses the formatter.
    DDLoggerQueue queue_;
};

}  // namespace lumberjack
