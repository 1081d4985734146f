#pragma once

#include <PellinLumberjack/DDLog.h>
#include <PellinLumberjack/DDLogFileManager.h>

#include <ctime>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "TemporaryHome.h"

namespace pellin::test {

// A message as the log call macros hand it over, with the facility's own defaults.
inline void logText(bool asynchronous, std::string text,
                    lumberjack::DDLogFlag flag = lumberjack::DDLogFlagInfo) {
    lumberjack::DDLog::log(asynchronous, 31, flag, 0, "/src/Tests/FacilityTests.cpp",
                           "+[FacilityTests logText:]", 7, nullptr, std::move(text));
}

// The path of the test program that logs (LogProbe.cpp).
inline std::string logProbe() {
    return buildDirectory() / "bin" / "LogProbe";
}

// The log files of `program` below `home`, oldest first.
inline std::vector<std::filesystem::path> logFiles(const std::filesystem::path& home,
                                                   const std::string& program) {
    return lumberjack::DDLogFileManager(home / "Library" / "Logs" / program, program)
        .sortedLogFilePaths();
}

inline std::string allLogText(const std::filesystem::path& home, const std::string& program) {
    std::string text;
    for (const auto& file : logFiles(home, program)) {
        text += readFile(file);
    }
    return text;
}

// The name of a file of `program` started at `time`, in the local time without its UTC offset,
// as files of earlier versions are named.
inline std::string logFileNameStartedAt(const std::string& program, std::time_t time) {
    std::tm local{};
    localtime_r(&time, &local);
    char stamp[64];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d--%H-%M-%S-000", &local);
    return program + " " + stamp + ".log";
}

inline std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

}  // namespace pellin::test
