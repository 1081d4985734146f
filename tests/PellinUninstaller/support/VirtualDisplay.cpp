#include "support/VirtualDisplay.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <sstream>
#include <thread>

#include "support/ProgramSession.h"
#include "support/Uninstaller.h"

namespace pellin::test {

namespace {

constexpr const char* kXvfb = "/usr/bin/Xvfb";
constexpr const char* kXdotool = "/usr/bin/xdotool";

// Xvfb writes the display number it chose, and a line break, once it accepts connections.
std::optional<int> readDisplayNumber(int fd) {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (text.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0) {
            continue;
        }
        char buffer[32];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    int number = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end == text.data() || number < 0) {
        return std::nullopt;
    }
    return number;
}

}  // namespace

bool VirtualDisplay::toolsInstalled() {
    return access(kXvfb, X_OK) == 0 && access(kXdotool, X_OK) == 0;
}

VirtualDisplay::VirtualDisplay() {
    if (!toolsInstalled()) {
        return;
    }
    int channel[2];
    if (pipe(channel) != 0) {
        return;
    }
    // Only the write end goes to the server.
    fcntl(channel[0], F_SETFD, FD_CLOEXEC);
    // -noreset: by default the server starts over whenever its last client leaves, and refuses
    // whoever connects meanwhile; between two xdotool calls that would be the program under test.
    server_.emplace(std::vector<std::string>{kXvfb, "-displayfd", std::to_string(channel[1]),
                                             "-noreset", "-nolisten", "tcp", "-screen", "0",
                                             "1024x768x24"});
    close(channel[1]);
    if (server_->pid() > 0) {
        display_ = readDisplayNumber(channel[0]);
    }
    close(channel[0]);
}

std::string VirtualDisplay::environmentEntry() const {
    return "DISPLAY=:" + std::to_string(display_.value_or(0));
}

std::vector<std::string> VirtualDisplay::xdotool(std::vector<std::string> arguments,
                                                 bool* ok) const {
    arguments.insert(arguments.begin(), kXdotool);
    // Only its answers: xdotool also reports the X server's oddities on standard error.
    const Finished finished =
        runQuietly(std::move(arguments), {environmentEntry(), "PATH=/usr/bin:/bin"}, false);
    if (ok != nullptr) {
        *ok = exitedWith(finished.status, 0);
    }
    std::vector<std::string> lines;
    std::istringstream output(finished.output);
    for (std::string line; std::getline(output, line);) {
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::vector<std::string> VirtualDisplay::visibleWindows(const std::string& title) const {
    return xdotool({"search", "--onlyvisible", "--name", "^" + title + "$"});
}

std::optional<std::string> VirtualDisplay::waitForNewFocusedWindow(
    const std::string& title, const std::vector<std::string>& seen,
    std::chrono::seconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        const std::vector<std::string> focused = xdotool({"getwindowfocus"});
        for (const std::string& window : visibleWindows(title)) {
            if (std::find(seen.begin(), seen.end(), window) != seen.end()) {
                continue;
            }
            if (!focused.empty() && focused.front() == window) {
                return window;
            }
            // Without a window manager, a window that asked for the focus before it was mapped
            // does not get it; a user would click into it.
            xdotool({"windowfocus", window});
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::nullopt;
}

bool VirtualDisplay::press(const std::vector<std::string>& keys) const {
    std::vector<std::string> arguments = {"key", "--delay", "50"};
    arguments.insert(arguments.end(), keys.begin(), keys.end());
    bool ok = false;
    xdotool(std::move(arguments), &ok);
    return ok;
}

bool VirtualDisplay::destroyWindow(const std::string& window) const {
    bool ok = false;
    xdotool({"windowclose", window}, &ok);
    return ok;
}

}  // namespace pellin::test
