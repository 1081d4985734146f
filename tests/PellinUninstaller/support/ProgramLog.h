#pragma once

// The uninstaller's log file as a test reads it back.

#include <filesystem>
#include <string>
#include <vector>

namespace pellin::test {

struct LogLine {
    std::string level;     // "INFO", "WARN", ...
    std::string function;  // "+[AppDelegate uninstallProc]"
    std::string message;
};

// Every line of the files in <home>/Library/Logs/PellinUninstaller/, oldest file first.
std::vector<LogLine> readProgramLog(const std::filesystem::path& home);

// The messages of the lines at `level`, in order.
std::vector<std::string> messagesAt(const std::vector<LogLine>& lines, const std::string& level);

}  // namespace pellin::test
