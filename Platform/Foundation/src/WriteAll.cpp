#include <PellinFoundation/WriteAll.h>

#include <errno.h>
#include <unistd.h>

namespace foundation::detail {

int writeAll(int fd, iovec* parts, int count, std::size_t* written) {
    std::size_t total = 0;
    int error = 0;
    while (count > 0 && parts->iov_len == 0) {
        ++parts;
        --count;
    }
    while (count > 0) {
        const ssize_t n = ::writev(fd, parts, count);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        total += static_cast<std::size_t>(n);
        auto left = static_cast<std::size_t>(n);
        while (count > 0 && left >= parts->iov_len) {
            left -= parts->iov_len;
            ++parts;
            --count;
        }
        if (count > 0) {
            parts->iov_base = static_cast<char*>(parts->iov_base) + left;
            parts->iov_len -= left;
        }
    }
    if (written != nullptr) {
        *written = total;
    }
    return error;
}

int writeAll(int fd, const void* data, std::size_t size, std::size_t* written) {
    iovec part{const_cast<void*>(data), size};
    return writeAll(fd, &part, 1, written);
}

}  // namespace foundation::detail
