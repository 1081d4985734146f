#pragma once

#include <sys/types.h>

#include <string_view>

namespace lumberjack::detail {

// Writes `line` and a line feed with one writev(2) call, so that the line reaches the file
// whole or not at all, and appends of other processes cannot land inside it. Only when the
// kernel takes part of it (a nearly full disk) is the rest written by further calls. Returns
// the number of bytes written, or -1 when nothing could be written.
ssize_t writeWholeLine(int fd, std::string_view line);

// The same for bytes that already end with their line feed (several whole lines).
ssize_t writeWholeLines(int fd, std::string_view lines);

}  // namespace lumberjack::detail
