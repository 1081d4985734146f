#pragma once

// Runs SettingsProbe, the second program that shares a settings domain with a test.

#include <sys/wait.h>

#include <string>
#include <vector>

#include "ChildProcess.h"

namespace pellin::test {

inline pid_t startProbe(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), SETTINGS_PROBE);
    return startProgram(arguments);
}

// What it printed, without the final newline; "(probe failed)" when it did not exit with 0.
inline std::string probe(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), SETTINGS_PROBE);
    ProgramRun run = runProgram(arguments);
    if (!run.started || !WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0) {
        return "(probe failed)";
    }
    if (run.output.ends_with('\n')) {
        run.output.pop_back();
    }
    return run.output;
}

}  // namespace pellin::test
