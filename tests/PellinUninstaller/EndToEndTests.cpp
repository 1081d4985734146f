// The uninstaller run as a user runs it: the built program on a terminal of its own, in a home
// folder holding a fake Pellin, with fake Pellin applications running from real bundles. Each
// run is a row: what is installed and running, the answer typed, and what must follow.

#include <PellinCommonLib/PellinCommonConstants.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "PrivatePidNamespace.h"
#include "ProcessIdentity.h"
#include "TemporaryHome.h"
#include "support/FakeDisplay.h"
#include "support/Uninstaller.h"

namespace {

namespace fs = std::filesystem;
using namespace pellin::test;

struct Flow {
    const char* name;  // with `golden`, tests/data/uninstaller/<name>.txt holds its screen and log
    const char* running = "";    // processes started before, by the names in start() below
    const char* answer = "1\n";  // keys typed in the confirmation; nullptr: no terminal at all
    int status = kExitUninstalled;
    const char* killed = "";   // which of them are force-quit; the rest must survive
    const char* remains = "";  // which of "agent resident launcher domain" are still there
    bool golden = false;
    const char* homeName = "home";
    const char* stuck = nullptr;  // a file made immutable, so that the removal fails
    bool installed = true;
    const char* duringDialog = nullptr;  // started while the confirmation waits; force-quit
    const char* logLevel = nullptr;
};

constexpr const char* kAll = "agent resident launcher domain";

const Flow kFlows[] = {
    {.name = "confirmed",
     .running = "editor resident resident2 updater other plain",
     .killed = "resident updater",
     .golden = true},
    {.name = "declined_by_return",
     .running = "resident updater",
     .answer = "\n",
     .status = kExitDeclined,
     .remains = kAll,
     .golden = true},
    {.name = "declined_by_two",
     .running = "resident",
     .answer = "2\n",
     .status = kExitDeclined,
     .remains = kAll},
    {.name = "declined_by_end_of_input",
     .running = "resident",
     .answer = "\x04",
     .status = kExitDeclined,
     .remains = kAll},
    {.name = "no_terminal_no_display",
     .running = "resident",
     .answer = nullptr,
     .status = kExitDeclined,
     .remains = kAll},
    {.name = "removal_fails",
     .running = "resident updater",
     .status = kExitRemovalFailed,
     .remains = "launcher domain",
     .golden = true,
     .stuck = "Applications/KickPellin.app/Contents/Info.plist"},
    {.name = "removal_leaves_a_file",
     .running = "resident",
     .status = kExitRemovalFailed,
     .remains = "resident domain",
     .golden = true,
     .stuck = "Library/Pellin/Pellin.app/Contents/MacOS/Pellin"},
    {.name = "nothing_installed",
     .running = "elsewhere-resident elsewhere-updater elsewhere-launcher",
     .killed = "elsewhere-resident elsewhere-updater",
     .remains = "domain",
     .golden = true,
     .installed = false},
    {.name = "only_the_updater", .running = "updater", .killed = "updater", .golden = true},
    {.name = "updater_script_started_during_the_dialog", .duringDialog = "updater"},
    {.name = "updater_binary_started_during_the_dialog", .duringDialog = "updater-binary"},
    {.name = "debug_level",
     .running = "resident",
     .killed = "resident",
     .golden = true,
     .logLevel = "DEBUG"},
    {.name = "hostile_home",
     .running = "resident",
     .killed = "resident",
     .homeName = "it's a \"home\"; touch pwned $(touch pwned2) `touch pwned3` & ~ *"},
};

std::vector<std::string> words(const char* text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string word; in >> word;) {
        out.push_back(word);
    }
    return out;
}

class EndToEndFlow : public ::testing::TestWithParam<Flow> {
  protected:
    // The processes a row may start, by name.
    FakeProcess start(const std::string& name, const fs::path& home) {
        const ProductPaths product(home);
        const fs::path elsewhere = home / "Downloads";
        if (name == "editor") {
            // Started first, it would be the first instance if opening the script made one.
            return FakeProcess({"/usr/bin/tail", "-f", product.residentProgram.string()});
        }
        if (name == "resident" || name == "resident2") {
            nextClockTick();
            return FakeProcess::start(product.residentProgram);
        }
        if (name.starts_with("updater")) {
            return FakeProcess::start(product.updaterProgram);
        }
        if (name == "other") {
            return FakeProcess::start(
                createFakeBundle(home / "Applications", "Other", "com.example.Other"));
        }
        if (name == "elsewhere-resident") {
            return FakeProcess::start(
                createFakeBundle(elsewhere, "Pellin", "com.brenvik.mac.Pellin"));
        }
        if (name == "elsewhere-updater") {
            return FakeProcess::start(createFakeBundle(elsewhere, "BRENVIKUPDATE",
                                                       "com.brenvik.mac.Pellin.BRENVIKUPDATE",
                                                       ProgramKind::Script));
        }
        if (name == "elsewhere-launcher") {
            return FakeProcess::start(
                createFakeBundle(elsewhere, "KickPellin", "com.brenvik.mac.Pellin.KickPellin"));
        }
        return FakeProcess({"/bin/sleep", "3600"});
    }
};

