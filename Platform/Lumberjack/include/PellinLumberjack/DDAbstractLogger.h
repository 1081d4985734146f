#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include <PellinFoundation/Export.h>
#include <PellinLumberjack/DDLogFormatter.h>
#include <PellinLumberjack/DDLogMessage.h>

namespace lumberjack {

// Base of every sink. It owns the formatter and the locking; a concrete sink only says how to
// write one formatted line and how to flush.
class PELLIN_EXPORT DDAbstractLogger {
public:
    DDAbstractLogger();
    virtual ~DDAbstractLogger();
    DDAbstractLogger(const DDAbstractLogger&) = delete;
    DDAbstractLogger& operator=(const DDAbstractLogger&) = delete;

    void setLogFormatter(std::unique_ptr<DDLogFormatter> formatter);

    // Formats `message` (the plain text when there is no formatter) and writes it.
    void logMessage(const DDLogMessage& message);
    void flush();

protected:
    virtual void writeLine(std::string_view line) = 0;
    virtual void flushWrites() {}

private:
    std::mutex mutex_;
    std::unique_ptr<DDLogFormatter> formatter_;
};

}  // namespace lumberjack
