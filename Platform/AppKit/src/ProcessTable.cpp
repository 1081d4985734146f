#include "ProcessTable.h"

#include <sys/stat.h>

#include <charconv>
#include <filesystem>
#include <sstream>
#include <string_view>
#include <system_error>

#include <PellinFoundation/FileManager.h>

namespace appkit::detail {
namespace {

// /proc/<pid>/stat and status hold a few kilobytes at most. The kernel lets a command line grow
// well beyond this, but none of the programs we look for has one that long, and a scan reads the
// command line of every process of the user.
constexpr std::size_t kProcessFileLimit = 64 * 1024;

std::string procPath(pid_t pid, std::string_view entry) {
    return "/proc/" + std::to_string(pid) + "/" + std::string(entry);
}

std::optional<std::string> readProcessFile(pid_t pid, std::string_view entry) {
    return foundation::FileManager::contentsOfRegularFileAtPath(procPath(pid, entry),
                                                                kProcessFileLimit);
}

std::optional<std::string> readLink(const std::string& path) {
    std::error_code error;
    std::filesystem::path target = std::filesystem::read_symlink(path, error);
    if (error) {
        return std::nullopt;
    }
    return target.string();
}

template <class Number>
std::optional<Number> parseNumber(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::vector<pid_t> allProcessIdentifiers() {
    std::vector<pid_t> pids;
    std::error_code error;
    for (std::filesystem::directory_iterator it("/proc", error), end; !error && it != end;
         it.increment(error)) {
        if (const auto pid = parseNumber<pid_t>(it->path().filename().native())) {
            pids.push_back(*pid);
        }
    }
    return pids;
}

std::optional<ProcessStamp> liveStamp(pid_t pid) {
    const std::optional<std::string> stat = readProcessFile(pid, "stat");
    if (!stat) {
        return std::nullopt;
    }
    // The command name in parentheses may itself hold blanks and parentheses, so the fields are
    // counted from the last closing parenthesis: field 3 (state) follows it.
    const std::size_t close = stat->rfind(')');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(stat->substr(close + 1));
    std::string field;
    std::optional<std::uint64_t> startTime;
    for (int number = 3; number <= 22 && fields >> field; ++number) {
        if (number == 3 && (field == "Z" || field == "X" || field == "x")) {
            return std::nullopt;
        }
        if (number == 22) {
            startTime = parseNumber<std::uint64_t>(field);
        }
    }
    if (!startTime) {
        return std::nullopt;
    }
    return ProcessStamp{pid, *startTime};
}

std::optional<uid_t> realUserOf(pid_t pid) {
    const std::optional<std::string> status = readProcessFile(pid, "status");
    if (!status) {
        return std::nullopt;
    }
    std::istringstream lines(*status);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("Uid:")) {
            std::istringstream ids(line.substr(4));
            std::string real;
            ids >> real;
            return parseNumber<uid_t>(real);
        }
    }
    return std::nullopt;
}

std::optional<ProcessExecutable> executableOf(pid_t pid) {
    const std::string link = procPath(pid, "exe");
    std::optional<std::string> path = readLink(link);
    struct stat file {};
    if (!path || stat(link.c_str(), &file) != 0) {
        return std::nullopt;
    }
    // The kernel marks a removed file by appending " (deleted)" to its path; only the link count
    // tells that mark from a file that is really named so.
    ProcessExecutable executable{std::move(*path), file.st_nlink == 0, file.st_dev, file.st_ino};
    constexpr std::string_view deleted = " (deleted)";
    if (executable.removed && executable.path.ends_with(deleted)) {
        executable.path.resize(executable.path.size() - deleted.size());
    }
    return executable;
}

std::vector<std::string> argumentsOf(pid_t pid) {
    std::vector<std::string> arguments;
    const std::optional<std::string> cmdline = readProcessFile(pid, "cmdline");
    if (!cmdline) {
        return arguments;
    }
    std::size_t begin = 0;
    while (begin < cmdline->size()) {
        std::size_t end = cmdline->find('\0', begin);
        if (end == std::string::npos) {
            end = cmdline->size();
        }
        arguments.push_back(cmdline->substr(begin, end - begin));
        begin = end + 1;
    }
    return arguments;
}

std::optional<std::string> workingDirectoryOf(pid_t pid) {
    return readLink(procPath(pid, "cwd"));
}

}  // namespace appkit::detail
