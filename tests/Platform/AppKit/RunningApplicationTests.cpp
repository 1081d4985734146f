#include <PellinAppKit/RunningApplication.h>

#include <gtest/gtest.h>
#include <plist/plist.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>

#include "PrivatePidNamespace.h"
#include "TemporaryHome.h"
#include "support/FakeApplication.h"

namespace {

namespace fs = std::filesystem;

// Bundle identifiers of this test process alone: tests run side by side (ctest -j), and a lookup
// sees every process of the user.
std::string id(std::string_view name) {
    return "com.test." + std::to_string(getpid()) + "." + std::string(name);
}

std::string upperCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

using appkit::RunningApplication;
using pellin::test::createFakeBundle;
using pellin::test::FakeProcess;
using pellin::test::ProgramKind;

std::vector<pid_t> pidsOf(const std::vector<RunningApplication>& applications) {
    std::vector<pid_t> pids;
    for (const RunningApplication& application : applications) {
        pids.push_back(application.processIdentifier());
    }
    return pids;
}

std::vector<pid_t> running(const std::string& identifier) {
    return pidsOf(RunningApplication::runningApplicationsWithBundleIdentifier(identifier));
}

bool contains(const std::vector<pid_t>& pids, pid_t pid) {
    return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

// Start times count in clock ticks; waiting a little more than one keeps two starts apart.
void nextClockTick() {
    std::this_thread::sleep_for(std::chrono::milliseconds(1000 / sysconf(_SC_CLK_TCK) + 15));
}

class RunningApplicationTest : public ::testing::Test {
  protected:
    pellin::test::TemporaryHome home{"home with blanks & 'quotes'"};
    fs::path apps = home.path() / "Apps";
};

// --- An application is found by what its bundle says, whatever the program is ---------------

TEST_F(RunningApplicationTest, ABinaryInABundleIsFoundWithItsBundleAndProgram) {
    const fs::path program = createFakeBundle(apps, "Pellin", id("Pellin"));
    FakeProcess process = FakeProcess::start(program);

    const auto found = RunningApplication::runningApplicationsWithBundleIdentifier(id("Pellin"));
    ASSERT_EQ(found.size(), 1U);
    EXPECT_EQ(found[0].processIdentifier(), process.pid());
    EXPECT_EQ(found[0].bundleIdentifier(), id("Pellin"));
    EXPECT_EQ(found[0].bundleURL(), (apps / "Pellin.app").string());
    EXPECT_EQ(found[0].executableURL(), program.string());
    EXPECT_FALSE(found[0].isTerminated());
}

TEST_F(RunningApplicationTest, AScriptInABundleIsFoundThoughItsInterpreterRuns) {
    const fs::path script = createFakeBundle(apps, "Updater", id("Updater"), ProgramKind::Script);
    FakeProcess process = FakeProcess::start(script);

    const auto found = RunningApplication::runningApplicationsWithBundleIdentifier(id("Updater"));
    ASSERT_EQ(found.size(), 1U);
    EXPECT_EQ(found[0].processIdentifier(), process.pid());
    EXPECT_EQ(found[0].executableURL(), script.string());
}

TEST_F(RunningApplicationTest, AScriptNamedRelativeToTheWorkingFolderIsFound) {
    const fs::path script = createFakeBundle(apps, "Relative", id("Relative"), ProgramKind::Script);
    FakeProcess process({"/bin/sh", "Relative.app/Contents/MacOS/Relative"}, std::nullopt, apps);

    EXPECT_EQ(running(id("Relative")), std::vector<pid_t>{process.pid()});
}

TEST_F(RunningApplicationTest, AnInterpreterOptionBeforeTheScriptDoesNotHideIt) {
    const fs::path script = createFakeBundle(apps, "Options", id("Options"), ProgramKind::Script);
    FakeProcess process({"/bin/sh", "-e", script.string()});

    EXPECT_EQ(running(id("Options")), std::vector<pid_t>{process.pid()});
}

TEST_F(RunningApplicationTest, ABinaryPropertyListIsReadLikeAnXmlOne) {
    const fs::path program = createFakeBundle(apps, "Binary", id("Binary"));
    plist_t root = plist_new_dict();
    plist_dict_set_item(root, "CFBundleIdentifier", plist_new_string(id("Binary").c_str()));
    char* data = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &data, &length);
    plist_free(root);
    ASSERT_NE(data, nullptr);
    std::ofstream(apps / "Binary.app/Contents/Info.plist", std::ios::binary)
        .write(data, static_cast<std::streamsize>(length));
    std::free(data);
    FakeProcess process = FakeProcess::start(program);

    EXPECT_EQ(running(id("Binary")), std::vector<pid_t>{process.pid()});
}

TEST_F(RunningApplicationTest, AnApplicationInsideAnotherIsTheInnerOne) {
    const fs::path outer = apps / "Outer.app";
    pellin::test::writeInfoPlist(outer, id("Outer"));
    const fs::path helper = createFakeBundle(outer / "Contents/Library", "Helper", id("Helper"));
    FakeProcess process = FakeProcess::start(helper);

    EXPECT_EQ(running(id("Helper")), std::vector<pid_t>{process.pid()});
    EXPECT_TRUE(running(id("Outer")).empty());
}

// --- Nothing that is not an application of the identifier is listed -------------------------

TEST_F(RunningApplicationTest, AnotherIdentifierOrAPrefixOfItIsNotAMatch) {
    FakeProcess process = FakeProcess::start(createFakeBundle(apps, "Pellin", id("Pellin")));

    EXPECT_TRUE(running(id("Pellin") + ".BRENVIKUPDATE").empty());
    EXPECT_TRUE(running(id("Pellin").substr(0, id("Pellin").size() - 1)).empty());
    EXPECT_TRUE(running(upperCase(id("Pellin"))).empty());
    EXPECT_TRUE(running("").empty());
    EXPECT_EQ(running(id("Pellin")), std::vector<pid_t>{process.pid()});
}

TEST_F(RunningApplicationTest, ABundleWithoutAUsableIdentifierIsNoApplication) {
    const fs::path noPlist = createFakeBundle(apps, "NoPlist", id("Broken"));
    fs::remove(apps / "NoPlist.app/Contents/Info.plist");
    const fs::path garbage = createFakeBundle(apps, "Garbage", id("Broken"));
    std::ofstream(apps / "Garbage.app/Contents/Info.plist") << "<plist><dict><key>";
    const fs::path number = createFakeBundle(apps, "Number", id("Broken"));
    std::ofstream(apps / "Number.app/Contents/Info.plist")
        << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleIdentifier</key>"
           "<integer>7</integer></dict></plist>";
    FakeProcess a = FakeProcess::start(noPlist);
    FakeProcess b = FakeProcess::start(garbage);
    FakeProcess c = FakeProcess::start(number);

    const auto all = pidsOf(RunningApplication::runningApplications());
    EXPECT_FALSE(contains(all, a.pid()));
    EXPECT_FALSE(contains(all, b.pid()));
    EXPECT_FALSE(contains(all, c.pid()));
}

TEST_F(RunningApplicationTest, AFolderNamedLikeABundleButWithoutContentsIsNoApplication) {
    const fs::path folder = apps / "Loose.app";
    pellin::test::writeInfoPlist(folder, id("Loose"));
    fs::copy_file("/bin/sleep", folder / "Loose");
    FakeProcess process({(folder / "Loose").string(), "3600"});

    EXPECT_TRUE(running(id("Loose")).empty());
}

TEST_F(RunningApplicationTest, AToolThatOnlyReadsABundlesFilesIsNotTheApplication) {
    const fs::path program = createFakeBundle(apps, "Pellin", id("Pellin"));
    const fs::path script = createFakeBundle(apps, "Script", id("Pellin"), ProgramKind::Script);
    fs::create_directories(apps / "Pellin.app/Contents/Resources");
    std::ofstream(apps / "Pellin.app/Contents/Resources/notes.txt") << "notes\n";
    FakeProcess readsResource(
        {"/usr/bin/tail", "-f", (apps / "Pellin.app/Contents/Resources/notes.txt").string()});
    FakeProcess readsBinary({"/usr/bin/tail", "-f", program.string()});
    // An editor on the script, as a pager or tail is: the program that runs is not the
    // interpreter its "#!" line names.
    FakeProcess readsScript({"/usr/bin/tail", "-f", script.string()});
    // The interpreter itself, but handed the script as data rather than as its script.
    FakeProcess runsOtherCode(
        {"/bin/sh", "-c", "while :; do read -r line <\"$0.fifo\"; done", script.string()});

    EXPECT_TRUE(running(id("Pellin")).empty());
}

TEST_F(RunningApplicationTest, OnlyTheExecutableTheBundleNamesIsTheApplication) {
    const fs::path bundle = apps / "Named.app";
    pellin::test::writeInfoPlist(bundle, id("Named"), "Real");
    std::vector<FakeProcess> others;
    for (const char* other : {"MacOS/Named", "MacOS/helper", "Resources/tool"}) {
        fs::create_directories((bundle / "Contents" / other).parent_path());
        fs::copy_file("/bin/sleep", bundle / "Contents" / other);
        others.push_back(FakeProcess::start(bundle / "Contents" / other));
    }
    fs::copy_file("/bin/sleep", bundle / "Contents/MacOS/Real");
    FakeProcess real = FakeProcess::start(bundle / "Contents/MacOS/Real");

    EXPECT_EQ(running(id("Named")), std::vector<pid_t>{real.pid()});
}

TEST_F(RunningApplicationTest, AProcessOutsideAnyBundleIsNoApplication) {
    FakeProcess process({"/bin/sleep", "3600"});

    EXPECT_FALSE(contains(pidsOf(RunningApplication::runningApplications()), process.pid()));
}

TEST_F(RunningApplicationTest, AnotherUsersApplicationIsNeitherListedNorKilled) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "starting a process as another user needs root";
    }
    const passwd* nobody = getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    // The other user must be able to reach the program.
    const fs::path shared =
        fs::temp_directory_path() / ("pellin-other-user-" + std::to_string(getpid()));
    fs::create_directories(shared);
    fs::permissions(shared, fs::perms::all);
    const fs::path program = createFakeBundle(shared, "Pellin", id("Pellin"));
    {
        FakeProcess theirs =
            FakeProcess::start(program, pellin::test::RunAs{nobody->pw_uid, nobody->pw_gid});
        ASSERT_GT(theirs.pid(), 0);

        EXPECT_TRUE(running(id("Pellin")).empty());
        EXPECT_TRUE(theirs.survives());
    }
    std::error_code ignored;
    fs::remove_all(shared, ignored);
}

