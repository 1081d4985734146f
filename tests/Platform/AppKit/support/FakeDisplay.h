#pragma once

// An X display of the test's own that no real server stands behind: it refuses connections (a
// server that has gone), or accepts them and then closes each at once (a server that refuses
// the client's authorisation) or never answers (a hung one).

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstring>
#include <string>
#include <thread>

namespace pellin::test {

class FakeXDisplay {
  public:
    enum class Behaviour { Stale, Refusing, Silent };

    // Listens on the first free display number from 90 on (Linux's abstract socket namespace,
    // where X clients look first); check available() before use.
    explicit FakeXDisplay(Behaviour behaviour) {
        for (int number = 90; number < 200 && socket_ < 0; ++number) {
            const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            const std::string name = "/tmp/.X11-unix/X" + std::to_string(number);
            std::memcpy(address.sun_path + 1, name.data(), name.size());
            const auto length =
                static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
            if (fd >= 0 && bind(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0 &&
                (behaviour == Behaviour::Stale || listen(fd, 64) == 0)) {
                socket_ = fd;
                number_ = number;
            } else if (fd >= 0) {
                close(fd);
            }
        }
        // A silent server never accepts: the kernel completes each connection into the backlog,
        // and the client then waits for an answer that never comes.
        if (socket_ >= 0 && behaviour == Behaviour::Refusing) {
            refuser_ = std::thread([this] {
                for (pollfd ready{socket_, POLLIN, 0}; !done_;) {
                    if (poll(&ready, 1, 50) > 0) {
                        close(accept(socket_, nullptr, nullptr));
                    }
                }
            });
        }
    }
    ~FakeXDisplay() {
        done_ = true;
        if (refuser_.joinable()) {
            refuser_.join();
        }
        if (socket_ >= 0) {
            close(socket_);
        }
    }

    bool available() const { return socket_ >= 0; }
    std::string environmentEntry() const { return "DISPLAY=:" + std::to_string(number_); }

  private:
    int socket_ = -1;
    int number_ = -1;
    std::atomic<bool> done_{false};
    std::thread refuser_;
};

}  // namespace pellin::test
