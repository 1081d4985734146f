// The log facility and its file sink, within a process and at the process's end.

#include <PellinLumberjack/DDFileLogger.h>

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <fstream>
#include <numeric>
#include <regex>
#include <thread>

#include "CapturedLog.h"
#include "PrivatePidNamespace.h"
#include "ScopedEnvironment.h"
#include "Subprocess.h"
#include "TestCases.h"

namespace format = foundation::format_detail;
namespace fs = std::filesystem;
using namespace lumberjack;
using namespace pellin::test;
using Lines = std::vector<std::string>;

namespace {

// A message as the log call macros hand it over, with the facility's own defaults.
void logText(bool asynchronous, std::string text, DDLogFlag flag = DDLogFlagInfo) {
    DDLog::log(asynchronous, 31, flag, 0, "/src/Tests/FacilityTests.cpp",
               "+[FacilityTests logText:]", 7, nullptr, std::move(text));
}

class Facility : public ::testing::Test {
  protected:
    fs::path logs() const { return home_.path() / "Library" / "Logs" / program_; }
    std::vector<fs::path> files() const { return logFiles(home_.path(), program_); }

    // Logs `lines` through a new file sink of files of `maximumSize` bytes (0: no limit), every
    // seventh synchronously; returns them as the file should hold them.
    static std::string log(const std::vector<std::string>& lines, std::uint64_t maximumSize = 0) {
        auto sink = std::make_shared<DDFileLogger>();
        sink->setMaximumFileSize(maximumSize);
        DDLog::addLogger(sink);
        std::string text;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            logText(i % 7 != 0, lines[i]);
            text += lines[i] + "\n";
        }
        DDLog::removeLogger(sink);
        return text;
    }

    TemporaryHome home_;
    std::string program_ = "LumberjackTests";
};

using FileSink = Facility;

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

// The probe program logs and ends.
class ProcessEnd : public Facility {
  protected:
    ProcessEnd() { program_ = "AppKitProbe"; }

    // Lines 0 to count-1, in one file, and `children` lines "child".
    void expectEveryLine(long count, std::size_t children = 0) const {
        ASSERT_EQ(files().size(), 1u);
        auto lines = logLines(home_.path(), program_);
        EXPECT_EQ(std::erase(lines, "child"), children);
        std::vector<long> expected(static_cast<std::size_t>(count));
        std::iota(expected.begin(), expected.end(), 0);
        EXPECT_EQ(numbersOf(lines), expected);
    }
};

}  // namespace

// Whichever kind of call, from whichever thread: each sink takes each line once (even when
// registered twice), in order, a synchronous one before its call returns, and each message
// carries what its call gave.
TEST_F(Facility, EachSinkTakesEachLineOnceWithWhatWhenAndWhereOfItsCall) {
    CapturedLog sink;
    sink->setDelay(std::chrono::milliseconds(20));
    CapturedLog second;
    DDLog::addLogger(second.sink());
    const auto before = std::chrono::system_clock::now();
    DDLog::log(true, 15, DDLogFlagDebug, 3, "/work/src/One.cpp", "+[One a]", 42, "tag", "Start x");
    const format::Argument seven[] = {format::erase(7)};
    DDLog::log(true, 31, DDLogFlagInfo, "/b/Two.cpp", "+[Two b]", 9, "n=%d", seven);
    std::thread([] {
        pthread_setname_np(pthread_self(), "uninstall-7");
        DDLog::log(false, 1, DDLogFlagError, 0, nullptr, nullptr, 0, nullptr, "x");
    }).join();
    const auto after = std::chrono::system_clock::now();
    Lines seen;
    for (const auto& m : sink->messages()) {  // without a flush
        EXPECT_TRUE(before <= m.timestamp && m.timestamp <= after) << m.message;
        seen.push_back(m.file + "|" + m.fileName + "|" + m.function + "|" + std::to_string(m.line) +
                       "|" + m.tag + "|" + std::to_string(m.level) + "|" + std::to_string(m.flag) +
                       "|" + std::to_string(m.context) + "|" + m.queueLabel + "|" + m.message);
    }
    EXPECT_EQ(seen, (Lines{"/work/src/One.cpp|One.cpp|+[One a]|42|tag|15|8|3|main|Start x",
                           "/b/Two.cpp|Two.cpp|+[Two b]|9||31|4|0|main|n=7",
                           "|||0||1|1|0|uninstall-7|x"}));
    EXPECT_EQ(second.texts(), (Lines{"Start x", "n=7", "x"}));
}

