#pragma once

#include <sys/types.h>

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
    std::string standardOutput;
    std::string standardError;
};

// Runs `program` with `arguments` and this process's environment (so its HOME), and waits.
ChildOutcome runChild(const std::filesystem::path& program,
                      const std::vector<std::string>& arguments);

// Starts `program` with its output discarded; the caller ends it and reaps it.
pid_t startChild(const std::filesystem::path& program, const std::vector<std::string>& arguments);

}  // namespace pellin::test
