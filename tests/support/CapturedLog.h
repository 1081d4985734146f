#pragma once

// What tests of logging share: a sink that records in memory, and the log files and lines that
// a program leaves below a home folder.

#include <PellinLog/PellinLogLevel.h>
#include <PellinLumberjack/DDAbstractLogger.h>
#include <PellinLumberjack/DDLog.h>
#include <PellinLumberjack/DDLogFileManager.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <semaphore>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "TemporaryHome.h"

namespace pellin::test {

// A sink that keeps in memory every message it writes, in order.
class RecordingSink : public lumberjack::DDAbstractLogger {
  public:
    std::vector<lumberjack::DDLogMessage> messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        messages_.clear();
    }
    // While held, the sink's queue waits at its next message, so that more gather behind it.
    void hold() { gate_.acquire(); }
    void release() { gate_.release(); }
    // Each message is taken this much later, as by a slow disk (set before anything is logged).
    void setDelay(std::chrono::microseconds delay) { delay_ = delay; }

  protected:
    void writeLine(std::string_view) override {}
    void writeMessageLine(const lumberjack::DDLogMessage& message, std::string_view) override {
        std::this_thread::sleep_for(delay_);
        gate_.acquire();
        gate_.release();
        std::lock_guard lock(mutex_);
        messages_.push_back(message);
    }

  private:
    mutable std::mutex mutex_;
    std::binary_semaphore gate_{1};
    std::chrono::microseconds delay_{0};
    std::vector<lumberjack::DDLogMessage> messages_;
};

// A RecordingSink registered with the facility, and ddLogLevel set to `level` (debug by
// default), while this lives; removing the sink writes what it still holds. messages(), texts()
// and clear() flush the facility first, so asynchronous lines are in; through -> the sink is
// read as it is at that moment.
class CapturedLog {
  public:
    explicit CapturedLog(int level = 15) : previousLevel_(ddLogLevel) {
        ddLogLevel = level;
        lumberjack::DDLog::addLogger(sink_);
    }
    ~CapturedLog() {
        lumberjack::DDLog::removeLogger(sink_);
        ddLogLevel = previousLevel_;
    }
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    RecordingSink* operator->() const { return sink_.get(); }
    const std::shared_ptr<RecordingSink>& sink() const { return sink_; }
    std::vector<lumberjack::DDLogMessage> messages() const {
        lumberjack::DDLog::flushLog();
        return sink_->messages();
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& message : messages()) {
            out.push_back(message.message);
        }
        return out;
    }
    void clear() {
        lumberjack::DDLog::flushLog();
        sink_->clear();
    }

  private:
    std::shared_ptr<RecordingSink> sink_ = std::make_shared<RecordingSink>();
    int previousLevel_;
};

// The probe program, which also logs and ends in chosen ways (tests/Platform/AppKit/Probe.cpp).
inline std::string logProbe() {
    return buildDirectory() / "bin" / "AppKitProbe";
}

// The log files of `program` below `home`, oldest first.
inline std::vector<std::filesystem::path> logFiles(const std::filesystem::path& home,
                                                   const std::string& program) {
    return lumberjack::DDLogFileManager(home / "Library" / "Logs" / program, program)
        .sortedLogFilePaths();
}

inline std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The lines of all log files of `program` below `home`.
inline std::vector<std::string> logLines(const std::filesystem::path& home,
                                         const std::string& program) {
    std::string text;
    for (const auto& file : logFiles(home, program)) {
        text += readFile(file);
    }
    return linesOf(text);
}

// The name of a file of `program` started at `time`, in the local time without its UTC offset,
// as files of earlier versions are named.
inline std::string logFileNameStartedAt(const std::string& program, std::time_t time) {
    std::tm local{};
    localtime_r(&time, &local);
    char stamp[64];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d--%H-%M-%S-000", &local);
    return program + " " + stamp + ".log";
}

}  // namespace pellin::test
