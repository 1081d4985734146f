#pragma once

// The current user's running applications: processes whose executable (or, for an interpreter,
// whose script) lies in a "*.app" bundle whose Contents/Info.plist names a bundle identifier.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <PellinFoundation/Export.h>

namespace appkit {

class PELLIN_EXPORT RunningApplication {
  public:
    // The current user's running applications with `bundleIdentifier` (exact match), in launch
    // order: earliest start first, the lower pid first among equal start times.
    static std::vector<RunningApplication> runningApplicationsWithBundleIdentifier(
        std::string_view bundleIdentifier);

    // Every running application of the current user, in launch order.
    static std::vector<RunningApplication> runningApplications();

    // Notes who is running now, so that an application whose bundle is removed afterwards (it
    // keeps running from deleted files) is still found under its identifier. The application
    // loop calls this before its delegate runs; a later call adds to what is remembered.
    static void rememberRunningApplications();

    pid_t processIdentifier() const { return pid_; }
    const std::string& bundleIdentifier() const { return bundleIdentifier_; }
    // The "*.app" folder.
    const std::string& bundleURL() const { return bundlePath_; }
    // The program's file: its binary, or the script an interpreter runs.
    const std::string& executableURL() const { return executablePath_; }
    // When the process started, in clock ticks since boot.
    std::uint64_t launchTime() const { return startTime_; }

    // Whether this process has ended; a new process that reuses the pid does not count as it.
    bool isTerminated() const;

    // Ends the process at once (SIGKILL), without asking it. False when it has already ended,
    // its pid now belongs to another process (which is never signalled), or the kill was refused.
    bool forceTerminate() const;

  private:
    RunningApplication(pid_t pid, std::uint64_t startTime, std::string bundleIdentifier,
                       std::string bundlePath, std::string executablePath);
    friend class RunningApplicationFactory;

    pid_t pid_;
    std::uint64_t startTime_;
    std::string bundleIdentifier_;
    std::string bundlePath_;
    std::string executablePath_;
};

}  // namespace appkit
