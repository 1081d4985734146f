#include <PellinLumberjack/DDLog.h>
#include <PellinLumberjack/DDLogFormatter.h>

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "RecordingSink.h"
#include "TemporaryHome.h"

using lumberjack::DDLog;
using lumberjack::DDLogFlag;
using lumberjack::DDLogMessage;
using pellin::test::logText;
using pellin::test::RecordingSink;
using pellin::test::Registered;

namespace {

// Keeps every message the sink's formatter is given.
class MessageKeeper : public lumberjack::DDLogFormatter {
  public:
    explicit MessageKeeper(std::vector<DDLogMessage>& messages) : messages_(messages) {}
    std::string formatLogMessage(const DDLogMessage& message) override {
        messages_.push_back(message);
        return message.message;
    }

  private:
    std::vector<DDLogMessage>& messages_;
};

// A sink whose formatter keeps every message in `messages`.
std::shared_ptr<RecordingSink> keeping(std::vector<DDLogMessage>& messages) {
    auto sink = std::make_shared<RecordingSink>();
    sink->setLogFormatter(std::make_unique<MessageKeeper>(messages));
    return sink;
}

std::vector<std::string> numbered(const std::string& prefix, int count) {
    std::vector<std::string> lines;
    for (int i = 0; i < count; ++i) {
        lines.push_back(prefix + std::to_string(i));
    }
    return lines;
}

class Facility : public ::testing::Test {
  protected:
    pellin::test::TemporaryHome home_;
};

}  // namespace

// A message handed over synchronously is not still on its way when the call returns.
TEST_F(Facility, ASynchronousMessageIsWrittenBeforeTheCallReturns) {
    Registered<RecordingSink> first;
    Registered<RecordingSink> second;
    logText(false, "written now", lumberjack::DDLogFlagError);
    EXPECT_EQ(first->lines(), std::vector<std::string>{"written now"});
    EXPECT_EQ(second->lines(), std::vector<std::string>{"written now"});
}

TEST_F(Facility, FlushLogLeavesNoAsynchronousMessageBehind) {
    Registered<RecordingSink> sink;
    for (const auto& line : numbered("async ", 5000)) {
        logText(true, line);
    }
    DDLog::flushLog();
    EXPECT_EQ(sink->lines(), numbered("async ", 5000));
}

TEST_F(Facility, ASynchronousMessageKeepsItsPlaceAfterAsynchronousOnes) {
    Registered<RecordingSink> sink;
    logText(true, "first");
    logText(true, "second");
    logText(false, "third", lumberjack::DDLogFlagError);
    EXPECT_EQ(sink->lines(), (std::vector<std::string>{"first", "second", "third"}));
}

TEST_F(Facility, ASinkReceivesMessagesOfEveryFlag) {
    Registered<RecordingSink> sink;
    for (unsigned flag : {0u, 1u, 2u, 3u, 4u, 8u, 16u, 32u}) {
        logText(false, std::to_string(flag), static_cast<DDLogFlag>(flag));
    }
    EXPECT_EQ(sink->lines(), (std::vector<std::string>{"0", "1", "2", "3", "4", "8", "16", "32"}));
}

TEST_F(Facility, AMessageCarriesWhatTheCallGaveAndWhenAndWhereItWasMade) {
    std::vector<DDLogMessage> messages;
    Registered<RecordingSink> sink(keeping(messages));
    const auto before = std::chrono::system_clock::now();
    DDLog::log(true, 15, lumberjack::DDLogFlagDebug, 3, "/work/src/UninstallCommand.cpp",
               "+[UninstallCommand executeUninstallCommand]", 42, "tag", "Start x");
    const auto after = std::chrono::system_clock::now();
    DDLog::flushLog();
    ASSERT_EQ(messages.size(), 1u);
    const DDLogMessage& m = messages[0];
    EXPECT_EQ(m.message, "Start x");
    EXPECT_EQ(m.level, 15);
    EXPECT_EQ(m.flag, lumberjack::DDLogFlagDebug);
    EXPECT_EQ(m.context, 3);
    EXPECT_EQ(m.file, "/work/src/UninstallCommand.cpp");
    EXPECT_EQ(m.fileName, "UninstallCommand.cpp");
    EXPECT_EQ(m.function, "+[UninstallCommand executeUninstallCommand]");
    EXPECT_EQ(m.line, 42u);
    EXPECT_EQ(m.tag, "tag");
    EXPECT_LE(before, m.timestamp);
    EXPECT_LE(m.timestamp, after);
    EXPECT_EQ(m.queueLabel, "main");
}

