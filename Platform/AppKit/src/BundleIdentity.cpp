#include "BundleIdentity.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string_view>
#include <vector>

#include <PellinFoundation/FileManager.h>
#include <PellinFoundation/PropertyList.h>

namespace appkit::detail {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kInfoPlistLimit = 1024 * 1024;
// The kernel reads no more of a script to find its interpreter.
constexpr std::size_t kScriptHeadLength = 256;

const std::string* textFor(const foundation::Dictionary& dictionary, std::string_view key) {
    const auto it = dictionary.find(key);
    return it != dictionary.end() ? it->second.text() : nullptr;
}

// A name that stays inside Contents/MacOS.
bool isPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

std::string_view trimmedBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The "#!" line of the file at `path`, read as the kernel reads it: from the first 256 bytes of
// a regular file, opened without blocking on a FIFO or device.
std::optional<Interpreter> interpreterOfScript(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat file {};
    char head[kScriptHeadLength];
    ssize_t got = -1;
    if (fstat(fd, &file) == 0 && S_ISREG(file.st_mode)) {
        do {
            got = pread(fd, head, sizeof head, 0);
        } while (got < 0 && errno == EINTR);
    }
    close(fd);
    std::string_view line(head, got > 0 ? static_cast<std::size_t>(got) : 0);
    if (!line.starts_with("#!")) {
        return std::nullopt;
    }
    line = trimmedBlanks(line.substr(2, line.find('\n') - 2));
    const std::size_t end = std::min(line.find_first_of(" \t"), line.size());
    if (end == 0) {
        return std::nullopt;
    }
    return Interpreter{std::string(line.substr(0, end)),
                       std::string(trimmedBlanks(line.substr(end)))};
}

}  // namespace

std::optional<BundleIdentity> bundleAtPath(const std::string& bundlePath) {
    const std::string name = fs::path(bundlePath).filename().string();
    if (name.size() <= 4 || !name.ends_with(".app")) {
        return std::nullopt;
    }
    const std::optional<std::string> content = foundation::FileManager::contentsOfRegularFileAtPath(
        bundlePath + "/Contents/Info.plist", kInfoPlistLimit);
    const std::optional<foundation::Value> plist =
        content ? foundation::PropertyListSerialization::propertyListWithData(*content)
                : std::nullopt;
    const foundation::Dictionary* info = plist ? plist->dictionary() : nullptr;
    const std::string* identifier = info ? textFor(*info, "CFBundleIdentifier") : nullptr;
    if (identifier == nullptr || identifier->empty()) {
        return std::nullopt;
    }
    const std::string* named = textFor(*info, "CFBundleExecutable");
    const std::string executable = named ? *named : name.substr(0, name.size() - 4);
    if (!isPlainFileName(executable)) {
        return std::nullopt;
    }
    const std::string executablePath = bundlePath + "/Contents/MacOS/" + executable;
    return BundleIdentity{*identifier, bundlePath, executablePath,
                          interpreterOfScript(executablePath)};
}

std::optional<std::string> bundlePathForExecutable(const std::string& path) {
    // Most programs lie in no bundle: the names that normalising cannot add settle that at once.
    if (path.find(".app") == std::string::npos || path.find("MacOS") == std::string::npos) {
        return std::nullopt;
    }
    const fs::path normal = fs::path(path).lexically_normal();
    if (!normal.is_absolute() || !normal.has_filename()) {
        return std::nullopt;
    }
    const fs::path macOS = normal.parent_path();
    const fs::path contents = macOS.parent_path();
    const std::string bundle = contents.parent_path().filename().string();
    if (macOS.filename() != "MacOS" || contents.filename() != "Contents" || bundle.size() <= 4 ||
        !bundle.ends_with(".app")) {
        return std::nullopt;
    }
    return contents.parent_path().string();
}

}  // namespace appkit::detail
