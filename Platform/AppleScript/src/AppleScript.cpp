#include <PellinAppleScript/AppleScript.h>

#include <PellinAppleScript/DoShellScriptExecutor.h>

namespace applescript {

AppleScript::AppleScript(std::string source) : AppleScript(std::move(source), nullptr) {}

AppleScript::AppleScript(std::string source, std::shared_ptr<ScriptExecutor> executor)
    : source_(std::move(source)), executor_(std::move(executor)) {
    if (!executor_) {
        executor_ = std::make_shared<DoShellScriptExecutor>();
    }
}

std::optional<std::string> AppleScript::executeAndReturnError(
    foundation::Dictionary* errorInfo) const {
    return executor_->executeAndReturnError(source_, errorInfo);
}

}  // namespace applescript
