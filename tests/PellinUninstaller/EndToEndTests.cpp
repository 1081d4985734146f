// The uninstaller run as a user runs it: the built program on a terminal of its own, in a home
// folder holding a fake Pellin, with fake Pellin applications running from real bundles.

#include <PellinAppKit/RunningApplication.h>
#include <PellinCommonLib/PellinCommonConstants.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "PrivatePidNamespace.h"
#include "TemporaryHome.h"
#include "support/Dialogs.h"
#include "support/ExclusiveRun.h"
#include "support/FakeApplication.h"
#include "support/FakeDisplay.h"
#include "support/ImmutableFile.h"
#include "support/InstalledProduct.h"
#include "support/ProgramLog.h"
#include "support/ProgramSession.h"
#include "support/Uninstaller.h"

namespace {

namespace fs = std::filesystem;
using namespace pellin::test;

void setLogLevel(const TemporaryHome& home, const std::string& level) {
    home.writeFile("Library/Preferences/com.brenvik.bvlog.plist",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                   "<key>level</key><string>" +
                       level + "</string></dict></plist>\n");
}

std::vector<std::string> messagesOf(const std::vector<LogLine>& lines,
                                    const std::string& function) {
    std::vector<std::string> messages;
    for (const LogLine& line : lines) {
        if (line.function == function) {
            messages.push_back(line.message);
        }
    }
    return messages;
}

// Every test runs itself again in a private pid namespace, where the uninstaller can see and
// force-quit only that test's own processes.
class EndToEndTest : public ::testing::Test {
  protected:
    EndToEndTest() {
        // Only inside the namespace: the run outside waits for that one, which takes the lock.
        if (insidePrivatePidNamespace()) {
            exclusive.emplace();
        }
    }
    void SetUp() override { ASSERT_TRUE(fs::exists(uninstallerProgram())) << uninstallerProgram(); }

    // First, so that it is held until everything the test started has gone: a program run
    // outside any namespace (another suite's) would still see this test's processes.
    std::optional<ExclusiveRun> exclusive;
    TemporaryHome home;
    ProductPaths product{home.path()};
};

// --- Confirming removes the product, its settings and its first running instances -----------

TEST_F(EndToEndTest, ConfirmingRemovesTheItemsAndQuitsTheFirstInstancesButNoEditorOnTheScript) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    ASSERT_TRUE(installTrialProduct(home.path()));
    const std::vector<fs::path> sentinels = createSentinels(home.path());
    ASSERT_TRUE(fs::exists(product.sharedDomain));
    // Started first, it would be the first instance if opening the script made one.
    FakeProcess editor({"/usr/bin/tail", "-f", product.residentProgram.string()});
    nextClockTick();
    FakeProcess resident = FakeProcess::start(product.residentProgram);
    nextClockTick();
    FakeProcess secondResident = FakeProcess::start(product.residentProgram);
    FakeProcess updater = FakeProcess::start(product.updaterProgram);

    ProgramSession session(uninstallerSession(home.path()));
    const int status = confirmAndAcknowledge(session, kCompletionMessage);

    EXPECT_TRUE(exitedWith(status, 0)) << session.shown();
    EXPECT_EQ(product.remaining(), std::vector<fs::path>{});
    for (const fs::path& sentinel : sentinels) {
        EXPECT_TRUE(fs::exists(sentinel)) << sentinel;
    }
    EXPECT_TRUE(resident.diedOfKill());
    EXPECT_TRUE(updater.diedOfKill());
    EXPECT_TRUE(secondResident.survives());
    EXPECT_TRUE(editor.survives());
}

TEST_F(EndToEndTest, ConfirmingLogsTheFlowsInfoLinesInOrder) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    ASSERT_TRUE(installTrialProduct(home.path()));
    FakeProcess resident = FakeProcess::start(product.residentProgram);
    FakeProcess updater = FakeProcess::start(product.updaterProgram);

    ProgramSession session(uninstallerSession(home.path()));
    ASSERT_TRUE(exitedWith(confirmAndAcknowledge(session, kCompletionMessage), 0));

    const std::vector<LogLine> log = readProgramLog(home.path());
    EXPECT_EQ(messagesAt(log, "INFO"), successfulRunInfoLines());
    EXPECT_TRUE(messagesAt(log, "ERROR").empty());
    for (const std::string& warning : messagesAt(log, "WARN")) {
        EXPECT_EQ(warning.find("Error executeUninstallCommand"), std::string::npos) << warning;
    }
}

