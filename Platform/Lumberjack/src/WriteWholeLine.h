#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string_view>

namespace lumberjack::detail {

// Writes `line` and a line feed with one writev(2) call, so that the line reaches its reader
// whole or not at all, and output of other processes cannot land inside it. Only when the
// kernel takes part of it is the rest written by further calls. Returns the number of bytes
// written, or -1 when nothing could be written.
ssize_t writeWholeLine(int fd, std::string_view line);

// Appends to a file opened with O_APPEND, keeping only whole lines there: when the kernel takes
// just part of what is written (a full disk), the file is cut back to the end of the last whole
// line, so that no half line is left for the next one to be glued onto. Returns the number of
// bytes that stay in the file (0 when nothing could be written); nothing when a half line had
// to stay (another process appended behind it, or the file cannot be cut), after which the
// file is not to be written again.
std::optional<std::size_t> appendWholeLine(int fd, std::string_view line);
// The same for bytes that already end with their line feed (several whole lines).
std::optional<std::size_t> appendWholeLines(int fd, std::string_view lines);

}  // namespace lumberjack::detail
