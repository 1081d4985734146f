#include "ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>
#include <thread>

#include "TemporaryHome.h"

extern char** environ;

namespace pellin::test {
namespace {

// `standardError` is a path, or empty when `errorPipe` is to become the child's standard error.
pid_t spawn(const std::filesystem::path& program, const std::vector<std::string>& arguments,
            const std::string& standardOutput, const std::string& standardError,
            int errorPipe = -1) {
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
    if (errorPipe >= 0) {
        posix_spawn_file_actions_adddup2(&actions, errorPipe, STDERR_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, standardError.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits for `pid`; after `limit` (when not zero) kills it and notes that it hung.
int waitWithin(pid_t pid, std::chrono::seconds limit, bool& hung) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, limit.count() > 0 ? WNOHANG : 0);
        if (done == pid) {
            return status;
        }
        if (limit.count() > 0 && done == 0 && std::chrono::steady_clock::now() >= deadline) {
            hung = true;
            kill(pid, SIGKILL);
            limit = std::chrono::seconds::zero();
        } else if (limit.count() > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}

}  // namespace

std::filesystem::path builtProgram(const std::string& name) {
    return buildDirectory() / "bin" / name;
}

ChildOutcome runChild(const std::filesystem::path& program,
                      const std::vector<std::string>& arguments, std::chrono::seconds limit,
                      StandardError standardError) {
    // Not a TemporaryHome: that would change the HOME the child inherits.
    std::string folder = (std::filesystem::temp_directory_path() / "pellin-child-XXXXXX").string();
    ChildOutcome outcome;
    if (mkdtemp(folder.data()) == nullptr) {
        return outcome;
    }
    const auto out = std::filesystem::path(folder) / "stdout";
    const auto err = std::filesystem::path(folder) / "stderr";
    int errorPipe[2] = {-1, -1};
    if (standardError == StandardError::UnreadPipe && pipe2(errorPipe, O_CLOEXEC) != 0) {
        return outcome;
    }
    const pid_t pid = spawn(program, arguments, out.string(), err.string(), errorPipe[1]);
    if (errorPipe[1] >= 0) {
        close(errorPipe[1]);
    }
    if (pid >= 0) {
        const int status = waitWithin(pid, limit, outcome.hung);
        outcome.exited = WIFEXITED(status);
        outcome.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        outcome.standardOutput = readFile(out);
        outcome.standardError = readFile(err);
    }
    if (errorPipe[0] >= 0) {
        // What the pipe still holds; its writer is gone, so reading ends.
        char buffer[4096];
        for (ssize_t n; (n = read(errorPipe[0], buffer, sizeof buffer)) > 0;) {
            outcome.standardError.append(buffer, static_cast<std::size_t>(n));
        }
        close(errorPipe[0]);
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return outcome;
}

pid_t startChild(const std::filesystem::path& program, const std::vector<std::string>& arguments) {
    return spawn(program, arguments, "/dev/null", "/dev/null");
}

}  // namespace pellin::test
