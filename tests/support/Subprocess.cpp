#include "Subprocess.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <utility>

extern char** environ;

namespace pellin::test {

namespace {

std::vector<char*> pointers(std::vector<std::string>& words) {
    std::vector<char*> out;
    for (std::string& word : words) {
        out.push_back(word.data());
    }
    out.push_back(nullptr);
    return out;
}

// The line of /proc/<pid>/status that starts with `key`, or "".
std::string statusLine(pid_t pid, std::string_view key) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(key)) {
            return line.substr(key.size());
        }
    }
    return {};
}

// The wait status of `pid` once it has ended; without `block`, nothing while it runs.
std::optional<int> waitStatus(pid_t pid, bool block, rusage* usage = nullptr) {
    int status = 0;
    pid_t got;
    do {
        got = wait4(pid, &status, block ? 0 : WNOHANG, usage);
    } while (got < 0 && errno == EINTR);
    return got == pid ? std::optional(status) : std::nullopt;
}

// In the forked child: standard input, output and error as `options` wants them (the terminal's
// are set up already).
bool setUpStreams(const SessionOptions& options, int output, int errors) {
    using Errors = SessionOptions::Errors;
    if (options.terminal) {
        return true;
    }
    const int nothing = open("/dev/null", O_RDWR | O_CLOEXEC);
    const int errorsTo = options.errors == Errors::WithOutput  ? output
                         : options.errors == Errors::Discarded ? nothing
                         : options.errors == Errors::Inherited ? STDERR_FILENO
                                                               : errors;
    return nothing >= 0 && dup2(nothing, STDIN_FILENO) >= 0 && dup2(output, STDOUT_FILENO) >= 0 &&
           dup2(errorsTo, STDERR_FILENO) >= 0 && setsid() >= 0;
}

}  // namespace

Subprocess::Subprocess(SessionOptions options) {
    using Errors = SessionOptions::Errors;
    if (options.arguments.empty()) {
        return;
    }
    std::vector<char*> argv = pointers(options.arguments);
    std::vector<char*> envp = pointers(options.environment);
    char** environment = options.environment.empty() ? environ : envp.data();
    const std::string folder = options.workingDirectory.string();
    // The write end closes on exec, so reading it returns once the program runs; a byte in it
    // says that it could not.
    int ready[2];
    int output[2] = {-1, -1};
    int errors[2] = {-1, -1};
    const bool apart = options.errors == Errors::Collected || options.errors == Errors::UnreadPipe;
    if (pipe2(ready, O_CLOEXEC) != 0 || (!options.terminal && pipe2(output, O_CLOEXEC) != 0) ||
        (!options.terminal && apart && pipe2(errors, O_CLOEXEC) != 0)) {
        return;
    }
    s_.startedAt = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (options.terminal) {
        // Wide enough that no text a test waits for is wrapped.
        winsize size{};
        size.ws_row = 50;
        size.ws_col = 400;
        pid = forkpty(&s_.output, nullptr, nullptr, &size);
    } else {
        pid = fork();
    }
    if (pid == 0) {
        const bool ok =
            setUpStreams(options, output[1], errors[1]) &&
            (folder.empty() || chdir(folder.c_str()) == 0) &&
            (!options.runAs || (setgroups(0, nullptr) == 0 && setgid(options.runAs->gid) == 0 &&
                                setuid(options.runAs->uid) == 0));
        if (ok) {
            execve(argv[0], argv.data(), environment);
        }
        [[maybe_unused]] const ssize_t told = write(ready[1], "!", 1);
        _exit(127);
    }
    for (const int end : {ready[1], output[1], errors[1]}) {
        close(end);
    }
    if (!options.terminal) {
        s_.output = output[0];
        s_.errorsPipe = errors[0];
        s_.readErrors = options.errors == Errors::Collected;
    }
    char failed;
    ssize_t got = 0;
    while (pid > 0 && (got = read(ready[0], &failed, 1)) < 0 && errno == EINTR) {
    }
    close(ready[0]);
    if (got == 1) {
        waitStatus(pid, true);
    } else if (pid > 0) {
        s_.pid = pid;
    }
}

Subprocess::Subprocess(Subprocess&& other) noexcept : s_(std::exchange(other.s_, {})) {}

