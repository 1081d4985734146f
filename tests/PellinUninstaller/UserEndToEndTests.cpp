// The uninstaller run by an ordinary user, whose removal must gain administrator rights through
// sudo: a user made for the test, with password-less sudo for as long as it lives.

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "TemporaryHome.h"
#include "support/Dialogs.h"
#include "support/ExclusiveRun.h"
#include "support/FakeApplication.h"
#include "support/InstalledProduct.h"
#include "support/ProgramLog.h"
#include "support/ProgramSession.h"
#include "support/Uninstaller.h"

namespace {

namespace fs = std::filesystem;
using namespace pellin::test;

constexpr const char* kUserAdd = "/usr/sbin/useradd";
constexpr const char* kUserDel = "/usr/sbin/userdel";
constexpr const char* kSudo = "/usr/bin/sudo";
constexpr const char* kPkill = "/usr/bin/pkill";
constexpr const char* kSudoersFolder = "/etc/sudoers.d";

// A user of the test's own, with a home folder under /tmp and password-less sudo; both go again
// with the object.
class TemporaryUser {
  public:
    TemporaryUser() : name_("pellin-e2e-" + std::to_string(getpid())) {
        std::string pattern = (fs::temp_directory_path() / "pellin-user-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            return;
        }
        root_ = pattern;
        fs::permissions(root_, fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec);
        home_ = root_ / "home";
        if (!exitedWith(runQuietly({kUserAdd, "--no-create-home", "--user-group", "--shell",
                                    "/bin/sh", "--home-dir", home_.string(), name_})
                            .status,
                        0)) {
            return;
        }
        created_ = true;
        const passwd* entry = getpwnam(name_.c_str());
        if (entry == nullptr) {
            return;
        }
        runAs_ = RunAs{entry->pw_uid, entry->pw_gid};
        fs::create_directories(home_);
        if (chown(home_.c_str(), entry->pw_uid, entry->pw_gid) != 0) {
            runAs_.reset();
            return;
        }
        sudoers_ = fs::path(kSudoersFolder) / name_;
        std::ofstream(*sudoers_) << name_ << " ALL=(ALL:ALL) NOPASSWD: ALL\n";
        fs::permissions(*sudoers_, fs::perms::owner_read | fs::perms::group_read);
    }

    ~TemporaryUser() {
        std::error_code ignored;
        if (sudoers_) {
            fs::remove(*sudoers_, ignored);
        }
        if (created_) {
            // A force-quit script's last "sleep" may still run as the user, and userdel leaves
            // a user with processes in place.
            runQuietly({kPkill, "-KILL", "-u", name_});
            runQuietly({kUserDel, "--force", name_});
        }
        if (!root_.empty()) {
            fs::remove_all(root_, ignored);
        }
    }
    TemporaryUser(const TemporaryUser&) = delete;
    TemporaryUser& operator=(const TemporaryUser&) = delete;

    bool ready() const { return runAs_.has_value() && sudoers_.has_value(); }
    const RunAs& runAs() const { return *runAs_; }
    const fs::path& home() const { return home_; }
    const fs::path& besideHome() const { return root_; }

    static bool toolsInstalled() {
        return access(kUserAdd, X_OK) == 0 && access(kUserDel, X_OK) == 0 &&
               access(kSudo, X_OK) == 0 && access(kPkill, X_OK) == 0 &&
               fs::is_directory(kSudoersFolder);
    }

  private:
    std::string name_;
    fs::path root_;
    fs::path home_;
    bool created_ = false;
    std::optional<RunAs> runAs_;
    std::optional<fs::path> sudoers_;
};

TEST(UserEndToEndTest, AnOrdinaryUsersRemovalGoesThroughSudoAndStaysInTheirHome) {
    if (geteuid() != 0 || !TemporaryUser::toolsInstalled()) {
        GTEST_SKIP() << "making a user with sudo needs root, useradd, userdel and sudo";
    }
    ASSERT_TRUE(fs::exists(uninstallerProgram()));
    const ExclusiveRun exclusive;
    TemporaryHome rootsTestHome;
    TemporaryUser user;
    if (!user.ready()) {
        GTEST_SKIP() << "could not create a user with password-less sudo here";
    }
    const passwd* root = getpwuid(0);
    ASSERT_NE(root, nullptr);
    // What must not change in root's own home.
    const ProductPaths rootsProduct(root->pw_dir);
    const std::vector<fs::path> rootsItemsBefore = rootsProduct.remaining();

    ASSERT_TRUE(installTrialProduct(user.home(), user.runAs()));
    const ProductPaths product(user.home());
    // Only administrator rights can remove a launcher that root owns: its removal proves that
    // the elevation happened, and with the user's home.
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(product.launcher)) {
        ASSERT_EQ(lchown(entry.path().c_str(), 0, 0), 0);
    }
    ASSERT_EQ(lchown(product.launcher.c_str(), 0, 0), 0);
    const fs::path outside = user.besideHome() / "outside.txt";
    std::ofstream(outside) << "keep\n";
    FakeProcess resident = FakeProcess::start(product.residentProgram, user.runAs());
    nextClockTick();
    FakeProcess secondResident = FakeProcess::start(product.residentProgram, user.runAs());
    FakeProcess updater = FakeProcess::start(product.updaterProgram, user.runAs());
    // Root's own instance is not the user's application.
    FakeProcess rootsResident = FakeProcess::start(
        createFakeBundle(rootsTestHome.path() / "Apps", "Pellin", "com.brenvik.mac.Pellin"));

    ProgramSession session(uninstallerSession(user.home(), {}, true, user.runAs()));
    const int status = confirmAndAcknowledge(session, kCompletionMessage);

    EXPECT_TRUE(exitedWith(status, 0)) << session.shown();
    EXPECT_EQ(product.remaining(), std::vector<fs::path>{});
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_TRUE(resident.diedOfKill());
    EXPECT_TRUE(updater.diedOfKill());
    EXPECT_TRUE(secondResident.survives());
    EXPECT_TRUE(rootsResident.survives());
    EXPECT_EQ(rootsProduct.remaining(), rootsItemsBefore);
    EXPECT_EQ(messagesAt(readProgramLog(user.home()), "INFO"), successfulRunInfoLines());
}

}  // namespace
