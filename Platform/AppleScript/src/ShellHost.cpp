#include <PellinAppleScript/ShellHost.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <PellinFoundation/FileManager.h>

namespace applescript {

namespace {

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

}  // namespace

std::string toolsFolder() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || !executable.is_absolute()) {
        return {};
    }
    std::string folder = executable.parent_path().string();
    // PATH has no way to write a colon inside one of its folders.
    if (folder.find(':') != std::string::npos) {
        return {};
    }
    return folder;
}

std::string fixedSearchPath() {
    const std::string ours = toolsFolder();
    return ours.empty() ? std::string(kSystemSearchPath)
                        : ours + ":" + std::string(kSystemSearchPath);
}

std::optional<std::string> findSystemProgram(std::string_view name) {
    std::string_view folders = kSystemSearchPath;
    while (!folders.empty()) {
        const std::size_t colon = folders.find(':');
        const std::string_view folder = folders.substr(0, colon);
        folders = colon == std::string_view::npos ? std::string_view{} : folders.substr(colon + 1);
        const std::string candidate = std::string(folder) + "/" + std::string(name);
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

ShellHost ShellHost::current() {
    ShellHost host;
    host.isRoot = ::geteuid() == 0;
    host.hasDisplay = isSet("DISPLAY") || isSet("WAYLAND_DISPLAY");
    host.pkexecPath = findSystemProgram("pkexec");
    host.sudoPath = findSystemProgram("sudo");
    host.envPath = findSystemProgram("env").value_or("/usr/bin/env");
    host.home = foundation::homeDirectory();
    host.searchPath = fixedSearchPath();
    return host;
}

}  // namespace applescript
