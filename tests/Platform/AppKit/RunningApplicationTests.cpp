// Finding the product's running applications, and the application loop (in the probe program,
// as the loop ends its process).

#include <PellinAppKit/RunningApplication.h>

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ranges>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

#include "PrivatePidNamespace.h"
#include "TemporaryHome.h"
#include "support/FakeApplication.h"
#include "support/FakeDisplay.h"

namespace {

namespace fs = std::filesystem;
using appkit::RunningApplication;
using namespace pellin::test;

// Bundle identifiers of this test process alone: tests run side by side (ctest -j), and a lookup
// sees every process of the user.
std::string id(std::string_view name) {
    return "com.test." + std::to_string(getpid()) + "." + std::string(name);
}

std::vector<pid_t> pidsOf(const std::vector<RunningApplication>& applications) {
    const auto pids = applications | std::views::transform(&RunningApplication::processIdentifier);
    return {pids.begin(), pids.end()};
}

std::vector<pid_t> running(const std::string& identifier) {
    return pidsOf(RunningApplication::runningApplicationsWithBundleIdentifier(identifier));
}

// One scene of applications and look-alikes, each identifier asked for in turn: a process is an
// instance only when it runs the bundle's executable, or is the interpreter of its script. Then
// the bundles of their folder are remembered and removed: their instances are still listed (what
// was never seen, the inner application, is not), and force-quitting ends exactly the one process
// it was listed as: no other instance, nothing once it has ended (even before it is reaped), and
// the same one after it replaced its program. (What ran at launch: ApplicationTest.)
TEST(RunningApplicationTest, InstancesRunABundlesExecutableAndForceQuitEndsOnlyTheListedOne) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    const TemporaryHome home("home with blanks & 'quotes'");
    const fs::path apps = home.path() / "Apps";
    const fs::path pellin = createFakeBundle(apps, "Pellin", id("Pellin"));
    const fs::path script = createFakeBundle(apps, "Script", id("Pellin"), ProgramKind::Script);
    const fs::path updater = createFakeBundle(apps, "Updater", id("Updater"), ProgramKind::Script);
    std::vector<FakeProcess> lookAlikes;
    // Tools that only read a bundle's files, and the interpreter handed the script as data.
    lookAlikes.emplace_back(std::vector<std::string>{"/usr/bin/tail", "-f", pellin.string()});
    lookAlikes.emplace_back(std::vector<std::string>{"/usr/bin/tail", "-f", script.string()});
    lookAlikes.emplace_back(std::vector<std::string>{
        "/bin/sh", "-c", "while :; do read -r line <\"$0.fifo\"; done", script.string()});
    lookAlikes.push_back(FakeProcess({"/bin/sleep", "3600"}));
    // Bundles without a usable identifier, and a folder named like one but without Contents.
    for (const char* broken : {"", "<plist><dict><key>",
                               "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>"
                               "CFBundleIdentifier</key><integer>7</integer></dict></plist>"}) {
        const std::string name = "Broken" + std::to_string(lookAlikes.size());
        const fs::path program = createFakeBundle(apps, name, id("Broken"));
        fs::remove(apps / (name + ".app/Contents/Info.plist"));
        if (*broken != '\0') {
            std::ofstream(apps / (name + ".app/Contents/Info.plist")) << broken;
        }
        lookAlikes.push_back(FakeProcess::start(program));
    }
    writeInfoPlist(apps / "Loose.app", id("Loose"));
    fs::copy_file("/bin/sleep", apps / "Loose.app/Loose");
    lookAlikes.push_back(FakeProcess::start(apps / "Loose.app/Loose"));
    // Only the executable that CFBundleExecutable names is the application.
    writeInfoPlist(apps / "Named.app", id("Named"), "Real");
    for (const char* other : {"MacOS/Named", "MacOS/helper", "Resources/tool", "MacOS/Real"}) {
        fs::create_directories((apps / "Named.app/Contents" / other).parent_path());
        fs::copy_file("/bin/sleep", apps / "Named.app/Contents" / other);
        lookAlikes.push_back(FakeProcess::start(apps / "Named.app/Contents" / other));
    }
    // An application inside another is the inner one.
    writeInfoPlist(apps / "Outer.app", id("Outer"));
    const fs::path helper =
        createFakeBundle(apps / "Outer.app/Contents/Library", "Helper", id("Helper"));

