#pragma once

// A log sink that keeps in memory every message and line it is given, for tests of the log
// facility and of what code logs.

#include <PellinLumberjack/DDAbstractLogger.h>
#include <PellinLumberjack/DDLog.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pellin::test {

class RecordingSink : public lumberjack::DDAbstractLogger {
  public:
    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    std::vector<lumberjack::DDLogMessage> messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    // While held, the sink's queue waits at its next message, so that more gather behind it.
    void hold() { setHeld(true); }
    void release() { setHeld(false); }
    // Each message is taken this much later, as by a slow disk (set before registering).
    void setDelay(std::chrono::microseconds delay) { delay_ = delay; }

  protected:
    void writeLine(std::string_view) override {}
    void writeMessageLine(const lumberjack::DDLogMessage& message, std::string_view line) override {
        std::this_thread::sleep_for(delay_);
        std::unique_lock lock(mutex_);
        released_.wait(lock, [this] { return !held_; });
        messages_.push_back(message);
        lines_.emplace_back(line);
    }

  private:
    void setHeld(bool held) {
        std::lock_guard lock(mutex_);
        held_ = held;
        released_.notify_all();
    }

    mutable std::mutex mutex_;
    std::condition_variable released_;
    bool held_ = false;
    std::chrono::microseconds delay_{0};
    std::vector<lumberjack::DDLogMessage> messages_;
    std::vector<std::string> lines_;
};

// Registers a sink with the facility for one test; removing it writes what it still holds.
template <class Sink = RecordingSink>
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

}  // namespace pellin::test
