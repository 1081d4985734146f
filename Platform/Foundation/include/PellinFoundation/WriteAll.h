#pragma once

// Writing everything to a descriptor: write(2) may take only part of what it is given, or be
// interrupted by a signal before it takes anything.

#include <sys/uio.h>

#include <cstddef>

#include <PellinFoundation/Export.h>

namespace foundation::detail {

// Writes the `count` parts, the first call with one writev(2) so that they arrive together
// whenever the kernel takes them whole; retries interrupted calls and writes whatever is left
// after a short one. `parts` is advanced past what was written. Returns 0, or the errno of the
// call that failed (EIO when a call took nothing); `written`, when given, receives the number
// of bytes written either way.
PELLIN_EXPORT int writeAll(int fd, iovec* parts, int count, std::size_t* written = nullptr);

// The same for `size` bytes at `data`.
PELLIN_EXPORT int writeAll(int fd, const void* data, std::size_t size,
                           std::size_t* written = nullptr);

}  // namespace foundation::detail
