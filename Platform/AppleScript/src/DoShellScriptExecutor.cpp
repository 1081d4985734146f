#include <PellinAppleScript/DoShellScriptExecutor.h>

#include <cstring>

#include <PellinAppleScript/AppleScript.h>
#include <PellinAppleScript/DoShellScriptStatement.h>
#include <PellinAppleScript/ShellInvocation.h>

#include "ProcessRun.h"

namespace applescript {

namespace {

// pkexec's exit status when the user dismissed its authentication dialog.
constexpr int kPkexecDismissed = 126;

std::nullopt_t fail(foundation::Dictionary* errorInfo, std::int64_t number,
                    std::string_view message) {
    if (errorInfo != nullptr) {
        (*errorInfo)[std::string(NSAppleScriptErrorNumber)] = foundation::Value(number);
        (*errorInfo)[std::string(NSAppleScriptErrorMessage)] = foundation::Value(message);
    }
    return std::nullopt;
}

// An elevated shell that started wrote the marker first; take it off the output. No marker
// means the authentication never let the shell start.
bool takeStartMarker(std::string& output) {
    if (output.empty() || output.front() != kElevatedShellStartMarker) {
        return false;
    }
    output.erase(0, 1);
    return true;
}

}  // namespace

std::string doShellScriptOutput(std::string_view output) {
    if (output.ends_with("\r\n")) {
        output.remove_suffix(2);
    } else if (output.ends_with('\n') || output.ends_with('\r')) {
        output.remove_suffix(1);
    }
    std::string out;
    out.reserve(output.size());
    for (std::size_t i = 0; i < output.size(); ++i) {
        if (output[i] == '\r' && i + 1 < output.size() && output[i + 1] == '\n') {
            continue;  // CR LF is one line ending; its LF below becomes the CR
        }
        out += output[i] == '\n' ? '\r' : output[i];
    }
    return out;
}

std::optional<std::string> DoShellScriptExecutor::executeAndReturnError(
    std::string_view source, foundation::Dictionary* errorInfo) {
    const DoShellScriptParse parse = parseDoShellScript(source);
    if (!parse.statement) {
        return fail(errorInfo, kSyntaxErrorNumber, parse.failure);
    }
    const ShellHost host = host_ ? *host_ : ShellHost::current();
    const ShellInvocationPlan plan = planShellInvocation(*parse.statement, host);
    if (!plan.invocation) {
        return fail(errorInfo, kUnknownErrorNumber, plan.failure);
    }
    const ShellInvocation& invocation = *plan.invocation;

    ProcessOutcome outcome = runProcess(invocation.arguments, invocation.searchPath);
    if (outcome.spawnError != 0) {
        return fail(errorInfo, kUnknownErrorNumber,
                    "Could not start " + invocation.arguments.front() + ": " +
                        std::strerror(outcome.spawnError));
    }
    if (invocation.elevation != Elevation::None && !takeStartMarker(outcome.standardOutput)) {
        // sudo answers 1 for a refused password as for every failure of its own; pkexec tells
        // a dismissed dialog apart from its other failures, which keep their own message.
        const bool canceled = invocation.elevation == Elevation::Sudo ||
                              (outcome.exited && outcome.exitStatus == kPkexecDismissed);
        if (canceled) {
            return fail(errorInfo, kUserCanceledErrorNumber, "User canceled.");
        }
    }
    const int status = outcome.exited ? outcome.exitStatus : 128 + outcome.signal;
    if (status != 0) {
        const std::string& message =
            outcome.standardError.empty() ? outcome.standardOutput : outcome.standardError;
        return fail(errorInfo, status, doShellScriptOutput(message));
    }
    return doShellScriptOutput(outcome.standardOutput);
}

}  // namespace applescript
