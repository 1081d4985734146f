#include "PrivatePidNamespace.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "Subprocess.h"

namespace pellin::test {

namespace {

constexpr const char* kMarker = "PELLIN_TEST_IN_PID_NAMESPACE";
constexpr const char* kUnshare = "/usr/bin/unshare";

std::vector<std::string> inNamespace(std::vector<std::string> command) {
    std::vector<std::string> words{kUnshare, "--pid", "--fork", "--mount-proc", "--kill-child"};
    words.insert(words.end(), command.begin(), command.end());
    return words;
}

}  // namespace

bool insidePrivatePidNamespace() {
    const char* marker = std::getenv(kMarker);
    return marker != nullptr && std::string(marker) == "1";
}

NamespaceRun rerunCurrentTestInPrivatePidNamespace() {
    NamespaceRun result;
    if (access(kUnshare, X_OK) != 0 || !runProgram(inNamespace({"/bin/true"})).exitedWith(0)) {
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
    setenv(kMarker, "1", 1);
    const ProgramRun run = runProgram(inNamespace(
        {"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1", self, filter, "--gtest_color=no"}));
    unsetenv(kMarker);
    result.output = run.output;
    result.skipped = run.output.find("[  SKIPPED ]") != std::string::npos;
    result.passed =
        run.exitedWith(0) && run.output.find("[  PASSED  ] 1 test") != std::string::npos;
    return result;
}

}  // namespace pellin::test
