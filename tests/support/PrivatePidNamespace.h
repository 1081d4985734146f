#pragma once

// Tests in which the product signals or force-quits processes run, with their fake processes,
// in a private pid namespace: whatever a fault makes the product kill, it can only reach that
// test's own processes, never another test's or the machine's.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Subprocess.h"

namespace pellin::test {

inline constexpr const char* kPidNamespaceMarker = "PELLIN_TEST_IN_PID_NAMESPACE";
inline constexpr const char* kUnshare = "/usr/bin/unshare";

inline std::vector<std::string> inPrivatePidNamespace(std::vector<std::string> command) {
    std::vector<std::string> words{kUnshare, "--pid", "--fork", "--mount-proc", "--kill-child"};
    words.insert(words.end(), command.begin(), command.end());
    return words;
}

// Whether this process is the copy of the test binary that runs inside the private namespace.
inline bool insidePrivatePidNamespace() {
    const char* marker = std::getenv(kPidNamespaceMarker);
    return marker != nullptr && std::string(marker) == "1";
}

struct NamespaceRun {
    bool unavailable = false;  // the machine refuses pid namespaces; `output` says why
    bool skipped = false;      // the test skipped itself inside the namespace
    bool passed = false;
    std::string output;  // what the inner run printed
};

// Runs the current test again, alone, in a new pid namespace with its own /proc
// (unshare --pid --fork --mount-proc), and answers how it went.
inline NamespaceRun rerunCurrentTestInPrivatePidNamespace() {
    NamespaceRun result;
    if (access(kUnshare, X_OK) != 0 ||
        !runProgram(inPrivatePidNamespace({"/bin/true"})).exitedWith(0)) {
        result.unavailable = true;
        result.output =
            "this machine refuses private pid namespaces (unshare --pid "
            "--mount-proc), which a test that signals processes needs";
        return result;
    }
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter =
        std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    std::error_code error;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe", error).string();
    setenv(kPidNamespaceMarker, "1", 1);
    const ProgramRun run = runProgram(inPrivatePidNamespace(
        {"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1", self, filter, "--gtest_color=no"}));
    unsetenv(kPidNamespaceMarker);
    result.output = run.output;
    result.skipped = run.output.find("[  SKIPPED ]") != std::string::npos;
    result.passed =
        run.exitedWith(0) && run.output.find("[  PASSED  ] 1 test") != std::string::npos;
    return result;
}

}  // namespace pellin::test

// The first statement of a test that signals processes: outside the namespace the test runs
// itself again inside one and takes that run's outcome; inside it simply goes on.
#define PELLIN_IN_PRIVATE_PID_NAMESPACE()                                          \
    do {                                                                           \
        if (!::pellin::test::insidePrivatePidNamespace()) {                        \
            const ::pellin::test::NamespaceRun pellinRun =                         \
                ::pellin::test::rerunCurrentTestInPrivatePidNamespace();           \
            if (pellinRun.unavailable || pellinRun.skipped) {                      \
                GTEST_SKIP() << pellinRun.output;                                  \
            }                                                                      \
            ASSERT_TRUE(pellinRun.passed) << "inside the private pid namespace:\n" \
                                          << pellinRun.output;                     \
            return;                                                                \
        }                                                                          \
    } while (false)
