#include "CheckedRemoval.h"

#include <sys/stat.h>

#include <algorithm>

#include <PellinAppleScript/AppleScript.h>
#include <PellinAppleScript/DoShellScriptExecutor.h>
#include <PellinAppleScript/ElevatedRemoval.h>
#include <PellinAppleScript/ShellHost.h>
#include <PellinFoundation/FileManager.h>

#include "UninstallCommand.h"

namespace uninstall_detail {

namespace {

std::nullopt_t fail(foundation::Dictionary* errorInfo, int number, const std::string& message) {
    if (errorInfo != nullptr) {
        (*errorInfo)[std::string(applescript::NSAppleScriptErrorNumber)] =
            foundation::Value(number);
        (*errorInfo)[std::string(applescript::NSAppleScriptErrorMessage)] =
            foundation::Value(message);
    }
    return std::nullopt;
}

// Something is still at `path`, a link included.
bool remains(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// The folders that hold `items`, each once: the shell proves them all before the text runs.
std::vector<std::string> foldersOf(const std::vector<std::string>& items) {
    std::vector<std::string> folders;
    for (const std::string& item : items) {
        std::string folder = foundation::stringByDeletingLastPathComponent(item);
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
            folders.push_back(std::move(folder));
        }
    }
    return folders;
}

}  // namespace

CheckedRemoval::CheckedRemoval(std::shared_ptr<applescript::ScriptExecutor> inner,
                               std::vector<std::string> items)
    : inner_(inner ? std::move(inner)
                   : std::make_shared<applescript::DoShellScriptExecutor>(std::nullopt,
                                                                          foldersOf(items))),
      items_(std::move(items)) {}

std::optional<std::string> CheckedRemoval::executeAndReturnError(
    std::string_view source, foundation::Dictionary* errorInfo) {
    const applescript::ShellHost host = applescript::ShellHost::current();
    for (const std::string& item : items_) {
        if (const auto refusal = applescript::elevatedRemovalRefusal(item, host)) {
            return fail(errorInfo, UninstallCommand::kRemovalRefusedErrorNumber,
                        "Nothing was removed: " + *refusal + ".");
        }
    }

    std::optional<std::string> answer = inner_->executeAndReturnError(source, errorInfo);
    if (!answer && errorInfo != nullptr && !errorInfo->empty()) {
        return answer;  // a failed run, with its own record (or an earlier run's)
    }
    std::string left;
    for (const std::string& item : items_) {
        if (remains(item)) {
            left += (left.empty() ? "" : ", ") + item;
        }
    }
    if (!left.empty()) {
        return fail(errorInfo, UninstallCommand::kItemsRemainErrorNumber,
                    "The removal left " + left + " in place.");
    }
    return answer;
}

}  // namespace uninstall_detail
