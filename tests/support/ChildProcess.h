#pragma once

// Starting a second program from a test and collecting what it printed.

#include <sys/types.h>

#include <string>
#include <vector>

namespace pellin::test {

// Starts `argv` (argv[0] a path) with this process's environment; its process id, or -1.
pid_t startProgram(const std::vector<std::string>& argv);

// Waits for `pid` through interruptions; its exit status, or -1 when it did not exit normally.
int waitForExit(pid_t pid);

struct ProgramRun {
    bool started = false;
    int status = 0;      // The raw wait status.
    std::string output;  // Its whole standard output.
};

// Runs `argv` to its end with its standard output captured.
ProgramRun runProgram(const std::vector<std::string>& argv);

}  // namespace pellin::test
