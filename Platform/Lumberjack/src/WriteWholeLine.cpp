#include "WriteWholeLine.h"

#include <errno.h>
#include <sys/uio.h>

namespace lumberjack::detail {

namespace {

ssize_t writeAll(int fd, iovec* next, int remaining) {
    ssize_t total = 0;
    while (remaining > 0) {
        const ssize_t written = ::writev(fd, next, remaining);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return total > 0 ? total : -1;
        }
        if (written == 0) {
            return total > 0 ? total : -1;
        }
        total += written;
        auto left = static_cast<std::size_t>(written);
        while (remaining > 0 && left >= next->iov_len) {
            left -= next->iov_len;
            ++next;
            --remaining;
        }
        if (remaining > 0) {
            next->iov_base = static_cast<char*>(next->iov_base) + left;
            next->iov_len -= left;
        }
    }
    return total;
}

}  // namespace

ssize_t writeWholeLine(int fd, std::string_view line) {
    static constexpr char kLineFeed = '\n';
    iovec parts[2] = {{const_cast<char*>(line.data()), line.size()},
                      {const_cast<char*>(&kLineFeed), 1}};
    return writeAll(fd, parts, 2);
}

ssize_t writeWholeLines(int fd, std::string_view lines) {
    iovec part = {const_cast<char*>(lines.data()), lines.size()};
    return writeAll(fd, &part, 1);
}

}  // namespace lumberjack::detail
