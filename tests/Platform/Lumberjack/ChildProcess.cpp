#include "ChildProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "TemporaryHome.h"

extern char** environ;

namespace pellin::test {
namespace {

pid_t spawn(const std::filesystem::path& program, const std::vector<std::string>& arguments,
            const std::string& standardOutput, const std::string& standardError) {
    std::vector<std::string> words{program.string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, standardOutput.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, standardError.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

}  // namespace

std::filesystem::path builtProgram(const std::string& name) {
    return buildDirectory() / "bin" / name;
}

ChildOutcome runChild(const std::filesystem::path& program,
                      const std::vector<std::string>& arguments) {
    // Not a TemporaryHome: that would change the HOME the child inherits.
    std::string folder = (std::filesystem::temp_directory_path() / "pellin-child-XXXXXX").string();
    ChildOutcome outcome;
    if (mkdtemp(folder.data()) == nullptr) {
        return outcome;
    }
    const auto out = std::filesystem::path(folder) / "stdout";
    const auto err = std::filesystem::path(folder) / "stderr";
    const pid_t pid = spawn(program, arguments, out.string(), err.string());
    if (pid >= 0) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0) {
        }
        outcome.exited = WIFEXITED(status);
        outcome.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        outcome.standardOutput = readFile(out);
        outcome.standardError = readFile(err);
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return outcome;
}

pid_t startChild(const std::filesystem::path& program, const std::vector<std::string>& arguments) {
    return spawn(program, arguments, "/dev/null", "/dev/null");
}

}  // namespace pellin::test
