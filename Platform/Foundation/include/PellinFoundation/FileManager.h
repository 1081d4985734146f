#pragma once

// File operations and path texts the Pellin programs rely on.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <PellinFoundation/Export.h>

namespace foundation {

// An operation's failure: a code (the errno value) and a description a person can read.
struct Error {
    long code = 0;
    std::string localizedDescription;
};

class PELLIN_EXPORT FileManager {
  public:
    FileManager() = delete;

    // Whether something exists at `path`, following a final symbolic link; a folder counts.
    // Never fails: an unreadable parent or a broken link answers false.
    static bool fileExistsAtPath(std::string_view path);

    // Creates `path` (and, with `withIntermediateDirectories`, its missing parents). With
    // intermediates an existing folder is success. On failure fills `error` when given.
    static bool createDirectoryAtPath(std::string_view path, bool withIntermediateDirectories,
                                      Error* error);

    // Removes a file or a whole folder tree; a symbolic link itself, never what it names.
    // A missing item is a failure. On failure fills `error` when given.
    static bool removeItemAtPath(std::string_view path, Error* error);

    // The whole content of the file at `path`, read to its end (also files that report no size,
    // as in /proc); nothing when it cannot be opened or a read fails. Opened close-on-exec.
    static std::optional<std::string> contentsAtPath(std::string_view path);

    // The content of a file that another program may have written or planted, read with
    // bounds so that no such file can stall or exhaust this process: only a regular file,
    // opened without blocking (a FIFO or device is refused, never waited on), and only when it
    // holds at most `maximumSize` bytes; a larger one is refused without being read whole.
    // With FinalLink::Refuse a symbolic link at `path` itself is refused too. On failure fills
    // `error` (when given) with the errno value and a description naming the path.
    enum class FinalLink { Follow, Refuse };
    static std::optional<std::string> contentsOfRegularFileAtPath(
        std::string_view path, std::size_t maximumSize, Error* error = nullptr,
        FinalLink finalLink = FinalLink::Follow);
};

// The current user's home folder: HOME, else the password database; empty when neither knows.
PELLIN_EXPORT std::string homeDirectory();

// homeDirectory() when it is an absolute path; nothing otherwise (unknown, or a relative HOME,
// which would put a user's files wherever the program happened to be started).
PELLIN_EXPORT std::optional<std::string> absoluteHomeDirectory();

// A leading "~" or "~/" becomes the current user's home folder, read at the moment of the call.
// Other texts ("~other/x", "a/~") are returned unchanged.
PELLIN_EXPORT std::string stringByExpandingTildeInPath(std::string_view path);

// "/a/b/c.app" -> "/a/b", "~/Applications/K.app" -> "~/Applications", "/a" -> "/", "a" -> "",
// trailing slashes ignored.
PELLIN_EXPORT std::string stringByDeletingLastPathComponent(std::string_view path);

// The last path component: "/a/b.cpp" -> "b.cpp".
PELLIN_EXPORT std::string lastPathComponent(std::string_view path);

}  // namespace foundation
