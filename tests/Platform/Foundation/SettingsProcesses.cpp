#include "SettingsProcesses.h"

#include <sys/wait.h>

namespace pellin::test {

pid_t startSettingsHelper(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{SETTINGS_DOMAIN_HELPER};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return startProgram(argv);
}

std::string runSettingsHelper(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{SETTINGS_DOMAIN_HELPER};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    ProgramRun run = runProgram(argv);
    if (!run.started || !WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0) {
        return "(helper failed)";
    }
    if (!run.output.empty() && run.output.back() == '\n') {
        run.output.pop_back();
    }
    return run.output;
}

}  // namespace pellin::test
