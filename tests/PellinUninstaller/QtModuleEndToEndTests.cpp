// The installed uninstaller and its Qt presenter module, with an X server of the test's own.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "PrivatePidNamespace.h"
#include "TemporaryHome.h"
#include "TestCases.h"
#include "support/InstalledTree.h"
#include "support/Uninstaller.h"
#include "support/VirtualDisplay.h"

namespace {

namespace fs = std::filesystem;
using namespace pellin::test;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kWindowRefused =
    "a display is available, but dialogs cannot be shown in a window";

bool mapsQt(pid_t pid) {
    return readFile("/proc/" + std::to_string(pid) + "/maps").find("libQt6") != std::string::npos;
}

class QtModuleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Without root the removal would ask for a password through pkexec on the display, and
        // the module could not be given to another user.
        if (!VirtualDisplay::toolsInstalled() || geteuid() != 0) {
            GTEST_SKIP() << "needs Xvfb, xdotool and root";
        }
    }

    // Lays the program out as installed; first, after PELLIN_IN_PRIVATE_PID_NAMESPACE, so that
    // a test run again in a namespace installs once.
    void install() {
        if (const char* other = std::getenv("PELLIN_TEST_UNINSTALLER"); other && *other != '\0') {
            return;  // an unpacked package's program, with its module where it was unpacked
        }
        tree.emplace();
        ASSERT_TRUE(tree->installed()) << tree->output();
        ASSERT_TRUE(fs::exists(tree->qtModule()));
    }

    // The installed program, on a terminal of its own.
    ProgramSession start(const std::vector<std::string>& environment = {}) {
        SessionOptions options = uninstallerSession(home.path(), environment);
        if (tree) {
            options.arguments.front() = tree->program().string();
        }
        return ProgramSession(std::move(options));
    }

    // Declines on the terminal with Return, checking that Qt is not mapped meanwhile; what the
    // terminal showed.
    std::string declineOnTheTerminal(const std::vector<std::string>& environment) {
        ProgramSession session = start(environment);
        const auto qtUnmapped = [&] { EXPECT_FALSE(mapsQt(session.pid())); };
        EXPECT_TRUE(exitedWith(answerDialogs(session, "\n", qtUnmapped), kExitDeclined))
            << session.shown();
        return session.shown();
    }

    TemporaryHome home;
    std::optional<InstalledTree> tree;
};

TEST_F(QtModuleTest, AModuleThatIsMissingOrNotTrustedFallsBackToTheTerminalSayingWhy) {
    ASSERT_NO_FATAL_FAILURE(install());
    if (!tree) {
        GTEST_SKIP() << "moves the module of a tree of its own, not of the program it was given";
    }
    const VirtualDisplay display;
    ASSERT_TRUE(display.available());
    EXPECT_THAT(declineOnTheTerminal({}), Not(HasSubstr(kWindowRefused)));

    // The loader's search path leads nowhere: the module is only ever taken from beside
    // libPellinAppKit.
    const fs::path module = tree->qtModule(), elsewhere = home.parent() / "elsewhere";
    fs::create_directories(elsewhere / "pellin");
    for (const fs::path& copy : {home.parent() / "trusted.so", elsewhere / module.filename(),
                                 elsewhere / "pellin" / module.filename()}) {
        fs::copy_file(module, copy);
    }
    const std::vector<std::string> variables = {
        "MODULE=" + module.string(), "ASIDE=" + (home.parent() / "aside").string(),
        "TRUSTED=" + (home.parent() / "trusted.so").string(), "PATH=/usr/bin:/bin"};
    const char* restore =
        "rm -f \"$MODULE\" && cp \"$TRUSTED\" \"$MODULE\" && chmod 755 \"${MODULE%/*}\"";
    for (const auto& row : casesIn("uninstaller/untrusted-modules.tsv")) {
        ASSERT_EQ(runQuietly({"/bin/sh", "-c", row[1]}, variables).status, 0) << row[0];
        const std::string shown = declineOnTheTerminal(
            {display.environmentEntry(), "LD_LIBRARY_PATH=" + elsewhere.string()});
        EXPECT_THAT(shown, HasSubstr(kWindowRefused)) << row[0];
        EXPECT_THAT(shown, HasSubstr(row[2])) << row[0];
        // Back to the module as installed.
        ASSERT_EQ(runQuietly({"/bin/sh", "-c", restore}, variables).status, 0);
    }
}

// Each row: the keys typed in the confirmation window (nothing: another program destroys it),
// and then, after a confirmation, Return in the completion window.
TEST_F(QtModuleTest, InAWindowOnlyOkConfirmsWhileReturnOrADestroyedWindowDeclines) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    ASSERT_NO_FATAL_FAILURE(install());
    const ExclusiveRun exclusive;
    const VirtualDisplay display;
    ASSERT_TRUE(display.available());
    const std::vector<std::pair<std::vector<std::string>, int>> rows = {
        {{"Return"}, kExitDeclined},
        {{}, kExitDeclined},
        // The focus starts on Cancel: Shift+Tab moves it to OK, and Space presses it.
        {{"shift+Tab", "space"}, kExitUninstalled},
    };
    for (const auto& [keys, expected] : rows) {
        const ProductPaths product(home.path());
        ASSERT_TRUE(installTrialProduct(home.path()));
        FakeProcess resident = FakeProcess::start(product.residentProgram);

        ProgramSession session = start({display.environmentEntry()});
        // The dialogs' window title is the program's name.
        const auto window = display.waitForNewFocusedWindow("PellinUninstaller", {});
        ASSERT_TRUE(window) << session.shown();
        EXPECT_TRUE(mapsQt(session.pid()));
        ASSERT_TRUE(keys.empty() ? display.destroyWindow(*window) : display.press(keys));
        if (expected == kExitUninstalled) {
            ASSERT_TRUE(display.waitForNewFocusedWindow("PellinUninstaller", {*window}));
            ASSERT_TRUE(display.press({"Return"}));
        }

        EXPECT_TRUE(exitedWith(session.finish(std::chrono::seconds(30)), expected))
            << keys.size() << session.shown();
        EXPECT_THAT(session.shown(), Not(HasSubstr(kWindowRefused)));
        EXPECT_EQ(product.remaining().size(), expected == kExitUninstalled ? 0U : 4U);
        EXPECT_TRUE(expected == kExitUninstalled ? resident.diedOfKill() : resident.survives());
    }
}

}  // namespace