TEST_F(EndToEndTest, AtDebugLevelTheFlowsEntryAndExitLinesFrameItAndTheForceQuitWritesNone) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    ASSERT_TRUE(installTrialProduct(home.path()));
    setLogLevel(home, "DEBUG");
    FakeProcess resident = FakeProcess::start(product.residentProgram);

    ProgramSession session(uninstallerSession(home.path()));
    ASSERT_TRUE(exitedWith(confirmAndAcknowledge(session, kCompletionMessage), 0));

    const std::vector<LogLine> log = readProgramLog(home.path());
    EXPECT_EQ(messagesOf(log, "+[AppDelegate uninstallProc]"),
              (std::vector<std::string>{"Start uninstallProc", "Start Uninstall Pellin App",
                                        "Terminate BRENVIKUPDATE App from Uninstall",
                                        "End uninstallProc"}));
    EXPECT_EQ(messagesOf(log, "+[AppDelegate terminatePellinAppAndPellinUIApp]"),
              std::vector<std::string>{"Terminate Pellin App from Uninstall"});
    ASSERT_FALSE(log.empty());
    // The exit line follows the completion dialog, whose own lines come before it.
    EXPECT_EQ(log.back().message, "End uninstallProc");
}

// --- Declining changes nothing ----------------------------------------------------------------

TEST_F(EndToEndTest, ReturnInTheConfirmationDeclinesAndNothingChangesOrIsLogged) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    ASSERT_TRUE(installTrialProduct(home.path()));
    FakeProcess resident = FakeProcess::start(product.residentProgram);
    FakeProcess updater = FakeProcess::start(product.updaterProgram);

    ProgramSession session(uninstallerSession(home.path()));
    ASSERT_TRUE(session.waitFor(kConfirmationMessage)) << session.shown();
    ASSERT_TRUE(session.waitFor(kPromptEnd));
    session.type("\n");
    const int status = session.finish();

    EXPECT_TRUE(exitedWith(status, kExitDeclined)) << session.shown();
    EXPECT_EQ(session.shown().find(kCompletionMessage), std::string::npos);
    EXPECT_TRUE(fs::exists(product.launchAgent));
    EXPECT_TRUE(fs::exists(product.residentProgram));
    EXPECT_TRUE(fs::exists(product.updaterProgram));
    EXPECT_TRUE(fs::exists(product.launcher));
    EXPECT_TRUE(fs::exists(product.sharedDomain));
    EXPECT_TRUE(resident.survives());
    EXPECT_TRUE(updater.survives());
    EXPECT_TRUE(readProgramLog(home.path()).empty());
}

TEST_F(EndToEndTest, TheSecondButtonAndTheEndOfInputDeclineAsReturnDoes) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    ASSERT_TRUE(installTrialProduct(home.path()));
    for (const char* answer : {"2\n", "\x04"}) {
        ProgramSession session(uninstallerSession(home.path()));
        ASSERT_TRUE(session.waitFor(kPromptEnd)) << session.shown();
        session.type(answer);

        EXPECT_TRUE(exitedWith(session.finish(), kExitDeclined)) << answer;
        EXPECT_TRUE(fs::exists(product.residentProgram)) << answer;
        EXPECT_TRUE(fs::exists(product.sharedDomain)) << answer;
    }
}

TEST_F(EndToEndTest, WithNoTerminalAndNoDisplayNoDialogCanConfirmAndNothingIsRemoved) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    ASSERT_TRUE(installTrialProduct(home.path()));
    FakeProcess resident = FakeProcess::start(product.residentProgram);

    ProgramSession session(uninstallerSession(home.path(), {}, false));

    EXPECT_TRUE(exitedWith(session.finish(), kExitDeclined)) << session.shown();
    EXPECT_TRUE(fs::exists(product.launchAgent));
    EXPECT_TRUE(fs::exists(product.residentProgram));
    EXPECT_TRUE(fs::exists(product.sharedDomain));
    EXPECT_TRUE(resident.survives());
}

