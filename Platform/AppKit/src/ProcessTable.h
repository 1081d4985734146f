#pragma once

// What /proc tells about one process, read field by field so that a process that ends while we
// look at it simply yields nothing.

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

// Every pid listed in /proc, in no particular order.
std::vector<pid_t> allProcessIdentifiers();

// The stamp of a live process; nothing when it has ended or is a zombie waiting to be reaped.
std::optional<ProcessStamp> liveStamp(pid_t pid);

// The real user id the process runs as.
std::optional<uid_t> realUserOf(pid_t pid);

// The executable's path; a removed executable keeps the path it had.
std::optional<std::string> executablePathOf(pid_t pid);

// The argument vector the process was started with.
std::vector<std::string> argumentsOf(pid_t pid);

// The process's working folder, to resolve a relative script argument.
std::optional<std::string> workingDirectoryOf(pid_t pid);

}  // namespace appkit::detail
