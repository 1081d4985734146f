#pragma once

#include <string>
#include <vector>

namespace applescript {

// How one started program ended, with everything it wrote.
struct ProcessOutcome {
    int spawnError = 0;  // errno when the program could not be started at all
    bool exited = false;
    int exitStatus = 0;  // when exited
    int signal = 0;      // when killed by a signal
    std::string standardOutput;
    std::string standardError;
};

// Starts `arguments` (arguments[0] an absolute path) with the calling process's environment
// but PATH replaced by `searchPath`, standard input from /dev/null, and collects both outputs
// until it ends. Both pipes are drained together, so a program that fills one while we wait on
// the other cannot block.
ProcessOutcome runProcess(const std::vector<std::string>& arguments, const std::string& searchPath);

}  // namespace applescript
