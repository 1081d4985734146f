#pragma once

// The object an application hands its life-cycle events to.

#include <string>

#include <PellinFoundation/Export.h>

namespace appkit {

// What happened, by name; receivers may ignore it.
struct Notification {
    std::string name;
};

inline constexpr const char* ApplicationDidFinishLaunchingNotification =
    "NSApplicationDidFinishLaunchingNotification";

class PELLIN_EXPORT ApplicationDelegate {
  public:
    virtual ~ApplicationDelegate() = default;

    // Called once, when the event loop has started.
    virtual void applicationDidFinishLaunching(const Notification& notification) = 0;
};

}  // namespace appkit
