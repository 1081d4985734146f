#include <PellinLog/PellinLogCall.h>

#include <PellinLumberjack/DDAbstractLogger.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>

#include "CapturedLog.h"
#include "TemporaryHome.h"

namespace {

std::string countedArgument(int& evaluations) {
    ++evaluations;
    return "value";
}

}  // namespace

TEST(LogCall, AFlagThatIsOffEvaluatesNoArgument) {
    PELLIN_METHOD("+[LogCallTests flagOff]");
    pellin::test::TemporaryHome home;
    pellin::test::CapturedLog log(7);
    int evaluations = 0;
    DDLogDebug("Start %@", countedArgument(evaluations));
    DDLogVerbose("%@", countedArgument(evaluations));
    EXPECT_EQ(evaluations, 0);
    DDLogInfo("%@", countedArgument(evaluations));
    EXPECT_EQ(evaluations, 1);
    EXPECT_EQ(log.texts(), std::vector<std::string>{"value"});
}

TEST(LogCall, EntryLinesCarryTheSelectorAndTheFullName) {
    PELLIN_METHOD("+[UninstallCommand repeatUninstallProcWithAppleScript:]");
    static_assert(pellinMethod.selector() == "repeatUninstallProcWithAppleScript:");
    pellin::test::TemporaryHome home;
    pellin::test::CapturedLog log(15);
    DDLogDebug("Start %@", pellinMethod.selector());
    DDLogError("Error %@ code = %ld description = %@", "x", 2L, "No such file");
    const auto messages = log.messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].message, "Start repeatUninstallProcWithAppleScript:");
    EXPECT_EQ(messages[0].function, "+[UninstallCommand repeatUninstallProcWithAppleScript:]");
    EXPECT_EQ(messages[0].flag, lumberjack::DDLogFlagDebug);
    EXPECT_EQ(messages[0].fileName, "LogCallTests.cpp");
    EXPECT_EQ(messages[0].queueLabel, "main");
    EXPECT_EQ(messages[1].message, "Error x code = 2 description = No such file");
    EXPECT_EQ(messages[1].flag, lumberjack::DDLogFlagError);
}

namespace {

// Keeps each message as its sink takes it, without a flush; while held, it takes none.
class KeepingSink : public lumberjack::DDAbstractLogger {
  public:
    std::vector<lumberjack::DDLogMessage> taken() {
        std::lock_guard lock(mutex_);
        return taken_;
    }
    void hold() {
        std::lock_guard lock(mutex_);
        held_ = true;
    }
    void release() {
        std::lock_guard lock(mutex_);
        held_ = false;
        released_.notify_all();
    }

  protected:
    void writeLine(std::string_view) override {}
    void writeMessageLine(const lumberjack::DDLogMessage& message, std::string_view) override {
        std::unique_lock lock(mutex_);
        released_.wait(lock, [this] { return !held_; });
        taken_.push_back(message);
    }

  private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool held_ = false;
    std::vector<lumberjack::DDLogMessage> taken_;
};

struct Described {
    std::string text;
    std::string description() const { return text; }
};

class LogCallWithSink : public ::testing::Test {
  protected:
    LogCallWithSink() { lumberjack::DDLog::addLogger(sink_); }
    ~LogCallWithSink() override {
        lumberjack::DDLog::removeLogger(sink_);
        ddLogLevel = previousLevel_;
    }

    pellin::test::TemporaryHome home_;
    std::shared_ptr<KeepingSink> sink_ = std::make_shared<KeepingSink>();
    std::int32_t previousLevel_ = ddLogLevel;
};

}  // namespace

TEST_F(LogCallWithSink, AnErrorLineIsTakenBeforeTheCallReturnsWithLevelFileAndLine) {
    PELLIN_METHOD("-[LogCallTests errorLine]");
    ddLogLevel = -1;
    const unsigned long line = __LINE__ + 1;
    DDLogError("Error %@ code = %ld", "x", 2L);
    const auto taken = sink_->taken();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].message, "Error x code = 2");
    EXPECT_EQ(taken[0].level, -1L);
    EXPECT_EQ(taken[0].context, 0L);
    EXPECT_EQ(taken[0].tag, "");
    EXPECT_EQ(taken[0].file, __FILE__);
    EXPECT_EQ(taken[0].line, line);
    EXPECT_EQ(taken[0].function, "-[LogCallTests errorLine]");
}

TEST_F(LogCallWithSink, TheFlagIsTestedAgainstTheLevelOfThatMoment) {
    PELLIN_METHOD("+[LogCallTests levelOfTheMoment]");
    ddLogLevel = 1;
    DDLogWarn("first warning");
    ddLogLevel = 3;
    DDLogWarn("second warning");
    ddLogLevel = 0;
    DDLogError("no error");
    lumberjack::DDLog::flushLog();
    const auto taken = sink_->taken();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].message, "second warning");
    EXPECT_EQ(taken[0].flag, lumberjack::DDLogFlagWarning);
    EXPECT_EQ(taken[0].level, 3L);
}

TEST_F(LogCallWithSink, EachMacroGivesItsOwnFlag) {
    PELLIN_METHOD("+[LogCallTests flags]");
    ddLogLevel = 31;
    DDLogError("e");
    DDLogWarn("w");
    DDLogInfo("i");
    DDLogDebug("d");
    DDLogVerbose("v");
    lumberjack::DDLog::flushLog();
    std::vector<unsigned> flags;
    for (const auto& m : sink_->taken()) {
        flags.push_back(m.flag);
    }
    EXPECT_EQ(flags, (std::vector<unsigned>{1, 2, 4, 8, 16}));
}

// The text of an asynchronous line is made on the sink's queue, later: the arguments must be
// taken as they are at the call, whatever the caller does with them afterwards.
TEST_F(LogCallWithSink, ArgumentsChangedAfterTheCallPrintAsTheyWereAtTheCall) {
    PELLIN_METHOD("+[LogCallTests changedAfterTheCall]");
    ddLogLevel = 31;
    sink_->hold();
    DDLogInfo("held");  // the sink's queue waits at this line until released
    std::string text = "before";
    char characters[8] = "before";
    Described described{"before"};
    std::string longText(1000, 'b');  // more than a call captures on its stack
    long number = 1;
    DDLogInfo("%@ %s %@ %ld %@", text, characters, described, number, longText);
    text = "after";
    std::strcpy(characters, "after");
    described.text = "after";
    longText.assign(1000, 'a');
    number = 2;
    sink_->release();
    lumberjack::DDLog::flushLog();
    const auto taken = sink_->taken();
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[1].message, "before before before 1 " + std::string(1000, 'b'));
}