TEST_P(EndToEndFlow, LeavesWhatItMustAndQuitsOnlyTheFirstInstances) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    const Flow& flow = GetParam();
    ASSERT_TRUE(fs::exists(uninstallerProgram())) << uninstallerProgram();
    const ExclusiveRun exclusive;
    const TemporaryHome home(flow.homeName);
    const ProductPaths product(home.path());
    if (flow.installed) {
        ASSERT_TRUE(installTrialProduct(home.path()));
    } else {
        home.writeFile("Library/Preferences/com.brenvik.mac.Pellin.common.plist",
                       "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict/></plist>\n");
    }
    if (flow.duringDialog != nullptr && std::string(flow.duringDialog) == "updater-binary") {
        createFakeBundle(product.residentFolder, "BRENVIKUPDATE",
                         std::string(PellinUpdaterBundleIdentifier));
    }
    const std::vector<fs::path> sentinels = createSentinels(home.path());
    if (flow.logLevel != nullptr) {
        home.writeFile("Library/Preferences/com.brenvik.bvlog.plist",
                       std::string("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>level"
                                   "</key><string>") +
                           flow.logLevel + "</string></dict></plist>\n");
    }
    std::optional<ImmutableFile> stuck;
    if (flow.stuck != nullptr && !stuck.emplace(home.path() / flow.stuck).applied()) {
        GTEST_SKIP() << "chattr +i is refused here (it needs root and a file system that keeps "
                        "the immutable flag)";
    }
    std::map<std::string, FakeProcess> processes;
    for (const std::string& name : words(flow.running)) {
        processes.emplace(name, start(name, home.path()));
    }

    ProgramSession session(
        uninstallerSession(home.path(), {}, flow.answer != nullptr, std::nullopt));
    const int status =
        flow.answer == nullptr ? session.finish() : answerDialogs(session, flow.answer, [&] {
            if (flow.duringDialog != nullptr) {
                processes.emplace("late", start(flow.duringDialog, home.path()));
            }
        });

    EXPECT_TRUE(exitedWith(status, flow.status)) << status << "\n" << session.shown();
    std::vector<fs::path> remains;
    for (const std::string& item : words(flow.remains)) {
        remains.push_back(item == "agent"      ? product.launchAgent
                          : item == "resident" ? product.residentFolder
                          : item == "launcher" ? product.launcher
                                               : product.sharedDomain);
    }
    EXPECT_EQ(product.remaining(), remains);
    for (const fs::path& sentinel : sentinels) {
        EXPECT_TRUE(fs::exists(sentinel)) << sentinel;
    }
    const std::vector<std::string> killed = words(flow.killed);
    for (auto& [name, process] : processes) {
        const bool expected = name == "late" || std::count(killed.begin(), killed.end(), name) > 0;
        EXPECT_TRUE(expected ? process.diedOfKill() : process.survives()) << name;
    }
    // Nothing of the home's name ran as a command, wherever the shell may have been.
    for (const fs::path& folder : {home.path(), home.parent()}) {
        for (const char* name : {"pwned", "pwned2", "pwned3"}) {
            EXPECT_FALSE(fs::exists(folder / name)) << folder / name;
        }
    }
    if (flow.golden) {
        std::string transcript = session.shown() + "--- log\n";
        for (const std::string& line : readProgramLog(home.path())) {
            transcript += line + "\n";
        }
        std::erase(transcript, '\r');
        for (std::size_t at; (at = transcript.find(home.path().string())) != std::string::npos;) {
            transcript.replace(at, home.path().string().size(), "$HOME");
        }
        expectGolden(std::string("uninstaller/") + flow.name + ".txt", transcript);
    }
}

void PrintTo(const Flow& flow, std::ostream* out) {
    *out << flow.name;
}

INSTANTIATE_TEST_SUITE_P(Flows, EndToEndFlow, ::testing::ValuesIn(kFlows),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Nothing another program of the user plants stalls or crashes the start ----------------

TEST(EndToEndTest, AHostileBundleOrArgumentCostsOnlyItselfAndDoesNotDelayTheFirstDialog) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    const ExclusiveRun exclusive;
    const TemporaryHome home;
    const ProductPaths product(home.path());
    const fs::path pipe = home.path() / "pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    for (const int kind : {0, 1, 2, 3}) {
        ASSERT_TRUE(installTrialProduct(home.path()));
        FakeProcess resident = FakeProcess::start(product.residentProgram);
        std::optional<FakeProcess> hostile;
        if (kind == 3) {
            hostile.emplace(std::vector<std::string>{"/bin/cat", pipe.string()});
        } else {
            // The identifier it would name is the resident's.
            const fs::path program =
                createFakeBundle(home.path() / "Applications", "Hostile" + std::to_string(kind),
                                 std::string(PellinBundleIdentifier));
            writeHostileInfoPlist(program.parent_path().parent_path().parent_path(),
                                  static_cast<HostileInfoPlist>(kind));
            hostile.emplace(FakeProcess::start(program));
        }

        ProgramSession session(uninstallerSession(home.path()));
        EXPECT_TRUE(exitedWith(answerDialogs(session), kExitUninstalled)) << kind << "\n"
                                                                          << session.shown();
        EXPECT_TRUE(resident.diedOfKill()) << kind;
        EXPECT_TRUE(hostile->survives()) << kind;
    }
}

