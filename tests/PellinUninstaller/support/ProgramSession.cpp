#include "support/ProgramSession.h"

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

namespace pellin::test {

ProgramSession::ProgramSession(SessionOptions options) {
    std::vector<char*> argv;
    for (std::string& argument : options.arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : options.environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    if (options.arguments.empty()) {
        return;
    }

    startedAt_ = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (options.terminal) {
        // Wide enough that the dialogs' texts are not wrapped in the middle of a word we wait for.
        winsize size{};
        size.ws_row = 50;
        size.ws_col = 400;
        pid = forkpty(&controller_, nullptr, nullptr, &size);
    } else {
        int output[2];
        if (pipe2(output, O_CLOEXEC) != 0) {
            return;
        }
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
        controller_ = output[0];
    }
    if (pid == 0) {
        if (options.runAs) {
            if (setgroups(0, nullptr) != 0 || setgid(options.runAs->gid) != 0 ||
                setuid(options.runAs->uid) != 0) {
                _exit(126);
            }
        }
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    pid_ = pid;
}

ProgramSession::~ProgramSession() {
    if (pid_ > 0 && !status_) {
        kill(pid_, SIGKILL);
        reapIfEnded(true);
    }
    if (controller_ >= 0) {
        close(controller_);
    }
}

ProgramSession::Read ProgramSession::readSome(std::chrono::milliseconds wait) {
    if (controller_ < 0) {
        return Read::Closed;
    }
    pollfd fd{controller_, POLLIN, 0};
    const int ready = poll(&fd, 1, static_cast<int>(wait.count()));
    if (ready < 0) {
        return errno == EINTR ? Read::Nothing : Read::Closed;
    }
    if (ready == 0) {
        return Read::Nothing;
    }
    char buffer[4096];
    const ssize_t got = read(controller_, buffer, sizeof buffer);
    if (got > 0) {
        shown_.append(buffer, static_cast<std::size_t>(got));
        return Read::Data;
    }
    // The end of the output (a pipe) or EIO (a terminal whose last holder has gone).
    return got < 0 && errno == EINTR ? Read::Nothing : Read::Closed;
}

bool ProgramSession::waitFor(std::string_view text, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (true) {
        const std::size_t found = shown_.find(text, consumed_);
        if (found != std::string::npos) {
            consumed_ = found + text.size();
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline ||
            readSome(std::chrono::milliseconds(50)) == Read::Closed) {
            return false;
        }
    }
}

void ProgramSession::type(std::string_view keys) {
    while (!keys.empty() && controller_ >= 0) {
        const ssize_t written = write(controller_, keys.data(), keys.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        keys.remove_prefix(static_cast<std::size_t>(written));
    }
}

bool ProgramSession::reapIfEnded(bool block) {
    if (status_) {
        return true;
    }
    int status = 0;
    pid_t got;
    do {
        got = wait4(pid_, &status, block ? 0 : WNOHANG, &usage_);
    } while (got < 0 && errno == EINTR);
    if (got == pid_) {
        status_ = status;
        return true;
    }
    return false;
}

int ProgramSession::finish(std::chrono::seconds limit) {
    if (pid_ <= 0) {
        return -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!reapIfEnded(false)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid_, SIGKILL);
            reapIfEnded(true);
            break;
        }
        if (readSome(std::chrono::milliseconds(20)) == Read::Closed) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    // What the program wrote just before it ended.
    while (readSome(std::chrono::milliseconds(0)) == Read::Data) {
    }
    return status_.value_or(-1);
}

long ProgramSession::peakResidentKib() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmHWM:")) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

bool exitedWith(int status, int code) {
    return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == code;
}

std::vector<std::string> userEnvironment(const std::string& home,
                                         const std::vector<std::string>& extra) {
    std::vector<std::string> environment = {
        "HOME=" + home,
        "PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin",
        "TERM=dumb",
        "LANG=en_US.UTF-8",
    };
    environment.insert(environment.end(), extra.begin(), extra.end());
    return environment;
}

}  // namespace pellin::test
