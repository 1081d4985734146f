#pragma once

// Starting a second program from a test and collecting what it printed (through Subprocess).

#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "Subprocess.h"

namespace pellin::test {

// Starts `argv` (argv[0] a path) with this process's environment and streams; its process id,
// or -1.
pid_t startProgram(const std::vector<std::string>& argv);

// Waits for `pid` through interruptions; its exit status, or -1 when it did not exit normally.
int waitForExit(pid_t pid);

// How runProgram runs a program, beyond its arguments.
struct ProgramOptions {
    // Standard error: this process's, collected into ProgramRun::errors, or a pipe that nobody
    // reads while the program runs.
    using Errors = SessionOptions::Errors;

    ProgramOptions(Errors errors = Errors::Inherited, std::chrono::seconds limit = {},
                   std::vector<std::string> environment = {})
        : errors(errors), limit(limit), environment(std::move(environment)) {}

    Errors errors;
    // When not zero, the program is killed if it still runs after this long (a test that gives
    // one runs in a private pid namespace).
    std::chrono::seconds limit;
    // "NAME=value" to set, "NAME" to remove, in the program's copy of this environment.
    std::vector<std::string> environment;
};

struct ProgramRun {
    bool started = false;
    int status = 0;      // The raw wait status.
    std::string output;  // Its whole standard output.
    std::string errors;  // Its standard error, when collected.
    bool hung = false;   // Still running at the limit, and killed then.
    bool exitedWith(int code) const;
};

// Runs `argv` to its end with its standard output captured, standard input from nothing.
ProgramRun runProgram(const std::vector<std::string>& argv, const ProgramOptions& options = {});

}  // namespace pellin::test
