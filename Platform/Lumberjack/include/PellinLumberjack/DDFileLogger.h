#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string_view>

#include <PellinFoundation/Export.h>
#include <PellinLumberjack/DDAbstractLogger.h>
#include <PellinLumberjack/DDLogFileManager.h>

namespace lumberjack {

// Writes each line, ended by a line feed, to the newest file of its folder with one write(2)
// call: a process killed at any moment leaves whole lines, and the lines of several processes
// appending to the same file never interleave. A new file is started when the next line would
// take the current one past maximumFileSize(), or rollingFrequency() after it was started. A
// new sink continues the newest file when neither limit has been reached. The file is only
// created with the first line, so a process that logs nothing leaves nothing.
//
// A line that cannot be written (no folder, a full disk) is dropped; the sink tries again with
// the next one.
class PELLIN_EXPORT DDFileLogger : public DDAbstractLogger {
  public:
    static constexpr std::uint64_t kDefaultMaximumFileSize = 1024 * 1024;
    static constexpr std::chrono::seconds kDefaultRollingFrequency{24 * 60 * 60};

    // In the default folder, $HOME/Library/Logs/<program name>/.
    DDFileLogger();
    explicit DDFileLogger(std::shared_ptr<DDLogFileManager> logFileManager);
    ~DDFileLogger() override;

    DDLogFileManager& logFileManager() const { return *logFileManager_; }

    // In bytes; 0 means no limit.
    std::uint64_t maximumFileSize() const { return maximumFileSize_.load(); }
    void setMaximumFileSize(std::uint64_t bytes) { maximumFileSize_.store(bytes); }
    // Zero means no limit.
    std::chrono::seconds rollingFrequency() const {
        return std::chrono::seconds(rollingFrequency_.load());
    }
    void setRollingFrequency(std::chrono::seconds frequency) {
        rollingFrequency_.store(frequency.count());
    }

  protected:
    void writeLine(std::string_view line) override;

  private:
    bool fileIsFull(std::uint64_t lineSize) const;
    void continueNewestFile(std::uint64_t lineSize);
    void startNewFile();
    void closeFile();

    std::shared_ptr<DDLogFileManager> logFileManager_;
    std::atomic<std::uint64_t> maximumFileSize_{kDefaultMaximumFileSize};
    std::atomic<std::chrono::seconds::rep> rollingFrequency_{kDefaultRollingFrequency.count()};
    // Used on the sink's queue only.
    int fd_ = -1;
    std::uint64_t fileSize_ = 0;
    std::chrono::system_clock::time_point fileCreated_;
    bool triedNewestFile_ = false;
};

}  // namespace lumberjack
