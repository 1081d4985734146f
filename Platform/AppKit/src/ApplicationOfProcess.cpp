#include "ApplicationOfProcess.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>
#include <vector>

#include "RememberedBundles.h"

namespace appkit::detail {
namespace {

namespace fs = std::filesystem;

// The file an interpreter was given to run: its first argument that is not an option ("sh -e
// script"), resolved against the process's working folder.
std::optional<std::string> scriptOperand(pid_t pid, const std::vector<std::string>& arguments) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.empty() || argument.starts_with('-')) {
            continue;
        }
        if (argument.starts_with('/')) {
            return argument;
        }
        const std::optional<std::string> folder = workingDirectoryOf(pid);
        if (!folder) {
            return std::nullopt;
        }
        return (fs::path(*folder) / argument).string();
    }
    return std::nullopt;
}

bool runsAs(const ProcessExecutable& executable, const std::vector<std::string>& arguments,
            const Interpreter& interpreter) {
    // "#!/usr/bin/env bash": env has replaced itself by the program it looked up, which keeps
    // the name it was looked up by.
    if (fs::path(interpreter.path).filename() == "env" && !interpreter.argument.empty()) {
        return !arguments.empty() && arguments.front() == interpreter.argument;
    }
    struct stat file {};
    return stat(interpreter.path.c_str(), &file) == 0 && file.st_dev == executable.device &&
           file.st_ino == executable.inode;
}

}  // namespace

std::optional<BundleIdentity> BundleLookup::bundleWithExecutable(const std::string& path) {
    const std::optional<std::string> written = bundlePathForExecutable(path);
    if (!written) {
        return std::nullopt;
    }
    const fs::path normal = fs::path(path).lexically_normal();
    const std::string name = normal.filename().string();
    if (std::optional<BundleIdentity> bundle = bundleAt(*written, name)) {
        return bundle;
    }
    // Bundles are remembered under their real path, the one /proc shows for a program file; a
    // script may have been started through a symbolic link to its removed bundle.
    std::error_code error;
    const std::string real = fs::weakly_canonical(*written, error).string();
    if (error || real == *written) {
        return std::nullopt;
    }
    return bundleAt(real, name);
}

std::optional<BundleIdentity> BundleLookup::bundleAt(const std::string& bundlePath,
                                                     const std::string& executableName) {
    std::optional<BundleIdentity> bundle = RememberedBundles::lookup(bundlePath);
    if (!bundle) {
        auto [entry, added] = read_.try_emplace(bundlePath);
        if (added) {
            entry->second = bundleAtPath(bundlePath);
        }
        bundle = entry->second;
    }
    if (!bundle || bundle->executablePath != bundlePath + "/Contents/MacOS/" + executableName) {
        return std::nullopt;
    }
    return bundle;
}

bool mayRunBundleExecutable(pid_t pid, const ProcessExecutable& executable) {
    if (bundlePathForExecutable(executable.path)) {
        return true;
    }
    const std::optional<std::string> script = scriptOperand(pid, argumentsOf(pid));
    return script && bundlePathForExecutable(*script);
}

std::optional<BundleIdentity> applicationOfProcess(pid_t pid, const ProcessExecutable& executable,
                                                   BundleLookup& bundles) {
    if (std::optional<BundleIdentity> bundle = bundles.bundleWithExecutable(executable.path)) {
        return bundle;
    }
    const std::vector<std::string> arguments = argumentsOf(pid);
    const std::optional<std::string> script = scriptOperand(pid, arguments);
    if (!script) {
        return std::nullopt;
    }
    std::optional<BundleIdentity> bundle = bundles.bundleWithExecutable(*script);
    if (!bundle || !bundle->interpreter || !runsAs(executable, arguments, *bundle->interpreter)) {
        return std::nullopt;
    }
    return bundle;
}

}  // namespace appkit::detail
