#include <PellinAppleScript/ElevatedRemoval.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Descriptor.h"

namespace applescript {

namespace {

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string ownerText(uid_t owner) {
    return "user " + std::to_string(owner);
}

}  // namespace

std::optional<std::string> elevatedRemovalRefusal(std::string_view path, const ShellHost& host) {
    if (host.home.empty() || host.home.front() != '/' || !host.owner) {
        return "the home folder of the current user is unknown or not an absolute path";
    }
    const std::string home = withoutTrailingSlashes(host.home);
    const std::string prefix = home == "/" ? home : home + "/";
    if (!path.starts_with(prefix) || path.size() == prefix.size()) {
        return std::string(path) + " is not inside the home folder " + home;
    }
    // The home's own path may pass through links (a home on another disk); what counts is the
    // folder it names, as for the shell's "cd -P".
    Descriptor folder(::open(home.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat info {};
    if (folder.get() < 0 || ::fstat(folder.get(), &info) != 0) {
        return "the home folder " + home + " cannot be examined: " + std::strerror(errno);
    }
    if (info.st_uid != *host.owner) {
        return "the home folder " + home + " does not belong to " + ownerText(*host.owner);
    }
    std::string walked = home == "/" ? "" : home;
    std::string_view rest = path.substr(prefix.size());
    for (std::size_t slash = rest.find('/'); slash != std::string_view::npos;
         slash = rest.find('/')) {
        const std::string name(rest.substr(0, slash));
        rest.remove_prefix(slash + 1);
        if (name.empty() || name == ".") {
            continue;
        }
        walked += "/" + name;
        if (name == "..") {
            return std::string(path) + " names a parent folder";
        }
        if (::fstatat(folder.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) {
                return std::nullopt;
            }
            return walked + " cannot be examined: " + std::strerror(errno);
        }
        if (S_ISLNK(info.st_mode)) {
            return walked + " is a symbolic link";
        }
        if (!S_ISDIR(info.st_mode)) {
            return walked + " is not a folder";
        }
        if (info.st_uid != *host.owner) {
            return walked + " does not belong to " + ownerText(*host.owner);
        }
        folder.adopt(
            ::openat(folder.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (folder.get() < 0) {
            return walked + " cannot be examined: " + std::strerror(errno);
        }
    }
    if (rest.empty() || rest == "." || rest == "..") {
        return std::string(path) + " names no item in a folder";
    }
    return std::nullopt;
}

}  // namespace applescript
