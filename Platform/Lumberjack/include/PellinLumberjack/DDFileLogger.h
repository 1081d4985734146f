#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <PellinFoundation/Export.h>
#include <PellinLumberjack/DDAbstractLogger.h>
#include <PellinLumberjack/DDLogFileManager.h>

namespace lumberjack {

// Writes each message as one line, ended by a line feed, to the newest file of its folder. A
// new file is started when the next line would take the current one past maximumFileSize(),
// or rollingFrequency() after it was started. A new sink continues the newest file when
// neither limit has been reached. The file is only created with the first line, so a process
// that logs nothing leaves nothing.
//
// A process killed at any moment leaves whole lines. The kernel copies a write(2) that stays
// within one page of the file in one piece, and stops a larger one only between pages; so the
// lines of a batch are gathered and written together as long as they stay within one page,
// and a line that itself crosses a page boundary is written alone, with one call. No line is
// ever split between two calls. (Sparing a system call per line is what lets the sink keep up
// with a burst.) The gathered lines are written before the queue reports the batch written.
//
// A line that cannot be written (no folder, a full disk) is dropped; the sink tries again with
// the next one. When the disk fills up in the middle of a line, the part that was written is
// cut away again, so that the file never holds half a line.
//
// Without an absolute home folder the default sink has no folder: it writes nothing (rather
// than below the working folder) and says so once on standard error.
//
// The child of a fork() starts without the lines the parent had gathered: they are the
// parent's to write.
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
    void flushWrites() override;
    void dropGatheredInForkedChild() override;

  private:
    bool fileIsFull(std::uint64_t lineSize) const;
    void writeGathered();
    void continueNewestFile(std::uint64_t lineSize);
    void startNewFile();
    void closeFile();
    void keepWritten(std::optional<std::size_t> kept);

    std::shared_ptr<DDLogFileManager> logFileManager_;
    std::atomic<std::uint64_t> maximumFileSize_{kDefaultMaximumFileSize};
    std::atomic<std::chrono::seconds::rep> rollingFrequency_{kDefaultRollingFrequency.count()};
    // Used on the sink's queue only.
    int fd_ = -1;
    // What is in the file, without gathered_.
    std::uint64_t fileSize_ = 0;
    // Whole lines, all within the page of the file at fileSize_.
    std::string gathered_;
    std::chrono::system_clock::time_point fileCreated_;
    bool triedNewestFile_ = false;
};

}  // namespace lumberjack
