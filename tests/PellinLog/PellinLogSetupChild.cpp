// A Pellin program in miniature, for the tests of logger setup: it sets up logging as a
// program's entry point does, logs one line at every level through the log call macros, and
// prints what it found:
//
//   PellinLogSetupChild setup      PellinLogger::setup(), then the lines; prints ddLogLevel
//   PellinLogSetupChild console    the console sink only, level 31, then the lines
//   PellinLogSetupChild syslog     the system-log sink only, level 31, then the lines
//   PellinLogSetupChild initial    prints ddLogLevel and whether the level map exists yet
//   PellinLogSetupChild format <milliseconds since 1970>
//                                  prints the line LoggerFormatterClassName makes for an info
//                                  message of that time

#include <PellinLog/LoggerFormatterClassName.h>
#include <PellinLog/PellinLogCall.h>
#include <PellinLog/PellinLogger.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

class SetupChild {
  public:
    static void logEveryLevel();
};

void SetupChild::logEveryLevel() {
    PELLIN_METHOD("+[SetupChild logEveryLevel]");
    DDLogDebug("Start %@", pellinMethod.selector());
    DDLogError("Error %@ code = %ld", "x", 2L);
    DDLogWarn("Warning %hd", static_cast<short>(-1));
    DDLogInfo("%@ isExist=%@", "path", "YES");
    DDLogVerbose("verbose %d", 1);
    DDLogDebug("End %@", pellinMethod.selector());
}

int main(int argc, char* argv[]) {
    const std::string mode = argc > 1 ? argv[1] : "setup";
    if (mode == "initial") {
        std::printf("%d %s\n", ddLogLevel, _logLevelMap == nullptr ? "no map" : "map");
        return 0;
    }
    if (mode == "format" && argc > 2) {
        lumberjack::DDLogMessage message;
        message.flag = lumberjack::DDLogFlagInfo;
        message.timestamp = std::chrono::system_clock::time_point(
            std::chrono::milliseconds(std::strtoll(argv[2], nullptr, 10)));
        message.queueLabel = "main";
        message.fileName = "file.cpp";
        message.line = 42;
        message.function = "+[Class selector]";
        message.message = "text";
        std::printf("%s\n", LoggerFormatterClassName().formatLogMessage(message).c_str());
        return 0;
    }
    if (mode == "setup") {
        PellinLogger::setup();
    } else if (mode == "console") {
        PellinLogger::setupConcoleLogger(ULONG_MAX);
        ddLogLevel = 31;
    } else if (mode == "syslog") {
        PellinLogger::setupAppleSystemLogger(ULONG_MAX);
        ddLogLevel = 31;
    } else {
        return 2;
    }
    std::printf("%d\n", ddLogLevel);
    std::fflush(stdout);
    SetupChild::logEveryLevel();
    return 0;
}
