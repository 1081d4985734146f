#include "StandardErrorNotice.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <PellinLumberjack/DDLogFileManager.h>

#include "OwnedFd.h"

namespace lumberjack::detail {

void tellOnStandardError(std::string_view text) try {
    const std::string line =
        DDLogFileManager::currentProgramName() + ": " + std::string(text) + "\n";
    struct stat status {};
    if (fstat(STDERR_FILENO, &status) != 0) {
        return;
    }
    if (S_ISSOCK(status.st_mode)) {
        [[maybe_unused]] const ssize_t sent =
            send(STDERR_FILENO, line.data(), line.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        return;
    }
    if (S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode)) {
        // A description of our own, so that O_NONBLOCK does not reach the one other programs
        // share with us.
        const OwnedFd own(open("/proc/self/fd/2", O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (own.valid()) {
            [[maybe_unused]] const ssize_t written = write(own.get(), line.data(), line.size());
        }
        return;
    }
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, line.data(), line.size());
} catch (...) {
}

}  // namespace lumberjack::detail
