// The uninstaller run by an ordinary user, whose removal must gain administrator rights through
// sudo: a user made for the test, with password-less sudo for as long as it lives.

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "PrivatePidNamespace.h"
#include "TemporaryHome.h"
#include "support/Dialogs.h"
#include "support/ExclusiveRun.h"
#include "support/FakeApplication.h"
#include "support/InstalledProduct.h"
#include "support/ProgramLog.h"
#include "support/ProgramSession.h"
#include "support/TemporaryUser.h"
#include "support/Uninstaller.h"

namespace {

namespace fs = std::filesystem;
using namespace pellin::test;

TEST(UserEndToEndTest, AnOrdinaryUsersRemovalGoesThroughSudoAndStaysInTheirHome) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    if (!TemporaryUser::possibleHere()) {
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
