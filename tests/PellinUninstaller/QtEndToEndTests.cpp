// The uninstaller with a display: its dialogs are Qt windows on an X server of the test's own,
// answered with the keyboard as a user would.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "PrivatePidNamespace.h"
#include "TemporaryHome.h"
#include "support/Uninstaller.h"
#include "support/VirtualDisplay.h"

namespace {

namespace fs = std::filesystem;
using namespace pellin::test;

// The dialogs' window title is the program's name.
constexpr const char* kWindowTitle = "PellinUninstaller";

// Each row: the keys typed in the confirmation window (nothing: another program destroys it),
// and then, after a confirmation, Return in the completion window.
TEST(QtEndToEndTest, OnlyOkConfirmsWhileReturnOrADestroyedWindowDeclines) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    if (!VirtualDisplay::toolsInstalled()) {
        GTEST_SKIP() << "Xvfb or xdotool is not installed";
    }
    // Without root the removal would ask for a password through pkexec on the display.
    if (geteuid() != 0) {
        GTEST_SKIP() << "the privileged removal would need a password here";
    }
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
        const TemporaryHome home;
        const ProductPaths product(home.path());
        ASSERT_TRUE(installTrialProduct(home.path()));
        FakeProcess resident = FakeProcess::start(product.residentProgram);

        ProgramSession session(
            uninstallerSession(home.path(), {display.environmentEntry()}, false));
        const std::optional<std::string> window = display.waitForNewFocusedWindow(kWindowTitle, {});
        ASSERT_TRUE(window) << session.shown();
        ASSERT_TRUE(keys.empty() ? display.destroyWindow(*window) : display.press(keys));
        if (expected == kExitUninstalled) {
            ASSERT_TRUE(display.waitForNewFocusedWindow(kWindowTitle, {*window}));
            ASSERT_TRUE(display.press({"Return"}));
        }

        EXPECT_TRUE(exitedWith(session.finish(std::chrono::seconds(30)), expected))
            << keys.size() << session.shown();
        EXPECT_EQ(product.remaining().size(), expected == kExitUninstalled ? 0U : 4U);
        EXPECT_TRUE(expected == kExitUninstalled ? resident.diedOfKill() : resident.survives());
    }
}

}  // namespace