TEST_F(RunningApplicationTest, AnEndedProcessThatIsNotYetReapedIsNoLongerListed) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    FakeProcess process = FakeProcess::start(createFakeBundle(apps, "Pellin", id("Pellin")));
    const auto found = RunningApplication::runningApplicationsWithBundleIdentifier(id("Pellin"));
    ASSERT_EQ(found.size(), 1U);
    kill(process.pid(), SIGKILL);
    // Not reaped yet: the process is a zombie until the test waits for it.
    while (!found[0].isTerminated()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    EXPECT_TRUE(running(id("Pellin")).empty());
}

// --- The order is the order of launch ---------------------------------------------------------

TEST_F(RunningApplicationTest, ApplicationsAreListedEarliestLaunchFirst) {
    const fs::path program = createFakeBundle(apps, "Pellin", id("Pellin"));
    const fs::path script = createFakeBundle(apps, "Script", id("Pellin"), ProgramKind::Script);
    FakeProcess first = FakeProcess::start(program);
    nextClockTick();
    FakeProcess second = FakeProcess::start(script);
    nextClockTick();
    FakeProcess third = FakeProcess::start(program);

    const auto found = RunningApplication::runningApplicationsWithBundleIdentifier(id("Pellin"));
    EXPECT_EQ(pidsOf(found), (std::vector<pid_t>{first.pid(), second.pid(), third.pid()}));
    ASSERT_EQ(found.size(), 3U);
    EXPECT_LT(found[0].launchTime(), found[1].launchTime());
    EXPECT_LT(found[1].launchTime(), found[2].launchTime());
}

