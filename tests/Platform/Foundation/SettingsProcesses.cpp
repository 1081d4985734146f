#include "SettingsProcesses.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

extern char** environ;

namespace pellin::test {
namespace {

pid_t spawnHelper(const std::vector<std::string>& arguments,
                  const posix_spawn_file_actions_t* actions) {
    std::vector<std::string> words{SETTINGS_DOMAIN_HELPER};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    return posix_spawn(&pid, SETTINGS_DOMAIN_HELPER, actions, nullptr, argv.data(), environ) == 0
               ? pid
               : -1;
}

}  // namespace

pid_t startSettingsHelper(const std::vector<std::string>& arguments) {
    return spawnHelper(arguments, nullptr);
}

int waitForExit(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string runSettingsHelper(const std::vector<std::string>& arguments) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return "(no pipe)";
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    const pid_t pid = spawnHelper(arguments, &actions);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    std::string output;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        output.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeFds[0]);
    if (pid < 0 || waitForExit(pid) != 0) {
        return "(helper failed)";
    }
    if (!output.empty() && output.back() == '\n') {
        output.pop_back();
    }
    return output;
}

}  // namespace pellin::test
