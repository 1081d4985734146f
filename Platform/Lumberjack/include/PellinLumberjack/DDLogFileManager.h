#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <PellinFoundation/Export.h>

namespace lumberjack {

// The folder of a file sink and the files in it. A file is named after the program and the
// local time it was started, with that time's offset from UTC,
// "<program> 2024-03-05--09-05-03-042+0100.log", so that the names read like the lines' time
// stamps and a later process can tell exactly how old a file is, whatever its own time zone
// and in the hour that repeats when daylight-saving time ends. Names without the offset, as
// earlier versions wrote them, are read as local time. Only the newest files are kept.
//
// The files hold what the program logs, so they are private: folders are created 0700, files
// 0600. Below the home folder no symbolic link is followed, and nothing is opened that could
// block: a link or a FIFO planted where a log file or folder should be is never written
// through. When root runs with a user's HOME (sudo -E), what it creates there is given to the
// home's owner.
class PELLIN_EXPORT DDLogFileManager {
  public:
    static constexpr std::size_t kDefaultMaximumNumberOfLogFiles = 5;

    // $HOME/Library/Logs/<program name>/, with HOME as it is now; no folder at all (an empty
    // logsDirectory()) when there is no absolute home folder.
    DDLogFileManager();
    // `logsDirectory` and its missing parents are created as needed; links in its existing
    // parents are followed, as the caller named them.
    DDLogFileManager(std::filesystem::path logsDirectory, std::string programName);

    // The executable's file name.
    static std::string currentProgramName();
    // $HOME/Library/Logs/<program name>/ (the account's home folder when HOME is not set);
    // nothing when that is not an absolute path, rather than a folder below the working folder.
    static std::optional<std::filesystem::path> defaultLogsDirectory();

    // Empty when there is none: then no file is ever created.
    const std::filesystem::path& logsDirectory() const { return logsDirectory_; }
    const std::string& programName() const { return programName_; }

    // How many files are kept, the one being written included; 0 keeps every file.
    std::size_t maximumNumberOfLogFiles() const { return maximumNumberOfLogFiles_.load(); }
    void setMaximumNumberOfLogFiles(std::size_t count) { maximumNumberOfLogFiles_.store(count); }

    // This program's log files, oldest first. Files of other names are never touched.
    std::vector<std::filesystem::path> sortedLogFilePaths() const;

    // When the file was started, as its name says; nothing for a name that is not one of ours.
    std::optional<std::chrono::system_clock::time_point> creationDateOfLogFile(
        const std::filesystem::path& path) const;

    // Creates the folder when needed and a new, empty file named after the current time (never
    // an existing file, and always later than the last file this manager started), then deletes
    // the oldest files beyond the maximum. Nothing when the file cannot be created.
    std::optional<std::filesystem::path> createNewLogFile();

    // A log file opened for appending; the receiver owns `fd`.
    struct OpenedLogFile {
        int fd = -1;
        std::filesystem::path path;
        std::chrono::system_clock::time_point created;
    };
    // createNewLogFile(), with the file left open.
    std::optional<OpenedLogFile> openNewLogFile();
    // The newest file, when it is a regular file with no other name; nothing for anything
    // else (a link, a FIFO, a folder, a hard link), which a new file then replaces.
    std::optional<OpenedLogFile> openNewestLogFile() const;

  private:
    int openFolder(bool create) const;
    std::vector<std::pair<std::chrono::system_clock::time_point, std::string>> sortedLogFiles(
        int folder) const;
    std::optional<std::chrono::system_clock::time_point> creationDateOfName(
        const std::string& name) const;
    void deleteOldLogFiles(int folder, const std::string& keep) const;

    std::filesystem::path logsDirectory_;
    std::string programName_;
    // The folder is reached from `base_` (followed as it is) through `below_`, each of which
    // is created when missing and never followed if it is a link.
    std::filesystem::path base_;
    std::vector<std::string> below_;
    // Below the home folder: what is created there goes to the home's owner.
    bool inHome_ = false;
    std::atomic<std::size_t> maximumNumberOfLogFiles_{kDefaultMaximumNumberOfLogFiles};
    // Used by one thread at a time: the file sink's queue.
    std::chrono::time_point<std::chrono::system_clock, std::chrono::milliseconds> lastCreated_{};
};

}  // namespace lumberjack
