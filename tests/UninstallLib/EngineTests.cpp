// The whole uninstall with a scripted executor: what runs, in which order, with which source
// texts, and what the result and the log say.

#include <UninstallLib/UninstallCommand.h>

#include <PellinAppleScript/DoShellScriptStatement.h>
#include <PellinAppleScript/Quoting.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CapturedLog.h"
#include "ScriptedExecutor.h"
#include "StoredSetting.h"
#include "TemporaryHome.h"

namespace {

using pellin::test::CapturedLog;
using pellin::test::ScriptedExecutor;
using pellin::test::settingStored;
using pellin::test::storeSetting;
using pellin::test::TemporaryHome;
using Lines = std::vector<std::string>;

namespace fs = std::filesystem;

constexpr const char* kItems[] = {"Library/LaunchAgents/jp.brenvik.mac.Pellin.plist",
                                  "Library/Pellin", "Applications/KickPellin.app"};

void installEverything(const TemporaryHome& home) {
    home.writeFile("Library/LaunchAgents/jp.brenvik.mac.Pellin.plist", "<plist/>");
    home.writeFile("Library/Pellin/Pellin.app/Contents/Info.plist", "<plist/>");
    home.writeFile("Applications/KickPellin.app/Contents/Info.plist", "<plist/>");
}

// Plays back `answers`; a successful run removes the three items, as the real one would.
std::shared_ptr<ScriptedExecutor> removing(const TemporaryHome& home,
                                           std::vector<ScriptedExecutor::Answer> answers = {}) {
    auto executor = std::make_shared<ScriptedExecutor>(std::move(answers));
    executor->effectOfSuccess = [path = home.path()] {
        for (const char* item : kItems) {
            fs::remove_all(path / item);
        }
    };
    return executor;
}

// The engine's own lines, without those of the settings store it calls.
Lines engineLines(const CapturedLog& log) {
    Lines lines;
    for (const auto& line : log.functionsAndTexts()) {
        if (line.starts_with("+[UninstallCommand ") || line.starts_with("+[UninstallLib ")) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::string execute(const std::string& text) {
    return "+[UninstallCommand executeUninstallCommand] | " + text;
}
std::string repeat(const std::string& text) {
    return "+[UninstallCommand repeatUninstallProcWithAppleScript:] | " + text;
}
std::string unload(const std::string& text) {
    return "+[UninstallCommand commandLaunchUnload:] | " + text;
}

TEST(Engine, AFirstRemovalThatFailsAndASecondThatSucceedsStillRemovesTheDomainAndUnloads) {
    TemporaryHome home;
    installEverything(home);
    storeSetting();
    CapturedLog log;
    const auto executor =
        removing(home, {ScriptedExecutor::failure(1, "busy"), ScriptedExecutor::success()});
    const UninstallResult result = UninstallCommand::executeUninstallCommand(executor);
    EXPECT_EQ(result.error_result(), 0);
    EXPECT_EQ(result.error_number(), 0);
    ASSERT_EQ(executor->sources.size(), 3u);
    EXPECT_EQ(executor->sources[0], executor->sources[1]);
    EXPECT_TRUE(executor->sources[2].starts_with("do shell script \"launchctl unload "));
    EXPECT_FALSE(settingStored());
    EXPECT_EQ(
        engineLines(log),
        (Lines{execute("Start executeUninstallCommand"),
               repeat("Start repeatUninstallProcWithAppleScript:"),
               repeat("Error executeUninstallCommand  Error_Number : 1  Error_Message : busy"),
               repeat("End repeatUninstallProcWithAppleScript:"),
               unload("Start commandLaunchUnload"), unload("End commandLaunchUnload result : 1"),
               execute("End executeUninstallCommand result : OK")}));
}

TEST(Engine, TwoFailedRemovalsLeaveTheDomainAndTheAgentAlone) {
    TemporaryHome home;
    installEverything(home);
    storeSetting();
    CapturedLog log;
    const auto executor = std::make_shared<ScriptedExecutor>(
        std::vector{ScriptedExecutor::failure(-128, "User canceled."),
                    ScriptedExecutor::failure(-128, "User canceled.")});
    const UninstallResult result = UninstallCommand::executeUninstallCommand(executor);
    EXPECT_EQ(result.error_result(), 1);
    EXPECT_EQ(result.error_number(), -128);
    EXPECT_EQ(executor->sources.size(), 2u);
    EXPECT_TRUE(settingStored());
    const Lines lines = engineLines(log);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], repeat("End repeatUninstallProcWithAppleScript:"));
    EXPECT_EQ(lines.back(), execute("End executeUninstallCommand result : NG"));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), repeat("Unistall NG")), 1);
}

TEST(Engine, AFailedUnloadIsLoggedAndTheResultStaysSuccess) {
    TemporaryHome home;
    installEverything(home);
    CapturedLog log;
    const auto executor = removing(
        home, {ScriptedExecutor::success(), ScriptedExecutor::failure(70001, "No such file")});
    const UninstallResult result = UninstallCommand::executeUninstallCommand(executor);
    EXPECT_EQ(result.error_result(), 0);
    EXPECT_EQ(result.error_number(), 0);
    const Lines lines = engineLines(log);
    const Lines tail(lines.end() - 4, lines.end());
    EXPECT_EQ(tail, (Lines{unload("Start commandLaunchUnload"),
                           unload("Error commandLaunchUnload  Error_Number : 4465"),
                           unload("End commandLaunchUnload result : 0"),
                           execute("End executeUninstallCommand result : OK")}));
}

