// What a process leaves in its log file when it ends: every line it logged, however it ends,
// and only whole lines even when it is killed or its disk is full; and a sink that cannot write
// never keeps it from ending.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <PellinLumberjack/DDLogFileManager.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>

#include "ChildProcess.h"
#include "PrivatePidNamespace.h"
#include "RecordingSink.h"
#include "TemporaryHome.h"

namespace fs = std::filesystem;
using pellin::test::builtProgram;
using pellin::test::readFile;
using pellin::test::runChild;

namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

class ProcessEnd : public ::testing::Test {
  protected:
    fs::path logs() const { return home_.path() / "Library" / "Logs" / "LumberjackLogChild"; }

    std::vector<fs::path> logFiles() const {
        return lumberjack::DDLogFileManager(logs(), "LumberjackLogChild").sortedLogFilePaths();
    }

    std::vector<std::string> loggedLines() const {
        std::string text;
        for (const auto& file : logFiles()) {
            text += readFile(file);
        }
        return linesOf(text);
    }

    static std::string expectedLine(long number) {
        char text[128];
        std::snprintf(text, sizeof text, "line %07ld %s end", number, std::string(80, 'x').c_str());
        return text;
    }

    void expectEveryLine(long count) const {
        const auto files = logFiles();
        ASSERT_EQ(files.size(), 1u);
        const auto lines = loggedLines();
        ASSERT_EQ(lines.size(), static_cast<std::size_t>(count));
        for (long i = 0; i < count; ++i) {
            ASSERT_EQ(lines[static_cast<std::size_t>(i)], expectedLine(i));
        }
    }

    std::uintmax_t loggedBytes() const {
        std::uintmax_t total = 0;
        std::error_code ignored;
        for (const auto& file : logFiles()) {
            const auto size = fs::file_size(file, ignored);
            total += ignored ? 0 : size;
        }
        return total;
    }

    pellin::test::TemporaryHome home_;
};

}  // namespace

// Each way of ending normally, with as many lines logged just before it. A child forked on the
// way that calls exit() holds a copy of what its parent had gathered: the parent writes that,
// the child must not write it again.
TEST_F(ProcessEnd, LinesLoggedJustBeforeExitReturnOrQuickExitAreAllInTheFileOnce) {
    for (const auto& [mode, count] : {std::pair{"exit", 100000L},
                                      {"return", 20000L},
                                      {"quick_exit", 20000L},
                                      {"fork", 50000L}}) {
#if defined(__SANITIZE_THREAD__)
        if (std::string_view(mode) == "fork") {
            continue;  // under ThreadSanitizer each fork of a threaded process takes a second
        }
#endif
        SCOPED_TRACE(mode);
        fs::remove_all(home_.path() / "Library" / "Logs");
        const auto outcome =
            runChild(builtProgram("LumberjackLogChild"), {mode, std::to_string(count)});
        ASSERT_TRUE(outcome.exited);
        ASSERT_EQ(outcome.exitStatus, 0);
        expectEveryLine(count);
    }
}

// SIGKILL gives the process no chance to finish anything: what is in the files must still be
// whole lines, because each line goes to the file in one write(2).
TEST_F(ProcessEnd, AChildKilledDuringABurstLeavesOnlyWholeLines) {
    const pid_t pid = pellin::test::startChild(builtProgram("LumberjackLogChild"), {"burst"});
    ASSERT_GT(pid, 0);
    // Let it write a few files' worth first (it rolls at 1 MiB).
    for (int wait = 0; wait < 6000 && loggedBytes() < 3u * 1024 * 1024; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));

    const std::regex whole("line [0-9]{7} x{80} end");
    std::size_t lines = 0;
    for (const auto& file : logFiles()) {
        const std::string text = readFile(file);
        if (!text.empty()) {
            EXPECT_EQ(text.back(), '\n') << file;
        }
        std::istringstream in(text);
        for (std::string line; std::getline(in, line); ++lines) {
            ASSERT_TRUE(std::regex_match(line, whole)) << file << ": " << line;
        }
    }
    EXPECT_GT(lines, 20000u);
    EXPECT_LE(logFiles().size(), 5u);
}

// A disk that fills up while lines are written, and then has room again: a line that only
// partly fitted must not stay behind for the next one to be glued onto. The disk is a small
// tmpfs, mounted over HOME in a mount namespace of the child's own.
TEST_F(ProcessEnd, AFullDiskLeavesOnlyWholeLines) {
    const auto outcome =
        runChild("/usr/bin/unshare",
                 {"--mount", "--propagation", "private", "/bin/sh", "-c",
                  "mount -t tmpfs -o size=256k pellin-test \"$HOME\" || exit 77\n"
                  "\"$0\" fulldisk && cat \"$HOME\"/Library/Logs/LumberjackLogChild/*.log",
                  builtProgram("LumberjackLogChild").string()});
    if (outcome.exited && outcome.exitStatus == 77) {
        GTEST_SKIP() << "this machine refuses a tmpfs in a private mount namespace: "
                     << outcome.standardError;
    }
    ASSERT_TRUE(outcome.exited && outcome.exitStatus == 0) << outcome.standardError;
    const std::regex whole("line ([0-9]{7}) x+ end");
    std::vector<long> numbers;
    for (const auto& line : linesOf(outcome.standardOutput)) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, whole)) << line.substr(0, 200);
        numbers.push_back(std::stol(match[1].str()));
    }
    // Every line before the disk was full and after it had room again, in order; of those
    // logged while it was full, whichever fitted.
    ASSERT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
    ASSERT_GE(numbers.size(), 200u);
    EXPECT_EQ(numbers[99], 99);
    EXPECT_EQ(numbers[numbers.size() - 100], 200);
    EXPECT_EQ(numbers.back(), 299);
}

// A sink that cannot write costs the end of the process a bounded wait, never a hang: a FIFO in
// place of the newest log file (opening it for writing would wait for a reader), and standard
// error a pipe that nobody reads (the console sink's writes would wait for room).
TEST_F(ProcessEnd, ASinkThatCannotWriteDoesNotKeepTheProcessFromEnding) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    constexpr auto kHang = std::chrono::seconds(10);
    fs::create_directories(logs());
    const fs::path fifo =
        logs() / pellin::test::logFileNameStartedAt("LumberjackLogChild", std::time(nullptr) - 60);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const auto toFile = runChild(builtProgram("LumberjackLogChild"), {"exit", "1000"}, kHang);
    EXPECT_FALSE(toFile.hung);
    EXPECT_TRUE(toFile.exited && toFile.exitStatus == 0);
    EXPECT_TRUE(fs::is_fifo(fifo));
    fs::remove(fifo);
    expectEveryLine(1000);

    const auto toConsole = runChild(builtProgram("LumberjackLogChild"), {"console", "5000"}, kHang,
                                    pellin::test::StandardError::UnreadPipe);
    EXPECT_FALSE(toConsole.hung);
    EXPECT_TRUE(toConsole.exited && toConsole.exitStatus == 0);
}
