// The privileged path tried as another program of the user would: the real uninstaller, the
// real shell and sudo, with an ordinary user made for the test. Whatever the user can write
// (the install folder, launchctl's records, the folders of the home, HOME itself) must never
// make root run the user's programs, signal other processes or remove anything outside the
// user's own items; and a removal that left something behind is never reported as done.

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "PrivatePidNamespace.h"
#include "ProcessIdentity.h"
#include "TemporaryHome.h"
#include "support/InstalledTree.h"
#include "support/TemporaryUser.h"
#include "support/Uninstaller.h"

namespace {

namespace fs = std::filesystem;
using namespace pellin::test;

constexpr const char* kAgentLabel = "jp.brenvik.mac.Pellin";

#define PELLIN_NEEDS_USERS()                                                                 \
    do {                                                                                     \
        if (!TemporaryUser::possibleHere()) {                                                \
            GTEST_SKIP() << "making a user with sudo needs root, useradd, userdel and sudo"; \
        }                                                                                    \
    } while (false)

// Gives `path` and everything below it to `user`, links themselves included.
void giveTo(const fs::path& path, const RunAs& user) {
    ASSERT_EQ(lchown(path.c_str(), user.uid, user.gid), 0) << path;
    if (fs::is_directory(fs::symlink_status(path))) {
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(path)) {
            ASSERT_EQ(lchown(entry.path().c_str(), user.uid, user.gid), 0) << entry.path();
        }
    }
}

// The programs as installed, in a prefix every user can read: the build tree may lie in a folder
// that other users cannot enter.
const InstalledTree& installed() {
    static const InstalledTree tree;
    return tree;
}

// The uninstaller for `home`, run as `user` from the installed programs.
SessionOptions asUser(const TemporaryUser& user, const fs::path& home) {
    SessionOptions options = uninstallerSession(home, {}, true, user.runAs());
    options.arguments = {installed().program().string()};
    return options;
}

// A copy of the installed programs in the user's own ~/.local, as README suggests installing it.
fs::path installProgramForUser(const TemporaryUser& user) {
    const fs::path prefix = user.home() / ".local";
    fs::copy(installed().prefix(), prefix, fs::copy_options::recursive);
    giveTo(prefix, user.runAs());
    return prefix / "bin/PellinUninstaller";
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

// A record in the user's launchctl state folder that names `pid` as the product's agent, with
// every field that can be read about that process, as the strongest forger would write it.
void forgeAgentRecord(const TemporaryUser& user, pid_t pid) {
    const fs::path state = user.home() / ".local/state/pellin-launchctl";
    fs::create_directories(state);
    std::ofstream(state / (std::string(kAgentLabel) + ".agent"))
        << "pid=" << pid << "\nstart=" << processStartTime(pid)
        << "\nexe=" << processExecutable(pid)
        << "\nplist=" << ProductPaths(user.home()).launchAgent.string() << "\n";
    giveTo(user.home() / ".local", user.runAs());
}

// --- Root never runs what the user can write --------------------------------------------------

TEST(PrivilegedPathEndToEndTest, APlantedSudoBesideAUserInstalledProgramNeverRunsAsRoot) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    PELLIN_NEEDS_USERS();
    const ExclusiveRun exclusive;
    TemporaryUser user;
    ASSERT_TRUE(user.ready());
    ASSERT_TRUE(installTrialProduct(user.home(), user.runAs()));
    const fs::path program = installProgramForUser(user);
    // Only root can write beside the home: a line there was written by a planted program as root.
    const fs::path marker = user.besideHome() / "planted-program-ran";
    for (const char* name : {"sudo", "rm", "stat"}) {
        plant(program.parent_path(), name, marker);
    }
    giveTo(program.parent_path(), user.runAs());

    SessionOptions options = asUser(user, user.home());
    options.arguments = {program.string()};
    ProgramSession session(std::move(options));
    EXPECT_TRUE(exitedWith(answerDialogs(session), 0)) << session.shown();

    EXPECT_FALSE(fs::exists(marker)) << readFile(marker);
    EXPECT_EQ(ProductPaths(user.home()).remaining(), std::vector<fs::path>{});
}

// --- launchctl signals only the agent it started ---------------------------------------------

TEST(PrivilegedPathEndToEndTest, AForgedAgentRecordKillsNothingEvenWhenRootUnloads) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    PELLIN_NEEDS_USERS();
    const ExclusiveRun exclusive;
    TemporaryUser user;
    ASSERT_TRUE(user.ready());
    // Another account's process that leads a process group of its own (setsid), and pid 1,
    // whose group -1 would be every process.
    ProgramSession bystander({{"/bin/sleep", "3600"}, {}, false});
    for (const pid_t forged : {pid_t{1}, bystander.pid()}) {
        ASSERT_TRUE(installTrialProduct(user.home(), user.runAs()));
        forgeAgentRecord(user, forged);

        // Root with the user's HOME, as "sudo -E" runs it.
        ProgramSession session(uninstallerSession(user.home()));
        EXPECT_TRUE(exitedWith(answerDialogs(session), 0)) << forged << "\n" << session.shown();
        EXPECT_TRUE(processIsLive(bystander.pid())) << forged;
    }
}

