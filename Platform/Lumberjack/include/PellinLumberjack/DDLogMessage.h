#pragma once

#include <chrono>
#include <string>

namespace lumberjack {

// Flags of a message; a level mask is a combination of them.
enum DDLogFlag : unsigned {
    DDLogFlagError = 1,
    DDLogFlagWarning = 2,
    DDLogFlagInfo = 4,
    DDLogFlagDebug = 8,
    DDLogFlagVerbose = 16,
};

// One logged message, as the facility hands it to each sink's formatter.
struct DDLogMessage {
    std::string message;
    long level = 0;
    DDLogFlag flag = DDLogFlagInfo;
    long context = 0;
    std::string file;      // the calling source file's path
    std::string fileName;  // its last path component
    std::string function;  // "+[Class selector]"
    unsigned long line = 0;
    std::string tag;
    std::chrono::system_clock::time_point timestamp;
    std::string queueLabel;  // the calling thread's name; "main" for the main thread
};

}  // namespace lumberjack