TEST(Engine, TheScriptsNameTheThreeItemsWithTheAgentsTildeLeftToTheShell) {
    TemporaryHome home;
    installEverything(home);
    const auto executor = removing(home);
    UninstallCommand::executeUninstallCommand(executor);
    ASSERT_EQ(executor->sources.size(), 2u);
    const std::string h = home.path().string();
    EXPECT_EQ(executor->sources[0],
              "do shell script \" sudo rm -f ~/'Library/LaunchAgents/jp.brenvik.mac.Pellin.plist'; "
              "sudo rm -rf '" +
                  h + "/Library/Pellin'; sudo rm -rf '" + h +
                  "/Applications/KickPellin.app';\" with administrator privileges");
    EXPECT_EQ(executor->sources[1],
              "do shell script \"launchctl unload "
              "~/'Library/LaunchAgents/jp.brenvik.mac.Pellin.plist'\"");
}

TEST(Engine, AHostileHomePathReachesTheShellAsOneQuotedWordPerItem) {
    TemporaryHome home("a \"b\" \\c 'd' $(e) `f` ;g\nh");
    installEverything(home);
    const auto executor = removing(home);
    UninstallCommand::executeUninstallCommand(executor);
    ASSERT_EQ(executor->sources.size(), 2u);
    const auto removal = applescript::parseDoShellScript(executor->sources[0]);
    ASSERT_TRUE(removal.statement) << removal.failure;
    EXPECT_TRUE(removal.statement->withAdministratorPrivileges);
    const std::string h = home.path().string();
    EXPECT_EQ(removal.statement->shellText,
              " sudo rm -f ~/'Library/LaunchAgents/jp.brenvik.mac.Pellin.plist'; sudo rm -rf " +
                  applescript::quotedForm(h + "/Library/Pellin") + "; sudo rm -rf " +
                  applescript::quotedForm(h + "/Applications/KickPellin.app") + ";");
    const auto unloading = applescript::parseDoShellScript(executor->sources[1]);
    ASSERT_TRUE(unloading.statement) << unloading.failure;
    EXPECT_FALSE(unloading.statement->withAdministratorPrivileges);
    EXPECT_EQ(unloading.statement->shellText,
              "launchctl unload ~/'Library/LaunchAgents/jp.brenvik.mac.Pellin.plist'");
}

TEST(Engine, WithNothingInstalledNoScriptRunsAndTheDomainStays) {
    TemporaryHome home;
    storeSetting();
    CapturedLog log;
    const auto executor =
        std::make_shared<ScriptedExecutor>(std::vector<ScriptedExecutor::Answer>{});
    const UninstallResult result = UninstallCommand::executeUninstallCommand(executor);
    EXPECT_EQ(result.error_result(), 0);
    EXPECT_EQ(result.error_number(), 0);
    EXPECT_TRUE(executor->sources.empty());
    EXPECT_TRUE(settingStored());
    EXPECT_EQ(engineLines(log), (Lines{execute("Start executeUninstallCommand"),
                                       execute("Not exists AutoSatrtSettingFile And PellinApp"),
                                       execute("End executeUninstallCommand result : OK")}));
}

TEST(Engine, ARunTheShellCallsSuccessfulButThatLeftAnItemFailsNamingIt) {
    TemporaryHome home;
    installEverything(home);
    storeSetting();
    CapturedLog log;
    // The shell's status is its last command's: the resident folder's removal failed before it.
    const auto executor = removing(home);
    const auto effect = executor->effectOfSuccess;
    executor->effectOfSuccess = [&] {
        effect();
        home.writeFile("Library/Pellin/Pellin.app/stuck");
    };
    const UninstallResult result = UninstallCommand::executeUninstallCommand(executor);
    EXPECT_EQ(result.error_result(), 1);
    EXPECT_EQ(result.error_number(), UninstallCommand::kItemsRemainErrorNumber);
    EXPECT_EQ(executor->sources.size(), 2u);
    EXPECT_TRUE(settingStored());
    const std::string warning =
        "Error executeUninstallCommand  Error_Number : 1002  Error_Message : The removal left " +
        (home.path() / "Library/Pellin").string() + " in place.";
    const Lines texts = log.texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), warning), 2) << warning;
}

TEST(Engine, ARemovalThroughALinkOrForAnotherUserIsRefusedBeforeTheShellRuns) {
    struct Case {
        const char* name;
        std::function<void(const TemporaryHome&)> plant;
        const char* reason;
    };
    const Case cases[] = {
        {"a linked Library",
         [](const TemporaryHome& home) {
             fs::rename(home.path() / "Library", home.parent() / "Library");
             fs::create_directory_symlink(home.parent() / "Library", home.path() / "Library");
         },
         "/Library is a symbolic link"},
        {"another user's Applications",
         [](const TemporaryHome& home) {
             ASSERT_EQ(::chown((home.path() / "Applications").c_str(), 65534, 65534), 0);
         },
         "/Applications does not belong to user 0"},
    };
    for (const Case& each : cases) {
        TemporaryHome home;
        installEverything(home);
        storeSetting();
        each.plant(home);
        CapturedLog log;
        const auto executor = removing(home);
        const UninstallResult result = UninstallCommand::executeUninstallCommand(executor);
        EXPECT_EQ(result.error_result(), 1) << each.name;
        EXPECT_EQ(result.error_number(), UninstallCommand::kRemovalRefusedErrorNumber) << each.name;
        EXPECT_TRUE(executor->sources.empty()) << each.name;
        EXPECT_TRUE(settingStored()) << each.name;
        for (const char* item : kItems) {
            EXPECT_TRUE(fs::exists(home.path() / item)) << each.name << " " << item;
        }
        const Lines warnings = log.texts();
        EXPECT_TRUE(std::any_of(warnings.begin(), warnings.end(), [&](const std::string& line) {
            return line.find("Error_Message : Nothing was removed: ") != std::string::npos &&
                   line.find(each.reason) != std::string::npos;
        })) << each.name;
    }
}

}  // namespace
