#include "PseudoTerminal.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace pellin::test {

PseudoTerminal::PseudoTerminal() {
    if (openpty(&controller_, &terminal_, nullptr, nullptr, nullptr) != 0) {
        throw std::runtime_error("cannot open a pseudo-terminal");
    }
    fcntl(controller_, F_SETFL, fcntl(controller_, F_GETFL) | O_NONBLOCK);
}

PseudoTerminal::~PseudoTerminal() {
    closeTerminal();
    close(controller_);
}

void PseudoTerminal::closeTerminal() {
    if (terminal_ >= 0) {
        close(terminal_);
        terminal_ = -1;
    }
}

void PseudoTerminal::type(std::string_view keys) const {
    while (!keys.empty()) {
        const ssize_t written = write(controller_, keys.data(), keys.size());
        if (written <= 0) {
            return;
        }
        keys.remove_prefix(static_cast<std::size_t>(written));
    }
}

std::string PseudoTerminal::shown() const {
    std::string out;
    char buffer[4096];
    while (true) {
        const ssize_t got = read(controller_, buffer, sizeof buffer);
        if (got <= 0) {
            return out;
        }
        out.append(buffer, static_cast<std::size_t>(got));
    }
}

pid_t PseudoTerminal::spawn(const std::string& program, const std::vector<std::string>& arguments,
                            const std::vector<std::string>& environment) {
    // Everything the child needs is built before fork(): between fork and exec only
    // async-signal-safe calls are allowed.
    std::vector<char*> argv;
    std::string programCopy = program;
    argv.push_back(programCopy.data());
    std::vector<std::string> args = arguments;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> env = environment;
    std::vector<char*> envp;
    for (auto& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);

    const pid_t child = fork();
    if (child == 0) {
        setsid();
        ioctl(terminal_, TIOCSCTTY, 0);
        dup2(terminal_, STDIN_FILENO);
        dup2(terminal_, STDOUT_FILENO);
        dup2(terminal_, STDERR_FILENO);
        close(controller_);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    return child;
}

std::string PseudoTerminal::waitAndCollect(pid_t child, int* status) const {
    std::string out;
    while (true) {
        pollfd fd{controller_, POLLIN, 0};
        poll(&fd, 1, 50);
        out += shown();
        const pid_t done = waitpid(child, status, WNOHANG);
        if (done == child) {
            out += shown();
            return out;
        }
    }
}

}  // namespace pellin::test