// --- The removal stays in the invoking user's own home ----------------------------------------

TEST(PrivilegedPathEndToEndTest, ALinkedLibraryOrAnotherAccountsHomeRemovesNothing) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    PELLIN_NEEDS_USERS();
    const ExclusiveRun exclusive;
    TemporaryUser user;
    TemporaryUser other("victim");
    ASSERT_TRUE(user.ready() && other.ready());
    ASSERT_TRUE(installTrialProduct(other.home(), other.runAs()));
    const ProductPaths others(other.home());
    const std::vector<fs::path> othersItems = others.remaining();
    ASSERT_EQ(othersItems.size(), 4U);

    struct Way {
        const char* name;
        bool linkLibrary;  // ~/Library -> the other account's Library
        bool othersHome;   // HOME names the other account's home
    };
    for (const Way way :
         {Way{"a linked ~/Library", true, false}, Way{"HOME of another account", false, true}}) {
        ASSERT_TRUE(installTrialProduct(user.home(), user.runAs()));
        if (way.linkLibrary) {
            fs::remove_all(user.home() / "Library");
            fs::create_directory_symlink(other.home() / "Library", user.home() / "Library");
            giveTo(user.home() / "Library", user.runAs());
        }
        const fs::path home = way.othersHome ? other.home() : user.home();
        ProgramSession session(asUser(user, home));
        EXPECT_TRUE(exitedWith(answerDialogs(session), kExitRemovalFailed)) << way.name << "\n"
                                                                            << session.shown();

        EXPECT_EQ(others.remaining(), othersItems) << way.name;
        EXPECT_TRUE(fs::exists(ProductPaths(user.home()).launcher)) << way.name;
        if (way.linkLibrary) {
            fs::remove(user.home() / "Library");
        }
    }
}

// --- A completed uninstall leaves nothing loaded ----------------------------------------------

TEST(PrivilegedPathEndToEndTest, AfterAnUninstallLaunchctlListsNoAgentAndItsProcessIsGone) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    const ExclusiveRun exclusive;
    TemporaryHome home;
    const std::vector<std::string> environment = userEnvironment(home.path().string());
    const std::string launchctl = (buildDirectory() / "bin/launchctl").string();
    const Finished trial =
        runQuietly({"/bin/bash", (scriptsDirectory() / "install-trial-product.sh").string(),
                    "--launchctl", launchctl},
                   environment);
    ASSERT_TRUE(exitedWith(trial.status, 0)) << trial.output;
    const Finished loaded = runQuietly({launchctl, "list"}, environment);
    const std::size_t line = loaded.output.find(std::string("\t-\t") + kAgentLabel);
    ASSERT_NE(line, std::string::npos) << loaded.output;
    const pid_t agent = std::stoi(loaded.output.substr(loaded.output.rfind('\n', line) + 1));

    ProgramSession session(uninstallerSession(home.path()));
    EXPECT_TRUE(exitedWith(answerDialogs(session), 0)) << session.shown();

    const Finished after = runQuietly({launchctl, "list"}, environment);
    EXPECT_EQ(after.output.find(kAgentLabel), std::string::npos) << after.output;
    EXPECT_FALSE(processIsLive(agent));
}

// --- An ordinary user's removal goes through sudo and stays in their home ---------------------

TEST(PrivilegedPathEndToEndTest, AnOrdinaryUsersRemovalGoesThroughSudoAndStaysInTheirHome) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    PELLIN_NEEDS_USERS();
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
    FakeProcess resident = FakeProcess::start(product.residentProgram, user.runAs());
    nextClockTick();
    FakeProcess secondResident = FakeProcess::start(product.residentProgram, user.runAs());
    FakeProcess updater = FakeProcess::start(product.updaterProgram, user.runAs());
    // Root's own instance is not the user's application.
    FakeProcess rootsResident = FakeProcess::start(
        createFakeBundle(rootsTestHome.path() / "Apps", "Pellin", "com.brenvik.mac.Pellin"));

    ProgramSession session(asUser(user, user.home()));
    EXPECT_TRUE(exitedWith(answerDialogs(session), 0)) << session.shown();
    EXPECT_EQ(product.remaining(), std::vector<fs::path>{});
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_TRUE(resident.diedOfKill());
    EXPECT_TRUE(updater.diedOfKill());
    EXPECT_TRUE(secondResident.survives());
    EXPECT_TRUE(rootsResident.survives());
    EXPECT_EQ(rootsProduct.remaining(), rootsItemsBefore);
}

}  // namespace
