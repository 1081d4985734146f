#include <PellinLumberjack/DDFileLogger.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "WriteWholeLine.h"

namespace lumberjack {

DDFileLogger::DDFileLogger() : DDFileLogger(std::make_shared<DDLogFileManager>()) {}

DDFileLogger::DDFileLogger(std::shared_ptr<DDLogFileManager> logFileManager)
    : logFileManager_(logFileManager ? std::move(logFileManager)
                                     : std::make_shared<DDLogFileManager>()) {}

DDFileLogger::~DDFileLogger() {
    closeFile();
}

bool DDFileLogger::fileIsFull(std::uint64_t lineSize) const {
    const std::uint64_t maximumSize = maximumFileSize();
    if (maximumSize > 0 && fileSize_ > 0 && fileSize_ + lineSize > maximumSize) {
        return true;
    }
    const auto frequency = rollingFrequency();
    return frequency.count() > 0 && std::chrono::system_clock::now() - fileCreated_ >= frequency;
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
    // A failed write (a full disk) drops this line only. Starting a new file instead would
    // delete the oldest files for nothing.
    const ssize_t written = detail::writeWholeLine(fd_, line);
    if (written > 0) {
        fileSize_ += static_cast<std::uint64_t>(written);
    }
}

}  // namespace lumberjack
