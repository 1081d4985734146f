#include <PellinAppleScript/AppleScript.h>
#include <PellinAppleScript/DoShellScriptExecutor.h>
#include <PellinAppleScript/Quoting.h>
#include <PellinAppleScript/ShellHost.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "TemporaryHome.h"

namespace {

using namespace applescript;

std::optional<std::string> run(const std::string& shellText, foundation::Dictionary& error,
                               bool administrator = false) {
    std::string source = "do shell script " + stringLiteral(shellText);
    if (administrator) {
        source += " with administrator privileges";
    }
    return AppleScript(source).executeAndReturnError(&error);
}

foundation::Value number(const foundation::Dictionary& error) {
    const auto found = error.find(NSAppleScriptErrorNumber);
    return found == error.end() ? foundation::Value() : found->second;
}

foundation::Value message(const foundation::Dictionary& error) {
    const auto found = error.find(NSAppleScriptErrorMessage);
    return found == error.end() ? foundation::Value() : found->second;
}

TEST(DoShellScript, TheResultIsStandardOutputWithCarriageReturnsAndNoTrailingLineEnding) {
    pellin::test::TemporaryHome home;
    foundation::Dictionary error;
    EXPECT_EQ(run("printf 'a\\nb\\n'", error), "a\rb");
    EXPECT_EQ(run("printf 'a\\n\\n'", error), "a\r");
    EXPECT_EQ(run("printf 'a\\r\\nb'", error), "a\rb");
    EXPECT_EQ(run("true", error), "");
    EXPECT_TRUE(error.empty());
    EXPECT_EQ(doShellScriptOutput("x\r\n"), "x");
}

TEST(DoShellScript, ANonZeroExitStatusFailsWithThatNumberAndStandardError) {
    pellin::test::TemporaryHome home;
    foundation::Dictionary error;
    EXPECT_FALSE(run("echo partial; echo 'oops: bad' >&2; exit 3", error));
    EXPECT_EQ(number(error), foundation::Value(3));
    EXPECT_EQ(message(error), foundation::Value("oops: bad"));

    error.clear();
    EXPECT_FALSE(run("echo 'only out'; exit 4", error));
    EXPECT_EQ(number(error), foundation::Value(4));
    EXPECT_EQ(message(error), foundation::Value("only out"));

    error.clear();
    EXPECT_FALSE(run("kill -KILL $$", error));
    EXPECT_EQ(number(error), foundation::Value(128 + 9));
}

TEST(DoShellScript, AnErrorRecordIsOverwrittenByAFailureAndLeftAloneByASuccess) {
    pellin::test::TemporaryHome home;
    foundation::Dictionary error{{"Other", foundation::Value("kept")}};
    EXPECT_FALSE(run("exit 5", error));
    EXPECT_TRUE(run("true", error));
    EXPECT_EQ(number(error), foundation::Value(5));
    EXPECT_FALSE(run("echo second >&2; exit 6", error));
    EXPECT_EQ(number(error), foundation::Value(6));
    EXPECT_EQ(message(error), foundation::Value("second"));
    EXPECT_EQ(error.at("Other"), foundation::Value("kept"));
    // A caller without a record still gets the answer.
    EXPECT_FALSE(AppleScript("do shell script \"exit 1\"").executeAndReturnError(nullptr));
}

TEST(DoShellScript, ARejectedStatementFailsWithMinus2740AndNeverRuns) {
    pellin::test::TemporaryHome home;
    const std::string marker = (home.path() / "ran").string();
    const std::string sources[] = {
        "do shell script " + stringLiteral("touch " + quotedForm(marker)) + " & \"\"",
        "do shell script " + quotedForm("touch " + marker), "tell application \"Finder\"",
        "do shell script " + stringLiteral("touch " + quotedForm(marker)) +
            " with administrator privileges, please"};
    for (const std::string& source : sources) {
        foundation::Dictionary error;
        EXPECT_FALSE(AppleScript(source).executeAndReturnError(&error)) << source;
        EXPECT_EQ(number(error), foundation::Value(-2740)) << source;
        ASSERT_TRUE(message(error).text());
        EXPECT_NE(message(error).text()->find("Expected do shell script"), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST(DoShellScript, TheShellGetsTheFixedPathNeverTheCallers) {
    pellin::test::TemporaryHome home;
    const std::string previous = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (home.path() / "evil").c_str(), 1);
    foundation::Dictionary error;
    const auto path = run("printf %s \"$PATH\"", error);
    setenv("PATH", previous.c_str(), 1);
    EXPECT_EQ(path, fixedSearchPath());
}

TEST(DoShellScript, BothOutputsAreDrainedTogetherSoABigOutputCannotBlockTheRun) {
    pellin::test::TemporaryHome home;
    foundation::Dictionary error;
    const auto result =
        run("i=0; while [ $i -lt 4000 ]; do echo 0123456789012345678901234567890123456789; "
            "echo 0123456789012345678901234567890123456789 >&2; i=$((i+1)); done",
            error);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->size(), 4000u * 41u - 1u);
}

TEST(DoShellScript, ThePrivilegedShellAsRootKeepsTheCallersHomeAndOnlyTheSystemsPath) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root";
    }
    pellin::test::TemporaryHome home("a home 'with' $(quotes)");
    foundation::Dictionary error;
    EXPECT_EQ(run("cd ~ && pwd && printf '%s|%s' \"$HOME\" \"$PATH\"", error, true),
              home.path().string() + "\r" + home.path().string() + "|" +
                  std::string(kElevatedSearchPath));
}

}  // namespace
