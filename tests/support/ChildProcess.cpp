#include "ChildProcess.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace pellin::test {
namespace {

pid_t spawn(std::vector<std::string> words, const posix_spawn_file_actions_t* actions) {
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    return posix_spawn(&pid, argv[0], actions, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

int waitForStatus(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return status;
}

}  // namespace

pid_t startProgram(const std::vector<std::string>& argv) {
    return spawn(argv, nullptr);
}

int waitForExit(pid_t pid) {
    const int status = waitForStatus(pid);
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ProgramRun runProgram(const std::vector<std::string>& argv) {
    ProgramRun run;
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    const pid_t pid = spawn(argv, &actions);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    char buffer[4096];
    for (;;) {
        const ssize_t n = pid < 0 ? 0 : read(pipeEnds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        run.output.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeEnds[0]);
    if (pid >= 0) {
        run.started = true;
        run.status = waitForStatus(pid);
    }
    return run;
}

}  // namespace pellin::test
