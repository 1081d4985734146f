#include <PellinLumberjack/DDLogFileManager.h>

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <system_error>

namespace lumberjack {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::system_clock;

constexpr std::string_view kExtension = ".log";
// "2024-03-05--09-05-03-042"
constexpr std::size_t kStampLength = 24;

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        return home;
    }
    std::array<char, 4096> buffer{};
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return {};
}

}  // namespace

DDLogFileManager::DDLogFileManager()
    : DDLogFileManager(defaultLogsDirectory(), currentProgramName()) {}

DDLogFileManager::DDLogFileManager(fs::path logsDirectory, std::string programName)
    : logsDirectory_(std::move(logsDirectory)), programName_(std::move(programName)) {}

std::string DDLogFileManager::currentProgramName() {
    std::error_code error;
    std::string name = fs::read_symlink("/proc/self/exe", error).filename().string();
    // An executable replaced while it runs (a rebuild) reads "name (deleted)".
    constexpr std::string_view deleted = " (deleted)";
    if (name.ends_with(deleted)) {
        name.resize(name.size() - deleted.size());
    }
    if (error || name.empty()) {
        name = program_invocation_short_name;
    }
    return name.empty() ? std::string("unknown") : name;
}

fs::path DDLogFileManager::defaultLogsDirectory() {
    return fs::path(homeFolder()) / "Library" / "Logs" / currentProgramName();
}

std::string DDLogFileManager::fileNameFor(Clock::time_point time) const {
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(milliseconds / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    std::array<char, 64> stamp{};
    std::snprintf(stamp.data(), stamp.size(), "%04d-%02d-%02d--%02d-%02d-%02d-%03d",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, static_cast<int>(milliseconds % 1000));
    return programName_ + " " + stamp.data() + std::string(kExtension);
}

std::optional<Clock::time_point> DDLogFileManager::creationDateOfLogFile(
    const fs::path& path) const {
    const std::string name = path.filename().string();
    const std::string prefix = programName_ + " ";
    if (name.size() != prefix.size() + kStampLength + kExtension.size() ||
        !name.starts_with(prefix) || !name.ends_with(kExtension)) {
        return std::nullopt;
    }
    const std::string stamp = name.substr(prefix.size(), kStampLength);
    std::tm local{};
    int millisecond = 0;
    char end = '\0';
    if (std::sscanf(stamp.c_str(), "%4d-%2d-%2d--%2d-%2d-%2d-%3d%c", &local.tm_year, &local.tm_mon,
                    &local.tm_mday, &local.tm_hour, &local.tm_min, &local.tm_sec, &millisecond,
                    &end) != 7) {
        return std::nullopt;
    }
    local.tm_year -= 1900;
    local.tm_mon -= 1;
    local.tm_isdst = -1;
    const std::time_t seconds = mktime(&local);
    if (seconds == static_cast<std::time_t>(-1)) {
        return std::nullopt;
    }
    return Clock::from_time_t(seconds) + std::chrono::milliseconds(millisecond);
}

std::vector<fs::path> DDLogFileManager::sortedLogFilePaths() const {
    std::vector<std::pair<Clock::time_point, fs::path>> found;
    std::error_code error;
    for (fs::directory_iterator it(logsDirectory_, error), end; !error && it != end;
         it.increment(error)) {
        if (const auto created = creationDateOfLogFile(it->path())) {
            found.emplace_back(*created, it->path());
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<fs::path> paths;
    paths.reserve(found.size());
    for (auto& [created, path] : found) {
        paths.push_back(std::move(path));
    }
    return paths;
}

std::optional<fs::path> DDLogFileManager::createNewLogFile() {
    std::error_code error;
    fs::create_directories(logsDirectory_, error);
    // Names must sort in the order the files were started, or the newest file would be taken
    // for the oldest and deleted. Two files started within one millisecond (a burst of rolls,
    // two processes) therefore get consecutive names instead of sharing one.
    auto time = std::max(std::chrono::floor<std::chrono::milliseconds>(Clock::now()),
                         lastCreated_ + std::chrono::milliseconds(1));
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const fs::path path = logsDirectory_ / fileNameFor(time);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            lastCreated_ = time;
            deleteOldLogFiles(path);
            return path;
        }
        if (errno != EEXIST) {
            return std::nullopt;
        }
        time += std::chrono::milliseconds(1);
    }
    return std::nullopt;
}

void DDLogFileManager::deleteOldLogFiles(const fs::path& keep) {
    const std::size_t maximum = maximumNumberOfLogFiles();
    if (maximum == 0) {
        return;
    }
    std::vector<fs::path> paths = sortedLogFilePaths();
    std::size_t excess = paths.size() > maximum ? paths.size() - maximum : 0;
    for (const auto& path : paths) {
        if (excess == 0) {
            break;
        }
        if (path == keep) {
            continue;
        }
        std::error_code ignored;
        fs::remove(path, ignored);
        --excess;
    }
}

}  // namespace lumberjack
