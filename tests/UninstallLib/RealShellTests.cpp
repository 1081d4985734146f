// The whole uninstall through the real script runner and the real shell, as root (so that the
// removal's "sudo rm" runs without a password), each case in a temporary home folder.

#include <UninstallLib/UninstallLib.h>

#include <pwd.h>
#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "CapturedLog.h"
#include "PrivatePidNamespace.h"
#include "ScopedEnvironment.h"
#include "StoredSetting.h"
#include "TemporaryHome.h"

namespace {

namespace fs = std::filesystem;
using pellin::test::CapturedLog;
using pellin::test::settingStored;
using pellin::test::storeSetting;
using pellin::test::TemporaryHome;
using Lines = std::vector<std::string>;
using Tree = std::set<std::string>;

constexpr const char* kLaunchAgent = "Library/LaunchAgents/jp.brenvik.mac.Pellin.plist";
constexpr const char* kResidentFolder = "Library/Pellin";
constexpr const char* kLauncher = "Applications/KickPellin.app";
class RealShell : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "the removal runs \"sudo rm\", which needs root to run unattended";
        }
    }
};

bool containsLineWith(const Lines& lines, const std::string& part) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(part) != std::string::npos;
    });
}

// Every path below `root`, relative to it; links are listed, never followed.
Tree snapshot(const fs::path& root) {
    Tree tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        tree.insert(fs::relative(it->path(), root).string());
    }
    return tree;
}

Tree difference(const Tree& a, const Tree& b) {
    Tree out;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::inserter(out, out.end()));
    return out;
}

// Runs with the working folder set to `folder`, so that a stray relative command in the shell
// text would leave its traces where the test looks.
UninstallResult uninstallFrom(const fs::path& folder) {
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    UninstallResult result = UninstallLib::uninstall();
    fs::current_path(previous);
    return result;
}

TEST_F(RealShell, WithOnlyTheLauncherInstalledAllThreeCommandsRunAndTheLauncherGoes) {
    TemporaryHome home;
    home.writeFile(std::string(kLauncher) + "/Contents/MacOS/KickPellin", "binary");
    home.writeFile("Applications/Other.app/keep");
    storeSetting();
    CapturedLog log;
    const UninstallResult result = UninstallLib::uninstall();
    EXPECT_EQ(result.error_result(), 0);
    EXPECT_EQ(result.error_number(), 0);
    EXPECT_FALSE(fs::exists(home.path() / kLauncher));
    EXPECT_TRUE(fs::exists(home.path() / "Applications/Other.app/keep"));
    EXPECT_FALSE(settingStored());
    const Lines lines = log.functionsAndTexts();
    EXPECT_EQ(lines.front(), "+[UninstallLib uninstall] | Start uninstall");
    EXPECT_EQ(lines.back(), "+[UninstallLib uninstall] | End uninstall");
    EXPECT_TRUE(containsLineWith(lines, "existsKickPellinApp isExist=YES"));
    EXPECT_TRUE(containsLineWith(lines, "End executeUninstallCommand result : OK"));
    // The agent's property list is gone by the time of the unload; our launchctl says so.
    EXPECT_TRUE(containsLineWith(lines, "Error commandLaunchUnload  Error_Number : 1"));
}

TEST_F(RealShell, WithOnlyTheLaunchAgentInstalledItGoesAndTheLauncherIsNotAsked) {
    TemporaryHome home;
    home.writeFile(kLaunchAgent, "<plist/>");
    home.writeFile("Library/LaunchAgents/other.plist", "<plist/>");
    CapturedLog log;
    const UninstallResult result = UninstallLib::uninstall();
    EXPECT_EQ(result.error_result(), 0);
    EXPECT_FALSE(fs::exists(home.path() / kLaunchAgent));
    EXPECT_TRUE(fs::exists(home.path() / "Library/LaunchAgents/other.plist"));
    const Lines lines = log.functionsAndTexts();
    EXPECT_FALSE(containsLineWith(lines, "existsKickPellinApp"));
    EXPECT_FALSE(containsLineWith(lines, "existsPellinApp"));
    EXPECT_TRUE(containsLineWith(lines, "End repeatUninstallProcWithAppleScript:"));
}

TEST_F(RealShell, WithNothingInstalledNoScriptRunsAndTheDomainStays) {
    TemporaryHome home;
    home.writeFile("Library/keep");
    storeSetting();
    const Tree before = snapshot(home.path());
    CapturedLog log;
    const UninstallResult result = UninstallLib::uninstall();
    EXPECT_EQ(result.error_result(), 0);
    EXPECT_EQ(result.error_number(), 0);
    EXPECT_TRUE(settingStored());
    EXPECT_EQ(snapshot(home.path()), before);
    const Lines lines = log.functionsAndTexts();
    EXPECT_FALSE(containsLineWith(lines, "repeatUninstallProcWithAppleScript"));
    EXPECT_FALSE(containsLineWith(lines, "commandLaunchUnload"));
    EXPECT_TRUE(containsLineWith(lines, "| Not exists AutoSatrtSettingFile And PellinApp"));
}

