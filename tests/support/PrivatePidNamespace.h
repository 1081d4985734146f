#pragma once

// Tests in which the product signals or force-quits processes run, with their fake processes,
// in a private pid namespace: whatever a fault makes the product kill, it can only reach that
// test's own processes, never another test's or the machine's.

#include <string>

namespace pellin::test {

// Whether this process is the copy of the test binary that runs inside the private namespace.
bool insidePrivatePidNamespace();

struct NamespaceRun {
    bool unavailable = false;  // the machine refuses pid namespaces; `output` says why
    bool skipped = false;      // the test skipped itself inside the namespace
    bool passed = false;
    std::string output;  // what the inner run printed
};

// Runs the current test again, alone, in a new pid namespace with its own /proc
// (unshare --pid --fork --mount-proc), and answers how it went.
NamespaceRun rerunCurrentTestInPrivatePidNamespace();

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
