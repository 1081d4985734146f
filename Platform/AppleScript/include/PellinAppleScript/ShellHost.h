#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace applescript {

// What the machine and the calling process offer a shell run. Read anew for every run, so a
// change of HOME or of the display between two runs is seen.
struct ShellHost {
    bool isRoot = false;
    bool hasDisplay = false;                // DISPLAY or WAYLAND_DISPLAY is set
    bool hasTerminal = false;               // a controlling terminal sudo can ask on
    std::optional<std::string> pkexecPath;  // absolute paths, found in the system folders only
    std::optional<std::string> sudoPath;
    std::string envPath = "/usr/bin/env";
    // The invoking user's home folder: HOME, or the password file's when HOME is unset or
    // empty; empty when it is unknown or not an absolute path.
    std::string home;
    // The user an elevated shell acts for, who must own `home` and every folder between it
    // and what the shell removes: the invoking user, or, for a process that is root already,
    // the owner of `home` (root with a user's HOME acts for that user). Nothing when the home
    // is unknown or cannot be examined.
    std::optional<uid_t> owner;
    std::string searchPath;  // PATH of a run without privileges: our tools, then the system's

    static ShellHost current();
};

// The folders searched for programs, after ours: never the caller's PATH.
inline constexpr std::string_view kSystemSearchPath = "/usr/bin:/bin:/usr/sbin:/sbin";

// The whole PATH of a shell with administrator rights: only folders that root owns and nobody
// else can write, never ours (a user may have installed us in a folder of their own).
inline constexpr std::string_view kElevatedSearchPath = "/usr/sbin:/usr/bin:/sbin:/bin";

// The folder of the running executable, where our own tools (launchctl) are installed beside
// the program; empty when it cannot be read or cannot stand in a PATH (it holds a colon).
std::string toolsFolder();

// toolsFolder() followed by the system folders.
std::string fixedSearchPath();

// The absolute path of `name` in the system folders, never in ours or the caller's PATH.
std::optional<std::string> findSystemProgram(std::string_view name);

}  // namespace applescript
