// The removal script's retry, played back with a scripted executor: the real shell cannot be
// made to fail once and then succeed, or to fail without writing an error.

#include <UninstallLib/UninstallCommand.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "CapturedLog.h"
#include "ScriptedExecutor.h"

namespace {

using pellin::test::CapturedLog;
using pellin::test::ScriptedExecutor;
using Lines = std::vector<std::string>;

constexpr const char* kName = "+[UninstallCommand repeatUninstallProcWithAppleScript:]";
constexpr const char* kSource = "do shell script \" rm -f x;\" with administrator privileges";

std::string line(const std::string& text) {
    return std::string(kName) + " | " + text;
}

std::string warning(int number, const std::string& message) {
    return line("Error executeUninstallCommand  Error_Number : " + std::to_string(number) +
                "  Error_Message : " + message);
}

UninstallResult runRemoval(const std::shared_ptr<ScriptedExecutor>& executor) {
    return UninstallCommand::repeatUninstallProcWithAppleScript(
        applescript::AppleScript(kSource, executor));
}

TEST(RemovalRetry, AFirstRunThatFailsIsRetriedOnceAndASecondSuccessCounts) {
    CapturedLog log;
    const auto executor = std::make_shared<ScriptedExecutor>(std::vector{
        ScriptedExecutor::failure(1, "rm: cannot remove"), ScriptedExecutor::success()});
    const UninstallResult result = runRemoval(executor);
    EXPECT_EQ(result.error_result(), 0);
    EXPECT_EQ(result.error_number(), 0);
    EXPECT_EQ(executor->sources, (Lines{kSource, kSource}));
    EXPECT_EQ(log.functionsAndTexts(), (Lines{line("Start repeatUninstallProcWithAppleScript:"),
                                              warning(1, "rm: cannot remove"),
                                              line("End repeatUninstallProcWithAppleScript:")}));
    EXPECT_EQ(log.messages()[1].flag, lumberjack::DDLogFlagWarning);
}

TEST(RemovalRetry, TwoFailuresWithTheSameRecordGiveResultOneAndTwoIdenticalWarnings) {
    CapturedLog log;
    const auto executor = std::make_shared<ScriptedExecutor>(
        std::vector{ScriptedExecutor::failure(-128, "User canceled."),
                    ScriptedExecutor::failure(-128, "User canceled.")});
    const UninstallResult result = runRemoval(executor);
    EXPECT_EQ(result.error_result(), 1);
    EXPECT_EQ(result.error_number(), -128);
    EXPECT_EQ(executor->sources.size(), 2u);
    EXPECT_EQ(log.functionsAndTexts(),
              (Lines{line("Start repeatUninstallProcWithAppleScript:"),
                     warning(-128, "User canceled."), warning(-128, "User canceled."),
                     line("Unistall NG"), line("End repeatUninstallProcWithAppleScript:")}));
    EXPECT_EQ(log.messages()[3].flag, lumberjack::DDLogFlagInfo);
}

TEST(RemovalRetry, ASecondRunThatWritesNoErrorFailsWithTheFirstRunsRecord) {
    CapturedLog log;
    const auto executor = std::make_shared<ScriptedExecutor>(
        std::vector{ScriptedExecutor::failure(5, "first"), ScriptedExecutor::silentFailure()});
    const UninstallResult result = runRemoval(executor);
    EXPECT_EQ(result.error_result(), 1);
    EXPECT_EQ(result.error_number(), 5);
    EXPECT_EQ(log.texts(),
              (Lines{"Start repeatUninstallProcWithAppleScript:",
                     "Error executeUninstallCommand  Error_Number : 5  Error_Message : first",
                     "Error executeUninstallCommand  Error_Number : 5  Error_Message : first",
                     "Unistall NG", "End repeatUninstallProcWithAppleScript:"}));
}

TEST(RemovalRetry, TheResultComesFromTheRecordAsTheSecondRunLeftIt) {
    CapturedLog log;
    const auto executor = std::make_shared<ScriptedExecutor>(
        std::vector{ScriptedExecutor::failure(1, "first"), ScriptedExecutor::failure(2, "second")});
    const UninstallResult result = runRemoval(executor);
    EXPECT_EQ(result.error_number(), 2);
    EXPECT_EQ(log.functionsAndTexts()[1], warning(1, "first"));
    EXPECT_EQ(log.functionsAndTexts()[2], warning(2, "second"));
}

TEST(RemovalRetry, ASuccessfulFirstRunIsNotRepeated) {
    for (const auto& answer : {ScriptedExecutor::success("done"), ScriptedExecutor::success(""),
                               // No result and an empty record is no failure.
                               ScriptedExecutor::silentFailure()}) {
        CapturedLog log;
        const auto executor = std::make_shared<ScriptedExecutor>(std::vector{answer});
        const UninstallResult result = runRemoval(executor);
        EXPECT_EQ(result.error_result(), 0);
        EXPECT_EQ(result.error_number(), 0);
        EXPECT_EQ(executor->sources.size(), 1u);
        EXPECT_EQ(log.texts(), (Lines{"Start repeatUninstallProcWithAppleScript:",
                                      "End repeatUninstallProcWithAppleScript:"}));
    }
}

TEST(RemovalRetry, ErrorNumbersBeyondSixteenBitsAreNarrowedToTheirLowBitsAsSigned) {
    const std::vector<std::pair<std::int64_t, int>> cases = {
        {32767, 32767},  {32768, -32768},
        {40000, -25536}, {65535, -1},
        {65536, 0},      {65537, 1},
        {70000, 4464},   {-32769, 32767},
        {-2740, -2740},  {(std::int64_t{1} << 40) + 7, 7},
    };
    for (const auto& [number, narrowed] : cases) {
        CapturedLog log;
        const auto executor = std::make_shared<ScriptedExecutor>(std::vector{
            ScriptedExecutor::failure(number, "m"), ScriptedExecutor::failure(number, "m")});
        const UninstallResult result = runRemoval(executor);
        EXPECT_EQ(result.error_result(), 1) << number;
        EXPECT_EQ(result.error_number(), narrowed) << number;
        EXPECT_EQ(log.functionsAndTexts()[1], warning(narrowed, "m")) << number;
    }
}

TEST(RemovalRetry, WithLoggingOffNothingIsLoggedAndTheOutcomeIsTheSame) {
    CapturedLog log(0);
    const auto executor = std::make_shared<ScriptedExecutor>(
        std::vector{ScriptedExecutor::failure(3, "x"), ScriptedExecutor::failure(3, "x")});
    EXPECT_EQ(runRemoval(executor).error_number(), 3);
    EXPECT_TRUE(log.texts().empty());
}

}  // namespace
