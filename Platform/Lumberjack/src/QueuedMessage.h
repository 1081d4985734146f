#pragma once

#include <string>
#include <string_view>

#include <PellinLumberjack/DDLoggerQueue.h>

namespace lumberjack::detail {

// The texts of a message whose file, function and tag may not outlive the call: copies of the
// three (null is empty), each ending in NUL, then `message`.
std::string copiedTexts(const char* file, const char* function, const char* tag,
                        std::string_view message);

// Makes in `made` the message that `queued` with its `texts` stands for, in the room its texts
// kept from the message made before.
void makeMessage(const DDQueuedMessage& queued, std::string_view texts, DDLogMessage& made);

}  // namespace lumberjack::detail
