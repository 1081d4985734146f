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

struct AuthenticationFailure {
    int number;
    std::string message;
};

// Why pkexec or sudo ended without starting the shell. Only a dismissal is a cancel: pkexec
// says so with its own status, and sudo's prompt is dismissed with Ctrl-C, which reaches us
// too (the terminal signals its whole foreground group). Every other failure keeps the tool's
// own message; sudo's are all status 1, so no status tells them apart.
AuthenticationFailure authenticationFailure(const ShellInvocation& invocation,
                                            const ShellHost& host, const ProcessOutcome& outcome) {
    const bool dismissed = invocation.elevation == Elevation::Pkexec
                               ? outcome.exited && outcome.exitStatus == kPkexecDismissed
                               : outcome.interrupted || (!outcome.exited && outcome.signal != 0);
    if (dismissed) {
        return {kUserCanceledErrorNumber, "User canceled."};
    }
    std::string message = doShellScriptOutput(outcome.standardError);
    if (message.empty()) {
        message = invocation.arguments.front() + " did not grant administrator privileges (" +
                  (outcome.exited ? "status " + std::to_string(outcome.exitStatus)
                                  : "signal " + std::to_string(outcome.signal)) +
                  ").";
    }
    const bool couldNotAsk = invocation.elevation == Elevation::Sudo && !host.hasTerminal;
    return {couldNotAsk ? kNoUserInteractionErrorNumber : kPrivilegeErrorNumber,
            std::move(message)};
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
    const ShellInvocationPlan plan = planShellInvocation(*parse.statement, host, removalFolders_);
    if (!plan.invocation) {
        return fail(errorInfo, kUnknownErrorNumber, plan.failure);
    }
    const ShellInvocation& invocation = *plan.invocation;

    ProcessOutcome outcome = runProcess(invocation.arguments, invocation.environment,
                                        invocation.elevation != Elevation::None);
    if (outcome.spawnError != 0) {
        return fail(errorInfo, kUnknownErrorNumber,
                    "Could not start " + invocation.arguments.front() + ": " +
                        std::strerror(outcome.spawnError));
    }
    if (invocation.elevation != Elevation::None && !takeStartMarker(outcome.standardOutput)) {
        const AuthenticationFailure failure = authenticationFailure(invocation, host, outcome);
        return fail(errorInfo, failure.number, failure.message);
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