// More lines than the queue holds, from two threads, into a sink that is stuck for a while:
// the callers wait for room, and every line arrives in its thread's order, whether the call
// brought its text or left it to the queue to make; removing the sink writes what it holds.
TEST_F(Facility, LinesBeyondWhatTheQueueHoldsAreNeitherLostNorReordered) {
    constexpr int kPending = static_cast<int>(DDLoggerQueue::kMaximumPending);
    constexpr int kPerThread = kPending / 2 + 5000;
    std::atomic<int> logged{0};
    const auto flood = [&logged](int t) {
        for (int i = 0; i < kPerThread; ++i, ++logged) {
            const format::Argument numbers[] = {format::erase(t), format::erase(i)};
            if (i % 2 == 0) {
                logText(true, std::to_string(t) + " " + std::to_string(i));
            } else {
                DDLog::log(true, 31, DDLogFlagInfo, __FILE__, "+[T flood]", 7, "%d %d", numbers);
            }
        }
    };
    const auto recording = std::make_shared<RecordingSink>();
    recording->hold();
    DDLog::addLogger(recording);
    {
        const std::jthread first(flood, 0), second(flood, 1);
        while (logged.load() < kPending - 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the queue is full now
        recording->release();
    }
    DDLog::removeLogger(recording);
    const auto messages = recording->messages();
    ASSERT_EQ(messages.size(), 2u * kPerThread);
    int next[2] = {0, 0};
    for (const auto& message : messages) {
        const int thread = message.message[0] - '0';
        ASSERT_EQ(message.message.substr(2), std::to_string(next[thread]++));
    }
}

// What a stuck sink has not written within 2 seconds is dropped, and standard error says how much.
TEST_F(Facility, AFlushGivesUpOnAStuckSinkAndCountsWhatItDropped) {
    CapturedLog sink;
    sink->hold();
    for (int i = 0; i < 10; ++i) {
        logText(true, std::to_string(i));
    }
    testing::internal::CaptureStderr();
    DDLog::flushLog();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "LumberjackTests: 10 log lines could not be written within 2 seconds and were "
              "dropped\n");
    sink->release();
    logText(false, "after", DDLogFlagError);
    EXPECT_EQ(sink.texts(), (Lines{"0", "after"}));
}

// Lines are gathered and written a page at a time: lines of every length, some crossing page
// boundaries and some longer than a page, come out exactly as they went in. Lines at debug level
// carry the user's identity, so the folders and files are the user's alone; and when root runs
// with a user's HOME (sudo -E), nothing it creates there stays root's.
TEST_F(FileSink, LinesArriveWholeAndInOrderInFilesPrivateToTheHomesOwner) {
    constexpr uid_t kOwner = 4242;
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(home_.path().c_str(), kOwner, kOwner), 0);
    }
    log({});
    EXPECT_FALSE(fs::exists(home_.path() / "Library")) << "a sink that logged nothing made files";
    std::vector<std::string> lines{"with % and \xc3\xa9 and %@", ""};
    for (int i = 0; i < 400; ++i) {
        lines.push_back(std::to_string(i) + std::string(static_cast<std::size_t>((i * 997) % 5000),
                                                        static_cast<char>('a' + i % 26)));
    }
    const std::string expected = log(lines);
    ASSERT_EQ(files().size(), 1u);
    EXPECT_EQ(readFile(files()[0]), expected);
    const std::pair<fs::path, mode_t> created[] = {{home_.path() / "Library", 0700},
                                                   {home_.path() / "Library" / "Logs", 0700},
                                                   {logs(), 0700},
                                                   {files()[0], 0600}};
    for (const auto& [path, mode] : created) {
        struct stat status {};
        ASSERT_EQ(lstat(path.c_str(), &status), 0) << path;
        EXPECT_EQ(status.st_mode & 07777, mode) << path;
        EXPECT_EQ(status.st_uid, root ? kOwner : geteuid()) << path;
        EXPECT_EQ(status.st_gid, root ? kOwner : getegid()) << path;
    }
}

// A line that would pass the size limit starts a new file, one larger than the limit gets a
// file of its own; only the five newest files of the sink's own names are kept.
TEST_F(FileSink, FilesEndAtTheSizeLimitAndOnlyTheFiveNewestAreKept) {
    const char* foreign[] = {"notes.txt", "Other 2020-01-01--00-00-00-000.log",
                             "LumberjackTests.log"};
    for (const char* name : foreign) {
        home_.writeFile(logs().lexically_relative(home_.path()) / name, "keep");
    }
    std::vector<std::string> lines;  // of 100 bytes with the line feed
    for (int i = 1000; i < 1070; ++i) {
        lines.push_back(std::to_string(i) + std::string(95, '.'));
    }
    lines.push_back(std::string(1500, 'L'));
    lines.push_back("after");
    const std::string all = log(lines, 1000);
    const auto kept = files();
    ASSERT_EQ(kept.size(), 5u);
    // Lines 40 to 69 of the 100-byte lines.
    EXPECT_EQ(readFile(kept[0]) + readFile(kept[1]) + readFile(kept[2]), all.substr(4000, 3000));
    EXPECT_EQ(fs::file_size(kept[0]), 1000u);
    EXPECT_EQ(readFile(kept[3]), std::string(1500, 'L') + "\n");
    EXPECT_EQ(readFile(kept[4]), "after\n");
    for (const char* name : foreign) {
        EXPECT_EQ(readFile(logs() / name), "keep") << name;
    }
}

