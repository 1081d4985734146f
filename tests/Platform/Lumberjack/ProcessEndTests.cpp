// What a process leaves in its log file when it ends: every line it logged, however it ends,
// and only whole lines even when it is killed or its disk is full; and a sink that cannot write
// never keeps it from ending.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <ctime>
#include <numeric>
#include <regex>
#include <thread>

#include "CapturedLog.h"
#include "PrivatePidNamespace.h"
#include "Subprocess.h"

namespace fs = std::filesystem;
using pellin::test::linesOf;
using pellin::test::logProbe;
using pellin::test::ProgramOptions;
using pellin::test::runProgram;

namespace {

// The numbers of lines "line <number> xxx...xxx end", in order; -1 for a line of another form.
std::vector<long> numbersOf(const std::vector<std::string>& lines) {
    static const std::regex whole("line ([0-9]{7}) x+ end");
    std::vector<long> numbers;
    for (const auto& line : lines) {
        std::smatch match;
        numbers.push_back(std::regex_match(line, match, whole) ? std::stol(match[1].str()) : -1);
    }
    return numbers;
}

class ProcessEnd : public ::testing::Test {
  protected:
    fs::path logs() const { return home_.path() / "Library" / "Logs" / "AppKitProbe"; }
    std::vector<fs::path> files() const {
        return pellin::test::logFiles(home_.path(), "AppKitProbe");
    }

    // Lines 0 to count-1, in one file, and `children` lines "child".
    void expectEveryLine(long count, std::size_t children = 0) const {
        ASSERT_EQ(files().size(), 1u);
        auto lines = pellin::test::logLines(home_.path(), "AppKitProbe");
        EXPECT_EQ(std::erase(lines, "child"), children);
        std::vector<long> expected(static_cast<std::size_t>(count));
        std::iota(expected.begin(), expected.end(), 0);
        EXPECT_EQ(numbersOf(lines), expected);
    }

    pellin::test::TemporaryHome home_;
};

}  // namespace

// Each way of ending normally, with as many lines logged just before it. Children forked on the
// way (fork: 200 of them) log a line and call exit(): each holds a copy of what its parent had
// gathered, which the parent writes and the child must not write again.
TEST_F(ProcessEnd, LinesLoggedJustBeforeExitReturnOrQuickExitAreAllInTheFileOnce) {
    for (const auto& [mode, count] : {std::pair{"exit", 100000L},
                                      {"return", 20000L},
                                      {"quick_exit", 20000L},
                                      {"fork", 50000L}}) {
        const bool fork = std::string_view(mode) == "fork";
#if defined(__SANITIZE_THREAD__)
        if (fork) {
            continue;  // under ThreadSanitizer each fork of a threaded process takes a second
        }
#endif
        SCOPED_TRACE(mode);
        fs::remove_all(home_.path() / "Library");
        ASSERT_TRUE(runProgram({logProbe(), mode, std::to_string(count)}).exitedWith(0));
        expectEveryLine(count, fork ? 200 : 0);
    }
}

// SIGKILL gives the process no chance to finish anything: what is in the files must still be
// whole lines, because each line goes to the file in one write(2).
TEST_F(ProcessEnd, AProcessKilledDuringABurstLeavesOnlyWholeLines) {
    const pid_t pid = pellin::test::startProgram({logProbe(), "burst"});
    ASSERT_GT(pid, 0);
    // Let it write a few files' worth first (it rolls at 1 MiB).
    for (int wait = 0; wait < 6000 && files().size() < 4; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    EXPECT_EQ(pellin::test::waitForExit(pid), -1);
    std::size_t lines = 0;
    for (const auto& file : files()) {
        const std::string text = pellin::test::readFile(file);
        EXPECT_TRUE(text.empty() || text.back() == '\n') << file;
        const auto numbers = numbersOf(linesOf(text));
        EXPECT_EQ(std::count(numbers.begin(), numbers.end(), -1), 0) << file;
        lines += numbers.size();
    }
    EXPECT_GT(lines, 20000u);
    EXPECT_LE(files().size(), 5u);
}

// A disk that fills up while lines are written, and then has room again: a line that only
// partly fitted must not stay behind for the next one to be glued onto. The disk is a small
// tmpfs, mounted over HOME in a mount namespace of the probe's own.
TEST_F(ProcessEnd, AFullDiskLeavesOnlyWholeLines) {
    const auto run =
        runProgram({"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-c",
                    "mount -t tmpfs -o size=256k pellin-test \"$HOME\" || exit 77\n"
                    "\"$0\" fulldisk && cat \"$HOME\"/Library/Logs/AppKitProbe/*.log",
                    logProbe()},
                   {ProgramOptions::Errors::Collected});
    if (run.exitedWith(77)) {
        GTEST_SKIP() << "this machine refuses a tmpfs in a private mount namespace: " << run.errors;
    }
    ASSERT_TRUE(run.exitedWith(0)) << run.errors;
    const auto numbers = numbersOf(linesOf(run.output));
    // Every line before the disk was full and after it had room again, in order; of those
    // logged while it was full, whichever fitted.
    ASSERT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
    ASSERT_GE(numbers.size(), 200u);
    EXPECT_EQ(numbers[0], 0);
    EXPECT_EQ(numbers[99], 99);
    EXPECT_EQ(numbers[numbers.size() - 100], 200);
    EXPECT_EQ(numbers.back(), 299);
}

// A sink that cannot write costs the end of the process a bounded wait, never a hang: a FIFO in
// place of the newest log file (opening it for writing would wait for a reader), and standard
// error a pipe that nobody reads (the console sink's writes would wait for room).
TEST_F(ProcessEnd, ASinkThatCannotWriteDoesNotKeepTheProcessFromEnding) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    fs::create_directories(logs());
    const fs::path fifo =
        logs() / pellin::test::logFileNameStartedAt("AppKitProbe", std::time(nullptr) - 60);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const auto toFile = runProgram({logProbe(), "exit", "1000"},
                                   {ProgramOptions::Errors::Inherited, std::chrono::seconds(10)});
    EXPECT_TRUE(toFile.exitedWith(0) && !toFile.hung);
    EXPECT_TRUE(fs::is_fifo(fifo));
    fs::remove(fifo);
    expectEveryLine(1000);

    const auto toConsole =
        runProgram({logProbe(), "console", "5000"},
                   {ProgramOptions::Errors::UnreadPipe, std::chrono::seconds(10)});
    EXPECT_TRUE(toConsole.exitedWith(0) && !toConsole.hung);
}
