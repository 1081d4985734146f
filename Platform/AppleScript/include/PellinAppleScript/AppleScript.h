#pragma once

// A script object made from source text, run on demand, as the Pellin programs run their shell
// commands. Only the statement `do shell script "<text>"`, optionally followed by
// `with administrator privileges`, is understood; anything else fails with error -2740 and
// never runs.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <PellinAppleScript/ScriptExecutor.h>
#include <PellinFoundation/Value.h>

namespace applescript {

// Keys of the error record.
inline constexpr std::string_view NSAppleScriptErrorNumber = "NSAppleScriptErrorNumber";
inline constexpr std::string_view NSAppleScriptErrorMessage = "NSAppleScriptErrorMessage";

// Error numbers the runner itself reports.
inline constexpr int kSyntaxErrorNumber = -2740;
// The person dismissed the authentication (pkexec's dialog, Ctrl-C at sudo's prompt).
inline constexpr int kUserCanceledErrorNumber = -128;
inline constexpr int kUnknownErrorNumber = -2700;
// sudo needed a password but had no terminal to ask on; the message is sudo's own.
inline constexpr int kNoUserInteractionErrorNumber = -1713;
// pkexec or sudo refused the administrator privileges (a wrong password three times, a user
// who may not use them, pkexec not authorised); the message is the tool's own.
inline constexpr int kPrivilegeErrorNumber = -10004;

class AppleScript {
  public:
    // Runs through the real shell.
    explicit AppleScript(std::string source);
    // Runs through `executor` (tests); a null executor falls back to the real shell.
    AppleScript(std::string source, std::shared_ptr<ScriptExecutor> executor);

    const std::string& source() const { return source_; }

    // Runs the whole source anew, synchronously. Answers the script's result, or nothing; on
    // failure the number and message are written into `errorInfo` (when given).
    std::optional<std::string> executeAndReturnError(foundation::Dictionary* errorInfo) const;

  private:
    std::string source_;
    std::shared_ptr<ScriptExecutor> executor_;
};

}  // namespace applescript
