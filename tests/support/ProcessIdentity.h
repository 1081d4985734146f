#pragma once

// What tells one process from any other, read from /proc as our launchctl reads it, so that a
// test can write the record a forger would write.

#include <sys/types.h>

#include <string>

namespace pellin::test {

// Field 22 of /proc/<pid>/stat: when the process started, in clock ticks since boot.
std::string processStartTime(pid_t pid);

// "<device>:<inode>" of the program the process runs.
std::string processExecutable(pid_t pid);

// Whether the process runs: it exists and is not a zombie that nobody has reaped yet.
bool processIsLive(pid_t pid);

}  // namespace pellin::test
