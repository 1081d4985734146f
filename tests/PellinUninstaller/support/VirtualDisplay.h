#pragma once

// An X server of the test's own (Xvfb) and the keyboard of a user sitting at it (xdotool).

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "support/FakeApplication.h"

namespace pellin::test {

class VirtualDisplay {
  public:
    // Starts Xvfb on a display number that is free; check available() before use.
    VirtualDisplay();

    // Whether both Xvfb and xdotool are installed and the server came up.
    bool available() const { return display_.has_value(); }
    // "DISPLAY=:<n>".
    std::string environmentEntry() const;

    // The visible top-level windows named exactly `title`, oldest first.
    std::vector<std::string> visibleWindows(const std::string& title) const;
    // Waits for a visible window named `title` that is not among `seen` and has the keyboard
    // focus; nothing when none appears within `limit` (which only keeps a fault from hanging).
    std::optional<std::string> waitForNewFocusedWindow(
        const std::string& title, const std::vector<std::string>& seen,
        std::chrono::seconds limit = std::chrono::seconds(30)) const;
    // Types keys in xdotool's notation ("shift+Tab", "space", "Return") into the focused window.
    bool press(const std::vector<std::string>& keys) const;
    // Destroys `window` as another program of the user's desktop may, leaving its owner running.
    bool destroyWindow(const std::string& window) const;

    static bool toolsInstalled();

  private:
    std::vector<std::string> xdotool(std::vector<std::string> arguments, bool* ok = nullptr) const;

    std::optional<FakeProcess> server_;
    std::optional<int> display_;
};

}  // namespace pellin::test