    FakeProcess first = FakeProcess::start(pellin);
    nextClockTick();
    FakeProcess second = FakeProcess::start(script);
    nextClockTick();
    FakeProcess third = FakeProcess::start(pellin);
    FakeProcess plainScript = FakeProcess::start(updater);
    nextClockTick();
    FakeProcess withOption({"/bin/sh", "-e", updater.string()});
    nextClockTick();
    FakeProcess relative({"/bin/sh", "Updater.app/Contents/MacOS/Updater"}, std::nullopt, apps);
    FakeProcess inner = FakeProcess::start(helper);

    const auto found = RunningApplication::runningApplicationsWithBundleIdentifier(id("Pellin"));
    ASSERT_EQ(pidsOf(found), (std::vector<pid_t>{first.pid(), second.pid(), third.pid()}));
    EXPECT_LT(found[0].launchTime(), found[1].launchTime());
    EXPECT_EQ(found[0].bundleIdentifier(), id("Pellin"));
    EXPECT_EQ(found[0].bundleURL(), (apps / "Pellin.app").string());
    EXPECT_EQ(found[0].executableURL(), pellin.string());
    EXPECT_EQ(found[1].executableURL(), script.string());
    EXPECT_FALSE(found[0].isTerminated());
    EXPECT_EQ(running(id("Updater")),
              (std::vector<pid_t>{plainScript.pid(), withOption.pid(), relative.pid()}));
    EXPECT_EQ(running(id("Named")), std::vector<pid_t>{lookAlikes.back().pid()});
    EXPECT_EQ(running(id("Helper")), std::vector<pid_t>{inner.pid()});
    const std::string upper = "COM.TEST." + std::to_string(getpid()) + ".PELLIN";
    for (const std::string& none :
         {id("Outer"), id("Broken"), id("Loose"), id("Pellin") + ".X",
          id("Pellin").substr(0, id("Pellin").size() - 1), upper, std::string()}) {
        EXPECT_EQ(running(none), std::vector<pid_t>{}) << none;
    }
    const std::vector<pid_t> all = pidsOf(RunningApplication::runningApplications());
    for (std::size_t i = 0; i + 4 < lookAlikes.size(); ++i) {
        EXPECT_EQ(std::count(all.begin(), all.end(), lookAlikes[i].pid()), 0) << i;
    }