// --- A failed removal is reported and leaves the running product alone -----------------------

TEST_F(EndToEndTest, ARemovalThatFailsTwiceShowsItsNumberAndQuitsNothing) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    ASSERT_TRUE(installTrialProduct(home.path()));
    // The launcher is removed last, so its failure is the removal's outcome.
    const ImmutableFile stuck(product.launcher / "Contents/Info.plist");
    if (!stuck.applied()) {
        GTEST_SKIP() << "chattr +i is not available here (it needs root and a file system "
                        "that keeps the immutable flag)";
    }
    FakeProcess resident = FakeProcess::start(product.residentProgram);
    FakeProcess updater = FakeProcess::start(product.updaterProgram);

    ProgramSession session(uninstallerSession(home.path()));
    ASSERT_TRUE(session.waitFor(kConfirmationMessage)) << session.shown();
    ASSERT_TRUE(session.waitFor(kPromptEnd));
    session.type("1\n");
    ASSERT_TRUE(session.waitFor(kErrorMessage)) << session.shown();
    // rm's exit status 1 is the shell's, and so the script's error number.
    EXPECT_TRUE(session.waitFor("Please try again. (1)")) << session.shown();
    ASSERT_TRUE(session.waitFor(kPromptEnd));
    session.type("\n");
    const int status = session.finish();

    EXPECT_TRUE(exitedWith(status, kExitRemovalFailed)) << session.shown();
    EXPECT_EQ(session.shown().find(kCompletionMessage), std::string::npos);
    EXPECT_TRUE(fs::exists(product.launcher));
    EXPECT_TRUE(fs::exists(product.sharedDomain));
    EXPECT_TRUE(resident.survives());
    EXPECT_TRUE(updater.survives());

    const std::vector<LogLine> log = readProgramLog(home.path());
    EXPECT_EQ(messagesAt(log, "INFO"),
              (std::vector<std::string>{
                  "Start Uninstall Pellin App", "existsAutoStartSettingFile isExist=YES",
                  "existsAutoStartSettingFileOrPellinApp isExist=YES", "Unistall NG"}));
    const std::vector<std::string> warnings = messagesAt(log, "WARN");
    ASSERT_EQ(warnings.size(), 2U);
    for (const std::string& warning : warnings) {
        EXPECT_TRUE(
            warning.starts_with("Error executeUninstallCommand  Error_Number : 1  "
                                "Error_Message : "))
            << warning;
    }
}

// --- Nothing installed is a success, and what runs of the product still goes ----------------

TEST_F(EndToEndTest, WithNothingInstalledTheRunningApplicationsAreStillQuit) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    const fs::path elsewhere = home.path() / "Downloads";
    FakeProcess resident = FakeProcess::start(
        createFakeBundle(elsewhere, "Pellin", "com.brenvik.mac.Pellin", ProgramKind::Binary));
    FakeProcess updater = FakeProcess::start(createFakeBundle(
        elsewhere, "BRENVIKUPDATE", "com.brenvik.mac.Pellin.BRENVIKUPDATE", ProgramKind::Script));
    FakeProcess launcher = FakeProcess::start(
        createFakeBundle(elsewhere, "KickPellin", "com.brenvik.mac.Pellin.KickPellin"));
    const fs::path domain =
        home.writeFile("Library/Preferences/com.brenvik.mac.Pellin.common.plist",
                       "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict/></plist>\n");

    ProgramSession session(uninstallerSession(home.path()));
    const int status = confirmAndAcknowledge(session, kCompletionMessage);

    EXPECT_TRUE(exitedWith(status, 0)) << session.shown();
    EXPECT_TRUE(resident.diedOfKill());
    EXPECT_TRUE(updater.diedOfKill());
    // The launcher is not looked for.
    EXPECT_TRUE(launcher.survives());
    // Nothing ran: the settings stay.
    EXPECT_TRUE(fs::exists(domain));
    EXPECT_EQ(messagesAt(readProgramLog(home.path()), "INFO"),
              (std::vector<std::string>{
                  "Start Uninstall Pellin App", "existsAutoStartSettingFile isExist=NO",
                  "existsPellinApp isExist=NO", "existsAutoStartSettingFileOrPellinApp isExist=NO",
                  "existsKickPellinApp isExist=NO", "Not exists AutoSatrtSettingFile And PellinApp",
                  "Terminate Pellin App from Uninstall", "Terminate Pellin App from Uninstall",
                  "Terminate BRENVIKUPDATE App from Uninstall"}));
}

