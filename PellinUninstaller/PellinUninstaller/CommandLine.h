#pragma once

#include <optional>

#include "ExitStatus.h"

// The uninstaller takes no arguments but "--help" and "--version", each alone, which print what
// they say on standard output. Anything else is refused on standard error with the usage line.
// Answers the exit status when the command line ends the run here, and nothing when the
// uninstaller is to run.
std::optional<int> answerCommandLine(int argc, const char* const* argv);
