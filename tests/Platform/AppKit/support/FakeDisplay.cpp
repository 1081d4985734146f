#include "FakeDisplay.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

namespace pellin::test {

FakeXDisplay::FakeXDisplay(Behaviour behaviour) {
    for (int number = 90; number < 200 && socket_ < 0; ++number) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            return;
        }
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string name = "/tmp/.X11-unix/X" + std::to_string(number);
        std::memcpy(address.sun_path + 1, name.data(), name.size());
        const auto length =
            static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
        if (bind(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0 &&
            (behaviour == Behaviour::Stale || listen(fd, 64) == 0)) {
            socket_ = fd;
            number_ = number;
        } else {
            close(fd);
        }
    }
    // A silent server never accepts: the kernel completes each connection into the backlog,
    // and the client then waits for an answer that never comes.
    if (socket_ >= 0 && behaviour == Behaviour::Refusing) {
        refuser_ = std::thread([this] {
            while (!done_) {
                pollfd ready{socket_, POLLIN, 0};
                if (poll(&ready, 1, 50) > 0) {
                    close(accept(socket_, nullptr, nullptr));
                }
            }
        });
    }
}

FakeXDisplay::~FakeXDisplay() {
    done_ = true;
    if (refuser_.joinable()) {
        refuser_.join();
    }
    if (socket_ >= 0) {
        close(socket_);
    }
}

std::string FakeXDisplay::environmentEntry() const {
    return "DISPLAY=:" + std::to_string(number_);
}

}  // namespace pellin::test
