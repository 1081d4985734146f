#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <PellinAppleScript/ScriptExecutor.h>
#include <PellinAppleScript/ShellHost.h>

namespace applescript {

// Runs `do shell script` statements with the real shell. The result is the standard output
// with line feeds turned into carriage returns and one trailing line ending removed. A
// non-zero exit status fails with that status as the error number and the standard error (the
// standard output when that is empty) as the message; a dismissed authentication fails with
// -128 "User canceled.", a source that is not such a statement with -2740.
class DoShellScriptExecutor final : public ScriptExecutor {
  public:
    // Looks at the machine anew for every run.
    DoShellScriptExecutor() = default;
    // Runs as if on `host` (tests of the elevation paths).
    explicit DoShellScriptExecutor(ShellHost host) : host_(std::move(host)) {}
    // A text with administrator privileges removes in `removalFolders` (absolute paths inside
    // the home): the shell proves them all at once before the text runs, rather than one
    // operand at a time. Any other folder is still proved where it is removed in.
    DoShellScriptExecutor(std::optional<ShellHost> host, std::vector<std::string> removalFolders)
        : host_(std::move(host)), removalFolders_(std::move(removalFolders)) {}

    std::optional<std::string> executeAndReturnError(std::string_view source,
                                                     foundation::Dictionary* errorInfo) override;

  private:
    std::optional<ShellHost> host_;
    std::vector<std::string> removalFolders_;
};

// "do shell script"'s form of a command's output: one trailing line ending removed, then every
// line feed turned into a carriage return.
std::string doShellScriptOutput(std::string_view output);

}  // namespace applescript
