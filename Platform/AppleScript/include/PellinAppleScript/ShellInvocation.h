#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <PellinAppleScript/DoShellScriptStatement.h>
#include <PellinAppleScript/ShellHost.h>

namespace applescript {

// How a shell text gains administrator rights, if it needs to.
enum class Elevation { None, Pkexec, Sudo };

// The program, arguments and environment of one run. The shell text is always one argument of
// its own, never pasted into a longer command.
struct ShellInvocation {
    Elevation elevation = Elevation::None;
    bool administrator = false;          // the text runs with administrator rights
    std::vector<std::string> arguments;  // arguments[0] is the absolute path of the program
    // "NAME=value" entries that replace the caller's own for the started program (PATH always,
    // HOME when the home is known); the rest of the caller's environment is kept.
    std::vector<std::string> environment;
};

// An elevated shell writes this byte first, so that its output tells whether the shell ran at
// all: an authentication that was refused or dismissed never produces it.
inline constexpr char kElevatedShellStartMarker = '\036';

// The shell program every text with administrator rights runs in: it takes the start marker
// (or ""), the owner's user id, the text and the folders the text removes in as its arguments,
// and runs the text with `rm` and `sudo rm` guarded so that they remove only inside the owner's
// home, reached without a link.
std::string_view elevatedShellScript();

// The outcome of planning a run: the invocation, or why it cannot run.
struct ShellInvocationPlan {
    std::optional<ShellInvocation> invocation;
    std::string failure;
};

// Without privileges: `/bin/sh -c <text>` with our tools first on PATH. With administrator
// privileges: `/bin/sh -c <elevated shell> sh <marker> <owner> <text>` with HOME=<home> and
// PATH=<system folders>, run directly by a process that is root already, otherwise through
// `pkexec` when a display is available, else `sudo` on the terminal, behind `env HOME=<home>
// PATH=<system folders>` (both reset HOME to root's, and "~" must name the invoking user's
// home). A privileged text never runs without an absolute home and its owner; the folders it
// removes in, when the caller knows them, follow it as arguments.
ShellInvocationPlan planShellInvocation(const DoShellScriptStatement& statement,
                                        const ShellHost& host,
                                        const std::vector<std::string>& removalFolders = {});

}  // namespace applescript
