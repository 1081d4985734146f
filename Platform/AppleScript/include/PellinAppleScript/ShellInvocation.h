#pragma once

#include <string>
#include <vector>

#include <PellinAppleScript/DoShellScriptStatement.h>
#include <PellinAppleScript/ShellHost.h>

namespace applescript {

// How a shell text gains administrator rights, if it needs to.
enum class Elevation { None, Pkexec, Sudo };

// The program, arguments and PATH of one run. The shell text is always one argument of its
// own, never pasted into a longer command.
struct ShellInvocation {
    Elevation elevation = Elevation::None;
    std::vector<std::string> arguments;  // arguments[0] is the absolute path of the program
    std::string searchPath;              // PATH of the started program
};

// An elevated shell writes this byte first, so that its output tells whether the shell ran at
// all: an authentication that was refused or dismissed never produces it.
inline constexpr char kElevatedShellStartMarker = '\036';

// The outcome of planning a run: the invocation, or why it cannot run.
struct ShellInvocationPlan {
    std::optional<ShellInvocation> invocation;
    std::string failure;
};

// Without privileges, or as root already: `/bin/sh -c <text>` directly, HOME left as it is.
// Otherwise `pkexec` when a display is available, else `sudo` on the terminal, each running
// `env HOME=<home> PATH=<fixed> /bin/sh -c <start marker; exec /bin/sh -c "$1"> sh <text>`,
// because both reset HOME to root's and "~" must name the invoking user's home.
ShellInvocationPlan planShellInvocation(const DoShellScriptStatement& statement,
                                        const ShellHost& host);

}  // namespace applescript
