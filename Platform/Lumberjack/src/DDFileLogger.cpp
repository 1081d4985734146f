#include <PellinLumberjack/DDFileLogger.h>

#include <time.h>
#include <unistd.h>

#include <atomic>

#include "StandardErrorNotice.h"
#include "WriteWholeLine.h"

namespace lumberjack {
namespace {

constexpr std::uint64_t kPageSize = 4096;

// The age of a file is checked for every line; a clock of a few milliseconds' resolution is
// plenty for a limit of hours and costs a fraction of the precise one.
std::chrono::system_clock::time_point coarseNow() {
    timespec now{};
    if (clock_gettime(CLOCK_REALTIME_COARSE, &now) != 0) {
        return std::chrono::system_clock::now();
    }
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec)));
}

}  // namespace

DDFileLogger::DDFileLogger() : DDFileLogger(std::make_shared<DDLogFileManager>()) {}

DDFileLogger::DDFileLogger(std::shared_ptr<DDLogFileManager> logFileManager)
    : logFileManager_(logFileManager ? std::move(logFileManager)
                                     : std::make_shared<DDLogFileManager>()) {
    static std::atomic<bool> told{false};
    if (logFileManager_->logsDirectory().empty() && !told.exchange(true)) {
        detail::tellOnStandardError(
            "no log file is written: the home folder is unknown or not an absolute path");
    }
}

DDFileLogger::~DDFileLogger() {
    closeFile();
}

bool DDFileLogger::fileIsFull(std::uint64_t lineSize) const {
    const std::uint64_t maximumSize = maximumFileSize();
    const std::uint64_t size = fileSize_ + gathered_.size();
    if (maximumSize > 0 && size > 0 && size + lineSize > maximumSize) {
        return true;
    }
    const auto frequency = rollingFrequency();
    return frequency.count() > 0 && coarseNow() - fileCreated_ >= frequency;
}

void DDFileLogger::closeFile() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void DDFileLogger::continueNewestFile(std::uint64_t lineSize) {
    auto newest = logFileManager_->openNewestLogFile();
    if (!newest) {
        return;
    }
    fd_ = newest->fd;
    const off_t size = ::lseek(fd_, 0, SEEK_END);
    fileSize_ = size > 0 ? static_cast<std::uint64_t>(size) : 0;
    fileCreated_ = newest->created;
    if (fileIsFull(lineSize)) {
        closeFile();
    }
}

void DDFileLogger::startNewFile() {
    writeGathered();
    closeFile();
    auto file = logFileManager_->openNewLogFile();
    if (!file) {
        return;
    }
    fd_ = file->fd;
    fileSize_ = 0;
    fileCreated_ = file->created;
}

void DDFileLogger::writeLine(std::string_view line) {
    if (logFileManager_->logsDirectory().empty()) {
        return;
    }
    const std::uint64_t lineSize = line.size() + 1;
    if (fd_ < 0 && !triedNewestFile_) {
        triedNewestFile_ = true;
        continueNewestFile(lineSize);
    }
    if (fd_ < 0 || fileIsFull(lineSize)) {
        startNewFile();
    }
    if (fd_ < 0) {
        return;
    }
    if (lineSize > kPageSize - (fileSize_ + gathered_.size()) % kPageSize) {
        writeGathered();
        if (fd_ < 0) {
            startNewFile();
        }
        if (fd_ < 0) {
            return;
        }
        if (lineSize > kPageSize - fileSize_ % kPageSize) {
            keepWritten(detail::appendWholeLine(fd_, line));
            return;
        }
    }
    gathered_.append(line).push_back('\n');
}

void DDFileLogger::flushWrites() {
    writeGathered();
}

void DDFileLogger::dropGatheredInForkedChild() {
    gathered_.clear();
}

// A failed write (a full disk) drops these lines only. Starting a new file instead would
// delete the oldest files for nothing.
void DDFileLogger::writeGathered() {
    if (gathered_.empty()) {
        return;
    }
    if (fd_ >= 0) {
        keepWritten(detail::appendWholeLines(fd_, gathered_));
    }
    gathered_.clear();
}

// A file left with half a line at its end is not written again: the next line starts a new
// file instead of being glued onto it.
void DDFileLogger::keepWritten(std::optional<std::size_t> kept) {
    if (kept) {
        fileSize_ += *kept;
    } else {
        closeFile();
    }
}

}  // namespace lumberjack
