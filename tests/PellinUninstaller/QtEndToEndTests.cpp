// The uninstaller with a display: its dialogs are Qt windows on an X server of the test's own,
// answered with the keyboard as a user would.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "PrivatePidNamespace.h"
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

// Every test runs itself again in a private pid namespace (see EndToEndTests.cpp); the display
// and the lock belong to that run alone.
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
        if (!insidePrivatePidNamespace()) {
            return;
        }
        exclusive.emplace();
        display_.emplace();
        if (!display_->available()) {
            GTEST_SKIP() << "Xvfb did not start";
        }
    }

    // First, so that it is held until everything the test started has gone.
    std::optional<ExclusiveRun> exclusive;
    TemporaryHome home;
    ProductPaths product{home.path()};
    std::optional<VirtualDisplay> display_;
};

TEST_F(QtEndToEndTest, ChoosingOkInTheWindowUninstallsAndTheCompletionWindowFollows) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
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

    EXPECT_TRUE(exitedWith(status, kExitUninstalled)) << session.shown();
    EXPECT_EQ(product.remaining(), std::vector<fs::path>{});
    EXPECT_TRUE(resident.diedOfKill());
    EXPECT_TRUE(updater.diedOfKill());
    EXPECT_EQ(messagesAt(readProgramLog(home.path()), "INFO"), successfulRunInfoLines());
}

TEST_F(QtEndToEndTest, ReturnOrTheWindowDestroyedByAnotherProgramDeclines) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    ASSERT_TRUE(installTrialProduct(home.path()));
    FakeProcess resident = FakeProcess::start(product.residentProgram);
    const std::vector<std::pair<const char*, std::function<bool(const std::string&)>>> rows = {
        {"Return", [&](const std::string&) { return display_->press({"Return"}); }},
        {"destroyed", [&](const std::string& window) { return display_->destroyWindow(window); }},
    };
    for (const auto& [what, decline] : rows) {
        ProgramSession session(
            uninstallerSession(home.path(), {display_->environmentEntry()}, false));
        const std::optional<std::string> window =
            display_->waitForNewFocusedWindow(kWindowTitle, {});
        ASSERT_TRUE(window) << what << session.shown();
        ASSERT_TRUE(decline(*window)) << what;

        EXPECT_TRUE(exitedWith(session.finish(std::chrono::seconds(20)), kExitDeclined))
            << what << session.shown();
        EXPECT_TRUE(fs::exists(product.residentProgram)) << what;
        EXPECT_TRUE(fs::exists(product.sharedDomain)) << what;
        EXPECT_TRUE(resident.survives()) << what;
    }
}

}  // namespace
