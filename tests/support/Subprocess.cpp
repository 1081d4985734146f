#include "Subprocess.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <thread>

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

}  // namespace

Subprocess::Subprocess(SessionOptions options) {
    if (options.arguments.empty()) {
        return;
    }
    std::vector<char*> argv = pointers(options.arguments);
    std::vector<char*> envp = pointers(options.environment);
    char** environment = options.environment.empty() ? environ : envp.data();
    const std::string folder = options.workingDirectory.string();
    // The write end closes on exec, so reading it returns once the program runs.
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        return;
    }
    int output[2] = {-1, -1};
    startedAt_ = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (options.terminal) {
        // Wide enough that no text a test waits for is wrapped.
        winsize size{};
        size.ws_row = 50;
        size.ws_col = 400;
        pid = forkpty(&output_, nullptr, nullptr, &size);
    } else if (pipe2(output, O_CLOEXEC) == 0) {
        pid = fork();
        if (pid == 0) {
            const int nothing = open("/dev/null", O_RDWR);
            if (nothing < 0 || dup2(nothing, STDIN_FILENO) < 0 ||
                dup2(output[1], STDOUT_FILENO) < 0 ||
                dup2(options.showErrors ? output[1] : nothing, STDERR_FILENO) < 0) {
                _exit(126);
            }
            setsid();
        }
        close(output[1]);
        output_ = output[0];
    }
    if (pid == 0) {
        const bool ok =
            (folder.empty() || chdir(folder.c_str()) == 0) &&
            (!options.runAs || (setgroups(0, nullptr) == 0 && setgid(options.runAs->gid) == 0 &&
                                setuid(options.runAs->uid) == 0));
        if (ok) {
            execve(argv[0], argv.data(), environment);
        }
        _exit(127);
    }
    close(ready[1]);
    if (pid > 0) {
        pid_ = pid;
        char ignored;
        while (read(ready[0], &ignored, 1) < 0 && errno == EINTR) {
        }
    }
    close(ready[0]);
}

Subprocess::Subprocess(Subprocess&& other) noexcept
    : pid_(other.pid_),
      output_(other.output_),
      shown_(std::move(other.shown_)),
      consumed_(other.consumed_),
      status_(other.status_),
      usage_(other.usage_),
      startedAt_(other.startedAt_) {
    other.pid_ = -1;
    other.output_ = -1;
}

Subprocess::~Subprocess() {
    if (pid_ > 0 && !status_) {
        kill(pid_, SIGKILL);
        reap(true);
    }
    if (output_ >= 0) {
        close(output_);
    }
}

int Subprocess::readSome(int waitMs) {
    pollfd fd{output_, POLLIN, 0};
    if (output_ < 0 || poll(&fd, 1, waitMs) < 0) {
        return output_ < 0 || errno != EINTR ? -1 : 0;
    }
    if (fd.revents == 0) {
        return 0;
    }
    char buffer[4096];
    const ssize_t got = read(output_, buffer, sizeof buffer);
    if (got > 0) {
        shown_.append(buffer, static_cast<std::size_t>(got));
        return 1;
    }
    // The end of a pipe, or EIO from a terminal whose last holder has gone.
    return got < 0 && errno == EINTR ? 0 : -1;
}

bool Subprocess::waitFor(std::string_view text, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const std::size_t found = shown_.find(text, consumed_);
        if (found != std::string::npos) {
            consumed_ = found + text.size();
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline || readSome(50) < 0) {
            return false;
        }
    }
}

void Subprocess::type(std::string_view keys) {
    while (!keys.empty() && output_ >= 0) {
        const ssize_t written = write(output_, keys.data(), keys.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        keys.remove_prefix(static_cast<std::size_t>(written));
    }
}

bool Subprocess::reap(bool block) {
    if (status_ || pid_ <= 0) {
        return status_.has_value();
    }
    int status = 0;
    pid_t got;
    do {
        got = wait4(pid_, &status, block ? 0 : WNOHANG, &usage_);
    } while (got < 0 && errno == EINTR);
    if (got == pid_) {
        status_ = status;
    }
    return status_.has_value();
}

int Subprocess::finish(std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (pid_ > 0 && !reap(false)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid_, SIGKILL);
            reap(true);
        } else if (readSome(20) < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    // What it wrote just before it ended.
    while (readSome(0) > 0) {
    }
    return status_.value_or(-1);
}

long Subprocess::peakResidentKib() const {
    const std::string line = statusLine(pid_, "VmHWM:");
    return line.empty() ? -1 : std::strtol(line.c_str(), nullptr, 10);
}

bool Subprocess::diedOfKill() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!reap(false) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status_ && WIFSIGNALED(*status_) && WTERMSIG(*status_) == SIGKILL;
}

bool Subprocess::survives() {
    const unsigned long long killBit = 1ULL << (SIGKILL - 1);
    for (const char* key : {"SigPnd:", "ShdPnd:"}) {
        if ((std::strtoull(statusLine(pid_, key).c_str(), nullptr, 16) & killBit) != 0) {
            return false;
        }
    }
    return pid_ > 0 && !reap(false);
}

bool exitedWith(int status, int code) {
    return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == code;
}

Finished runQuietly(std::vector<std::string> arguments, std::vector<std::string> environment,
                    bool showErrors) {
    Subprocess run({std::move(arguments), std::move(environment), false, std::nullopt, showErrors});
    const int status = run.finish();
    return {status, run.shown()};
}

}  // namespace pellin::test