Subprocess::~Subprocess() {
    if (s_.pid > 0 && !s_.status) {
        kill(s_.pid, SIGKILL);
        reap(true);
    }
    for (const int fd : {s_.output, s_.errorsPipe}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

int Subprocess::readSome(int waitMs) {
    pollfd fds[2] = {{s_.output, POLLIN, 0}, {s_.readErrors ? s_.errorsPipe : -1, POLLIN, 0}};
    if (s_.output < 0 || poll(fds, 2, waitMs) < 0) {
        return s_.output < 0 || errno != EINTR ? -1 : 0;
    }
    int result = 0;
    for (int i = 1; i >= 0; --i) {
        if (fds[i].revents == 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
        if (got > 0) {
            (i == 0 ? s_.shown : s_.errors).append(buffer, static_cast<std::size_t>(got));
            result = 1;
        } else if (i == 1 && (got == 0 || errno != EINTR)) {
            close(std::exchange(s_.errorsPipe, -1));
        } else if (result == 0 && (got == 0 || errno != EINTR)) {
            // The end of a pipe, or EIO from a terminal whose last holder has gone.
            result = -1;
        }
    }
    return result;
}

bool Subprocess::waitFor(std::string_view text, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const std::size_t found = s_.shown.find(text, s_.consumed);
        if (found != std::string::npos) {
            s_.consumed = found + text.size();
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline || readSome(50) < 0) {
            return false;
        }
    }
}

void Subprocess::type(std::string_view keys) {
    while (!keys.empty() && s_.output >= 0) {
        const ssize_t written = write(s_.output, keys.data(), keys.size());
        if (written == 0 || (written < 0 && errno != EINTR)) {
            return;
        }
        keys.remove_prefix(static_cast<std::size_t>(std::max<ssize_t>(written, 0)));
    }
}

bool Subprocess::reap(bool block) {
    if (!s_.status && s_.pid > 0) {
        s_.status = waitStatus(s_.pid, block, &s_.usage);
    }
    return s_.status.has_value();
}

int Subprocess::finish(std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (s_.pid > 0 && !reap(false)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            s_.hung = true;
            kill(s_.pid, SIGKILL);
            reap(true);
        } else if (readSome(20) < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    // What it wrote just before it ended.
    while (readSome(0) > 0) {
    }
    return s_.status.value_or(-1);
}

long Subprocess::peakResidentKib() const {
    const std::string line = statusLine(s_.pid, "VmHWM:");
    return line.empty() ? -1 : std::strtol(line.c_str(), nullptr, 10);
}

bool Subprocess::diedOfKill() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!reap(false) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return s_.status && WIFSIGNALED(*s_.status) && WTERMSIG(*s_.status) == SIGKILL;
}

bool Subprocess::survives() {
    const unsigned long long killBit = 1ULL << (SIGKILL - 1);
    for (const char* key : {"SigPnd:", "ShdPnd:"}) {
        if ((std::strtoull(statusLine(s_.pid, key).c_str(), nullptr, 16) & killBit) != 0) {
            return false;
        }
    }
    return s_.pid > 0 && !reap(false);
}

bool exitedWith(int status, int code) {
    return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == code;
}

ProgramRun runQuietly(std::vector<std::string> arguments, std::vector<std::string> environment,
                      bool showErrors, std::optional<RunAs> runAs) {
    Subprocess program({std::move(arguments), std::move(environment), false, runAs, showErrors});
    const int status = program.finish();
    return {program.pid() > 0, status, program.shown(), {}, {}};
}

int waitForExit(pid_t pid) {
    const std::optional<int> status = waitStatus(pid, true);
    return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

bool ProgramRun::exitedWith(int code) const {
    return started && pellin::test::exitedWith(status, code);
}

ProgramRun runProgram(const std::vector<std::string>& argv, const ProgramOptions& options) {
    // This process's environment with the changes.
    std::vector<std::string> environment;
    for (char** entry = environ; !options.environment.empty() && *entry != nullptr; ++entry) {
        environment.emplace_back(*entry);
    }
    for (const std::string& change : options.environment) {
        const std::string name = change.substr(0, change.find('=')) + "=";
        std::erase_if(environment,
                      [&name](const std::string& entry) { return entry.starts_with(name); });
        if (change.find('=') != std::string::npos) {
            environment.push_back(change);
        }
    }
    SessionOptions session(argv, std::move(environment), false);
    session.errors = options.errors;
    Subprocess program(std::move(session));
    // No limit: a year.
    const int status =
        program.finish(options.limit.count() > 0 ? options.limit : std::chrono::hours(24 * 365));
    // What it started may hold its output still: that is read to the end too.
    while (program.readSome(-1) >= 0) {
    }
    return {program.pid() > 0, status, program.shown(), program.errors(), program.hung()};
}

}  // namespace pellin::test
