#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace appkit {

// How long a display server may take to answer before it counts as none: one that accepts the
// connection and then never answers would otherwise hold the program before its first dialog.
inline constexpr std::chrono::milliseconds kDisplayAnswerLimit{2000};

// The Qt platform on which this process can show a window, as the "-platform" argument to hand
// to Qt ("xcb", "offscreen", ...); nothing when there is none. Every platform is verified without
// Qt first, because Qt ends the process when the platform it was told to use cannot start:
//   - QT_QPA_PLATFORM set: the first of its entries ("a;b" lists several) that verifies.
//     "offscreen" and "minimal" start anywhere; "xcb" needs an X server that completes the
//     handshake within kDisplayAnswerLimit; "wayland" a compositor that accepts connections.
//     Any other platform (eglfs, linuxfb, vnc, ...) cannot be verified and is never used;
//   - otherwise an X server on DISPLAY, then a compositor on WAYLAND_DISPLAY, verified the same
//     way.
// Each needs the Qt module (QtModule.h) and Qt's plugin for the platform installed as well; the
// module is loaded only once a display has answered. The answer holds for as long as these
// environment variables keep their values, so that an unanswering server costs the wait only once.
std::optional<std::string> verifiedQtPlatform();

}  // namespace appkit
