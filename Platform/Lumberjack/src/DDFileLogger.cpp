#include <PellinLumberjack/DDFileLogger.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

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
                                     : std::make_shared<DDLogFileManager>()) {}

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
    const auto paths = logFileManager_->sortedLogFilePaths();
    if (paths.empty()) {
        return;
    }
    const auto created = logFileManager_->creationDateOfLogFile(paths.back());
    const int fd = ::open(paths.back().c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    struct stat status {};
    if (!created || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return;
    }
    fd_ = fd;
    fileSize_ = static_cast<std::uint64_t>(status.st_size);
    fileCreated_ = *created;
    if (fileIsFull(lineSize)) {
        closeFile();
    }
}

void DDFileLogger::startNewFile() {
    writeGathered();
    closeFile();
    const auto path = logFileManager_->createNewLogFile();
    if (!path) {
        return;
    }
    fd_ = ::open(path->c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    fileSize_ = 0;
    fileCreated_ =
        logFileManager_->creationDateOfLogFile(*path).value_or(std::chrono::system_clock::now());
}

void DDFileLogger::writeLine(std::string_view line) {
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
        if (lineSize > kPageSize - fileSize_ % kPageSize) {
            const ssize_t written = detail::writeWholeLine(fd_, line);
            if (written > 0) {
                fileSize_ += static_cast<std::uint64_t>(written);
            }
            return;
        }
    }
    gathered_.append(line).push_back('\n');
}

void DDFileLogger::flushWrites() {
    writeGathered();
}

// A failed write (a full disk) drops these lines only. Starting a new file instead would
// delete the oldest files for nothing.
void DDFileLogger::writeGathered() {
    if (gathered_.empty()) {
        return;
    }
    if (fd_ >= 0) {
        const ssize_t written = detail::writeWholeLines(fd_, gathered_);
        if (written > 0) {
            fileSize_ += static_cast<std::uint64_t>(written);
        }
    }
    gathered_.clear();
}

}  // namespace lumberjack
