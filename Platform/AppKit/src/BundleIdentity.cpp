#include "BundleIdentity.h"

#include <plist/plist.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <vector>

#include <PellinFoundation/FileManager.h>

#include "ProcessTable.h"

namespace appkit::detail {
namespace {

namespace fs = std::filesystem;

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPointer = std::unique_ptr<void, PlistFree>;

// Path components of an absolute, lexically normal path.
std::vector<std::string> componentsOf(const fs::path& path) {
    std::vector<std::string> components;
    for (const fs::path& part : path) {
        if (part != "/" && !part.empty()) {
            components.push_back(part.string());
        }
    }
    return components;
}

fs::path joined(const std::vector<std::string>& components, std::size_t count) {
    fs::path path = "/";
    for (std::size_t i = 0; i < count; ++i) {
        path /= components[i];
    }
    return path;
}

std::optional<BundleIdentity> innermostBundle(const fs::path& path, bool mustBeInMacOSFolder) {
    if (!path.is_absolute()) {
        return std::nullopt;
    }
    const std::vector<std::string> parts = componentsOf(path.lexically_normal());
    // parts[i] is a bundle folder when it is named "*.app" and the path goes on into its
    // Contents folder; scripts are accepted only from Contents/MacOS, where a bundle keeps the
    // programs it launches, so that a tool merely reading a bundle's resources is not mistaken
    // for the application.
    for (std::size_t i = parts.size(); i-- > 0;) {
        const std::string& name = parts[i];
        if (name.size() <= 4 || !name.ends_with(".app") || i + 2 >= parts.size() ||
            parts[i + 1] != "Contents") {
            continue;
        }
        if (mustBeInMacOSFolder && parts[i + 2] != "MacOS") {
            continue;
        }
        const std::string bundlePath = joined(parts, i + 1).string();
        if (std::optional<std::string> identifier = bundleIdentifierOfBundle(bundlePath)) {
            return BundleIdentity{std::move(*identifier), bundlePath, path.string()};
        }
    }
    return std::nullopt;
}

bool beginsWithShebang(const fs::path& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char head[2] = {};
    const bool script = read(fd, head, 2) == 2 && head[0] == '#' && head[1] == '!';
    close(fd);
    return script;
}

}  // namespace

std::optional<std::string> bundleIdentifierOfBundle(const std::string& bundlePath) {
    const std::optional<std::string> content = foundation::FileManager::contentsAtPath(
        (fs::path(bundlePath) / "Contents/Info.plist").string());
    if (!content || content->empty() ||
        content->size() > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    plist_t raw = nullptr;
    plist_from_memory(content->data(), static_cast<std::uint32_t>(content->size()), &raw);
    const PlistPointer root(raw);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT) {
        return std::nullopt;
    }
    plist_t item = plist_dict_get_item(root.get(), "CFBundleIdentifier");
    if (item == nullptr || plist_get_node_type(item) != PLIST_STRING) {
        return std::nullopt;
    }
    char* value = nullptr;
    plist_get_string_val(item, &value);
    if (value == nullptr) {
        return std::nullopt;
    }
    std::string identifier(value);
    std::free(value);
    if (identifier.empty()) {
        return std::nullopt;
    }
    return identifier;
}

std::optional<BundleIdentity> bundleContaining(const std::string& path) {
    return innermostBundle(path, false);
}

std::optional<BundleIdentity> bundleOfProcess(pid_t pid) {
    const std::optional<std::string> executable = executablePathOf(pid);
    if (!executable) {
        return std::nullopt;
    }
    if (std::optional<BundleIdentity> identity = bundleContaining(*executable)) {
        return identity;
    }
    // An interpreter started through a script's "#!" line gets the script as its first
    // argument that is not an option ("/bin/sh -e /x.app/Contents/MacOS/run").
    const std::vector<std::string> arguments = argumentsOf(pid);
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.empty() || argument.starts_with('-')) {
            continue;
        }
        fs::path script = argument;
        if (script.is_relative()) {
            const std::optional<std::string> cwd = workingDirectoryOf(pid);
            if (!cwd) {
                return std::nullopt;
            }
            script = fs::path(*cwd) / script;
        }
        // Whatever is exec'd as a bundle's program and is not a binary must begin with "#!".
        if (!beginsWithShebang(script)) {
            return std::nullopt;
        }
        return innermostBundle(script, true);
    }
    return std::nullopt;
}

}  // namespace appkit::detail
