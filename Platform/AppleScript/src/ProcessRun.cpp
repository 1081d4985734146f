#include "ProcessRun.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>
#include <string_view>

#include "Descriptor.h"

extern char** environ;

namespace applescript {

namespace {

struct Pipe {
    Descriptor read;
    Descriptor write;
};

bool openPipe(Pipe& pipe) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return false;
    }
    pipe.read.adopt(fds[0]);
    pipe.write.adopt(fds[1]);
    return true;
}

std::string_view nameOf(std::string_view entry) {
    return entry.substr(0, entry.find('='));
}

std::vector<std::string> environmentWith(const std::vector<std::string>& replacements) {
    std::vector<std::string> environment;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view name = nameOf(*entry);
        const bool replaced =
            std::any_of(replacements.begin(), replacements.end(),
                        [name](const std::string& other) { return nameOf(other) == name; });
        if (!replaced) {
            environment.emplace_back(*entry);
        }
    }
    environment.insert(environment.end(), replacements.begin(), replacements.end());
    return environment;
}

volatile std::sig_atomic_t interruptSeen = 0;

void noteInterrupt(int) {
    interruptSeen = 1;
}

// While it lives, SIGINT and SIGQUIT are noted instead of ending the process; the previous
// handling comes back afterwards.
class InterruptNotice {
  public:
    InterruptNotice() {
        interruptSeen = 0;
        struct sigaction notice {};
        notice.sa_handler = noteInterrupt;
        sigemptyset(&notice.sa_mask);
        ::sigaction(SIGINT, &notice, &previousInterrupt_);
        ::sigaction(SIGQUIT, &notice, &previousQuit_);
    }
    ~InterruptNotice() {
        ::sigaction(SIGINT, &previousInterrupt_, nullptr);
        ::sigaction(SIGQUIT, &previousQuit_, nullptr);
    }
    InterruptNotice(const InterruptNotice&) = delete;
    InterruptNotice& operator=(const InterruptNotice&) = delete;

    bool seen() const { return interruptSeen != 0; }

  private:
    struct sigaction previousInterrupt_ {};
    struct sigaction previousQuit_ {};
};

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    out.reserve(texts.size() + 1);
    for (std::string& text : texts) {
        out.push_back(text.data());
    }
    out.push_back(nullptr);
    return out;
}

// Reads both pipes until both are closed.
void drain(int outputFd, int errorFd, std::string& output, std::string& error) {
    std::array<pollfd, 2> fds{{{outputFd, POLLIN, 0}, {errorFd, POLLIN, 0}}};
    std::array<std::string*, 2> sinks{&output, &error};
    int open = 2;
    char buffer[8192];
    while (open > 0) {
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            const ssize_t count = ::read(fds[i].fd, buffer, sizeof buffer);
            if (count > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(count));
            } else if (count == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

}  // namespace

ProcessOutcome runProcess(const std::vector<std::string>& arguments,
                          const std::vector<std::string>& environment, bool noticeInterrupts) {
    ProcessOutcome outcome;
    std::optional<InterruptNotice> interrupts;
    if (noticeInterrupts) {
        interrupts.emplace();
    }
    Pipe output;
    Pipe error;
    if (arguments.empty() || !openPipe(output) || !openPipe(error)) {
        outcome.spawnError = arguments.empty() ? EINVAL : errno;
        return outcome;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output.write.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, error.write.get(), STDERR_FILENO);

    // The shell starts with ordinary signal handling whatever this process ignores or blocks.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigemptyset(&signals);
    for (const int signal : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD}) {
        sigaddset(&signals, signal);
    }
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> argumentTexts = arguments;
    std::vector<std::string> environmentTexts = environmentWith(environment);
    const std::vector<char*> argv = pointers(argumentTexts);
    const std::vector<char*> envp = pointers(environmentTexts);

    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    // Our copies of the write ends must go, or the reads below would never see the end.
    output.write.reset();
    error.write.reset();
    if (spawned != 0) {
        outcome.spawnError = spawned;
        return outcome;
    }

    drain(output.read.get(), error.read.get(), outcome.standardOutput, outcome.standardError);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            outcome.spawnError = errno;
            return outcome;
        }
    }
    outcome.interrupted = interrupts && interrupts->seen();
    if (WIFEXITED(status)) {
        outcome.exited = true;
        outcome.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        outcome.signal = WTERMSIG(status);
    }
    return outcome;
}

}  // namespace applescript
