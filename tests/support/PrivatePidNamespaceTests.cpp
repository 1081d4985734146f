// The harness's own promise: a test that signals processes sees only its own.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "PrivatePidNamespace.h"

namespace {

TEST(PrivatePidNamespace, TheTestSeesOnlyItsOwnProcesses) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    // The namespace's first process is unshare's fork; the test binary is its child.
    EXPECT_LE(getpid(), 3);
    int processes = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        processes += name.find_first_not_of("0123456789") == std::string::npos ? 1 : 0;
    }
    EXPECT_LE(processes, 3);
}

}  // namespace
