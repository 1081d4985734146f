// The application loop ends its process, so these tests run it in the probe program.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Subprocess.h"
#include "TemporaryHome.h"
#include "support/FakeApplication.h"
#include "support/FakeDisplay.h"

namespace {

namespace fs = std::filesystem;
using namespace pellin::test;

// Runs the probe with HOME, PATH and `extra` only; as `user` when given, from a copy of the probe
// and its libraries beside the home, which the user can read wherever the build tree lies.
Finished runProbe(const fs::path& home, const std::vector<std::string>& arguments,
                  std::vector<std::string> extra = {}, std::optional<RunAs> user = {}) {
    fs::path program = buildDirectory() / "bin/AppKitProbe";
    if (user) {
        program = copyWithLibraries("AppKitProbe", home.parent_path() / "probe");
        extra.push_back("LD_LIBRARY_PATH=" + program.parent_path().string());
    }
    std::vector<std::string> environment = {"HOME=" + home.string(), "PATH=/usr/bin:/bin"};
    environment.insert(environment.end(), extra.begin(), extra.end());
    std::vector<std::string> words = {program.string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    Subprocess probe({words, environment, false, user, false, {}});
    const int status = probe.finish();
    return {status, probe.shown()};
}

// The delegate hears of the finished launch exactly once, under either loop; terminating ends
// the process at once and successfully, after every log line still queued has been written.
TEST(ApplicationTest, TheDelegateIsToldOnceAndTerminateEndsTheProcessWritingEveryLine) {
    const FakeXDisplay stale(FakeXDisplay::Behaviour::Stale);
    ASSERT_TRUE(stale.available());
    const std::string plain =
        "launched NSApplicationDidFinishLaunchingNotification count=1 graphical=no\n";
    const std::string qt =
        "launched NSApplicationDidFinishLaunchingNotification count=1 graphical=yes\n";
    struct Row {
        std::vector<std::string> arguments;
        std::vector<std::string> environment;
        int status;
        std::string output;
        std::size_t loggedLines = 0;
    };
    const std::vector<Row> rows = {
        {{"launch", "return"}, {}, 0, plain + "loop returned 0\n"},
        {{"launch", "terminate"}, {"QT_QPA_PLATFORM=offscreen"}, 0, qt},
        // A stale display falls back to the plain loop instead of aborting.
        {{"launch", "return"}, {stale.environmentEntry()}, 0, plain + "loop returned 0\n"},
        {{"no-delegate"}, {}, 1, "loop returned 1\n"},
        {{"launch", "terminate", "400"}, {}, 0, plain, 400},
        {{"launch", "terminate", "400"}, {"QT_QPA_PLATFORM=offscreen"}, 0, qt, 400},
    };
    for (const Row& row : rows) {
        const TemporaryHome home;
        const Finished run = runProbe(home.path(), row.arguments, row.environment);
        EXPECT_TRUE(exitedWith(run.status, row.status)) << run.output;
        EXPECT_EQ(run.output, row.output);
        const std::string log = readFile(home.path() / "probe.log");
        EXPECT_EQ(static_cast<std::size_t>(std::count(log.begin(), log.end(), '\n')),
                  row.loggedLines);
    }
}

// As root, and as an ordinary user, whose launch takes every program file it can read for one of
// its own (and skips reading who runs it).
TEST(ApplicationTest, AnApplicationRunningAtLaunchIsFoundAfterTheDelegateRemovedItsBundle) {
    const std::string identifier = "com.test." + std::to_string(getpid()) + ".Pellin";
    for (const std::optional<RunAs> user :
         {std::optional<RunAs>(), std::optional(RunAs{65534, 65534})}) {
        if (user && geteuid() != 0) {
            continue;  // only root can start programs as another user
        }
        const TemporaryHome home;
        const fs::path apps = home.path() / "Library/Pellin";
        const fs::path resident = createFakeBundle(apps, "Pellin", identifier);
        const fs::path updater = createFakeBundle(apps, "Updater", identifier, ProgramKind::Script);
        if (user) {
            fs::permissions(home.parent(), fs::perms::owner_all | fs::perms::others_exec);
            for (const fs::directory_entry& entry : fs::recursive_directory_iterator(home.path())) {
                ASSERT_EQ(lchown(entry.path().c_str(), user->uid, user->gid), 0);
            }
            ASSERT_EQ(lchown(home.path().c_str(), user->uid, user->gid), 0);
        }
        FakeProcess residentProcess = FakeProcess::start(resident, user);
        FakeProcess updaterProcess = FakeProcess::start(updater, user);

        const Finished run =
            runProbe(home.path(), {"remembers", apps.string(), identifier}, {}, user);

        EXPECT_TRUE(exitedWith(run.status, 0)) << run.output;
        EXPECT_FALSE(fs::exists(apps));
        EXPECT_EQ(run.output, "found " + std::to_string(residentProcess.pid()) + " " +
                                  std::to_string(updaterProcess.pid()) + "\n");
    }
}

}  // namespace