// --- A removed bundle's application is still found when it was seen before -------------------

TEST_F(RunningApplicationTest, AnApplicationSeenBeforeItsBundleWasRemovedIsStillFound) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    const fs::path binary = createFakeBundle(apps, "Pellin", id("Pellin"));
    const fs::path script = createFakeBundle(apps, "Updater", id("Updater"), ProgramKind::Script);
    FakeProcess resident = FakeProcess::start(binary);
    FakeProcess updater = FakeProcess::start(script);
    RunningApplication::rememberRunningApplications();

    fs::remove_all(apps);

    const auto found = RunningApplication::runningApplicationsWithBundleIdentifier(id("Pellin"));
    ASSERT_EQ(pidsOf(found), std::vector<pid_t>{resident.pid()});
    EXPECT_EQ(found[0].bundleURL(), (apps / "Pellin.app").string());
    EXPECT_EQ(running(id("Updater")), std::vector<pid_t>{updater.pid()});
    EXPECT_TRUE(found[0].forceTerminate());
    EXPECT_TRUE(resident.diedOfKill());
}

TEST_F(RunningApplicationTest, AnApplicationStartedAfterLaunchIsFoundOnceItsBundleIsGone) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    const fs::path binary = createFakeBundle(apps, "Pellin", id("Pellin"));
    const fs::path script = createFakeBundle(apps, "Updater", id("Updater"), ProgramKind::Script);
    // At launch nothing of them runs; only their bundles are known.
    RunningApplication::rememberBundlesInFolder(apps.string());
    FakeProcess resident = FakeProcess::start(binary);
    FakeProcess updater = FakeProcess::start(script);

    fs::remove_all(apps);

    const auto residents =
        RunningApplication::runningApplicationsWithBundleIdentifier(id("Pellin"));
    const auto updaters =
        RunningApplication::runningApplicationsWithBundleIdentifier(id("Updater"));
    ASSERT_EQ(pidsOf(residents), std::vector<pid_t>{resident.pid()});
    ASSERT_EQ(pidsOf(updaters), std::vector<pid_t>{updater.pid()});
    EXPECT_TRUE(residents[0].forceTerminate());
    EXPECT_TRUE(updaters[0].forceTerminate());
    EXPECT_TRUE(resident.diedOfKill());
    EXPECT_TRUE(updater.diedOfKill());
}

