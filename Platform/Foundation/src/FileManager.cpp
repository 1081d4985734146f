#include <PellinFoundation/FileManager.h>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "ReadAll.h"

namespace foundation {
namespace {

namespace fs = std::filesystem;

bool fail(Error* error, const std::error_code& code, std::string_view what, std::string_view path) {
    if (error != nullptr) {
        error->code = code.value();
        error->localizedDescription =
            std::string(what) + " \"" + std::string(path) + "\": " + code.message();
    }
    return false;
}

std::error_code errnoCode(int value) {
    return {value, std::generic_category()};
}

std::string_view withoutTrailingSlashes(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    return path;
}

}  // namespace

namespace detail {

bool readAll(int fd, std::string& out) {
    return readAll(fd, out, std::string::npos - 1);
}

bool readAll(int fd, std::string& out, std::size_t maximumSize) {
    char buffer[65536];
    const std::size_t start = out.size();
    for (;;) {
        const std::size_t taken = out.size() - start;
        if (taken > maximumSize) {
            errno = EFBIG;
            return false;
        }
        // One byte beyond the bound tells a file of exactly maximumSize bytes from a longer one.
        const std::size_t wanted = std::min(sizeof buffer, maximumSize - taken + 1);
        const ssize_t n = read(fd, buffer, wanted);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
}

}  // namespace detail

std::optional<std::string> FileManager::contentsAtPath(std::string_view path) {
    const int fd = open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string content;
    struct stat info {};
    if (fstat(fd, &info) == 0 && info.st_size > 0) {
        content.reserve(static_cast<std::size_t>(info.st_size));
    }
    const bool complete = detail::readAll(fd, content);
    close(fd);
    if (!complete) {
        return std::nullopt;
    }
    return content;
}

std::optional<std::string> FileManager::contentsOfRegularFileAtPath(std::string_view path,
                                                                    std::size_t maximumSize,
                                                                    Error* error,
                                                                    FinalLink finalLink) {
    constexpr std::string_view kWhat = "Cannot read";
    const std::string name(path);
    int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if (finalLink == FinalLink::Refuse) {
        flags |= O_NOFOLLOW;
    }
    const int fd = open(name.c_str(), flags);
    if (fd < 0) {
        // O_NOFOLLOW reports a final link as ELOOP; say what it is.
        const int cause = errno;
        fail(error, errnoCode(cause), kWhat, path);
        if (error != nullptr && cause == ELOOP && finalLink == FinalLink::Refuse) {
            error->localizedDescription = std::string(kWhat) + " \"" + name +
                                          "\": it is a symbolic link, which is not followed";
        }
        return std::nullopt;
    }
    std::string content;
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        const int cause = errno;
        close(fd);
        fail(error, errnoCode(cause), kWhat, path);
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode)) {
        close(fd);
        fail(error, errnoCode(EINVAL), kWhat, path);
        if (error != nullptr) {
            error->localizedDescription =
                std::string(kWhat) + " \"" + name + "\": it is not a regular file";
        }
        return std::nullopt;
    }
    // The size is only a hint (files in /proc report none), so the read itself is bounded too.
    if (info.st_size > 0 && static_cast<std::uintmax_t>(info.st_size) > maximumSize) {
        close(fd);
        fail(error, errnoCode(EFBIG), kWhat, path);
        return std::nullopt;
    }
    if (info.st_size > 0) {
        content.reserve(static_cast<std::size_t>(info.st_size));
    }
    const bool complete = detail::readAll(fd, content, maximumSize);
    const int cause = errno;
    close(fd);
    if (!complete) {
        fail(error, errnoCode(cause), kWhat, path);
        return std::nullopt;
    }
    return content;
}

bool FileManager::fileExistsAtPath(std::string_view path) {
    if (path.empty()) {
        return false;
    }
    std::error_code ignored;
    return fs::exists(fs::status(fs::path(path), ignored));
}

bool FileManager::createDirectoryAtPath(std::string_view path, bool withIntermediateDirectories,
                                        Error* error) {
    constexpr std::string_view kWhat = "Cannot create the folder";
    if (path.empty()) {
        return fail(error, errnoCode(ENOENT), kWhat, path);
    }
    const fs::path target(path);
    std::error_code code;
    if (!withIntermediateDirectories) {
        // An existing item, folder or not, is a failure here, as mkdir(2) reports it.
        if (!fs::create_directory(target, code) && !code) {
            code = errnoCode(EEXIST);
        }
        return code ? fail(error, code, kWhat, path) : true;
    }
    fs::create_directories(target, code);
    if (!code && !fs::is_directory(target, code)) {
        code = code ? code : errnoCode(ENOTDIR);
    }
    return code ? fail(error, code, kWhat, path) : true;
}

bool FileManager::removeItemAtPath(std::string_view path, Error* error) {
    constexpr std::string_view kWhat = "Cannot remove";
    const fs::path target(path);
    std::error_code code;
    if (path.empty()) {
        return fail(error, errnoCode(ENOENT), kWhat, path);
    }
    // A stray "/" would otherwise take everything it can with it.
    if (target.lexically_normal() == fs::path("/")) {
        return fail(error, errnoCode(EBUSY), kWhat, path);
    }
    const fs::file_status status = fs::symlink_status(target, code);
    if (code || !fs::exists(status)) {
        return fail(error, code ? code : errnoCode(ENOENT), kWhat, path);
    }
    fs::remove_all(target, code);
    return code ? fail(error, code, kWhat, path) : true;
}

std::string homeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    const long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    while (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (std::size_t{1} << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    return found != nullptr && found->pw_dir != nullptr ? std::string(found->pw_dir)
                                                        : std::string();
}

std::optional<std::string> absoluteHomeDirectory() {
    std::string home = homeDirectory();
    if (home.empty() || home.front() != '/') {
        return std::nullopt;
    }
    return home;
}

std::string stringByExpandingTildeInPath(std::string_view path) {
    if (path != "~" && !path.starts_with("~/")) {
        return std::string(path);
    }
    const std::string home = homeDirectory();
    if (home.empty()) {
        return std::string(path);
    }
    const std::string_view base = withoutTrailingSlashes(home);
    std::string_view rest = path.substr(1);
    // HOME="/" must not give "//Applications".
    if (base == "/" && rest.starts_with('/')) {
        rest.remove_prefix(1);
    }
    return std::string(base) + std::string(rest);
}

std::string stringByDeletingLastPathComponent(std::string_view path) {
    const std::string_view trimmed = withoutTrailingSlashes(path);
    if (trimmed == "/") {
        return "/";
    }
    const std::size_t slash = trimmed.rfind('/');
    if (slash == std::string_view::npos) {
        return "";
    }
    const std::string_view parent = withoutTrailingSlashes(trimmed.substr(0, slash + 1));
    return std::string(parent.empty() ? std::string_view("/") : parent);
}

std::string lastPathComponent(std::string_view path) {
    const std::string_view trimmed = withoutTrailingSlashes(path);
    if (trimmed == "/") {
        return "/";
    }
    const std::size_t slash = trimmed.rfind('/');
    return std::string(slash == std::string_view::npos ? trimmed : trimmed.substr(slash + 1));
}

}  // namespace foundation
