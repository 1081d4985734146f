#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <PellinFoundation/Export.h>

namespace lumberjack {

// The folder of a file sink and the files in it. A file is named after the program and the
// local time it was started, "<program> 2024-03-05--09-05-03-042.log", so that the names sort
// by age and a later process can tell how old a file is. Only the newest files are kept.
class PELLIN_EXPORT DDLogFileManager {
  public:
    static constexpr std::size_t kDefaultMaximumNumberOfLogFiles = 5;

    // $HOME/Library/Logs/<program name>/, with HOME as it is now.
    DDLogFileManager();
    DDLogFileManager(std::filesystem::path logsDirectory, std::string programName);

    // The executable's file name.
    static std::string currentProgramName();
    // $HOME/Library/Logs/<program name>/ (the account's home folder when HOME is not set).
    static std::filesystem::path defaultLogsDirectory();

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

  private:
    std::string fileNameFor(std::chrono::system_clock::time_point time) const;
    void deleteOldLogFiles(const std::filesystem::path& keep);

    std::filesystem::path logsDirectory_;
    std::string programName_;
    std::atomic<std::size_t> maximumNumberOfLogFiles_{kDefaultMaximumNumberOfLogFiles};
    // Used by one thread at a time: the file sink's queue.
    std::chrono::time_point<std::chrono::system_clock, std::chrono::milliseconds> lastCreated_{};
};

}  // namespace lumberjack
