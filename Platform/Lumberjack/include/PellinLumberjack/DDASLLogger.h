#pragma once

#include <memory>
#include <string_view>

#include <PellinFoundation/Export.h>
#include <PellinLumberjack/DDAbstractLogger.h>

namespace lumberjack {

// The system-log sink: each line goes to syslog(3), with the priority of its message's flag.
class PELLIN_EXPORT DDASLLogger : public DDAbstractLogger {
  public:
    // The one system-log sink of the process; it lives until the process ends.
    static std::shared_ptr<DDASLLogger> sharedInstance();

    // LOG_ERR, LOG_WARNING, LOG_INFO, LOG_DEBUG for error, warning, info, debug and verbose;
    // LOG_NOTICE for anything else.
    static int priorityForFlag(DDLogFlag flag);

  protected:
    void writeLine(std::string_view line) override;
    void writeMessageLine(const DDLogMessage& message, std::string_view line) override;

  private:
    DDASLLogger();
    void writeLineWithPriority(std::string_view line, int priority);
};

}  // namespace lumberjack