// Lines from several places, by both kinds of call, one after another: each carries its own.
TEST_F(Facility, EachMessageCarriesItsOwnPlace) {
    std::vector<DDLogMessage> messages;
    Registered<RecordingSink> sink(keeping(messages));
    const auto fromLiterals = [](const char* file, const char* function) {
        DDLog::log(true, 31, lumberjack::DDLogFlagInfo, file, function, 1, "x", {});
    };
    fromLiterals("/a/One.cpp", "+[One a]");
    fromLiterals("/a/One.cpp", "+[One b]");
    fromLiterals("/b/Two.cpp", "+[One b]");
    logText(true, "x");
    fromLiterals("/a/One.cpp", "+[One a]");
    DDLog::flushLog();
    std::vector<std::string> places;
    for (const auto& m : messages) {
        places.push_back(m.fileName + " " + m.function);
    }
    EXPECT_EQ(places, (std::vector<std::string>{
                          "One.cpp +[One a]", "One.cpp +[One b]", "Two.cpp +[One b]",
                          "FacilityTests.cpp +[FacilityTests logText:]", "One.cpp +[One a]"}));
}

TEST_F(Facility, MissingFileFunctionAndTagBecomeEmptyTexts) {
    std::vector<DDLogMessage> messages;
    Registered<RecordingSink> sink(keeping(messages));
    DDLog::log(false, 1, lumberjack::DDLogFlagError, 0, nullptr, nullptr, 0, nullptr, "x");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].file, "");
    EXPECT_EQ(messages[0].fileName, "");
    EXPECT_EQ(messages[0].function, "");
    EXPECT_EQ(messages[0].tag, "");
}

TEST_F(Facility, AMessageFromAnotherThreadCarriesThatThreadsName) {
    std::vector<DDLogMessage> messages;
    Registered<RecordingSink> sink(keeping(messages));
    std::thread worker([] {
        pthread_setname_np(pthread_self(), "uninstall-7");
        logText(false, "from a worker");
    });
    worker.join();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].queueLabel, "uninstall-7");
}

TEST_F(Facility, ASinkRegisteredTwiceWritesEachLineOnce) {
    Registered<RecordingSink> sink;
    DDLog::addLogger(sink.pointer());
    logText(false, "once");
    EXPECT_EQ(sink->lines(), std::vector<std::string>{"once"});
}

TEST_F(Facility, ARemovedSinkFirstWritesWhatItHoldsAndThenNothingMore) {
    auto recording = std::make_shared<RecordingSink>();
    {
        Registered<RecordingSink> sink(recording);
        for (const auto& line : numbered("held ", 1000)) {
            logText(true, line);
        }
    }
    logText(false, "after removal");
    EXPECT_EQ(recording->lines(), numbered("held ", 1000));
}

TEST_F(Facility, LoggingWithoutAnySinkIsHarmless) {
    logText(false, "nowhere", lumberjack::DDLogFlagError);
    logText(true, "nowhere");
    DDLog::flushLog();
    DDLog::addLogger(nullptr);
    DDLog::removeLogger(nullptr);
    SUCCEED() << "no crash, no wait";
}

// Several threads log at once: every line arrives, and each thread's lines keep their order.
TEST_F(Facility, LinesOfManyThreadsAllArriveInTheirThreadsOrder) {
    Registered<RecordingSink> sink;
    constexpr int kThreads = 4;
    constexpr int kLines = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                logText(i % 100 != 0, std::to_string(t) + " " + std::to_string(i));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    DDLog::flushLog();
    std::vector<int> next(kThreads, 0);
    const auto lines = sink->lines();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
    for (const auto& line : lines) {
        const auto blank = line.find(' ');
        const int thread = std::stoi(line.substr(0, blank));
        EXPECT_EQ(std::stoi(line.substr(blank + 1)), next[static_cast<std::size_t>(thread)]++);
    }
}

namespace {

// Notices when it is entered while already running.
class OverlapDetector : public lumberjack::DDLogFormatter {
  public:
    explicit OverlapDetector(std::atomic<int>& overlaps) : overlaps_(overlaps) {}
    std::string formatLogMessage(const DDLogMessage& message) override {
        if (inside_.fetch_add(1) != 0) {
            ++overlaps_;
        }
        std::this_thread::yield();
        inside_.fetch_sub(1);
        return message.message;
    }

  private:
    std::atomic<int> inside_{0};
    std::atomic<int>& overlaps_;
};

}  // namespace

TEST_F(Facility, AFormatterIsGivenOneMessageAtATime) {
    std::atomic<int> overlaps{0};
    auto recording = std::make_shared<RecordingSink>();
    recording->setLogFormatter(std::make_unique<OverlapDetector>(overlaps));
    Registered<RecordingSink> sink(recording);
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 1000; ++i) {
                logText(i % 2 == 0, "x");
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    DDLog::flushLog();
    EXPECT_EQ(sink->lines().size(), 3000u);
    EXPECT_EQ(overlaps.load(), 0);
}

