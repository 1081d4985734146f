#pragma once

#include <unistd.h>

namespace applescript {

// Closes its descriptor when it goes out of scope, on every path.
class Descriptor {
  public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // Closes the one it holds, then holds `fd`.
    void adopt(int fd) {
        reset();
        fd_ = fd;
    }
    void reset() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

  private:
    int fd_ = -1;
};

}  // namespace applescript
