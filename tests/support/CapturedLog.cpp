#include "CapturedLog.h"

#include <PellinLog/PellinLogLevel.h>
#include <PellinLumberjack/DDLog.h>

namespace pellin::test {

struct CapturedLog::Store {
    std::mutex mutex;
    std::vector<lumberjack::DDLogMessage> messages;
};

namespace {

// Keeps the whole message, not only the formatted line.
class RecordingFormatter : public lumberjack::DDLogFormatter {
  public:
    explicit RecordingFormatter(std::shared_ptr<CapturedLog::Store> store)
        : store_(std::move(store)) {}
    std::string formatLogMessage(const lumberjack::DDLogMessage& message) override;

  private:
    std::shared_ptr<CapturedLog::Store> store_;
};

class NullSink : public lumberjack::DDAbstractLogger {
  protected:
    void writeLine(std::string_view) override {}
};

}  // namespace

std::string RecordingFormatter::formatLogMessage(const lumberjack::DDLogMessage& message) {
    std::lock_guard lock(store_->mutex);
    store_->messages.push_back(message);
    return message.message;
}

CapturedLog::CapturedLog(int level)
    : store_(std::make_shared<Store>()),
      sink_(std::make_shared<NullSink>()),
      previousLevel_(ddLogLevel) {
    sink_->setLogFormatter(std::make_unique<RecordingFormatter>(store_));
    lumberjack::DDLog::addLogger(sink_);
    ddLogLevel = level;
}

CapturedLog::~CapturedLog() {
    lumberjack::DDLog::flushLog();
    lumberjack::DDLog::removeLogger(sink_);
    ddLogLevel = previousLevel_;
}

std::vector<lumberjack::DDLogMessage> CapturedLog::messages() const {
    lumberjack::DDLog::flushLog();
    std::lock_guard lock(store_->mutex);
    return store_->messages;
}

std::vector<std::string> CapturedLog::texts() const {
    std::vector<std::string> out;
    for (const auto& m : messages()) {
        out.push_back(m.message);
    }
    return out;
}

std::vector<std::string> CapturedLog::functionsAndTexts() const {
    std::vector<std::string> out;
    for (const auto& m : messages()) {
        out.push_back(m.function + " | " + m.message);
    }
    return out;
}

void CapturedLog::clear() {
    lumberjack::DDLog::flushLog();
    std::lock_guard lock(store_->mutex);
    store_->messages.clear();
}

}  // namespace pellin::test
