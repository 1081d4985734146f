#include <PellinLumberjack/DDTTYLogger.h>

#include <unistd.h>

#include "WriteWholeLine.h"

namespace lumberjack {

std::shared_ptr<DDTTYLogger> DDTTYLogger::sharedInstance() {
    // Never destroyed: its queue may still be writing while the process ends.
    static const auto* instance = new std::shared_ptr<DDTTYLogger>(new DDTTYLogger);
    return *instance;
}

void DDTTYLogger::writeLine(std::string_view line) {
    detail::writeWholeLine(STDERR_FILENO, line);
}

}  // namespace lumberjack
