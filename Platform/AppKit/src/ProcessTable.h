#pragma once

// What /proc tells about one process, read field by field and with bounds, so that a process that
// ends while we look at it simply yields nothing and none can make the reading stall or exhaust
// this process.

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace appkit::detail {

// The identity of a process over time: a pid alone is reused, a pid together with the moment the
// process started is not.
struct ProcessStamp {
    pid_t pid = 0;
    std::uint64_t startTime = 0;  // clock ticks since boot, field 22 of /proc/<pid>/stat

    friend bool operator==(const ProcessStamp&, const ProcessStamp&) = default;
    friend auto operator<=>(const ProcessStamp& a, const ProcessStamp& b) {
        if (a.startTime != b.startTime) {
            return a.startTime <=> b.startTime;
        }
        return a.pid <=> b.pid;
    }
};

// The program file a process runs.
struct ProcessExecutable {
    std::string path;  // a removed file keeps the path it had, without the " (deleted)" mark
    bool removed = false;
    dev_t device = 0;
    ino_t inode = 0;
};

// Every pid listed in /proc, in no particular order.
std::vector<pid_t> allProcessIdentifiers();

// The stamp of a live process; nothing when it has ended or is a zombie waiting to be reaped.
std::optional<ProcessStamp> liveStamp(pid_t pid);

// The real user id the process runs as.
std::optional<uid_t> realUserOf(pid_t pid);

std::optional<ProcessExecutable> executableOf(pid_t pid);

// The argument vector the process was started with; empty when it cannot be read or is longer
// than a command line a program of ours would have.
std::vector<std::string> argumentsOf(pid_t pid);

// The process's working folder, to resolve a relative script argument.
std::optional<std::string> workingDirectoryOf(pid_t pid);

}  // namespace appkit::detail
