#include <PellinLumberjack/DDASLLogger.h>
#include <PellinLumberjack/DDLog.h>
#include <PellinLumberjack/DDLogFormatter.h>
#include <PellinLumberjack/DDTTYLogger.h>

#include <gtest/gtest.h>
#include <syslog.h>

#include "RecordingSink.h"
#include "TemporaryHome.h"

using lumberjack::DDASLLogger;
using lumberjack::DDLog;
using lumberjack::DDLogMessage;
using lumberjack::DDTTYLogger;
using pellin::test::logText;

namespace {

class Bracketing : public lumberjack::DDLogFormatter {
  public:
    explicit Bracketing(int* calls = nullptr) : calls_(calls) {}
    std::string formatLogMessage(const DDLogMessage& message) override {
        if (calls_ != nullptr) {
            ++*calls_;
        }
        return "<" + message.fileName + ":" + std::to_string(message.line) + "> " + message.message;
    }

  private:
    int* calls_;
};

class ConsoleAndSystemLog : public ::testing::Test {
  protected:
    pellin::test::TemporaryHome home_;
};

}  // namespace

TEST_F(ConsoleAndSystemLog, TheConsoleSinkWritesFormattedLinesToStandardError) {
    const auto file = home_.path() / "stderr";
    {
        pellin::test::CapturedStandardError captured(file);
        auto console = DDTTYLogger::sharedInstance();
        console->setLogFormatter(std::make_unique<Bracketing>());
        pellin::test::Registered<DDTTYLogger> sink(console);
        logText(true, "to the console");
        logText(false, "an error", lumberjack::DDLogFlagError);
        DDLog::flushLog();
        console->setLogFormatter(nullptr);
    }
    EXPECT_EQ(pellin::test::readFile(file),
              "<FacilityTests.cpp:7> to the console\n<FacilityTests.cpp:7> an error\n");
}

TEST_F(ConsoleAndSystemLog, TheSharedSinksAreOnePerProcess) {
    EXPECT_EQ(DDTTYLogger::sharedInstance(), DDTTYLogger::sharedInstance());
    EXPECT_EQ(DDASLLogger::sharedInstance(), DDASLLogger::sharedInstance());
}

TEST_F(ConsoleAndSystemLog, TheSystemLogPriorityMatchesTheFlag) {
    EXPECT_EQ(DDASLLogger::priorityForFlag(lumberjack::DDLogFlagError), LOG_ERR);
    EXPECT_EQ(DDASLLogger::priorityForFlag(lumberjack::DDLogFlagWarning), LOG_WARNING);
    EXPECT_EQ(DDASLLogger::priorityForFlag(lumberjack::DDLogFlagInfo), LOG_INFO);
    EXPECT_EQ(DDASLLogger::priorityForFlag(lumberjack::DDLogFlagDebug), LOG_DEBUG);
    EXPECT_EQ(DDASLLogger::priorityForFlag(lumberjack::DDLogFlagVerbose), LOG_DEBUG);
    EXPECT_EQ(DDASLLogger::priorityForFlag(static_cast<lumberjack::DDLogFlag>(3)), LOG_NOTICE);
    EXPECT_EQ(DDASLLogger::priorityForFlag(static_cast<lumberjack::DDLogFlag>(0)), LOG_NOTICE);
}

// syslog(3) reports nothing back, so what can be checked is that every line goes through the
// formatter and that a line full of conversions is not taken for a format.
TEST_F(ConsoleAndSystemLog, TheSystemLogSinkFormatsEveryLineAndTakesPercentSignsLiterally) {
    int calls = 0;
    auto systemLog = DDASLLogger::sharedInstance();
    systemLog->setLogFormatter(std::make_unique<Bracketing>(&calls));
    {
        pellin::test::Registered<DDASLLogger> sink(systemLog);
        for (unsigned flag : {0u, 1u, 2u, 4u, 8u, 16u, 32u}) {
            logText(true, "%s%s%n%@ pellin test line", static_cast<lumberjack::DDLogFlag>(flag));
        }
        logText(false, "%s%n", lumberjack::DDLogFlagError);
    }
    systemLog->setLogFormatter(nullptr);
    EXPECT_EQ(calls, 8);
}
