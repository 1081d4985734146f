#pragma once

#include <string>

namespace foundation::detail {

// Appends everything left to read from `fd` to `out`, retrying interrupted reads. False when a
// read fails, with errno telling why. FileManager::contentsAtPath reads through it too.
bool readAll(int fd, std::string& out);

}  // namespace foundation::detail
