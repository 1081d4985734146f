// The uninstaller with a display: its dialogs are Qt windows on an X server of the test's own,
// answered with the keyboard as a user would.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "TemporaryHome.h"
#include "support/ExclusiveRun.h"
#include "support/FakeApplication.h"
#include "support/InstalledProduct.h"
#include "support/ProgramLog.h"
#include "support/ProgramSession.h"
#include "support/Uninstaller.h"
#include "support/VirtualDisplay.h"

namespace {

namespace fs = std::filesystem;
using namespace pellin::test;

// The dialogs' window title is the program's name.
constexpr const char* kWindowTitle = "PellinUninstaller";

class QtEndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(uninstallerProgram())) << uninstallerProgram();
        if (!VirtualDisplay::toolsInstalled()) {
            GTEST_SKIP() << "Xvfb or xdotool is not installed";
        }
        // Without root the removal would ask for a password through pkexec on the display.
        if (geteuid() != 0) {
            GTEST_SKIP() << "the privileged removal would need a password here";
        }
        display_.emplace();
        if (!display_->available()) {
            GTEST_SKIP() << "Xvfb did not start";
        }
    }

    // First, so that it is held until everything the test started has gone.
    ExclusiveRun exclusive;
    TemporaryHome home;
    ProductPaths product{home.path()};
    std::optional<VirtualDisplay> display_;
};

TEST_F(QtEndToEndTest, ChoosingOkInTheWindowUninstallsAndTheCompletionWindowFollows) {
    ASSERT_TRUE(installTrialProduct(home.path()));
    FakeProcess resident = FakeProcess::start(product.residentProgram);
    FakeProcess updater = FakeProcess::start(product.updaterProgram);

    ProgramSession session(uninstallerSession(home.path(), {display_->environmentEntry()}, false));
    const std::optional<std::string> confirmation =
        display_->waitForNewFocusedWindow(kWindowTitle, {});
    ASSERT_TRUE(confirmation) << session.shown();
    // Return would answer Cancel, which has the focus: move it to OK and press it.
    ASSERT_TRUE(display_->press({"shift+Tab", "space"}));
    const std::optional<std::string> completion =
        display_->waitForNewFocusedWindow(kWindowTitle, {*confirmation});
    ASSERT_TRUE(completion) << session.shown();
    ASSERT_TRUE(display_->press({"Return"}));
    const int status = session.finish();

    EXPECT_TRUE(exitedWith(status, 0)) << session.shown();
    EXPECT_EQ(product.remaining(), std::vector<fs::path>{});
    EXPECT_TRUE(resident.diedOfKill());
    EXPECT_TRUE(updater.diedOfKill());
    EXPECT_EQ(messagesAt(readProgramLog(home.path()), "INFO"), successfulRunInfoLines());
}

TEST_F(QtEndToEndTest, ReturnInTheWindowDeclines) {
    ASSERT_TRUE(installTrialProduct(home.path()));
    FakeProcess resident = FakeProcess::start(product.residentProgram);

    ProgramSession session(uninstallerSession(home.path(), {display_->environmentEntry()}, false));
    ASSERT_TRUE(display_->waitForNewFocusedWindow(kWindowTitle, {})) << session.shown();
    ASSERT_TRUE(display_->press({"Return"}));

    EXPECT_TRUE(exitedWith(session.finish(), 0)) << session.shown();
    EXPECT_TRUE(fs::exists(product.residentProgram));
    EXPECT_TRUE(fs::exists(product.sharedDomain));
    EXPECT_TRUE(resident.survives());
}

}  // namespace