namespace {

// A formatter that logs itself, synchronously, and flushes: on the sink's own queue that
// must neither wait for itself nor for another sink.
class LoggingFormatter : public lumberjack::DDLogFormatter {
  public:
    std::string formatLogMessage(const DDLogMessage& message) override {
        if (message.message == "outer") {
            logText(false, "inner", lumberjack::DDLogFlagError);
            DDLog::flushLog();
        }
        return message.message;
    }
};

}  // namespace

TEST_F(Facility, ASinkWhoseFormatterLogsDoesNotDeadlock) {
    auto first = std::make_shared<RecordingSink>();
    first->setLogFormatter(std::make_unique<LoggingFormatter>());
    Registered<RecordingSink> a(first);
    Registered<RecordingSink> b;
    logText(false, "outer", lumberjack::DDLogFlagError);
    DDLog::flushLog();
    DDLog::flushLog();  // "inner" may have been queued behind the first flush
    EXPECT_EQ(b->lines(), (std::vector<std::string>{"outer", "inner"}));
    EXPECT_EQ(a->lines(), (std::vector<std::string>{"outer", "inner"}));
}

namespace {

// Holds up its first line until released, so that the queue fills up behind it.
class GatedSink : public RecordingSink {
  public:
    void open() { open_.store(true); }

  protected:
    void writeLine(std::string_view line) override {
        while (!open_.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        RecordingSink::writeLine(line);
    }

  private:
    std::atomic<bool> open_{false};
};

}  // namespace

// More lines than the queue holds, into a sink that is stuck for a while: the producer is
// held up until there is room, and no line is lost, whether the call brought its text or left
// it to the queue to make.
TEST_F(Facility, AProducerFarAheadOfItsSinkLosesNoLine) {
    Registered<GatedSink> sink;
    const int count = static_cast<int>(lumberjack::DDLoggerQueue::kMaximumPending) + 5000;
    std::thread opener([&sink] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        sink->open();
    });
    for (int i = 0; i < count; ++i) {
        if (i % 2 == 0) {
            logText(true, std::to_string(i));
        } else {
            const foundation::format_detail::Argument number[] = {
                foundation::format_detail::erase(i)};
            DDLog::log(true, 31, lumberjack::DDLogFlagInfo, __FILE__, "+[FacilityTests flood]", 7,
                       "%d", number);
        }
    }
    opener.join();
    DDLog::flushLog();
    EXPECT_EQ(sink->lines(), numbered("", count));
}

// A sink that cannot write holds a flush up for 2 seconds at most; what it has not written by
// then is dropped, and standard error says how much.
TEST_F(Facility, AFlushGivesUpOnASinkThatCannotWriteAndCountsWhatItDropped) {
    Registered<GatedSink> sink;
    for (int i = 0; i < 10; ++i) {
        logText(true, std::to_string(i));
    }
    const auto standardError = home_.path() / "stderr";
    {
        pellin::test::CapturedStandardError captured(standardError);
        DDLog::flushLog();
    }
    EXPECT_EQ(pellin::test::readFile(standardError),
              "LumberjackTests: 10 log lines could not be written within 2 seconds and were "
              "dropped\n");
    sink->open();
    logText(false, "after", lumberjack::DDLogFlagError);
    EXPECT_EQ(sink->lines(), (std::vector<std::string>{"0", "after"}));
}

namespace {

// Writes each line a little late, so that a fork finds its queue in the middle of a batch.
class SlowSink : public RecordingSink {
  protected:
    void writeLine(std::string_view line) override {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        RecordingSink::writeLine(line);
    }
};

}  // namespace

// The child of fork() has none of the parent's worker threads: logging there, synchronously
// or not, must still write and must not wait forever; and it writes only its own lines, none
// of those its parent had queued or was writing.
TEST_F(Facility, AForkedChildCanStillLogAndFlush) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer cannot start threads in the child of a threaded fork";
#endif
    Registered<SlowSink> sink;
    // The first line wakes the worker; the others gather while it naps, to be written as one
    // batch, in the middle of which the fork comes.
    for (int i = 0; i < 100; ++i) {
        logText(true, "before fork");
        while (i == 0 && sink->lines().empty()) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
    while (sink->lines().size() < 2) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const std::size_t before = sink->lines().size();
        logText(true, "child async");
        logText(false, "child sync", lumberjack::DDLogFlagError);
        DDLog::flushLog();
        logText(true, "child last");
        DDLog::flushLog();
        const auto lines = sink->lines();
        const bool ok = lines.size() == before + 3 && lines[before] == "child async" &&
                        lines[before + 1] == "child sync" && lines.back() == "child last";
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    logText(false, "parent after fork");
    EXPECT_EQ(sink->lines().back(), "parent after fork");
}
