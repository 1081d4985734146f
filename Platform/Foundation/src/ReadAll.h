#pragma once

#include <cstddef>
#include <string>

namespace foundation::detail {

// Appends everything left to read from `fd` to `out`, retrying interrupted reads. False when a
// read fails, with errno telling why. FileManager::contentsAtPath reads through it too.
bool readAll(int fd, std::string& out);

// The same, but reads at most `maximumSize` bytes: with more left to read it stops and answers
// false with errno set to EFBIG, having read no more than maximumSize + 1 bytes.
bool readAll(int fd, std::string& out, std::size_t maximumSize);

}  // namespace foundation::detail
