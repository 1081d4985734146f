#include "CapturedLog.h"

#include <PellinLog/PellinLogLevel.h>

namespace pellin::test {

CapturedLog::CapturedLog(int level) : previousLevel_(ddLogLevel) {
    ddLogLevel = level;
}

CapturedLog::~CapturedLog() {
    ddLogLevel = previousLevel_;
}

std::vector<lumberjack::DDLogMessage> CapturedLog::messages() const {
    lumberjack::DDLog::flushLog();
    return (*this)->messages();
}

std::vector<std::string> CapturedLog::texts() const {
    lumberjack::DDLog::flushLog();
    return (*this)->texts();
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
    (*this)->clear();
}

}  // namespace pellin::test
