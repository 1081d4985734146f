#include "CapturedLog.h"

#include <PellinLog/PellinLogLevel.h>

namespace pellin::test {

CapturedLog::CapturedLog(int level) : previousLevel_(ddLogLevel) {
    ddLogLevel = level;
    lumberjack::DDLog::addLogger(sink_);
}

CapturedLog::~CapturedLog() {
    lumberjack::DDLog::removeLogger(sink_);
    ddLogLevel = previousLevel_;
}

std::vector<lumberjack::DDLogMessage> CapturedLog::messages() const {
    lumberjack::DDLog::flushLog();
    return sink_->messages();
}

std::vector<std::string> CapturedLog::texts() const {
    std::vector<std::string> out;
    for (const auto& message : messages()) {
        out.push_back(message.message);
    }
    return out;
}

std::vector<std::string> CapturedLog::functionsAndTexts() const {
    std::vector<std::string> out;
    for (const auto& message : messages()) {
        out.push_back(message.function + " | " + message.message);
    }
    return out;
}

void CapturedLog::clear() {
    lumberjack::DDLog::flushLog();
    sink_->clear();
}

}  // namespace pellin::test
