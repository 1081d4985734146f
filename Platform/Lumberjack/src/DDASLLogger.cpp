#include <PellinLumberjack/DDASLLogger.h>

#include <syslog.h>

namespace lumberjack {

DDASLLogger::DDASLLogger() {
    openlog(nullptr, LOG_PID, LOG_USER);
}

std::shared_ptr<DDASLLogger> DDASLLogger::sharedInstance() {
    // Never destroyed: its queue may still be writing while the process ends.
    static const auto* instance = new std::shared_ptr<DDASLLogger>(new DDASLLogger);
    return *instance;
}

int DDASLLogger::priorityForFlag(DDLogFlag flag) {
    switch (flag) {
        case DDLogFlagError:
            return LOG_ERR;
        case DDLogFlagWarning:
            return LOG_WARNING;
        case DDLogFlagInfo:
            return LOG_INFO;
        case DDLogFlagDebug:
        case DDLogFlagVerbose:
            return LOG_DEBUG;
    }
    return LOG_NOTICE;
}

void DDASLLogger::writeLine(std::string_view line) {
    writeLineWithPriority(line, LOG_NOTICE);
}

void DDASLLogger::writeMessageLine(const DDLogMessage& message, std::string_view line) {
    writeLineWithPriority(line, priorityForFlag(message.flag));
}

void DDASLLogger::writeLineWithPriority(std::string_view line, int priority) {
    // The line is no format string: a "%" in a message must print as itself.
    syslog(priority, "%.*s", static_cast<int>(line.size()), line.data());
}

}  // namespace lumberjack
