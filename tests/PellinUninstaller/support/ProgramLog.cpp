#include "support/ProgramLog.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <system_error>

namespace pellin::test {

namespace fs = std::filesystem;

namespace {

// "<date> <time> [LEVEL] [queue] [File.cpp:12 +[Class selector]] message"
std::optional<LogLine> parse(const std::string& text) {
    const std::size_t levelStart = text.find(" [");
    const std::size_t levelEnd = text.find("] [", levelStart);
    const std::size_t queueEnd = text.find("] [", levelEnd + 1);
    const std::size_t functionStart = text.find(' ', queueEnd + 3);
    const std::size_t functionEnd = text.find("]] ", queueEnd);
    if (levelStart == std::string::npos || levelEnd == std::string::npos ||
        queueEnd == std::string::npos || functionStart == std::string::npos ||
        functionEnd == std::string::npos || functionStart > functionEnd) {
        return std::nullopt;
    }
    return LogLine{text.substr(levelStart + 2, levelEnd - levelStart - 2),
                   text.substr(functionStart + 1, functionEnd - functionStart),
                   text.substr(functionEnd + 3)};
}

}  // namespace

std::vector<LogLine> readProgramLog(const fs::path& home) {
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::directory_iterator it(home / "Library/Logs/PellinUninstaller", error), end;
         !error && it != end; it.increment(error)) {
        files.push_back(it->path());
    }
    // Named after the time they were started, so the names sort by age.
    std::sort(files.begin(), files.end());
    std::vector<LogLine> lines;
    for (const fs::path& file : files) {
        std::ifstream in(file);
        for (std::string text; std::getline(in, text);) {
            if (std::optional<LogLine> line = parse(text)) {
                lines.push_back(std::move(*line));
            } else {
                lines.push_back(LogLine{"UNPARSED", "", text});
            }
        }
    }
    return lines;
}

std::vector<std::string> messagesAt(const std::vector<LogLine>& lines, const std::string& level) {
    std::vector<std::string> messages;
    for (const LogLine& line : lines) {
        if (line.level == level) {
            messages.push_back(line.message);
        }
    }
    return messages;
}

}  // namespace pellin::test
