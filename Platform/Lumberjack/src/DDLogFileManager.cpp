#include <PellinLumberjack/DDLogFileManager.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>

#include <PellinFoundation/FileManager.h>
#include <PellinFoundation/HomeOwner.h>

#include "LogFileStamp.h"
#include "OwnedFd.h"

namespace lumberjack {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::system_clock;
using detail::OwnedFd;

constexpr std::string_view kExtension = ".log";

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// Creates the missing folders of `path`, each 0700, as `mkdir -p` would.
void createFolders(const fs::path& path) {
    if (path.empty() || path == path.root_path() || ::mkdir(path.c_str(), 0700) == 0 ||
        errno == EEXIST) {
        return;
    }
    if (errno == ENOENT) {
        createFolders(path.parent_path());
        ::mkdir(path.c_str(), 0700);
    }
}

}  // namespace

DDLogFileManager::DDLogFileManager() : programName_(currentProgramName()) {
    if (const auto home = foundation::absoluteHomeDirectory()) {
        base_ = *home;
        below_ = {"Library", "Logs", programName_};
        logsDirectory_ = base_ / "Library" / "Logs" / programName_;
        inHome_ = true;
    }
}

DDLogFileManager::DDLogFileManager(fs::path logsDirectory, std::string programName)
    : logsDirectory_(std::move(logsDirectory)), programName_(std::move(programName)) {
    fs::path folder = logsDirectory_.lexically_normal();
    if (!folder.has_filename()) {
        folder = folder.parent_path();  // "a/b/" is "a/b"
    }
    if (folder.filename().empty() || folder.filename() == "..") {
        base_ = folder;
    } else {
        base_ = folder.has_parent_path() ? folder.parent_path() : fs::path(".");
        below_ = {folder.filename().string()};
    }
}

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

std::optional<fs::path> DDLogFileManager::defaultLogsDirectory() {
    const auto home = foundation::absoluteHomeDirectory();
    if (!home) {
        return std::nullopt;
    }
    return fs::path(*home) / "Library" / "Logs" / currentProgramName();
}

int DDLogFileManager::openFolder(bool create) const {
    if (logsDirectory_.empty()) {
        return -1;
    }
    if (create && !inHome_) {
        createFolders(base_);
    }
    OwnedFd folder(::open(base_.c_str(), kFolderFlags));
    for (const std::string& name : below_) {
        if (!folder.valid()) {
            return -1;
        }
        const bool created = create && ::mkdirat(folder.get(), name.c_str(), 0700) == 0;
        folder.reset(::openat(folder.get(), name.c_str(), kFolderFlags | O_NOFOLLOW));
        if (created && inHome_ && folder.valid()) {
            foundation::giveToHomeOwner(folder.get());
        }
    }
    return folder.release();
}

std::optional<Clock::time_point> DDLogFileManager::creationDateOfName(
    const std::string& name) const {
    const std::string prefix = programName_ + " ";
    if (!name.starts_with(prefix) || !name.ends_with(kExtension) ||
        name.size() < prefix.size() + kExtension.size()) {
        return std::nullopt;
    }
    return detail::timeOfLogFileStamp(std::string_view(name).substr(
        prefix.size(), name.size() - prefix.size() - kExtension.size()));
}

std::optional<Clock::time_point> DDLogFileManager::creationDateOfLogFile(
    const fs::path& path) const {
    return creationDateOfName(path.filename().string());
}

std::vector<std::pair<Clock::time_point, std::string>> DDLogFileManager::sortedLogFiles(
    int folder) const {
    std::vector<std::pair<Clock::time_point, std::string>> found;
    const int listed = ::dup(folder);
    DIR* directory = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (directory == nullptr) {
        if (listed >= 0) {
            ::close(listed);
        }
        return found;
    }
    ::rewinddir(directory);
    while (const dirent* entry = ::readdir(directory)) {
        std::string name = entry->d_name;
        if (const auto created = creationDateOfName(name)) {
            found.emplace_back(*created, std::move(name));
        }
    }
    ::closedir(directory);
    std::sort(found.begin(), found.end());
    return found;
}

std::vector<fs::path> DDLogFileManager::sortedLogFilePaths() const {
    std::vector<fs::path> paths;
    const OwnedFd folder(openFolder(false));
    if (!folder.valid()) {
        return paths;
    }
    for (const auto& [created, name] : sortedLogFiles(folder.get())) {
        paths.push_back(logsDirectory_ / name);
    }
    return paths;
}

std::optional<DDLogFileManager::OpenedLogFile> DDLogFileManager::openNewestLogFile() const {
    const OwnedFd folder(openFolder(false));
    if (!folder.valid()) {
        return std::nullopt;
    }
    const auto files = sortedLogFiles(folder.get());
    if (files.empty()) {
        return std::nullopt;
    }
    const auto& [created, name] = files.back();
    // O_NONBLOCK: a FIFO must not hold the sink up until somebody reads it.
    OwnedFd file(::openat(folder.get(), name.c_str(),
                          O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
    struct stat status {};
    if (!file.valid() || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_nlink != 1) {
        return std::nullopt;
    }
    return OpenedLogFile{file.release(), logsDirectory_ / name, created};
}

std::optional<DDLogFileManager::OpenedLogFile> DDLogFileManager::openNewLogFile() {
    const OwnedFd folder(openFolder(true));
    if (!folder.valid()) {
        return std::nullopt;
    }
    // Names must sort in the order the files were started, or the newest file would be taken
    // for the oldest and deleted. Two files started within one millisecond (a burst of rolls,
    // two processes) therefore get consecutive names instead of sharing one.
    auto time = std::max(std::chrono::floor<std::chrono::milliseconds>(Clock::now()),
                         lastCreated_ + std::chrono::milliseconds(1));
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string name =
            programName_ + " " + detail::logFileStamp(time) + std::string(kExtension);
        OwnedFd file(::openat(folder.get(), name.c_str(),
                              O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                              0600));
        if (file.valid()) {
            if (inHome_) {
                foundation::giveToHomeOwner(file.get());
            }
            lastCreated_ = time;
            deleteOldLogFiles(folder.get(), name);
            return OpenedLogFile{file.release(), logsDirectory_ / name, time};
        }
        if (errno != EEXIST) {
            return std::nullopt;
        }
        time += std::chrono::milliseconds(1);
    }
    return std::nullopt;
}

std::optional<fs::path> DDLogFileManager::createNewLogFile() {
    auto file = openNewLogFile();
    if (!file) {
        return std::nullopt;
    }
    ::close(file->fd);
    return file->path;
}

void DDLogFileManager::deleteOldLogFiles(int folder, const std::string& keep) const {
    const std::size_t maximum = maximumNumberOfLogFiles();
    if (maximum == 0) {
        return;
    }
    const auto files = sortedLogFiles(folder);
    std::size_t excess = files.size() > maximum ? files.size() - maximum : 0;
    for (const auto& [created, name] : files) {
        if (excess == 0) {
            break;
        }
        if (name == keep) {
            continue;
        }
        ::unlinkat(folder, name.c_str(), 0);
        --excess;
    }
}

}  // namespace lumberjack
