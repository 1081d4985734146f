#pragma once

#include <string>

#include <PellinFoundation/Export.h>
#include <PellinLumberjack/DDLogMessage.h>

namespace lumberjack {

// Turns a message into the one line that a sink writes. A sink calls its formatter for one
// message at a time, so a formatter need not be safe for concurrent use.
class PELLIN_EXPORT DDLogFormatter {
  public:
    virtual ~DDLogFormatter();
    virtual std::string formatLogMessage(const DDLogMessage& message) = 0;
};

}  // namespace lumberjack
