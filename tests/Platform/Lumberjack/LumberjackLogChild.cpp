// A program that logs through the facility and then ends as its arguments say, for the tests
// of what a process leaves in its log file when it ends:
//
//   LumberjackLogChild exit <count>        <count> asynchronous lines, then exit(0)
//   LumberjackLogChild return <count>      <count> asynchronous lines, then return from main
//   LumberjackLogChild quick_exit <count>  <count> asynchronous lines, then quick_exit(0)
//   LumberjackLogChild burst               lines until it is killed, in files of the default size
//
// Lines are "line <number> xxx...xxx end", all of one length, in $HOME/Library/Logs/
// LumberjackLogChild/.

#include <PellinLumberjack/DDFileLogger.h>
#include <PellinLumberjack/DDLog.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

void logLine(long number) {
    char text[128];
    std::snprintf(text, sizeof text, "line %07ld %s end", number, std::string(80, 'x').c_str());
    lumberjack::DDLog::log(true, 31, lumberjack::DDLogFlagInfo, 0, __FILE__, "+[Child logLine:]",
                           __LINE__, nullptr, text);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        return 2;
    }
    const std::string mode = argv[1];
    const long count = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 0;
    auto logger = std::make_shared<lumberjack::DDFileLogger>();
    if (mode != "burst") {
        logger->setMaximumFileSize(0);  // every line in one file, to count them
    }
    lumberjack::DDLog::addLogger(logger);
    if (mode == "burst") {
        for (long number = 0;; ++number) {
            logLine(number);
        }
    }
    for (long number = 0; number < count; ++number) {
        logLine(number);
    }
    if (mode == "exit") {
        std::exit(0);
    }
    if (mode == "quick_exit") {
        std::quick_exit(0);
    }
    return mode == "return" ? 0 : 2;
}