// A new sink continues the newest file only while it is young, has room and is a regular file:
// an older or full one, or a link planted in its place (to a file only root may write, say),
// gets a new file beside it. A link in place of the folder gets nothing; a file there costs
// the lines and nothing else.
TEST_F(FileSink, TheNewestFileIsContinuedOnlyWhileYoungWithRoomAndNoLink) {
    const fs::path target = home_.parent() / "root-only";
    for (const auto& c : casesIn("log-newest-file.tsv")) {
        SCOPED_TRACE(c.at(0) + " of age " + c.at(1) + " and size " + c.at(2));
        fs::remove_all(logs());
        fs::create_directories(logs());
        const fs::path newest =
            logs() / logFileNameStartedAt(program_, std::time(nullptr) - std::stol(c.at(1)));
        const bool link = c.at(0) == "link";
        const bool continued = c.at(3) == "yes";
        const std::string content = std::string(std::stoul(c.at(2)) - 1, 'c') + "\n";
        std::ofstream(link ? target : newest) << content;
        if (link) {
            fs::create_symlink(target, newest);
        }
        log({"this run"}, 1000);
        const auto after = files();
        ASSERT_EQ(after.size(), continued ? 1u : 2u);
        EXPECT_EQ(readFile(link ? target : newest), content + (continued ? "this run\n" : ""));
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(after.back())));
        EXPECT_EQ(readFile(after.back()), continued ? content + "this run\n" : "this run\n");
    }
    const fs::path elsewhere = home_.parent() / "elsewhere";
    fs::create_directories(elsewhere);
    fs::remove_all(logs());
    fs::create_directory_symlink(elsewhere, logs());
    log({"not there"});
    EXPECT_TRUE(fs::is_empty(elsewhere));
    fs::remove_all(home_.path() / "Library");
    home_.writeFile("Library/Logs", "a file where the folder should be");
    log({"lost", "lost too"});
}

// A file's age comes from its name. A new name carries the UTC offset of its local time; names
// of earlier versions, without an offset, are read as local time.
TEST_F(FileSink, FileNamesTellWhenEachFileWasStarted) {
    DDLogFileManager manager(logs(), "LumberjackTests");
    const auto at = [&manager, this](const std::string& name) {
        const auto created = manager.creationDateOfLogFile(logs() / name);
        return created ? std::chrono::system_clock::to_time_t(*created) : std::time_t{-1};
    };
    {
        ScopedEnvironment zone;
        zone.set("TZ", "IST-5:30");
        tzset();
        const auto path = manager.createNewLogFile();
        ASSERT_TRUE(path.has_value());
        EXPECT_TRUE(path->filename().string().ends_with("+0530.log")) << *path;
        EXPECT_LT(std::abs(at(path->filename()) - std::time(nullptr)), 60) << *path;
    }
    tzset();
    for (const auto& c : casesIn("log-file-names.tsv")) {
        EXPECT_EQ(at(c.at(0)), std::stoll(c.at(1))) << c.at(0);
    }
    const std::time_t started = std::time(nullptr) - 7200;
    EXPECT_EQ(at(logFileNameStartedAt("LumberjackTests", started)), started);
}

// Each way of ending normally, with as many lines logged just before it. Children forked on the
// way log a line and call exit(): each holds a copy of what its parent had gathered, which the
// parent writes and the child must not write again.
TEST_F(ProcessEnd, LinesLoggedJustBeforeExitReturnOrQuickExitAreAllInTheFileOnce) {
    for (const auto& c : casesIn("log-process-ends.tsv")) {
#if defined(__SANITIZE_THREAD__)
        if (c.at(0) == "fork") {
            continue;  // under ThreadSanitizer each fork of a threaded process takes a second
        }
#endif
        SCOPED_TRACE(c.at(0));
        fs::remove_all(home_.path() / "Library");
        ASSERT_TRUE(runProgram({logProbe(), c.at(0), c.at(1)}).exitedWith(0));
        expectEveryLine(std::stol(c.at(1)), std::stoul(c.at(2)));
    }
}

// SIGKILL gives the process no chance to finish anything: what is in the files must still be
// whole lines, because each line goes to the file in one write(2).
TEST_F(ProcessEnd, AProcessKilledDuringABurstLeavesOnlyWholeLines) {
    Subprocess burst({{logProbe(), "burst"}, {}, false});
    ASSERT_GT(burst.pid(), 0);
    // Let it write a few files' worth first (it rolls at 1 MiB).
    for (int wait = 0; wait < 6000 && files().size() < 4; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(burst.pid(), SIGKILL);
    ASSERT_TRUE(burst.diedOfKill());
    std::string text;
    for (const auto& file : files()) {
        text += readFile(file);
        EXPECT_TRUE(text.empty() || text.back() == '\n') << file;
    }
    const auto numbers = numbersOf(linesOf(text));
    EXPECT_EQ(std::count(numbers.begin(), numbers.end(), -1), 0);
    EXPECT_GT(numbers.size(), 20000u);
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
    const fs::path fifo = logs() / logFileNameStartedAt(program_, std::time(nullptr) - 60);
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
