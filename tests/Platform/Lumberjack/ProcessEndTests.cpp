// What a process leaves in its log file when it ends: every line it logged, however it ends,
// and only whole lines even when it is killed.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <PellinLumberjack/DDLogFileManager.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>

#include "ChildProcess.h"
#include "TemporaryHome.h"

namespace fs = std::filesystem;
using pellin::test::builtProgram;
using pellin::test::readFile;
using pellin::test::runChild;

namespace {

class ProcessEnd : public ::testing::Test {
  protected:
    std::vector<fs::path> logFiles() const {
        return lumberjack::DDLogFileManager(
                   home_.path() / "Library" / "Logs" / "LumberjackLogChild", "LumberjackLogChild")
            .sortedLogFilePaths();
    }

    std::vector<std::string> loggedLines() const {
        std::vector<std::string> lines;
        for (const auto& file : logFiles()) {
            std::istringstream text(readFile(file));
            for (std::string line; std::getline(text, line);) {
                lines.push_back(line);
            }
        }
        return lines;
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

// Each way of ending normally, with as many lines logged just before it.
TEST_F(ProcessEnd, LinesLoggedJustBeforeExitReturnOrQuickExitAreAllInTheFile) {
    for (const auto& [mode, count] :
         {std::pair{"exit", 100000L}, {"return", 20000L}, {"quick_exit", 20000L}}) {
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
