// What a shell with administrator rights removes: only inside the home of the user it acts
// for, reached from the home through that user's own folders and no link, whatever the user
// changes in the home meanwhile. Run for real as root, which acts for the home's owner.

#include <PellinAppleScript/AppleScript.h>
#include <PellinAppleScript/DoShellScriptExecutor.h>
#include <PellinAppleScript/Quoting.h>
#include <PellinAppleScript/ShellHost.h>

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

#include "TemporaryHome.h"

namespace {

namespace fs = std::filesystem;
using namespace applescript;

constexpr uid_t kNobody = 65534;

struct ShellRun {
    std::optional<std::string> result;
    foundation::Dictionary error;

    std::string message() const {
        const auto found = error.find(NSAppleScriptErrorMessage);
        return found == error.end() ? "" : *found->second.text();
    }
};

ShellRun runAsAdministrator(const std::string& shellText, const ShellHost& host) {
    ShellRun run;
    run.result = AppleScript("do shell script " + stringLiteral(shellText) +
                                 " with administrator privileges",
                             std::make_shared<DoShellScriptExecutor>(host))
                     .executeAndReturnError(&run.error);
    return run;
}

void touch(const fs::path& file) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "x";
}

class GuardedRemoval : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "runs the privileged shell directly, which needs root";
        }
        touch(outside_ / "Pellin/keep");
    }

    pellin::test::TemporaryHome home_{"user home"};
    fs::path outside_ = home_.parent() / "outside";
};

TEST_F(GuardedRemoval, OnlyWhatLiesInTheOwnersHomeReachedWithoutALinkIsRemoved) {
    const fs::path h = home_.path();
    struct Case {
        const char* name;
        std::function<void()> plant;
        std::string command;
        bool succeeds;
        fs::path removed;  // gone afterwards when the command succeeds
    };
    const std::string library = quotedForm((h / "Library/Pellin").string());
    const Case cases[] = {
        {"a plain folder", [&] { touch(h / "Library/Pellin/keep"); }, "sudo rm -rf " + library,
         true, h / "Library/Pellin"},
        {"the launch agent by ~", [&] { touch(h / "Library/LaunchAgents/a.plist"); },
         "sudo rm -f ~/'Library/LaunchAgents/a.plist'", true, h / "Library/LaunchAgents/a.plist"},
        {"~/Library a link to outside",
         [&] { fs::create_directory_symlink(outside_, h / "Library"); },
         "sudo rm -rf " + library,
         false,
         {}},
        {"~/Library a link inside the home",
         [&] {
             touch(h / "Documents/Pellin/keep");
             fs::create_directory_symlink(h / "Documents", h / "Library");
         },
         "rm -rf " + library,
         false,
         {}},
        {"~/Library another user's",
         [&] {
             touch(h / "Library/Pellin/keep");
             ASSERT_EQ(::chown((h / "Library").c_str(), kNobody, kNobody), 0);
         },
         "sudo rm -rf " + library,
         false,
         {}},
        {"the item itself a link, which alone goes",
         [&] {
             fs::create_directories(h / "Library");
             fs::create_directory_symlink(outside_ / "Pellin", h / "Library/Pellin");
         },
         "sudo rm -rf " + library, true, h / "Library/Pellin"},
        {"a path outside the home",
         [] {},
         "sudo rm -rf " + quotedForm((outside_ / "Pellin").string()),
         false,
         {}},
        {"a path that climbs out",
         [] {},
         "sudo rm -rf " + quotedForm((h / "../outside/Pellin").string()),
         false,
         {}},
        {"a relative path",
         [] {},
         "cd " + quotedForm(outside_.string()) + " && rm -rf Pellin",
         false,
         {}},
        {"a missing folder, forced", [] {}, "rm -f ~/Nothing/a.plist", true, {}},
        {"a missing folder", [] {}, "rm ~/Nothing/a.plist", false, {}},
    };
    for (const Case& each : cases) {
        fs::remove_all(h);
        fs::create_directories(h);
        each.plant();
        const ShellRun run = runAsAdministrator(each.command, ShellHost::current());
        EXPECT_EQ(run.result.has_value(), each.succeeds) << each.name << ": " << run.message();
        EXPECT_TRUE(fs::exists(outside_ / "Pellin/keep")) << each.name;
        if (!each.removed.empty()) {
            EXPECT_FALSE(fs::exists(fs::symlink_status(each.removed))) << each.name;
        }
        if (!each.succeeds) {
            EXPECT_NE(run.message().find(h.string()), std::string::npos) << run.message();
        }
    }
    // A home that is not the user's, for a shell that acts for another user than its owner.
    ShellHost host = ShellHost::current();
    host.owner = kNobody;
    touch(h / "Library/Pellin/keep");
    EXPECT_FALSE(runAsAdministrator("sudo rm -rf " + library, host).result);
    EXPECT_TRUE(fs::exists(h / "Library/Pellin/keep"));
}

TEST_F(GuardedRemoval, AFolderSwappedForALinkWhileTheRemovalRunsNeverLeadsItOutside) {
    const fs::path h = home_.path();
    // Outside the home, and another folder of the same user at the same depth inside it.
    for (const fs::path& elsewhere : {outside_, h / "Documents"}) {
        fs::remove_all(h);
        touch(h / "Library/Pellin/keep");
        touch(h / "Documents/Pellin/keep");
        fs::create_directory_symlink(elsewhere, h / "Library.link");
        // Another program of the user exchanges the folder and the link as fast as it can.
        std::atomic<bool> stop = false;
        std::thread swapper([&] {
            while (!stop) {
                ::renameat2(AT_FDCWD, (h / "Library").c_str(), AT_FDCWD,
                            (h / "Library.link").c_str(), RENAME_EXCHANGE);
            }
        });
        const std::string command = "sudo rm -rf " + quotedForm((h / "Library/Pellin").string());
        for (int attempt = 0; attempt < 100 && fs::exists(elsewhere / "Pellin/keep"); ++attempt) {
            runAsAdministrator(command, ShellHost::current());
        }
        stop = true;
        swapper.join();
        EXPECT_TRUE(fs::exists(elsewhere / "Pellin/keep")) << elsewhere;
    }
}

}  // namespace
