#include "DisplayProbe.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include <xcb/xcb.h>
#include <QLibraryInfo>

namespace appkit {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// Connects to a local socket; `abstract` uses Linux's abstract namespace, where X servers also
// listen.
bool acceptsConnections(const std::string& path, bool abstract) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0;
    if (path.size() + offset >= sizeof(address.sun_path)) {
        return false;
    }
    std::memcpy(address.sun_path + offset, path.data(), path.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const auto length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
    const bool connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
    close(fd);
    return connected;
}

// A server that accepts the socket but then refuses the X handshake (no authorisation, or
// one that is starting over) would make Qt end the process, so the probe completes the
// handshake itself, local or remote.
bool x11Available() {
    if (environment("DISPLAY").empty()) {
        return false;
    }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool usable = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return usable;
}

bool waylandAvailable() {
    std::string name = environment("WAYLAND_DISPLAY");
    if (name.empty()) {
        return false;
    }
    if (!name.starts_with("/")) {
        const std::string runtime = environment("XDG_RUNTIME_DIR");
        if (runtime.empty()) {
            return false;
        }
        name = runtime + "/" + name;
    }
    const std::filesystem::path plugins =
        QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString();
    std::error_code error;
    return acceptsConnections(name, false) &&
           std::filesystem::exists(plugins / "platforms" / "libqwayland-generic.so", error);
}

}  // namespace

Display probeDisplay() {
    if (!environment("QT_QPA_PLATFORM").empty()) {
        return Display::Configured;
    }
    if (x11Available()) {
        return Display::X11;
    }
    if (waylandAvailable()) {
        return Display::Wayland;
    }
    return Display::None;
}

}  // namespace appkit
