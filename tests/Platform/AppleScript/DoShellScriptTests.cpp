// The script runner as the programs use it: its one statement, the quoting that embeds a text in
// it, and the real shell behind it, unprivileged and through sudo or pkexec; and what a shell
// with administrator rights removes.

#include <PellinAppleScript/AppleScript.h>
#include <PellinAppleScript/DoShellScriptExecutor.h>
#include <PellinAppleScript/DoShellScriptStatement.h>
#include <PellinAppleScript/Quoting.h>
#include <PellinAppleScript/ShellHost.h>
#include <PellinAppleScript/ShellInvocation.h>

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "TemporaryHome.h"
#include "TestCases.h"

namespace {

namespace fs = std::filesystem;
using namespace applescript;
using foundation::Value;

struct ScriptRun {
    std::optional<std::string> result;
    foundation::Dictionary error{{"Other", Value("kept")}};

    Value at(std::string_view key) const {
        const auto found = error.find(key);
        return found == error.end() ? Value() : found->second;
    }
    Value number() const { return at(NSAppleScriptErrorNumber); }
    std::string message() const {
        return at(NSAppleScriptErrorMessage).text() ? *at(NSAppleScriptErrorMessage).text() : "";
    }
};

// Runs `text` through the runner: as it runs for the programs, or for `host`, told that the text
// removes in `folders`.
ScriptRun shell(const std::string& text, const std::optional<ShellHost>& host = std::nullopt,
                bool administrator = false, const std::vector<std::string>& folders = {}) {
    const std::string source = "do shell script " + stringLiteral(text) +
                               (administrator ? " with administrator privileges" : "");
    ScriptRun run;
    run.result =
        AppleScript(source, host ? std::make_shared<DoShellScriptExecutor>(host, folders) : nullptr)
            .executeAndReturnError(&run.error);
    return run;
}

TEST(DoShellScriptStatement, OnlyTheOneStatementIsReadAndAnythingElseFailsWithMinus2740Unrun) {
    // The clause makes the run privileged; case and blanks around the words do not matter.
    EXPECT_EQ(parseDoShellScript("\n DO Shell\tSCRIPT \"a\\rb\" With  Administrator Privileges ")
                  .statement,
              (DoShellScriptStatement{"a\rb", true}));
    pellin::test::TemporaryHome home;
    const std::string touch = "touch " + quotedForm((home.path() / "ran").string());
    const std::string sources[] = {
        "do shell script " + stringLiteral(touch) + " & \"\"",
        "do shell script " + quotedForm(touch),
        "do shell script " + stringLiteral(touch) + " with administrator privileges, please",
        "do shell script " + stringLiteral(touch) + " with administrator",
        "do shell script \"a\"\ndo shell script " + stringLiteral(touch),
        std::string(),
        "do shell scripts \"x\"",
        "do shell script \"unterminated",
        "do shell script \"bad \\q\"",
        "do shell script \"trailing\\",
        "display dialog \"x\""};
    for (const std::string& source : sources) {
        ScriptRun ran;
        ran.result = AppleScript(source).executeAndReturnError(&ran.error);
        EXPECT_EQ(ran.number(), Value(-2740)) << source;
        EXPECT_NE(ran.message().find("Expected"), std::string::npos) << ran.message();
    }
    EXPECT_FALSE(fs::exists(home.path() / "ran"));
}

TEST(Quoting, AnyTextComesBackFromTheLiteralAndReachesTheShellAsOneUninterpretedWord) {
    pellin::test::TemporaryHome home;
    for (const std::string text :
         {"plain", "two words", "it's", "''", "say \"hi\"", "back\\slash \\\" \\\\",
          "$(touch pwned) `touch pwned` ; touch pwned & | > < * ? [a] {b,c} ~ # !",
          "$HOME ${HOME} $0 $1 \"$@\"", "line\nbreak\ttab", "-rf", ""}) {
        const auto parse = parseDoShellScript("do shell script " + stringLiteral(text));
        ASSERT_TRUE(parse.statement) << text << ": " << parse.failure;
        EXPECT_EQ(parse.statement->shellText, text);
        // printf prints its second argument only when the word did not split.
        std::string expected = text + "|end";
        std::replace(expected.begin(), expected.end(), '\n', '\r');
        EXPECT_EQ(shell("printf '%s|%s' " + quotedForm(text) + " end").result, expected);
    }
    EXPECT_FALSE(fs::exists("pwned"));
    EXPECT_FALSE(fs::exists(home.path() / "pwned"));
}

TEST(DoShellScript, TheResultIsStandardOutputAndAFailureKeepsStatusAndStandardError) {
    pellin::test::TemporaryHome home;
    const std::tuple<const char*, std::optional<std::string>, Value, const char*> runs[] = {
        {"printf 'a\\nb\\n'", "a\rb", Value(), ""},
        {"printf 'a\\n\\n'", "a\r", Value(), ""},
        {"printf 'a\\r\\nb'", "a\rb", Value(), ""},
        {"echo out; echo 'oops: bad' >&2; exit 3", std::nullopt, Value(3), "oops: bad"},
        {"echo 'only out'; exit 4", std::nullopt, Value(4), "only out"},
        {"kill -KILL $$", std::nullopt, Value(128 + 9), ""},
    };
    for (const auto& [text, result, number, message] : runs) {
        const ScriptRun ran = shell(text);
        EXPECT_EQ(ran.result, result) << text;
        EXPECT_EQ(ran.number(), number) << text;  // a success leaves the record alone
        EXPECT_EQ(ran.message(), message) << text;
        EXPECT_EQ(ran.at("Other"), Value("kept"));
    }
    // Both outputs are drained together, so a big one cannot block the run.
    EXPECT_EQ(shell("i=0; while [ $i -lt 4000 ]; do echo 0123456789; echo 0123456789 >&2; "
                    "i=$((i+1)); done")
                  .result.value_or("")
                  .size(),
              4000u * 11u - 1u);
}

// As root, sudo lets a host that pretends to be an ordinary user through without a password.
ShellHost ordinaryUser(const pellin::test::TemporaryHome& home) {
    ShellHost host = ShellHost::current();
    host.isRoot = false;
    host.hasDisplay = false;
    host.hasTerminal = true;
    host.home = home.path().string();
    host.owner = ::getuid();
    return host;
}

TEST(Elevation, UnderSudoTheShellHasTheUsersHomeAndOnlyTheSystemsPath) {
    if (::geteuid() != 0 || !findSystemProgram("sudo")) {
        GTEST_SKIP() << "needs root and sudo";
    }
    pellin::test::TemporaryHome home("user home; $(x) 'q'");
    const std::string h = home.path().string();
    EXPECT_EQ(
        shell("cd ~ && pwd && printf '%s|%s' \"$HOME\" \"$PATH\"", ordinaryUser(home), true).result,
        h + "\r" + h + "|" + std::string(kElevatedSearchPath));
}

// pkexec needs a desktop session, and sudo a password prompt: stand-ins play their exits.
TEST(Elevation, OnlyADismissalIsUserCanceledAndEveryOtherRefusalKeepsItsOwnMessage) {
    pellin::test::TemporaryHome home;
    const std::string marker = (home.path() / "ran").string();
    for (const auto& refusal : pellin::test::casesIn("elevation-refusals.tsv")) {
        ASSERT_EQ(refusal.size(), 5u);
        const auto& [tool, terminal, body, number, message] =
            std::tie(refusal[0], refusal[1], refusal[2], refusal[3], refusal[4]);
        const fs::path program = home.parent() / tool;
        std::ofstream(program) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(program, fs::perms::owner_all);
        ShellHost host = ordinaryUser(home);
        host.hasTerminal = terminal == "yes";
        host.hasDisplay = tool == "pkexec";
        (host.hasDisplay ? host.pkexecPath : host.sudoPath) = program.string();
        const ScriptRun ran =
            shell("touch " + quotedForm(marker) + "; echo ran >&2; exit 126", host, true);
        EXPECT_EQ(ran.number(), Value(std::stoi(number))) << body;
        EXPECT_TRUE(ran.message().ends_with(message)) << ran.message();
        EXPECT_EQ(fs::remove(marker), number == "126") << body;
    }
}

TEST(Elevation, APrivilegedRunWithoutAnAbsoluteHomeOrItsOwnerDoesNotStartEvenAsRoot) {
    ShellHost host;
    host.home = "/home/a b/it's $(x)";
    host.owner = 1000;
    EXPECT_NE(planShellInvocation({"true", true}, host).failure.find("sudo"), std::string::npos);
    host.sudoPath = "/usr/bin/sudo";
    for (const bool isRoot : {false, true}) {
        host.isRoot = isRoot;
        for (const char* home : {"", "relative/home", "-rf"}) {
            host.home = home;
            const auto plan = planShellInvocation({"rm ~/x", true}, host);
            EXPECT_FALSE(plan.invocation) << home;
            EXPECT_NE(plan.failure.find("home folder"), std::string::npos);
        }
        ShellHost noOwner = host;
        noOwner.home = "/home/a";
        noOwner.owner.reset();
        EXPECT_FALSE(planShellInvocation({"rm ~/x", true}, noOwner).invocation);
    }
}

// --- What a shell with administrator rights removes ----------------------------------------
// Only inside the home of the user it acts for, reached from the home through that user's own
// folders and no link, whatever the user changes in the home meanwhile. Run for real as root,
// which acts for the home's owner.

TEST(GuardedRemoval, OnlyWhatLiesInTheOwnersHomeReachedWithoutALinkIsRemovedEvenMidSwap) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "runs the privileged shell directly, which needs root";
    }
    const pellin::test::TemporaryHome home("user home");
    const fs::path h = home.path(), out = home.parent() / "outside";
    const std::string variables =
        "H=" + quotedForm(h.string()) + "; OUT=" + quotedForm(out.string()) + "; ";
    // A fresh home holding Documents/Pellin/keep, then `setUp` run in it; OUT holds Pellin/keep.
    const auto plant = [&](const std::string& setUp) {
        fs::remove_all(h);
        const std::string keep =
            "mkdir -p \"$H/Documents/Pellin\" \"$OUT/Pellin\" && cd \"$H\" && "
            "touch Documents/Pellin/keep \"$OUT/Pellin/keep\"; ";
        ASSERT_EQ(std::system((variables + keep + setUp).c_str()), 0) << setUp;
    };
    const auto kept = [&] {
        return fs::exists(out / "Pellin/keep") && fs::exists(h / "Documents/Pellin/keep");
    };
    // The folders the caller may name as those the text removes in: every operand's folder
    // below, and one outside the home, which must not count.
    const std::vector<std::string> folders = {(h / "Library").string(),
                                              (h / "Library/Agents").string(),
                                              (h / "Nothing").string(), out.string()};
    // Runs `command` in the privileged shell acting for `owner`. With `named`, the shell is told
    // the folders above, and proves them before the text runs.
    const auto removal = [&](const std::string& command, bool named, uid_t owner = 0) {
        ShellHost host = ShellHost::current();
        host.owner = owner ? owner : *host.owner;
        return shell(variables + command, host, true, named ? folders : std::vector<std::string>());
    };

    for (const bool named : {false, true}) {
        for (const auto& each : pellin::test::casesIn("guarded-removals.tsv")) {
            ASSERT_EQ(each.size(), 5U);
            const auto& [name, setUp, command, removed] =
                std::tie(each[0], each[1], each[2], each[3]);
            plant(setUp);
            const ScriptRun run =
                removal(command, named, each[4].empty() ? 0 : uid_t(std::stoul(each[4])));
            EXPECT_EQ(run.result.has_value(), removed != "-") << name << ": " << run.message();
            EXPECT_TRUE(run.result || run.message().find(h.string()) != std::string::npos)
                << run.message();
            EXPECT_TRUE(kept() && (removed == "-" || !fs::exists(fs::symlink_status(h / removed))))
                << name << (named ? ", its folder named" : "");
        }
    }
    // A folder swapped for a link to outside the home, or to another folder of the same user at
    // the same depth inside it, with the folder named beforehand and without.
    for (const auto& [elsewhere, named] : {std::pair{"\"$OUT\"", false},
                                           {"\"$OUT\"", true},
                                           {"Documents", false},
                                           {"Documents", true}}) {
        plant("mkdir -p Library/Pellin; ln -s " + std::string(elsewhere) + " Library.link");
        // Another program of the user exchanges the folder and the link as fast as it can.
        const std::jthread swapper([&](const std::stop_token& stop) {
            while (!stop.stop_requested()) {
                ::renameat2(AT_FDCWD, (h / "Library").c_str(), AT_FDCWD,
                            (h / "Library.link").c_str(), RENAME_EXCHANGE);
            }
        });
        for (int attempt = 0; attempt < 100 && kept(); ++attempt) {
            removal("sudo rm -rf \"$H/Library/Pellin\"", named);
        }
        EXPECT_TRUE(kept()) << elsewhere << (named ? ", its folder named" : "");
    }
}

}  // namespace
