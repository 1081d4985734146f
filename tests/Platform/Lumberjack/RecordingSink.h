#pragma once

#include <PellinLumberjack/DDAbstractLogger.h>
#include <PellinLumberjack/DDLog.h>

#include <fcntl.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace pellin::test {

// A sink that keeps its lines in memory.
class RecordingSink : public lumberjack::DDAbstractLogger {
  public:
    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }

  protected:
    void writeLine(std::string_view line) override {
        std::lock_guard lock(mutex_);
        lines_.emplace_back(line);
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// Registers a sink with the facility for one test.
template <class Sink>
class Registered {
  public:
    explicit Registered(std::shared_ptr<Sink> sink = std::make_shared<Sink>())
        : sink_(std::move(sink)) {
        lumberjack::DDLog::addLogger(sink_);
    }
    ~Registered() { lumberjack::DDLog::removeLogger(sink_); }
    Registered(const Registered&) = delete;
    Registered& operator=(const Registered&) = delete;

    Sink& operator*() const { return *sink_; }
    Sink* operator->() const { return sink_.get(); }
    const std::shared_ptr<Sink>& pointer() const { return sink_; }

  private:
    std::shared_ptr<Sink> sink_;
};

// A message as the log call macros hand it over, with the facility's own defaults.
inline void logText(bool asynchronous, std::string text,
                    lumberjack::DDLogFlag flag = lumberjack::DDLogFlagInfo) {
    lumberjack::DDLog::log(asynchronous, 31, flag, 0, "/src/Tests/FacilityTests.cpp",
                           "+[FacilityTests logText:]", 7, nullptr, std::move(text));
}

// Sends this process's standard error to a file while it lives.
class CapturedStandardError {
  public:
    explicit CapturedStandardError(const std::filesystem::path& file) : saved_(dup(STDERR_FILENO)) {
        const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, STDERR_FILENO);
        close(fd);
    }
    ~CapturedStandardError() {
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    CapturedStandardError(const CapturedStandardError&) = delete;
    CapturedStandardError& operator=(const CapturedStandardError&) = delete;

  private:
    int saved_;
};

// The name the file sink gave a file started at `time`, in the local time of the moment without
// its UTC offset, as files of earlier versions are named.
inline std::string logFileNameStartedAt(const std::string& program, std::time_t time) {
    std::tm local{};
    localtime_r(&time, &local);
    char stamp[64];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d--%H-%M-%S-000", &local);
    return program + " " + stamp + ".log";
}

}  // namespace pellin::test
