#include "DisplayProbe.h"

#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>

#include <xcb/xcb.h>

#include "QtModule.h"

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

// Asked only once the platform's display has answered: only then is the Qt module loaded.
bool pluginInstalled(const char* file) {
    const detail::QtModuleInterface* module = detail::qtModule();
    return module != nullptr && module->platformPluginInstalled(file);
}

// The three calls of libxcb that the probe makes. The library is opened only when an X display
// is to be verified, so that a run on a terminal maps none of X and a machine without X needs
// none of its libraries.
struct XcbCalls {
    decltype(&xcb_connect) connect;
    decltype(&xcb_connection_has_error) hasError;
    decltype(&xcb_disconnect) disconnect;
};

const XcbCalls* xcb() {
    static const std::optional<XcbCalls> calls = []() -> std::optional<XcbCalls> {
        void* library = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            return std::nullopt;
        }
        const XcbCalls found{
            reinterpret_cast<decltype(&xcb_connect)>(dlsym(library, "xcb_connect")),
            reinterpret_cast<decltype(&xcb_connection_has_error)>(
                dlsym(library, "xcb_connection_has_error")),
            reinterpret_cast<decltype(&xcb_disconnect)>(dlsym(library, "xcb_disconnect"))};
        if (found.connect == nullptr || found.hasError == nullptr || found.disconnect == nullptr) {
            return std::nullopt;
        }
        return found;
    }();
    return calls ? &*calls : nullptr;
}

// Whether the X server that `display` names completes the handshake in time. A server that
// accepts the socket but then refuses the handshake (no authorisation, or one that is starting
// over) would make Qt end the process, and one that never answers would make it wait forever.
// xcb cannot give up on a handshake it has begun, so the attempt runs on a thread of its own,
// which is left behind when the server never answers.
bool x11Answers(const std::string& display) {
    const XcbCalls* calls = display.empty() ? nullptr : xcb();
    if (calls == nullptr) {
        return false;
    }
    struct Attempt {
        std::mutex mutex;
        std::condition_variable finished;
        std::optional<bool> usable;
    };
    const auto attempt = std::make_shared<Attempt>();
    try {
        std::thread([attempt, display, calls] {
            // A server that closes the connection before xcb has written its half of the
            // handshake would end the whole process with SIGPIPE; blocked on this thread, the
            // write fails with EPIPE instead, and the signal goes with the thread.
            sigset_t brokenPipe;
            sigemptyset(&brokenPipe);
            sigaddset(&brokenPipe, SIGPIPE);
            pthread_sigmask(SIG_BLOCK, &brokenPipe, nullptr);
            xcb_connection_t* connection = calls->connect(display.c_str(), nullptr);
            const bool usable = calls->hasError(connection) == 0;
            calls->disconnect(connection);
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
        return x11Answers(environment("DISPLAY")) && pluginInstalled("libqxcb.so");
    }
    if (name == "wayland") {
        // Without WAYLAND_DISPLAY, Qt's Wayland client looks for the compositor's usual name.
        const std::string display = environment("WAYLAND_DISPLAY");
        return waylandAccepts(display.empty() ? "wayland-0" : display) &&
               pluginInstalled("libqwayland-generic.so");
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
