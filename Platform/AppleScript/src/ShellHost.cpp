#include <PellinAppleScript/ShellHost.h>

#include <fcntl.h>
#include <sys/stat.h>
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

bool hasControllingTerminal() {
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

std::optional<uid_t> ownerOf(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return std::nullopt;
    }
    return info.st_uid;
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
    host.hasTerminal = hasControllingTerminal();
    host.pkexecPath = findSystemProgram("pkexec");
    host.sudoPath = findSystemProgram("sudo");
    host.envPath = findSystemProgram("env").value_or("/usr/bin/env");
    host.home = foundation::absoluteHomeDirectory().value_or("");
    if (!host.home.empty()) {
        host.owner = host.isRoot ? ownerOf(host.home) : std::optional<uid_t>(::getuid());
    }
    host.searchPath = fixedSearchPath();
    return host;
}

}  // namespace applescript
