#include "SharedDomain.h"

#include <sys/wait.h>

#include <cstdlib>

#include "ChildProcess.h"

namespace pellin::test {

std::filesystem::path sharedDomainFile() {
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home ? home : "") / "Library/Preferences" /
           "com.brenvik.mac.Pellin.common.plist";
}

std::string readInAnotherProcess(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv = {SHARED_DOMAIN_READER};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const ProgramRun run = runProgram(argv);
    if (!run.started) {
        return "spawn failed";
    }
    if (!WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0) {
        return "exit " + std::to_string(run.status);
    }
    return run.output;
}

std::string storedInAnotherProcess(const std::string& key) {
    std::string out = readInAnotherProcess({"object", key});
    if (out.ends_with('\n')) {
        out.pop_back();
    }
    return out;
}

}  // namespace pellin::test
