#pragma once

// An X server of the test's own (Xvfb, on a display number it picks itself) and the keyboard of
// a user sitting at it (xdotool).

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Subprocess.h"

namespace pellin::test {

class VirtualDisplay {
  public:
    // Starts Xvfb; check available() before use.
    VirtualDisplay() {
        int channel[2];
        if (!toolsInstalled() || pipe(channel) != 0) {
            return;
        }
        // Only the write end goes to the server.
        fcntl(channel[0], F_SETFD, FD_CLOEXEC);
        // -noreset: by default the server starts over whenever its last client leaves, and
        // refuses whoever connects meanwhile; between two xdotool calls that would be the program
        // under test.
        server_.emplace(SessionOptions({kXvfb, "-displayfd", std::to_string(channel[1]), "-noreset",
                                        "-nolisten", "tcp", "-screen", "0", "1024x768x24"},
                                       {}, false, std::nullopt, false));
        close(channel[1]);
        // Xvfb writes the display number it chose, and a line break, once it accepts connections.
        std::string number;
        char c = 0;
        pollfd ready{channel[0], POLLIN, 0};
        while (server_->pid() > 0 && poll(&ready, 1, 30'000) > 0 && read(channel[0], &c, 1) == 1 &&
               c != '\n') {
            number += c;
        }
        close(channel[0]);
        if (!number.empty() && number.find_first_not_of("0123456789") == std::string::npos) {
            display_ = std::stoi(number);
        }
    }

    bool available() const { return display_.has_value(); }
    // "DISPLAY=:<n>".
    std::string environmentEntry() const {
        return "DISPLAY=:" + std::to_string(display_.value_or(0));
    }

    // Waits for a visible window named `title` that is not among `seen`, and gives it the
    // keyboard focus; nothing when none appears within 30 seconds, which only keeps a fault from
    // hanging.
    std::optional<std::string> waitForNewFocusedWindow(const std::string& title,
                                                       const std::vector<std::string>& seen) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            std::istringstream windows(
                xdotool({"search", "--onlyvisible", "--name", "^" + title + "$"}).output);
            for (std::string window; windows >> window;) {
                // Without a window manager, a window that asked for the focus before it was
                // mapped does not get it; a user would click into it.
                if (std::find(seen.begin(), seen.end(), window) == seen.end() &&
                    exitedWith(xdotool({"windowfocus", "--sync", window}).status, 0)) {
                    return window;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return std::nullopt;
    }
    // Types keys in xdotool's notation ("shift+Tab", "space", "Return") into the focused window.
    bool press(const std::vector<std::string>& keys) const {
        std::vector<std::string> arguments = {"key", "--delay", "50"};
        arguments.insert(arguments.end(), keys.begin(), keys.end());
        return exitedWith(xdotool(std::move(arguments)).status, 0);
    }
    // Destroys `window` as another program of the user's desktop may, leaving its owner running.
    bool destroyWindow(const std::string& window) const {
        return exitedWith(xdotool({"windowclose", window}).status, 0);
    }

    static bool toolsInstalled() { return access(kXvfb, X_OK) == 0 && access(kXdotool, X_OK) == 0; }

  private:
    static constexpr const char* kXvfb = "/usr/bin/Xvfb";
    static constexpr const char* kXdotool = "/usr/bin/xdotool";

    ProgramRun xdotool(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {"/usr/bin/timeout", "10", kXdotool});
        // Only its answers: xdotool also reports the X server's oddities on standard error.
        return runQuietly(std::move(arguments), {environmentEntry(), "PATH=/usr/bin:/bin"}, false);
    }

    std::optional<Subprocess> server_;
    std::optional<int> display_;
};

}  // namespace pellin::test
