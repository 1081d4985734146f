#pragma once

#include <string_view>

namespace lumberjack::detail {

// Writes `text` to standard error if it can be written now, and otherwise drops it: the
// facility tells a person what it could not do, but never waits for a reader to do so (a pipe
// nobody reads, a stopped terminal). The program's name goes before the text.
void tellOnStandardError(std::string_view text);

}  // namespace lumberjack::detail
