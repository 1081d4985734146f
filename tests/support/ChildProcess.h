#pragma once

// Starting a second program from a test and collecting what it printed.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace pellin::test {

// Starts `argv` (argv[0] a path) with this process's environment; its process id, or -1.
pid_t startProgram(const std::vector<std::string>& argv);

// Waits for `pid` through interruptions; its exit status, or -1 when it did not exit normally.
int waitForExit(pid_t pid);

// How runProgram runs a program, beyond its arguments.
struct ProgramOptions {
    // Standard error: this process's, collected into ProgramRun::errors, or a pipe that nobody
    // reads while the program runs (a console whose reader went away).
    enum class Errors { Inherited, Collected, UnreadPipe };

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

// Runs `argv` to its end with its standard output captured.
ProgramRun runProgram(const std::vector<std::string>& argv, const ProgramOptions& options = {});

}  // namespace pellin::test
