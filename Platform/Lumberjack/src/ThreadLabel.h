#pragma once

#include <array>

namespace lumberjack::detail {

// The label a message carries for the thread that logged it: "main" for the process's main
// thread, otherwise the thread's name, otherwise its number; NUL-terminated. Taken at the
// thread's first log call and kept, because asking the kernel costs more than the rest of a log
// call.
const std::array<char, 32>& currentThreadLabel();

// In the child of a fork the forking thread becomes the main thread.
void forgetCurrentThreadLabel();

}  // namespace lumberjack::detail
