#pragma once

#include <memory>
#include <string_view>

#include <PellinFoundation/Export.h>
#include <PellinLumberjack/DDAbstractLogger.h>

namespace lumberjack {

// The console sink: each line, ended by a line feed, goes to standard error with one write(2)
// call, so that it does not mix with other output of the process.
class PELLIN_EXPORT DDTTYLogger : public DDAbstractLogger {
  public:
    // The one console sink of the process; it lives until the process ends.
    static std::shared_ptr<DDTTYLogger> sharedInstance();

  protected:
    void writeLine(std::string_view line) override;

  private:
    DDTTYLogger() = default;
};

}  // namespace lumberjack
