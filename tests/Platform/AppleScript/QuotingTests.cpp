#include <PellinAppleScript/AppleScript.h>
#include <PellinAppleScript/DoShellScriptStatement.h>
#include <PellinAppleScript/Quoting.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "TemporaryHome.h"

namespace {

using namespace applescript;

const std::string kHostileTexts[] = {
    "plain",
    "two words",
    "it's",
    "''",
    "say \"hi\"",
    "back\\slash \\\" \\\\",
    "$(touch pwned) `touch pwned` ; touch pwned & | > < * ? [a] {b,c} ~ # !",
    "$HOME ${HOME} $0 $1 \"$@\"",
    "line\nbreak\ttab",
    "-rf",
    "",
};

TEST(Quoting, EachLayerEscapesOnlyWhatItMust) {
    EXPECT_EQ(escapeStringLiteral(R"(a "b" \c)"), R"(a \"b\" \\c)");
    EXPECT_EQ(stringLiteral("x"), "\"x\"");
    EXPECT_EQ(quotedForm("a b"), "'a b'");
    EXPECT_EQ(quotedForm("it's"), "'it'\\''s'");
    EXPECT_EQ(quotedForm(""), "''");
}

TEST(Quoting, TheRunnerReadsBackExactlyTheTextThatWasEmbedded) {
    for (const std::string& text : kHostileTexts) {
        const auto parse = parseDoShellScript("do shell script " + stringLiteral(text));
        ASSERT_TRUE(parse.statement) << text << ": " << parse.failure;
        EXPECT_EQ(parse.statement->shellText, text);
    }
}

TEST(Quoting, AQuotedWordReachesTheRealShellAsOneUninterpretedWord) {
    pellin::test::TemporaryHome home;
    for (const std::string& text : kHostileTexts) {
        // printf prints its second argument only when the word did not split.
        const std::string shellText = "printf '%s|%s' " + quotedForm(text) + " end";
        foundation::Dictionary error;
        const auto result = AppleScript("do shell script " + stringLiteral(shellText))
                                .executeAndReturnError(&error);
        ASSERT_TRUE(result) << text << ": " << foundation::Value(error).description();
        std::string expected = text + "|end";
        std::replace(expected.begin(), expected.end(), '\n', '\r');
        EXPECT_EQ(*result, expected);
    }
    EXPECT_FALSE(std::filesystem::exists("pwned"));
    EXPECT_FALSE(std::filesystem::exists(home.path() / "pwned"));
}

}  // namespace
