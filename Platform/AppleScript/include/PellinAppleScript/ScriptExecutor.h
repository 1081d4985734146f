#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <PellinFoundation/Value.h>

namespace applescript {

// Runs one script's source text. The real one runs "do shell script" statements; tests put a
// scripted one in its place to play back failures the real shell cannot produce on demand.
class ScriptExecutor {
  public:
    virtual ~ScriptExecutor() = default;

    // The script's result, or nothing. On failure the executor writes the error number and
    // message into `errorInfo` (when given) and leaves every other key as it was, so a record
    // that is reused keeps an earlier run's error until a later failure overwrites it.
    virtual std::optional<std::string> executeAndReturnError(std::string_view source,
                                                             foundation::Dictionary* errorInfo) = 0;

  protected:
    ScriptExecutor() = default;
    ScriptExecutor(const ScriptExecutor&) = default;
    ScriptExecutor& operator=(const ScriptExecutor&) = default;
};

}  // namespace applescript
