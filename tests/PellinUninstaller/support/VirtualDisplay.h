#pragma once

// An X server of the test's own (Xvfb, on a display number it picks itself) and the keyboard of
// a user sitting at it (xdotool).

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "Subprocess.h"

namespace pellin::test {

class VirtualDisplay {
  public:
    // Starts Xvfb; check available() before use.
    VirtualDisplay();

    bool available() const { return display_.has_value(); }
    // "DISPLAY=:<n>".
    std::string environmentEntry() const;

    // Waits for a visible window named `title` that is not among `seen`, and gives it the
    // keyboard focus; nothing when none appears within `limit`, which only keeps a fault from
    // hanging.
    std::optional<std::string> waitForNewFocusedWindow(
        const std::string& title, const std::vector<std::string>& seen,
        std::chrono::seconds limit = std::chrono::seconds(30)) const;
    // Types keys in xdotool's notation ("shift+Tab", "space", "Return") into the focused window.
    bool press(const std::vector<std::string>& keys) const;
    // Destroys `window` as another program of the user's desktop may, leaving its owner running.
    bool destroyWindow(const std::string& window) const;

    static bool toolsInstalled();

  private:
    ProgramRun xdotool(std::vector<std::string> arguments) const;

    std::optional<Subprocess> server_;
    std::optional<int> display_;
};

}  // namespace pellin::test
