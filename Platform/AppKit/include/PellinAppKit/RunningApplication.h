#pragma once

// The current user's running applications: processes that run the executable of a "*.app"
// bundle whose Contents/Info.plist names a bundle identifier. A process runs it when its program
// file is the executable (Contents/MacOS/<CFBundleExecutable, else the bundle's name>) or, for a
// "#!" script, when it is the interpreter the script names and runs the script; a program that
// merely opens the file (an editor, a pager, tail -f) is not the application.

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

    // Notes the bundles of the applications running now, so that their processes, and any
    // started from the same bundles later, are still found under their identifiers once the
    // bundles are removed (a process keeps running from deleted files). The application loop
    // calls this before its delegate runs; a later call adds to what is remembered.
    static void rememberRunningApplications();

    // Notes the bundles ("*.app") in `folder` in the same way, whether or not any of them runs
    // now: a program started from one of them later is found after the folder is removed.
    static void rememberBundlesInFolder(std::string_view folder);

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
    // its pid now belongs to another process (which is never signalled), the pid is 1 or below,
    // or the kill was refused.
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
