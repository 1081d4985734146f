#include <PellinAppleScript/DoShellScriptStatement.h>

#include <gtest/gtest.h>

namespace {

using applescript::DoShellScriptStatement;
using applescript::parseDoShellScript;

TEST(DoShellScriptStatement, TheStatementIsReadWithOrWithoutTheAdministratorClause) {
    EXPECT_EQ(parseDoShellScript(R"(do shell script "ls -l")").statement,
              (DoShellScriptStatement{"ls -l", false}));
    EXPECT_EQ(
        parseDoShellScript(R"(do shell script " a; b;" with administrator privileges)").statement,
        (DoShellScriptStatement{" a; b;", true}));
    EXPECT_EQ(parseDoShellScript("\n  DO Shell\tSCRIPT \"x\"  With  Administrator Privileges \n")
                  .statement,
              (DoShellScriptStatement{"x", true}));
    EXPECT_EQ(parseDoShellScript(R"(do shell script "")").statement,
              (DoShellScriptStatement{"", false}));
}

TEST(DoShellScriptStatement, EscapesInTheLiteralStandForTheirCharacters) {
    EXPECT_EQ(parseDoShellScript(R"(do shell script "say \"hi\" \\ there")").statement,
              (DoShellScriptStatement{R"(say "hi" \ there)", false}));
    EXPECT_EQ(parseDoShellScript(R"(do shell script "a\nb\rc\td")").statement,
              (DoShellScriptStatement{"a\nb\rc\td", false}));
    // A raw line break and single quotes are plain characters of the literal.
    EXPECT_EQ(parseDoShellScript("do shell script \"a\nb 'c'\"").statement,
              (DoShellScriptStatement{"a\nb 'c'", false}));
}

TEST(DoShellScriptStatement, AnythingElseIsRejectedWithAMessageSayingWhatWasExpected) {
    const char* sources[] = {
        "",
        "display dialog \"x\"",
        "do shell script x",
        "do shell scripts \"x\"",
        "doshell script \"x\"",
        "do shell script \"unterminated",
        "do shell script \"bad \\q escape\"",
        "do shell script \"trailing backslash\\",
        "do shell script \"a\" & \"b\"",
        "do shell script \"a\" with administrator privileges and password \"p\"",
        "do shell script \"a\" with administrator",
        "do shell script \"a\"\ndo shell script \"b\"",
    };
    for (const char* source : sources) {
        const auto parse = parseDoShellScript(source);
        EXPECT_FALSE(parse.statement) << source;
        EXPECT_NE(parse.failure.find("Expected"), std::string::npos) << parse.failure;
    }
    EXPECT_NE(parseDoShellScript("do shell script \"a\" & \"b\"").failure.find("do shell script"),
              std::string::npos);
    EXPECT_NE(parseDoShellScript("do shell script \"bad \\q\"").failure.find("\\q"),
              std::string::npos);
}

}  // namespace
