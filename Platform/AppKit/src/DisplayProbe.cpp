#include "DisplayProbe.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>

#include <xcb/xcb.h>
#include <QLibraryInfo>

namespace appkit {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool pluginInstalled(const char* file) {
    const std::filesystem::path plugins =
        QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString();
    std::error_code error;
    return std::filesystem::exists(plugins / "platforms" / file, error);
}

// Whether the X server that `display` names completes the handshake in time. A server that
// accepts the socket but then refuses the handshake (no authorisation, or one that is starting
// over) would make Qt end the process, and one that never answers would make it wait forever.
// xcb cannot give up on a handshake it has begun, so the attempt runs on a thread of its own,
// which is left behind when the server never answers.
bool x11Answers(const std::string& display) {
    if (display.empty()) {
        return false;
    }
    struct Attempt {
        std::mutex mutex;
        std::condition_variable finished;
        std::optional<bool> usable;
    };
    const auto attempt = std::make_shared<Attempt>();
    try {
        std::thread([attempt, display] {
            xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
            const bool usable = xcb_connection_has_error(connection) == 0;
            xcb_disconnect(connection);
            const std::lock_guard lock(attempt->mutex);
            attempt->usable = usable;
            attempt->finished.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return false;
    }
    std::unique_lock lock(attempt->mutex);
    return attempt->finished.wait_for(lock, kDisplayAnswerLimit, [&] {
        return attempt->usable.has_value();
    }) && *attempt->usable;
}

// Whether a compositor accepts connections on `name` (relative to XDG_RUNTIME_DIR unless
// absolute). Connecting never waits: a full backlog counts as none.
bool waylandAccepts(std::string name) {
    if (!name.starts_with("/")) {
        const std::string runtime = environment("XDG_RUNTIME_DIR");
        if (runtime.empty()) {
            return false;
        }
        name = runtime + "/" + name;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.size() >= sizeof(address.sun_path)) {
        return false;
    }
    std::memcpy(address.sun_path, name.data(), name.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return false;
    }
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size());
    const bool connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
    close(fd);
    return connected;
}

// Whether the platform named in one entry of QT_QPA_PLATFORM ("name" or "name:options") starts.
bool platformStarts(const std::string& entry) {
    const std::string name = lowerCase(entry.substr(0, entry.find(':')));
    if (name == "offscreen" || name == "minimal") {
        return pluginInstalled(("libq" + name + ".so").c_str());
    }
    if (name == "xcb") {
        return pluginInstalled("libqxcb.so") && x11Answers(environment("DISPLAY"));
    }
    if (name == "wayland") {
        // Without WAYLAND_DISPLAY, Qt's Wayland client looks for the compositor's usual name.
        const std::string display = environment("WAYLAND_DISPLAY");
        return pluginInstalled("libqwayland-generic.so") &&
               waylandAccepts(display.empty() ? "wayland-0" : display);
    }
    return false;
}

std::optional<std::string> probe() {
    const std::string configured = environment("QT_QPA_PLATFORM");
    if (!configured.empty()) {
        std::size_t begin = 0;
        while (begin <= configured.size()) {
            const std::size_t end = std::min(configured.find(';', begin), configured.size());
            const std::string entry = configured.substr(begin, end - begin);
            if (!entry.empty() && platformStarts(entry)) {
                return entry;
            }
            begin = end + 1;
        }
        return std::nullopt;
    }
    if (!environment("DISPLAY").empty() && platformStarts("xcb")) {
        return "xcb";
    }
    if (!environment("WAYLAND_DISPLAY").empty() && platformStarts("wayland")) {
        return "wayland";
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> verifiedQtPlatform() {
    static std::mutex mutex;
    static std::optional<std::string> probedFor;
    static std::optional<std::string> answer;
    std::string key;
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"}) {
        key += environment(name) + '\0';
    }
    const std::lock_guard lock(mutex);
    if (probedFor != key) {
        answer = probe();
        probedFor = key;
    }
    return answer;
}

}  // namespace appkit
