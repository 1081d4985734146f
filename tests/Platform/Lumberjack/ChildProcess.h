#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace pellin::test {

// A program of the build tree (build/bin/<name>), for tests that need a process of its own.
std::filesystem::path builtProgram(const std::string& name);

struct ChildOutcome {
    bool exited = false;  // false: ended by a signal
    int exitStatus = -1;
    int signal = 0;
    bool hung = false;  // still running when the time limit was up, and killed then
    std::string standardOutput;
    std::string standardError;
};

// Where a child's standard error goes: a file the test reads afterwards, or a pipe that
// nobody reads while the child runs (a console whose reader went away).
enum class StandardError { Collected, UnreadPipe };

// Runs `program` with `arguments` and this process's environment (so its HOME), and waits; with
// a `limit`, kills it after that long. A test that gives a limit runs in a private pid namespace.
ChildOutcome runChild(const std::filesystem::path& program,
                      const std::vector<std::string>& arguments,
                      std::chrono::seconds limit = std::chrono::seconds::zero(),
                      StandardError standardError = StandardError::Collected);

// Starts `program` with its output discarded; the caller ends it and reaps it.
pid_t startChild(const std::filesystem::path& program, const std::vector<std::string>& arguments);

}  // namespace pellin::test
