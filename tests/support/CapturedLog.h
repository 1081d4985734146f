#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <PellinLumberjack/DDAbstractLogger.h>
#include <PellinLumberjack/DDLogMessage.h>

namespace pellin::test {

// Registers a sink that keeps every message in memory, and sets ddLogLevel to `level` (debug by
// default) for its lifetime. messages() flushes the facility first, so asynchronous lines are in.
class CapturedLog {
  public:
    explicit CapturedLog(int level = 15);
    ~CapturedLog();
    CapturedLog(const CapturedLog&) = delete;
    CapturedLog& operator=(const CapturedLog&) = delete;

    std::vector<lumberjack::DDLogMessage> messages() const;
    // The message texts alone, in order.
    std::vector<std::string> texts() const;
    // "function | text" for each message, to check both at once.
    std::vector<std::string> functionsAndTexts() const;
    void clear();

    // Shared with the sink's formatter, which fills it on the sink's queue.
    struct Store;

  private:
    std::shared_ptr<Store> store_;
    std::shared_ptr<lumberjack::DDAbstractLogger> sink_;
    int previousLevel_;
};

}  // namespace pellin::test
