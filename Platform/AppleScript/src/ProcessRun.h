#pragma once

#include <string>
#include <vector>

namespace applescript {

// How one started program ended, with everything it wrote.
struct ProcessOutcome {
    int spawnError = 0;  // errno when the program could not be started at all
    bool exited = false;
    int exitStatus = 0;        // when exited
    int signal = 0;            // when killed by a signal
    bool interrupted = false;  // the person pressed Ctrl-C (or Ctrl-\) on our terminal meanwhile
    std::string standardOutput;
    std::string standardError;
};

// Starts `arguments` (arguments[0] an absolute path) with the calling process's environment,
// its entries named in `environment` ("NAME=value") replaced, standard input from /dev/null,
// and collects both outputs until it ends. Both pipes are drained together, so a program that
// fills one while we wait on the other cannot block. With `noticeInterrupts`, SIGINT and
// SIGQUIT (which the terminal sends to us and the program alike) do not end this process while
// the program runs but are reported in `interrupted`: the person meant to stop the program.
ProcessOutcome runProcess(const std::vector<std::string>& arguments,
                          const std::vector<std::string>& environment, bool noticeInterrupts);

}  // namespace applescript