// --- Where no display can show the dialog, the terminal does; the command line is checked ----

TEST(EndToEndTest, APlatformOrDisplayQtCannotStartOnLeavesTheDialogOnTheTerminal) {
    const TemporaryHome home;
    const FakeXDisplay silent(FakeXDisplay::Behaviour::Silent);
    ASSERT_TRUE(silent.available());
    for (const std::string& environment :
         {std::string("QT_QPA_PLATFORM=xcb"), std::string("QT_QPA_PLATFORM=wayland"),
          std::string("QT_QPA_PLATFORM=vnc"), silent.environmentEntry()}) {
        ProgramSession session(uninstallerSession(home.path(), {environment}));
        EXPECT_TRUE(exitedWith(answerDialogs(session, "2\n"), kExitDeclined)) << environment;
    }
}

TEST(EndToEndTest, OnlyHelpAndVersionAreTakenAndAnythingElseIsRefusedBeforeAnyDialog) {
    const TemporaryHome home;
    ASSERT_TRUE(installTrialProduct(home.path()));
    const std::vector<std::tuple<std::vector<std::string>, int, const char*>> rows = {
        {{"--help"}, 0, "Usage: PellinUninstaller [--help | --version]"},
        {{"--version"}, 0, "PellinUninstaller 1.0.0"},
        {{"-h"}, kExitUsage, "Usage: PellinUninstaller [--help | --version]"},
        {{"--help", "--version"}, kExitUsage, "'--version'"},
        {{"-platform", "offscreen"}, kExitUsage, "'-platform'"},
        {{""}, kExitUsage, "''"},
    };
    for (const auto& [arguments, expected, shows] : rows) {
        SessionOptions options = uninstallerSession(home.path());
        options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
        ProgramSession session(std::move(options));
        EXPECT_TRUE(exitedWith(session.finish(kFirstDialogLimit), expected)) << session.shown();
        EXPECT_NE(session.shown().find(shows), std::string::npos) << session.shown();
        EXPECT_EQ(session.shown().find(kConfirmationMessage), std::string::npos);
    }
    EXPECT_EQ(ProductPaths(home.path()).remaining().size(), 4U);
    EXPECT_FALSE(fs::exists(home.path() / "Library/Logs/PellinUninstaller"));
}

// --- The trial that users are pointed to works as documented ---------------------------------

// The shells that run a script in `folder`: the trial's programs, which it starts in the
// background. Found by the test itself, not through the code under test.
std::vector<pid_t> processesRunningFrom(const fs::path& folder) {
    // By command line, the first started: a shell forks copies of itself (for "sleep") that
    // look like it until they exec.
    std::map<std::string, pid_t> programs;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        const std::string command = readFile(entry.path() / "cmdline");
        if (name.find_first_not_of("0123456789") == std::string::npos &&
            command.starts_with(std::string("/bin/sh") + '\0' + folder.string()) &&
            processIsLive(std::stoi(name))) {
            const auto [it, added] = programs.emplace(command, std::stoi(name));
            it->second = std::min(it->second, std::stoi(name));
        }
    }
    std::vector<pid_t> pids;
    for (const auto& [command, pid] : programs) {
        pids.push_back(pid);
    }
    return pids;
}

TEST(EndToEndTest, TheTrialProductIsRemovedAndItsRunningProgramsAreQuit) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    const ExclusiveRun exclusive;
    const TemporaryHome home;
    const ProductPaths product(home.path());
    const std::vector<std::string> trial = {
        "/bin/bash", (scriptsDirectory() / "install-trial-product.sh").string()};
    ASSERT_TRUE(exitedWith(runQuietly(trial, userEnvironment(home.path().string())).status, 0));
    // The script hands its programs to setsid and returns, possibly before they have started.
    std::vector<pid_t> programs;
    for (int i = 0; i < 2000 && programs.size() < 2; ++i, nextClockTick()) {
        programs = processesRunningFrom(product.residentFolder);
    }
    struct KillAtEnd {
        const std::vector<pid_t>& pids;
        ~KillAtEnd() {
            for (const pid_t pid : pids) {
                kill(pid, SIGKILL);
            }
        }
    } const cleanup{programs};
    ASSERT_EQ(programs.size(), 2U);
    const Finished again = runQuietly(trial, userEnvironment(home.path().string()));
    EXPECT_NE(again.output.find("already running"), std::string::npos) << again.output;

    ProgramSession session(uninstallerSession(home.path()));
    ASSERT_TRUE(exitedWith(answerDialogs(session), kExitUninstalled)) << session.shown();

    for (int i = 0; i < 1000 && !processesRunningFrom(product.residentFolder).empty(); ++i) {
        nextClockTick();
    }
    EXPECT_EQ(processesRunningFrom(product.residentFolder), std::vector<pid_t>{});
    EXPECT_EQ(product.remaining(), std::vector<fs::path>{});
}

}  // namespace
