#pragma once

namespace appkit {

// Which window system a Qt window can use in this process.
enum class Display {
    None,
    Configured,  // QT_QPA_PLATFORM names a platform: trusted as it stands ("offscreen" in tests)
    X11,         // DISPLAY names a server that accepts connections, or a remote one
    Wayland,     // WAYLAND_DISPLAY names a compositor that accepts connections, and Qt has the
                 // plugin for it
};

// Probes the display without Qt: Qt ends the process when it cannot open the display it was
// told to use, so a stale DISPLAY (an old ssh session, a closed desktop) must be caught first.
Display probeDisplay();

}  // namespace appkit