TEST_F(EndToEndTest, WithOnlyTheUpdaterRunningOneApplicationIsQuitAndLoggedOnce) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    ASSERT_TRUE(installTrialProduct(home.path()));
    FakeProcess updater = FakeProcess::start(product.updaterProgram);

    ProgramSession session(uninstallerSession(home.path()));
    ASSERT_TRUE(exitedWith(confirmAndAcknowledge(session, kCompletionMessage), 0));

    EXPECT_TRUE(updater.diedOfKill());
    const std::vector<std::string> info = messagesAt(readProgramLog(home.path()), "INFO");
    EXPECT_EQ(std::count(info.begin(), info.end(), "Terminate Pellin App from Uninstall"), 1);
    ASSERT_FALSE(info.empty());
    EXPECT_EQ(info.back(), "Terminate BRENVIKUPDATE App from Uninstall");
}

TEST_F(EndToEndTest, AnotherProgramOfTheUserIsNeverQuit) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    ASSERT_TRUE(installTrialProduct(home.path()));
    FakeProcess resident = FakeProcess::start(product.residentProgram);
    FakeProcess unrelated = FakeProcess::start(
        createFakeBundle(home.path() / "Applications", "Other", "com.example.Other"));
    FakeProcess plain({"/bin/sleep", "3600"});

    ProgramSession session(uninstallerSession(home.path()));
    ASSERT_TRUE(exitedWith(confirmAndAcknowledge(session, kCompletionMessage), 0));

    EXPECT_TRUE(resident.diedOfKill());
    EXPECT_TRUE(unrelated.survives());
    EXPECT_TRUE(plain.survives());
}

// --- A program of the product started while the dialog is open goes too ---------------------

TEST_F(EndToEndTest, AnUpdaterStartedDuringTheConfirmationIsQuitThoughItsBundleIsGone) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    for (const ProgramKind kind : {ProgramKind::Script, ProgramKind::Binary}) {
        ASSERT_TRUE(installTrialProduct(home.path()));
        if (kind == ProgramKind::Binary) {
            createFakeBundle(product.residentFolder, "BRENVIKUPDATE",
                             std::string(PellinUpdaterBundleIdentifier), kind);
        }
        std::optional<FakeProcess> updater;

        ProgramSession session(uninstallerSession(home.path()));
        const int status = confirmAndAcknowledge(session, kCompletionMessage, [&] {
            updater.emplace(FakeProcess::start(product.updaterProgram));
        });

        EXPECT_TRUE(exitedWith(status, kExitUninstalled)) << session.shown();
        ASSERT_TRUE(updater);
        EXPECT_TRUE(updater->diedOfKill()) << (kind == ProgramKind::Binary ? "binary" : "script");
    }
}

// --- Nothing another program of the user plants stalls or crashes the start ----------------

