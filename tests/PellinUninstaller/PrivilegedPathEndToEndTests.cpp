// The real uninstaller, shell and sudo, for an ordinary user made for the test: what the user can
// write (the folder of their own copy of the program) never makes root run the user's programs.

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "PrivatePidNamespace.h"
#include "TemporaryHome.h"
#include "support/InstalledTree.h"
#include "support/TemporaryUser.h"
#include "support/Uninstaller.h"

namespace {

namespace fs = std::filesystem;
using namespace pellin::test;

// Gives `path` and everything below it to `user`, links themselves included.
void giveTo(const fs::path& path, const RunAs& user) {
    ASSERT_EQ(lchown(path.c_str(), user.uid, user.gid), 0) << path;
    if (fs::is_directory(fs::symlink_status(path))) {
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(path)) {
            ASSERT_EQ(lchown(entry.path().c_str(), user.uid, user.gid), 0) << entry.path();
        }
    }
}

// A program named `name` in `folder` that leaves `marker` behind and then does what the real
// one does.
void plant(const fs::path& folder, const std::string& name, const fs::path& marker) {
    const fs::path program = folder / name;
    std::ofstream(program) << "#!/bin/sh\necho \"$(id -u)\" >>'" << marker.string()
                           << "'\nexec /usr/bin/" << name << " \"$@\"\n";
    fs::permissions(program, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
}

TEST(PrivilegedPathEndToEndTest, AnOrdinaryUsersRemovalGoesThroughSudoAndRunsNothingOfTheirs) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    if (!TemporaryUser::possibleHere()) {
        GTEST_SKIP() << "making a user with sudo needs root, useradd, userdel and sudo";
    }
    const ExclusiveRun exclusive;
    const TemporaryHome rootsTestHome;
    TemporaryUser user;
    ASSERT_TRUE(user.ready());
    const passwd* root = getpwuid(0);
    ASSERT_NE(root, nullptr);
    // What must not change in root's own home.
    const ProductPaths rootsProduct(root->pw_dir);
    const std::vector<fs::path> rootsItemsBefore = rootsProduct.remaining();
    ASSERT_TRUE(installTrialProduct(user.home(), user.runAs()));
    const ProductPaths product(user.home());
    // Only administrator rights can remove a launcher that root owns: its removal proves that
    // the elevation happened, and with the user's home.
    giveTo(product.launcher, RunAs{0, 0});
    const fs::path outside = user.besideHome() / "outside.txt";
    std::ofstream(outside) << "keep\n";

    // The installed programs copied to the user's own ~/.local, as README suggests, with
    // programs of the user's beside it. Only root can write beside the home: a line there was
    // written by a planted program as root.
    const InstalledTree installed;
    ASSERT_TRUE(installed.installed()) << installed.output();
    fs::copy(installed.prefix(), user.home() / ".local", fs::copy_options::recursive);
    const fs::path program = user.home() / ".local/bin/PellinUninstaller";
    const fs::path marker = user.besideHome() / "planted-program-ran";
    for (const char* name : {"sudo", "rm", "stat"}) {
        plant(program.parent_path(), name, marker);
    }
    giveTo(user.home() / ".local", user.runAs());

    FakeProcess resident = FakeProcess::start(product.residentProgram, user.runAs());
    nextClockTick();
    FakeProcess secondResident = FakeProcess::start(product.residentProgram, user.runAs());
    FakeProcess updater = FakeProcess::start(product.updaterProgram, user.runAs());
    // Root's own instance is not the user's application.
    FakeProcess rootsResident = FakeProcess::start(
        createFakeBundle(rootsTestHome.path() / "Apps", "Pellin", "com.brenvik.mac.Pellin"));

    SessionOptions options = uninstallerSession(user.home(), {}, true, user.runAs());
    options.arguments = {program.string()};
    ProgramSession session(std::move(options));
    EXPECT_TRUE(exitedWith(answerDialogs(session), kExitUninstalled)) << session.shown();
    EXPECT_FALSE(fs::exists(marker)) << readFile(marker);
    EXPECT_EQ(product.remaining(), std::vector<fs::path>{});
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_TRUE(resident.diedOfKill());
    EXPECT_TRUE(updater.diedOfKill());
    EXPECT_TRUE(secondResident.survives());
    EXPECT_TRUE(rootsResident.survives());
    EXPECT_EQ(rootsProduct.remaining(), rootsItemsBefore);
}

}  // namespace