    RunningApplication::rememberBundlesInFolder(apps.string());
    fs::remove_all(apps);
    EXPECT_EQ(running(id("Helper")), std::vector<pid_t>{});
    const auto kept = RunningApplication::runningApplicationsWithBundleIdentifier(id("Pellin"));
    ASSERT_EQ(pidsOf(kept), pidsOf(found));
    EXPECT_EQ(kept[0].bundleURL(), (apps / "Pellin.app").string());
    EXPECT_EQ(kept[1].bundleURL(), (apps / "Script.app").string());
    EXPECT_TRUE(kept[1].forceTerminate());
    EXPECT_TRUE(second.diedOfKill());
    EXPECT_TRUE(first.survives() && third.survives());
    EXPECT_TRUE(kept[1].isTerminated());
    EXPECT_FALSE(kept[1].forceTerminate());
    kill(first.pid(), SIGKILL);
    // Not reaped yet: a zombie until the test waits for it.
    while (!kept[0].isTerminated()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(running(id("Pellin")), std::vector<pid_t>{third.pid()});

    // exec keeps the pid and the start time: it is the process that was listed.
    const fs::path execs = createFakeBundle(apps, "Exec", id("Exec"), ProgramKind::Script);
    std::ofstream(execs) << "#!/bin/sh\nread line <\"$0.fifo\"\nexec /bin/sleep 3600\n";
    FakeProcess process({execs.string()});
    const auto exec = RunningApplication::runningApplicationsWithBundleIdentifier(id("Exec"));
    ASSERT_EQ(pidsOf(exec), std::vector<pid_t>{process.pid()});
    std::ofstream(execs.string() + ".fifo") << "\n";
    const fs::path exe = "/proc/" + std::to_string(process.pid()) + "/exe";
    std::error_code error;
    for (int i = 0; i < 10000 && fs::read_symlink(exe, error).filename() != "sleep"; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(exec[0].forceTerminate());
    EXPECT_TRUE(process.diedOfKill());
}

// --- The application loop, in the probe ---------------------------------------------------------

// Runs the probe with HOME, PATH and `extra` only; as `user` when given, from a copy of the probe
// and its libraries beside the home, which the user can read wherever the build tree lies.
ProgramRun runProbe(const fs::path& home, std::vector<std::string> arguments,
                    std::vector<std::string> extra = {}, std::optional<RunAs> user = {}) {
    fs::path program = buildDirectory() / "bin/AppKitProbe";
    if (user) {
        program = copyWithLibraries("AppKitProbe", home.parent_path() / "probe");
        extra.push_back("LD_LIBRARY_PATH=" + program.parent_path().string());
    }
    extra.insert(extra.end(), {"HOME=" + home.string(), "PATH=/usr/bin:/bin"});
    arguments.insert(arguments.begin(), program.string());
    return runQuietly(arguments, extra, false, user);
}

// The delegate hears of the finished launch exactly once, under either loop; terminating ends
// the process at once and successfully, after every log line still queued has been written.
TEST(ApplicationTest, TheDelegateIsToldOnceAndTerminateEndsTheProcessWritingEveryLine) {
    const FakeXDisplay stale(FakeXDisplay::Behaviour::Stale);
    ASSERT_TRUE(stale.available());
    const std::string launched = "launched NSApplicationDidFinishLaunchingNotification count=1 ";
    const std::string plain = launched + "graphical=no\n";
    const std::string qt = launched + "graphical=yes\n";
    using Words = std::vector<std::string>;
    const std::vector<std::tuple<Words, Words, int, std::string, long>> rows = {
        {{"launch", "return"}, {}, 0, plain + "loop returned 0\n", 0},
        // A stale display falls back to the plain loop instead of aborting.
        {{"launch", "return"}, {stale.environmentEntry()}, 0, plain + "loop returned 0\n", 0},
        {{"no-delegate"}, {}, 1, "loop returned 1\n", 0},
        {{"launch", "terminate", "400"}, {}, 0, plain, 400},
        {{"launch", "terminate", "400"}, {"QT_QPA_PLATFORM=offscreen"}, 0, qt, 400},
    };
    for (const auto& [arguments, environment, status, output, loggedLines] : rows) {
        const TemporaryHome home;
        const ProgramRun run = runProbe(home.path(), arguments, environment);
        EXPECT_TRUE(exitedWith(run.status, status)) << run.output;
        EXPECT_EQ(run.output, output);
        const std::string log = readFile(home.path() / "probe.log");
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), loggedLines);
    }
}

// As root, and as an ordinary user, whose applications root does not list, and whose launch takes
// every program file it can read for one of its own (and skips reading who runs it).
TEST(ApplicationTest, AnApplicationRunningAtLaunchIsFoundAfterTheDelegateRemovedItsBundle) {
    for (const std::optional<RunAs> user :
         {std::optional<RunAs>(), std::optional(RunAs{65534, 65534})}) {
        if (user && geteuid() != 0) {
            continue;  // only root can start programs as another user
        }
        const TemporaryHome home;
        const fs::path apps = home.path() / "Library/Pellin";
        const fs::path resident = createFakeBundle(apps, "Pellin", id("Pellin"));
        const fs::path updater =
            createFakeBundle(apps, "Updater", id("Pellin"), ProgramKind::Script);
        if (user) {
            fs::permissions(home.parent(), fs::perms::owner_all | fs::perms::others_exec);
            ASSERT_TRUE(giveTo(home.path(), *user));
        }
        FakeProcess residentProcess = FakeProcess::start(resident, user);
        FakeProcess updaterProcess = FakeProcess::start(updater, user);
        if (user) {
            EXPECT_EQ(running(id("Pellin")), std::vector<pid_t>{});
        }

        const ProgramRun run =
            runProbe(home.path(), {"remembers", apps.string(), id("Pellin")}, {}, user);

        EXPECT_TRUE(exitedWith(run.status, 0)) << run.output;
        EXPECT_FALSE(fs::exists(apps));
        EXPECT_EQ(run.output, "found " + std::to_string(residentProcess.pid()) + " " +
                                  std::to_string(updaterProcess.pid()) + "\n");
    }
}

}  // namespace