TEST_F(EndToEndTest, AHostileBundleOrArgumentCostsOnlyItselfAndDoesNotDelayTheFirstDialog) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    const fs::path pipe = home.path() / "pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    const auto fromBundle = [&](HostileInfoPlist kind) {
        return [this, kind] {
            // The identifier it would name is the resident's.
            const fs::path program = createFakeBundle(
                home.path() / "Applications", "Hostile" + std::to_string(static_cast<int>(kind)),
                std::string(PellinBundleIdentifier));
            writeHostileInfoPlist(program.parent_path().parent_path().parent_path(), kind);
            return FakeProcess::start(program);
        };
    };
    const std::vector<std::pair<const char*, std::function<FakeProcess()>>> rows = {
        {"a binary Info.plist nested 110,000 deep", fromBundle(HostileInfoPlist::DeeplyNested)},
        {"a sparse Info.plist of 30 GB", fromBundle(HostileInfoPlist::HugeSparse)},
        {"an Info.plist that is a FIFO", fromBundle(HostileInfoPlist::Fifo)},
        {"a FIFO as the first argument",
         [&] {
             return FakeProcess({"/bin/cat", pipe.string()});
         }},
    };
    for (const auto& [what, startHostile] : rows) {
        ASSERT_TRUE(installTrialProduct(home.path()));
        FakeProcess resident = FakeProcess::start(product.residentProgram);
        FakeProcess hostile = startHostile();

        ProgramSession session(uninstallerSession(home.path()));
        const int status = confirmAndAcknowledge(session, kCompletionMessage);

        EXPECT_TRUE(exitedWith(status, kExitUninstalled)) << what << "\n" << session.shown();
        EXPECT_TRUE(resident.diedOfKill()) << what;
        EXPECT_TRUE(hostile.survives()) << what;
    }
}

// --- Where no display can show the dialog, the terminal does --------------------------------

TEST_F(EndToEndTest, ADisplayQtCannotStartOnLeavesTheDialogOnTheTerminal) {
    const FakeXDisplay silent(FakeXDisplay::Behaviour::Silent);
    ASSERT_TRUE(silent.available());
    for (const std::string& environment :
         {std::string("QT_QPA_PLATFORM=xcb"), std::string("QT_QPA_PLATFORM=wayland"),
          std::string("QT_QPA_PLATFORM=vnc"), silent.environmentEntry()}) {
        ProgramSession session(uninstallerSession(home.path(), {environment}));
        ASSERT_TRUE(session.waitFor(kConfirmationMessage, kFirstDialogLimit)) << environment << "\n"
                                                                              << session.shown();
        ASSERT_TRUE(session.waitFor(kPromptEnd));
        session.type("2\n");
        EXPECT_TRUE(exitedWith(session.finish(), kExitDeclined)) << environment;
    }
}

// --- The command line takes only what users expect ------------------------------------------

TEST_F(EndToEndTest, OnlyHelpAndVersionAreTakenAndAnythingElseIsRefusedBeforeAnyDialog) {
    ASSERT_TRUE(installTrialProduct(home.path()));
    struct Row {
        std::vector<std::string> arguments;
        int status;
        const char* shows;
    };
    const std::vector<Row> rows = {
        {{"--help"}, 0, "Usage: PellinUninstaller [--help | --version]"},
        {{"--version"}, 0, "PellinUninstaller 1.0.0"},
        {{"-h"}, kExitUsage, "Usage: PellinUninstaller [--help | --version]"},
        {{"--help", "--version"}, kExitUsage, "'--version'"},
        {{"-platform", "offscreen"}, kExitUsage, "'-platform'"},
        {{"Pellin"}, kExitUsage, "'Pellin'"},
        {{""}, kExitUsage, "''"},
    };
    for (const Row& row : rows) {
        SessionOptions options = uninstallerSession(home.path());
        options.arguments.insert(options.arguments.end(), row.arguments.begin(),
                                 row.arguments.end());
        ProgramSession session(std::move(options));
        const int status = session.finish(kFirstDialogLimit);

        EXPECT_TRUE(exitedWith(status, row.status)) << row.arguments.front() << session.shown();
        EXPECT_NE(session.shown().find(row.shows), std::string::npos) << session.shown();
        EXPECT_EQ(session.shown().find(kConfirmationMessage), std::string::npos);
    }
    EXPECT_EQ(product.remaining().size(), 4U);
    // Nothing else happened either: not even the log was set up.
    EXPECT_FALSE(fs::exists(home.path() / "Library/Logs/PellinUninstaller"));
}

// --- A home folder whose name the shell would read is still one path ------------------------

