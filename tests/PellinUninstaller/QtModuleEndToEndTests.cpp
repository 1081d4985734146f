// The installed uninstaller and its Qt presenter module: a run on a terminal maps none of Qt,
// and a module that is missing, or that someone other than root or the user could have placed,
// is never loaded; the dialogs then ask on the terminal, saying why.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "PrivatePidNamespace.h"
#include "TemporaryHome.h"
#include "support/InstalledTree.h"
#include "support/Uninstaller.h"
#include "support/VirtualDisplay.h"

namespace {

namespace fs = std::filesystem;
using namespace pellin::test;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kWindowRefused =
    "a display is available, but dialogs cannot be shown in a window";

bool mapsQt(pid_t pid) {
    return readFile("/proc/" + std::to_string(pid) + "/maps").find("libQt6") != std::string::npos;
}

class QtModuleTest : public ::testing::Test {
  protected:
    // Lays the program out as installed; first, after PELLIN_IN_PRIVATE_PID_NAMESPACE, so that
    // a test run again in a namespace installs once.
    void install() {
        tree.emplace();
        ASSERT_TRUE(tree->installed()) << tree->output();
        ASSERT_TRUE(fs::exists(tree->qtModule()));
    }

    // The installed program, on a terminal of its own.
    ProgramSession start(const std::vector<std::string>& environment = {}) {
        SessionOptions options = uninstallerSession(home.path(), environment);
        options.arguments.front() = tree->program().string();
        return ProgramSession(std::move(options));
    }

    // Waits for the terminal's confirmation dialog, checks that Qt is not mapped meanwhile, and
    // declines with Return.
    void expectDeclinedOnTheTerminal(ProgramSession& session, const std::string& what) {
        ASSERT_TRUE(session.waitFor(kConfirmationMessage, kFirstDialogLimit) &&
                    session.waitFor(kPromptEnd))
            << what << session.shown();
        EXPECT_FALSE(mapsQt(session.pid())) << what;
        session.type("\n");
        EXPECT_TRUE(exitedWith(session.finish(), kExitDeclined)) << what << session.shown();
    }

    TemporaryHome home;
    std::optional<InstalledTree> tree;
    fs::path aside = home.parent() / "aside";
};

TEST_F(QtModuleTest, ATerminalRunMapsNoneOfQtAndUninstallsWhetherTheModuleIsInstalledOrNot) {
    // A confirmed run force-quits.
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    ASSERT_NO_FATAL_FAILURE(install());
    for (const bool installed : {true, false}) {
        const std::string what = installed ? "installed: " : "missing: ";
        if (!installed) {
            fs::rename(tree->qtModule(), aside);
        }
        ASSERT_TRUE(installTrialProduct(home.path())) << what;
        ProgramSession session = start();
        const int status =
            answerDialogs(session, "1\n", [&] { EXPECT_FALSE(mapsQt(session.pid())) << what; });
        EXPECT_TRUE(exitedWith(status, kExitUninstalled)) << what << session.shown();
        EXPECT_EQ(ProductPaths(home.path()).remaining(), std::vector<fs::path>{}) << what;
        EXPECT_THAT(session.shown(), Not(HasSubstr(kWindowRefused))) << what;
    }
}

TEST_F(QtModuleTest, AModuleThatIsMissingOrNotTrustedFallsBackToTheTerminalSayingWhy) {
    if (!VirtualDisplay::toolsInstalled()) {
        GTEST_SKIP() << "Xvfb or xdotool is not installed";
    }
    if (geteuid() != 0) {
        GTEST_SKIP() << "giving the module to another user needs root";
    }
    ASSERT_NO_FATAL_FAILURE(install());
    const VirtualDisplay display;
    ASSERT_TRUE(display.available());
    const fs::path module = tree->qtModule();
    const fs::path folder = module.parent_path();
    const fs::path elsewhere = home.parent() / "elsewhere";
    fs::create_directories(elsewhere / "pellin");
    struct Row {
        const char* what;
        std::function<void()> spoil;
        std::string said;
        std::vector<std::string> environment;
    };
    const std::vector<Row> rows = {
        {"missing",
         [&] { fs::rename(module, aside); },
         "/pellin/libPellinAppKitQt.so: No such file or directory",
         {}},
        // The loader's search path leads nowhere: the module is only ever taken from beside
        // libPellinAppKit.
        {"missing, with copies on LD_LIBRARY_PATH",
         [&] {
             fs::copy_file(module, elsewhere / module.filename());
             fs::copy_file(module, elsewhere / "pellin" / module.filename());
             fs::rename(module, aside);
         },
         "/pellin/libPellinAppKitQt.so: No such file or directory",
         {"LD_LIBRARY_PATH=" + elsewhere.string()}},
        {"owned by another user",
         [&] { ASSERT_EQ(chown(module.c_str(), 4242, 4242), 0); },
         "/pellin/libPellinAppKitQt.so: owned by another user",
         {}},
        {"writable by others",
         [&] { fs::permissions(module, fs::perms::others_write, fs::perm_options::add); },
         "/pellin/libPellinAppKitQt.so: writable by other users",
         {}},
        {"in a folder others may write to",
         [&] { fs::permissions(folder, fs::perms::all); },
         "/pellin: writable by other users",
         {}},
        {"a symbolic link",
         [&] {
             fs::rename(module, aside);
             fs::create_symlink(aside, module);
         },
         "/pellin/libPellinAppKitQt.so: a symbolic link",
         {}},
    };
    const fs::path trusted = elsewhere / "trusted.so";
    fs::copy_file(module, trusted);
    for (const Row& row : rows) {
        row.spoil();
        std::vector<std::string> environment = row.environment;
        environment.push_back(display.environmentEntry());
        ProgramSession session = start(environment);
        expectDeclinedOnTheTerminal(session, row.what);
        EXPECT_THAT(session.shown(), AllOf(HasSubstr(kWindowRefused), HasSubstr(row.said)))
            << row.what;
        // Back to the module as installed.
        fs::remove(module);
        fs::copy_file(trusted, module);
        fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    }

    // The same module, as installed, shows the window.
    ProgramSession session = start({display.environmentEntry()});
    ASSERT_TRUE(display.waitForNewFocusedWindow("PellinUninstaller", {})) << session.shown();
    EXPECT_TRUE(mapsQt(session.pid()));
    ASSERT_TRUE(display.press({"Return"}));
    EXPECT_TRUE(exitedWith(session.finish(), kExitDeclined)) << session.shown();
    EXPECT_THAT(session.shown(), Not(HasSubstr(kWindowRefused)));
}

}  // namespace
