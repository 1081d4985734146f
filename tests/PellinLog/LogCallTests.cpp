#include <PellinLog/PellinLogCall.h>

#include <gtest/gtest.h>

#include "CapturedLog.h"

namespace {

std::string countedArgument(int& evaluations) {
    ++evaluations;
    return "value";
}

}  // namespace

TEST(LogCall, AFlagThatIsOffEvaluatesNoArgument) {
    PELLIN_METHOD("+[LogCallTests flagOff]");
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