TEST(HostileHomeEndToEndTest, AHomeNamedLikeShellCodeLosesOnlyTheProductsItems) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    const ExclusiveRun exclusive;
    TemporaryHome home("it's a \"home\"; touch pwned $(touch pwned2) `touch pwned3` & ~ *");
    const ProductPaths product(home.path());
    ASSERT_TRUE(installTrialProduct(home.path()));
    const std::vector<fs::path> sentinels = createSentinels(home.path());
    FakeProcess resident = FakeProcess::start(product.residentProgram);

    ProgramSession session(uninstallerSession(home.path()));
    EXPECT_TRUE(exitedWith(confirmAndAcknowledge(session, kCompletionMessage), 0))
        << session.shown();
    EXPECT_EQ(product.remaining(), std::vector<fs::path>{});
    for (const fs::path& sentinel : sentinels) {
        EXPECT_TRUE(fs::exists(sentinel)) << sentinel;
    }
    EXPECT_TRUE(resident.diedOfKill());
    // Nothing of the name ran as a command, wherever the shell may have been.
    for (const fs::path& folder : {home.path(), home.parent(), fs::current_path()}) {
        for (const char* name : {"pwned", "pwned2", "pwned3"}) {
            EXPECT_FALSE(fs::exists(folder / name)) << folder / name;
        }
    }
}

// --- The trial that users are pointed to works as documented ---------------------------------

// The programs the trial script started in `home` in the background. They are not the test's
// children, so they are found the way the uninstaller finds them; only those of this home, since
// other runs on the machine may have their own.
std::vector<appkit::RunningApplication> trialPrograms(const fs::path& home) {
    const std::string inside = home.string() + "/";
    std::vector<appkit::RunningApplication> found;
    for (const char* identifier :
         {"com.brenvik.mac.Pellin", "com.brenvik.mac.Pellin.BRENVIKUPDATE"}) {
        for (appkit::RunningApplication& application :
             appkit::RunningApplication::runningApplicationsWithBundleIdentifier(identifier)) {
            if (application.bundleURL().starts_with(inside)) {
                found.push_back(std::move(application));
            }
        }
    }
    return found;
}

// Ends whatever the trial started in `home` when the test ends, whatever its outcome.
class TrialCleanup {
  public:
    explicit TrialCleanup(fs::path home) : home_(std::move(home)) {}
    ~TrialCleanup() {
        for (const appkit::RunningApplication& application : trialPrograms(home_)) {
            application.forceTerminate();
        }
    }
    TrialCleanup(const TrialCleanup&) = delete;
    TrialCleanup& operator=(const TrialCleanup&) = delete;

  private:
    fs::path home_;
};

// Whether every one has ended, waiting at most ten seconds: they are not ours to reap, so their
// end shows a moment after the kill.
bool allEnded(const std::vector<appkit::RunningApplication>& applications) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (std::all_of(applications.begin(), applications.end(),
                        [](const auto& application) { return application.isTerminated(); })) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

TEST_F(EndToEndTest, TheTrialProductIsRemovedAndItsRunningProgramsAreQuit) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    const TrialCleanup cleanup(home.path());
    const std::vector<std::string> trialCommand = {
        "/bin/bash", (scriptsDirectory() / "install-trial-product.sh").string()};
    const Finished trial = runQuietly(trialCommand, userEnvironment(home.path().string()));
    ASSERT_TRUE(exitedWith(trial.status, 0)) << trial.output;
    // The script hands its programs to setsid and returns, possibly before they have started.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (trialPrograms(home.path()).size() < 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const std::vector<appkit::RunningApplication> programs = trialPrograms(home.path());
    ASSERT_EQ(programs.size(), 2U) << trial.output;
    const Finished again = runQuietly(trialCommand, userEnvironment(home.path().string()));
    EXPECT_NE(again.output.find("already running"), std::string::npos) << again.output;
    EXPECT_EQ(trialPrograms(home.path()).size(), 2U);

    ProgramSession session(uninstallerSession(home.path()));
    ASSERT_TRUE(exitedWith(confirmAndAcknowledge(session, kCompletionMessage), 0));

    EXPECT_TRUE(allEnded(programs));
    EXPECT_EQ(product.remaining(), std::vector<fs::path>{});
    EXPECT_EQ(messagesAt(readProgramLog(home.path()), "INFO"), successfulRunInfoLines());
}

}  // namespace
