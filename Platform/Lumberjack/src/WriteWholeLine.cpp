#include "WriteWholeLine.h"

#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <PellinFoundation/WriteAll.h>

namespace lumberjack::detail {

namespace {

constexpr char kLineFeed = '\n';

// The bytes written, or -1 when nothing could be.
ssize_t writeAll(int fd, iovec* parts, int count) {
    std::size_t written = 0;
    foundation::detail::writeAll(fd, parts, count, &written);
    return written > 0 ? static_cast<ssize_t>(written) : -1;
}

// The first `written` bytes of `parts` reached the file, and it ends with them: cuts away what
// follows their last line feed.
std::optional<std::size_t> keepWholeLines(int fd, const iovec* parts, int count,
                                          std::size_t written) {
    std::size_t whole = 0;
    std::size_t seen = 0;
    for (int i = 0; i < count && seen < written; ++i) {
        const auto* bytes = static_cast<const char*>(parts[i].iov_base);
        for (std::size_t j = 0; j < parts[i].iov_len && seen < written; ++j, ++seen) {
            if (bytes[j] == kLineFeed) {
                whole = seen + 1;
            }
        }
    }
    // With O_APPEND the offset is left just behind what this call wrote; if the file still ends
    // there, the half line is ours alone to cut away.
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    struct stat status {};
    const auto half = static_cast<off_t>(written - whole);
    if (end < half || ::fstat(fd, &status) != 0 || status.st_size != end ||
        ::ftruncate(fd, end - half) != 0) {
        return std::nullopt;
    }
    return whole;
}

std::optional<std::size_t> append(int fd, iovec* parts, int count) {
    const iovec original[2] = {parts[0], count > 1 ? parts[1] : iovec{}};
    std::size_t size = 0;
    for (int i = 0; i < count; ++i) {
        size += parts[i].iov_len;
    }
    const ssize_t written = writeAll(fd, parts, count);
    if (written <= 0) {
        return 0;
    }
    if (static_cast<std::size_t>(written) == size) {
        return size;
    }
    return keepWholeLines(fd, original, count, static_cast<std::size_t>(written));
}

}  // namespace

ssize_t writeWholeLine(int fd, std::string_view line) {
    iovec parts[2] = {{const_cast<char*>(line.data()), line.size()},
                      {const_cast<char*>(&kLineFeed), 1}};
    return writeAll(fd, parts, 2);
}

std::optional<std::size_t> appendWholeLine(int fd, std::string_view line) {
    iovec parts[2] = {{const_cast<char*>(line.data()), line.size()},
                      {const_cast<char*>(&kLineFeed), 1}};
    return append(fd, parts, 2);
}

std::optional<std::size_t> appendWholeLines(int fd, std::string_view lines) {
    iovec part = {const_cast<char*>(lines.data()), lines.size()};
    return append(fd, &part, 1);
}

}  // namespace lumberjack::detail