TEST_F(RealShell, AHomePathFullOfShellSyntaxLosesOnlyTheThreeItemsAndRunsNothingFromIt) {
    // The first word of the name is also a folder beside the home folder: a path split at its
    // first blank would remove it.
    TemporaryHome home("my home 'q' \"dq\" $(touch pwned1) `touch pwned2` ; touch pwned3 ;\n x");
    for (const char* item :
         {"Library/LaunchAgents/jp.brenvik.mac.Pellin.plist",
          "Library/Pellin/Pellin.app/Contents/Info.plist", "Library/Pellin/Other/data",
          "Applications/KickPellin.app/Contents/Info.plist",
          // Sentinels beside the three items and above them.
          "Library/LaunchAgents/other.plist",
          "Library/LaunchAgents/jp.brenvik.mac.Pellin.plist.keep", "Library/Pellin.keep",
          "Library/Other/keep", "Applications/Other.app/keep", "Applications/KickPellin.app.keep",
          "keep"}) {
        home.writeFile(item, "x");
    }
    fs::create_directories(home.parent() / "my");
    std::ofstream(home.parent() / "my" / "keep") << "x";
    std::ofstream(home.parent() / "keep") << "x";
    storeSetting();

    // The settings store's own folder changes with the domain's removal, checked on its own.
    const std::string h = home.path().filename().string() + "/";
    const auto outsideTheStore = [&h](const Tree& tree) {
        Tree out;
        std::copy_if(tree.begin(), tree.end(), std::inserter(out, out.end()),
                     [&h](const std::string& entry) {
                         return !entry.starts_with(h + "Library/Preferences/");
                     });
        return out;
    };
    const Tree before = outsideTheStore(snapshot(home.parent()));
    CapturedLog log;
    const UninstallResult result = uninstallFrom(home.parent());
    const Tree after = outsideTheStore(snapshot(home.parent()));

    EXPECT_EQ(result.error_result(), 0);
    EXPECT_EQ(result.error_number(), 0);
    EXPECT_FALSE(settingStored());
    Tree expectedGone;
    for (const std::string& entry : before) {
        for (const char* item : {kLaunchAgent, kResidentFolder, kLauncher}) {
            const std::string itemPath = h + item;
            if (entry == itemPath || entry.starts_with(itemPath + "/")) {
                expectedGone.insert(entry);
            }
        }
    }
    EXPECT_EQ(expectedGone.size(), 10u);
    EXPECT_EQ(difference(before, after), expectedGone);
    // Nothing new: no traces of a command run from the path, and no state folder from the
    // unload that found nothing to unload.
    EXPECT_EQ(difference(after, before), Tree{});
    EXPECT_TRUE(containsLineWith(log.texts(), "End executeUninstallCommand result : OK"));
}

// Root's home from the password file is replaced by a temporary folder, in the test's private
// mount namespace, so that the real one is never touched.
TEST_F(RealShell, AsRootAnUnsetOrEmptyHomeIsThePasswordFilesAndARelativeOneIsRefused) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    const TemporaryHome standIn;
    const passwd* root = getpwuid(0);
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(mount(standIn.path().c_str(), root->pw_dir, nullptr, MS_BIND, nullptr), 0);
    struct Row {
        const char* name;
        std::optional<std::string> home;
    };
    for (const Row& row : {Row{"unset", std::nullopt}, Row{"empty", ""}, Row{"relative", "rel"},
                           Row{"read as options", "-rf"}}) {
        const fs::path working = standIn.parent() / "working";
        // Where a shell would put "~/..." with HOME unset, or the relative home.
        const fs::path relativeHome = working / (row.home.value_or("").empty() ? "~" : *row.home);
        for (const fs::path& home : {standIn.path(), relativeHome}) {
            for (const char* item : {kLaunchAgent, "Library/Pellin/Pellin.app/x", kLauncher}) {
                fs::create_directories((home / item).parent_path());
                std::ofstream(home / item) << "x";
            }
        }
        pellin::test::ScopedEnvironment environment;
        if (row.home) {
            environment.set("HOME", *row.home);
        } else {
            environment.unset("HOME");
        }
        const UninstallResult result = uninstallFrom(working);

        const bool absolute = row.home.value_or("").empty();
        EXPECT_EQ(result.error_result(), absolute ? 0 : 1) << row.name;
        // Nothing changes outside the password file's home, and inside it only a run with an
        // absolute home removes: all three items.
        for (const char* item : {kLaunchAgent, kResidentFolder, kLauncher}) {
            EXPECT_TRUE(fs::exists(relativeHome / item)) << row.name << " " << item;
            EXPECT_EQ(fs::exists(standIn.path() / item), !absolute) << row.name << " " << item;
        }
        fs::remove_all(working);
    }
}

}  // namespace
