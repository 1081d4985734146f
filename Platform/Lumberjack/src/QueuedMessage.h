#pragma once

#include <string>
#include <string_view>

#include <PellinLumberjack/DDLoggerQueue.h>

namespace lumberjack::detail {

// The texts of a message whose file, function and tag may not outlive the call: copies of the
// three (null is empty), each ending in NUL, then `message`.
std::string copiedTexts(const char* file, const char* function, const char* tag,
                        std::string_view message);

// Makes the messages a sink's queue hands to the sink, one at a time, in the room the message
// before kept.
class MessageMaker {
  public:
    const DDLogMessage& make(const DDQueuedMessage& queued, std::string_view texts);

  private:
    DDLogMessage made_;
    // The texts of the calling site that made_ holds copies of: lines from the same place, the
    // usual case in a burst, copy them once.
    const char* file_ = nullptr;
    const char* function_ = nullptr;
};

}  // namespace lumberjack::detail
