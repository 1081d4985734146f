#include <PellinCommonLib/PellinCommonFileManager.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "CapturedLog.h"
#include "TemporaryHome.h"

namespace {

namespace fs = std::filesystem;
using pellin::test::CapturedLog;
using pellin::test::TemporaryHome;
using Lines = std::vector<std::string>;

constexpr const char* kLaunchAgent = "Library/LaunchAgents/jp.brenvik.mac.Pellin.plist";
constexpr const char* kPellinApp = "Library/Pellin/Pellin.app";
constexpr const char* kKickPellinApp = "Applications/KickPellin.app";

void makeFolder(const TemporaryHome& home, const fs::path& relative) {
    fs::create_directories(home.path() / relative);
}

TEST(ExistenceChecks, EachCheckAnswersForItsOwnPathAndLogsItsAnswer) {
    TemporaryHome home;
    CapturedLog log;
    EXPECT_FALSE(PellinCommonFileManager::existsKickPellinApp());
    makeFolder(home, kKickPellinApp);
    EXPECT_TRUE(PellinCommonFileManager::existsKickPellinApp());
    EXPECT_FALSE(PellinCommonFileManager::existsPellinApp());
    EXPECT_FALSE(PellinCommonFileManager::existsAutoStartSettingFile());
    const std::string name = "+[PellinCommonFileManager existsKickPellinApp]";
    const Lines lines = log.functionsAndTexts();
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(
        Lines(lines.begin(), lines.begin() + 6),
        (Lines{name + " | Start existsKickPellinApp", name + " | existsKickPellinApp isExist=NO",
               name + " | End existsKickPellinApp", name + " | Start existsKickPellinApp",
               name + " | existsKickPellinApp isExist=YES", name + " | End existsKickPellinApp"}));
    EXPECT_EQ(log.messages()[1].flag, lumberjack::DDLogFlagInfo);
    EXPECT_EQ(log.messages()[0].flag, lumberjack::DDLogFlagDebug);
}

TEST(ExistenceChecks, WithOnlyTheLaunchAgentTheResidentApplicationIsNotAsked) {
    TemporaryHome home;
    home.writeFile(kLaunchAgent, "<plist/>");
    CapturedLog log;
    EXPECT_TRUE(PellinCommonFileManager::existsAutoStartSettingFileOrPellinApp());
    const std::string outer = "+[PellinCommonFileManager existsAutoStartSettingFileOrPellinApp]";
    const std::string inner = "+[PellinCommonFileManager existsAutoStartSettingFile]";
    EXPECT_EQ(log.functionsAndTexts(),
              (Lines{outer + " | Start existsAutoStartSettingFileOrPellinApp",
                     inner + " | Start existsAutoStartSettingFile",
                     inner + " | existsAutoStartSettingFile isExist=YES",
                     inner + " | End existsAutoStartSettingFile",
                     outer + " | existsAutoStartSettingFileOrPellinApp isExist=YES",
                     outer + " | End existsAutoStartSettingFileOrPellinApp"}));
}

TEST(ExistenceChecks, WithOnlyTheResidentApplicationBothInnerChecksRunAndLog) {
    TemporaryHome home;
    makeFolder(home, kPellinApp);
    CapturedLog log;
    EXPECT_TRUE(PellinCommonFileManager::existsAutoStartSettingFileOrPellinApp());
    EXPECT_EQ(
        log.texts(),
        (Lines{"Start existsAutoStartSettingFileOrPellinApp", "Start existsAutoStartSettingFile",
               "existsAutoStartSettingFile isExist=NO", "End existsAutoStartSettingFile",
               "Start existsPellinApp", "existsPellinApp isExist=YES", "End existsPellinApp",
               "existsAutoStartSettingFileOrPellinApp isExist=YES",
               "End existsAutoStartSettingFileOrPellinApp"}));
}

TEST(ExistenceChecks, AFolderOrALinkToSomethingCountsAndABrokenLinkDoesNot) {
    TemporaryHome home;
    makeFolder(home, kLaunchAgent);
    EXPECT_TRUE(PellinCommonFileManager::existsAutoStartSettingFile());

    makeFolder(home, "elsewhere/Pellin.app");
    makeFolder(home, "Library/Pellin");
    fs::create_symlink(home.path() / "elsewhere/Pellin.app", home.path() / kPellinApp);
    EXPECT_TRUE(PellinCommonFileManager::existsPellinApp());

    makeFolder(home, "Applications");
    fs::create_symlink(home.path() / "missing.app", home.path() / kKickPellinApp);
    EXPECT_FALSE(PellinCommonFileManager::existsKickPellinApp());
}

TEST(ExistenceChecks, PathsFollowHomeAtTheMomentOfTheCall) {
    TemporaryHome first;
    makeFolder(first, kKickPellinApp);
    EXPECT_TRUE(PellinCommonFileManager::existsKickPellinApp());
    {
        TemporaryHome second;
        EXPECT_FALSE(PellinCommonFileManager::existsKickPellinApp());
    }
    EXPECT_TRUE(PellinCommonFileManager::existsKickPellinApp());
}

TEST(ExistenceChecks, AnUnreadableFolderAnswersNoRatherThanFailing) {
    TemporaryHome home;
    makeFolder(home, kKickPellinApp);
    fs::permissions(home.path() / "Applications", fs::perms::none);
    // Root reads through any permission; the check must simply not fail either way.
    const bool exists = PellinCommonFileManager::existsKickPellinApp();
    fs::permissions(home.path() / "Applications", fs::perms::owner_all);
    EXPECT_EQ(exists, ::geteuid() == 0);
}

TEST(MakeUsersApplications, CreatesTheApplicationsFolderOrAcceptsTheOneThere) {
    TemporaryHome home;
    CapturedLog log;
    EXPECT_TRUE(PellinCommonFileManager::makeUsersApplications());
    EXPECT_TRUE(fs::is_directory(home.path() / "Applications"));
    EXPECT_TRUE(PellinCommonFileManager::makeUsersApplications());
    const std::string name = "+[PellinCommonFileManager makeUsersApplications]";
    EXPECT_EQ(log.functionsAndTexts(),
              (Lines{name + " | Start makeUsersApplications",
                     name + " | End makeUsersApplications isSuccess = YES",
                     name + " | Start makeUsersApplications",
                     name + " | End makeUsersApplications isSuccess = YES"}));
}

TEST(MakeUsersApplications, AFileInTheWayAnswersNoWithoutAnErrorLine) {
    TemporaryHome home;
    home.writeFile("Applications", "not a folder");
    CapturedLog log;
    EXPECT_FALSE(PellinCommonFileManager::makeUsersApplications());
    EXPECT_EQ(log.texts(),
              (Lines{"Start makeUsersApplications", "End makeUsersApplications isSuccess = NO"}));
}

TEST(RemoveKickPellinApp, RemovesTheWholeLauncherAndNothingBesideIt) {
    TemporaryHome home;
    home.writeFile(std::string(kKickPellinApp) + "/Contents/Info.plist", "x");
    home.writeFile("Applications/Other.app/keep", "x");
    CapturedLog log;
    EXPECT_TRUE(PellinCommonFileManager::removeKickPellinApp());
    EXPECT_FALSE(fs::exists(home.path() / kKickPellinApp));
    EXPECT_TRUE(fs::exists(home.path() / "Applications/Other.app/keep"));
    EXPECT_EQ(log.texts(), (Lines{"Start removeKickPellinApp", "End removeKickPellinApp"}));
}

TEST(RemoveKickPellinApp, AMissingLauncherAnswersNoWithOneSynchronousErrorLine) {
    TemporaryHome home;
    CapturedLog log;
    EXPECT_FALSE(PellinCommonFileManager::removeKickPellinApp());
    const auto messages = log.messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].message, "Start removeKickPellinApp");
    EXPECT_EQ(messages[1].flag, lumberjack::DDLogFlagError);
    EXPECT_EQ(messages[1].function, "+[PellinCommonFileManager removeKickPellinApp]");
    EXPECT_TRUE(
        messages[1].message.starts_with("Error removeKickPellinApp code = 2 description = "))
        << messages[1].message;
    EXPECT_GT(messages[1].message.size(),
              std::string("Error removeKickPellinApp code = 2 description = ").size());
    EXPECT_EQ(messages[2].message, "End removeKickPellinApp");
}

}  // namespace
