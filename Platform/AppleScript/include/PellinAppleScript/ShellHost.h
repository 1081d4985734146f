#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace applescript {

// What the machine and the calling process offer a shell run. Read anew for every run, so a
// change of HOME or of the display between two runs is seen.
struct ShellHost {
    bool isRoot = false;
    bool hasDisplay = false;                // DISPLAY or WAYLAND_DISPLAY is set
    std::optional<std::string> pkexecPath;  // absolute paths, found in the system folders only
    std::optional<std::string> sudoPath;
    std::string envPath = "/usr/bin/env";
    std::string home;        // the invoking user's home folder
    std::string searchPath;  // the fixed PATH every shell run gets

    static ShellHost current();
};

// The folders searched for programs, after ours: never the caller's PATH.
inline constexpr std::string_view kSystemSearchPath = "/usr/bin:/bin:/usr/sbin:/sbin";

// The folder of the running executable, where our own tools (launchctl) are installed beside
// the program; empty when it cannot be read or cannot stand in a PATH (it holds a colon).
std::string toolsFolder();

// toolsFolder() followed by the system folders.
std::string fixedSearchPath();

// The absolute path of `name` in the system folders, never in ours or the caller's PATH.
std::optional<std::string> findSystemProgram(std::string_view name);

}  // namespace applescript
