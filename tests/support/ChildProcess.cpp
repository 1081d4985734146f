#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

extern char** environ;

namespace pellin::test {
namespace {

std::vector<std::string> environmentWith(const std::vector<std::string>& changes) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        environment.emplace_back(*entry);
    }
    for (const std::string& change : changes) {
        const std::string name = change.substr(0, change.find('='));
        std::erase_if(environment, [&name](const std::string& entry) {
            return entry.compare(0, name.size() + 1, name + "=") == 0;
        });
        if (change.find('=') != std::string::npos) {
            environment.push_back(change);
        }
    }
    return environment;
}

std::vector<char*> pointers(std::vector<std::string>& words) {
    std::vector<char*> out;
    for (std::string& word : words) {
        out.push_back(word.data());
    }
    out.push_back(nullptr);
    return out;
}

pid_t spawn(std::vector<std::string> words, const posix_spawn_file_actions_t* actions,
            const std::vector<std::string>& changes = {}) {
    std::vector<std::string> environment = environmentWith(changes);
    const auto argv = pointers(words);
    const auto envp = pointers(environment);
    pid_t pid = -1;
    return posix_spawn(&pid, argv[0], actions, nullptr, argv.data(), envp.data()) == 0 ? pid : -1;
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

// Reads `fds` to their ends into `into`; at `deadline` (when `limited`) kills `pid` once.
void collect(pollfd (&fds)[2], std::string* (&into)[2], pid_t pid, bool limited,
             std::chrono::steady_clock::time_point deadline, bool& hung) {
    char buffer[4096];
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        int wait = -1;
        if (limited && !hung) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            wait = static_cast<int>(std::max<long long>(left.count(), 0));
        }
        const int ready = poll(fds, 2, wait);
        if (ready == 0) {
            hung = true;
            kill(pid, SIGKILL);
        }
        for (int i = 0; i < 2 && ready > 0; ++i) {
            const ssize_t n = fds[i].revents != 0 ? read(fds[i].fd, buffer, sizeof buffer) : -1;
            if (n > 0) {
                into[i]->append(buffer, static_cast<std::size_t>(n));
            } else if (fds[i].revents != 0 && (n == 0 || errno != EINTR)) {
                close(fds[i].fd);
                fds[i].fd = -1;
            }
        }
    }
}

}  // namespace

pid_t startProgram(const std::vector<std::string>& argv) {
    return spawn(argv, nullptr);
}

int waitForExit(pid_t pid) {
    const int status = waitForStatus(pid);
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ProgramRun::exitedWith(int code) const {
    return started && WIFEXITED(status) && WEXITSTATUS(status) == code;
}

ProgramRun runProgram(const std::vector<std::string>& argv, const ProgramOptions& options) {
    using Errors = ProgramOptions::Errors;
    ProgramRun run;
    int output[2] = {-1, -1};
    int errors[2] = {-1, -1};
    if (pipe2(output, O_CLOEXEC) != 0 ||
        (options.errors != Errors::Inherited && pipe2(errors, O_CLOEXEC) != 0)) {
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    if (errors[1] >= 0) {
        posix_spawn_file_actions_adddup2(&actions, errors[1], STDERR_FILENO);
    }
    const auto deadline = std::chrono::steady_clock::now() + options.limit;
    const pid_t pid = spawn(argv, &actions, options.environment);
    posix_spawn_file_actions_destroy(&actions);
    close(output[1]);
    if (errors[1] >= 0) {
        close(errors[1]);
    }
    // An unread pipe is not read at all.
    const bool readErrors = options.errors == Errors::Collected;
    pollfd fds[2] = {{output[0], POLLIN, 0}, {readErrors ? errors[0] : -1, POLLIN, 0}};
    if (pid >= 0) {
        std::string* into[2] = {&run.output, &run.errors};
        collect(fds, into, pid, options.limit.count() > 0, deadline, run.hung);
        run.started = true;
        run.status = waitForStatus(pid);
    }
    for (const int fd : {fds[0].fd, fds[1].fd, readErrors ? -1 : errors[0]}) {
        if (fd >= 0) {
            close(fd);
        }
    }
    return run;
}

}  // namespace pellin::test