TEST_F(RunningApplicationTest, AnApplicationNotSeenBeforeItsBundleWasRemovedCannotBeFound) {
    FakeProcess resident = FakeProcess::start(createFakeBundle(apps, "Pellin", id("Pellin")));

    fs::remove_all(apps);

    EXPECT_TRUE(running(id("Pellin")).empty());
}

TEST_F(RunningApplicationTest, AnApplicationStartedAfterTheSnapshotIsFoundFromItsFiles) {
    const fs::path program = createFakeBundle(apps, "Pellin", id("Pellin"));
    RunningApplication::rememberRunningApplications();
    FakeProcess late = FakeProcess::start(program);

    EXPECT_EQ(running(id("Pellin")), std::vector<pid_t>{late.pid()});
}

// --- Force-quitting ends exactly the one process ----------------------------------------------

TEST_F(RunningApplicationTest, ForceTerminateKillsTheOneApplicationAndNoOther) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    const fs::path program = createFakeBundle(apps, "Pellin", id("Pellin"));
    FakeProcess first = FakeProcess::start(program);
    nextClockTick();
    FakeProcess second = FakeProcess::start(program);

    const auto found = RunningApplication::runningApplicationsWithBundleIdentifier(id("Pellin"));
    ASSERT_EQ(pidsOf(found), (std::vector<pid_t>{first.pid(), second.pid()}));
    EXPECT_TRUE(found.front().forceTerminate());

    EXPECT_TRUE(first.diedOfKill());
    EXPECT_TRUE(second.survives());
    EXPECT_TRUE(found.front().isTerminated());
    EXPECT_FALSE(found.back().isTerminated());
}

TEST_F(RunningApplicationTest, AProcessThatHasEndedIsNotKilledAgain) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    FakeProcess process = FakeProcess::start(createFakeBundle(apps, "Pellin", id("Pellin")));
    const auto found = RunningApplication::runningApplicationsWithBundleIdentifier(id("Pellin"));
    ASSERT_EQ(found.size(), 1U);
    kill(process.pid(), SIGKILL);
    ASSERT_TRUE(process.diedOfKill());

    EXPECT_TRUE(found[0].isTerminated());
    EXPECT_FALSE(found[0].forceTerminate());
}

TEST_F(RunningApplicationTest, AProcessThatReplacedItsProgramIsStillTheSameApplication) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    // exec keeps the pid and the start time: it is the process that was listed, and killing it
    // is right.
    int input[2];
    ASSERT_EQ(pipe(input), 0);
    const fs::path script = apps / "Exec.app/Contents/MacOS/Exec";
    pellin::test::writeInfoPlist(apps / "Exec.app", id("Exec"));
    fs::create_directories(script.parent_path());
    // The script waits on the pipe's read end, which it inherits, so that it is listed before
    // it replaces itself.
    std::ofstream(script) << "#!/bin/sh\nread line <&" << input[0] << "\nexec /bin/sleep 3600\n";
    fs::permissions(script, fs::perms::owner_all);
    FakeProcess process({script.string()});
    close(input[0]);
    const auto found = RunningApplication::runningApplicationsWithBundleIdentifier(id("Exec"));
    ASSERT_EQ(pidsOf(found), std::vector<pid_t>{process.pid()});
    ASSERT_EQ(write(input[1], "\n", 1), 1);
    close(input[1]);
    const fs::path exe = "/proc/" + std::to_string(process.pid()) + "/exe";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::error_code error;
    while (fs::read_symlink(exe, error).filename() != "sleep" &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    EXPECT_TRUE(found[0].forceTerminate());
    EXPECT_TRUE(process.diedOfKill());
}

}  // namespace
