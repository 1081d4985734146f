#include "support/ExclusiveRun.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace pellin::test {

ExclusiveRun::ExclusiveRun() {
    const std::filesystem::path lock =
        std::filesystem::temp_directory_path() / "pellin-uninstaller-end-to-end.lock";
    fd_ = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        return;
    }
    while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
}

ExclusiveRun::~ExclusiveRun() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

}  // namespace pellin::test
