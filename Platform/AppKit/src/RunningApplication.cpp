#include <PellinAppKit/RunningApplication.h>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

#include "ApplicationOfProcess.h"
#include "BundleIdentity.h"
#include "ProcessTable.h"
#include "RememberedBundles.h"

namespace appkit {

using detail::BundleIdentity;
using detail::ProcessStamp;
using detail::RememberedBundles;

class RunningApplicationFactory {
  public:
    static RunningApplication make(const ProcessStamp& stamp, BundleIdentity identity) {
        return RunningApplication(stamp.pid, stamp.startTime, std::move(identity.bundleIdentifier),
                                  std::move(identity.bundlePath),
                                  std::move(identity.executablePath));
    }
};

namespace {

// A folder holds no more bundles worth noting than this; a crowded one cannot hold up the start.
constexpr int kMostEntriesOfAFolder = 1024;

// Through syscall(): the wrappers of glibc 2.36 are declared without C linkage for C++.
int openProcessDescriptor(pid_t pid) {
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0U));
}

bool sendKill(int pidfd) {
    return syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0U) == 0;
}

struct Found {
    ProcessStamp stamp;
    BundleIdentity identity;
};

// Whether this process can read the program files of other users' processes: it runs as root, as
// another user than the one that started it, or holds CAP_SYS_PTRACE. Without that right, a
// program file it can read is its own user's (or of a user namespace that user made).
bool readsOtherUsersPrograms() {
    if (geteuid() == 0 || getuid() != geteuid()) {
        return true;
    }
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    std::array<__user_cap_data_struct, _LINUX_CAPABILITY_U32S_3> capabilities{};
    if (syscall(SYS_capget, &header, capabilities.data()) != 0) {
        return true;
    }
    return (capabilities[CAP_TO_INDEX(CAP_SYS_PTRACE)].effective & CAP_TO_MASK(CAP_SYS_PTRACE)) !=
           0;
}

enum class Scan {
    Find,      // the applications as they run now, each with its start time
    Remember,  // only their bundles, to be noted before any can be removed
};

// The current user's processes that run a bundle's executable, in launch order. What costs least
// is looked at first: the program file (kernel threads have none, and another user's processes do
// not show theirs), then whether it or the script it runs lies in a bundle at all. Only then come
// the owner and the start time, each a file that the kernel composes anew for every read, and
// remembering, at every start, skips the start time and, where only the user's own program files
// can be read, the owner.
std::vector<Found> scanProcesses(Scan purpose) {
    const uid_t me = getuid();
    const bool checkOwner = purpose == Scan::Find || readsOtherUsersPrograms();
    detail::BundleLookup bundles;
    std::vector<Found> found;
    for (const pid_t pid : detail::allProcessIdentifiers()) {
        const std::optional<detail::ProcessExecutable> executable = detail::executableOf(pid);
        if (!executable || !detail::mayRunBundleExecutable(pid, *executable) ||
            (checkOwner && detail::realUserOf(pid) != me)) {
            continue;
        }
        ProcessStamp stamp{pid, 0};
        if (purpose == Scan::Find) {
            const std::optional<ProcessStamp> live = detail::liveStamp(pid);
            if (!live) {
                continue;
            }
            stamp = *live;
        }
        if (std::optional<BundleIdentity> identity =
                detail::applicationOfProcess(pid, *executable, bundles)) {
            found.push_back({stamp, std::move(*identity)});
        }
    }
    std::sort(found.begin(), found.end(),
              [](const Found& a, const Found& b) { return a.stamp < b.stamp; });
    return found;
}

std::vector<RunningApplication> applicationsFrom(std::vector<Found> found,
                                                 std::optional<std::string_view> identifier) {
    std::vector<RunningApplication> applications;
    for (Found& entry : found) {
        if (!identifier || entry.identity.bundleIdentifier == *identifier) {
            applications.push_back(
                RunningApplicationFactory::make(entry.stamp, std::move(entry.identity)));
        }
    }
    return applications;
}

}  // namespace

RunningApplication::RunningApplication(pid_t pid, std::uint64_t startTime,
                                       std::string bundleIdentifier, std::string bundlePath,
                                       std::string executablePath)
    : pid_(pid),
      startTime_(startTime),
      bundleIdentifier_(std::move(bundleIdentifier)),
      bundlePath_(std::move(bundlePath)),
      executablePath_(std::move(executablePath)) {}

std::vector<RunningApplication> RunningApplication::runningApplicationsWithBundleIdentifier(
    std::string_view bundleIdentifier) {
    return applicationsFrom(scanProcesses(Scan::Find), bundleIdentifier);
}

std::vector<RunningApplication> RunningApplication::runningApplications() {
    return applicationsFrom(scanProcesses(Scan::Find), std::nullopt);
}

void RunningApplication::rememberRunningApplications() {
    for (const Found& entry : scanProcesses(Scan::Remember)) {
        RememberedBundles::remember(entry.identity);
    }
}

void RunningApplication::rememberBundlesInFolder(std::string_view folder) {
    std::error_code error;
    // Known by its real path, as /proc shows the programs in it.
    const std::filesystem::path real = std::filesystem::weakly_canonical(folder, error);
    if (error) {
        return;
    }
    int entries = 0;
    for (std::filesystem::directory_iterator it(real, error), end;
         !error && it != end && entries < kMostEntriesOfAFolder; it.increment(error), ++entries) {
        if (std::optional<BundleIdentity> bundle = detail::bundleAtPath(it->path().string())) {
            RememberedBundles::remember(*bundle);
        }
    }
}

bool RunningApplication::isTerminated() const {
    return detail::liveStamp(pid_) != ProcessStamp{pid_, startTime_};
}

bool RunningApplication::forceTerminate() const {
    // Never init, nor "every process" as kill() reads a pid of 0 or below.
    if (pid_ <= 1) {
        return false;
    }
    // The descriptor pins whichever process holds the pid now; checking the start time after
    // opening it proves that this is still our process, so the signal cannot reach a newcomer
    // that was given the pid after ours ended.
    const int pidfd = openProcessDescriptor(pid_);
    if (pidfd < 0) {
        if (errno != ENOSYS) {
            return false;
        }
        // Kernels before 5.3: the start-time check narrows the window to the two calls.
        return !isTerminated() && kill(pid_, SIGKILL) == 0;
    }
    const bool same = !isTerminated();
    const bool killed = same && sendKill(pidfd);
    close(pidfd);
    return killed;
}

}  // namespace appkit
