#pragma once

#include <PellinLumberjack/DDAbstractLogger.h>
#include <PellinLumberjack/DDLog.h>

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

}  // namespace pellin::test
