// The built uninstaller on a terminal of its own, in a home holding a fake Pellin whose fake
// applications run from real bundles; each flow is a row of tests/data/uninstaller/flows.tsv.
// Then the same program for an ordinary user, through sudo, and as installed with its Qt
// presenter module, on an X server of the test's own.

#include <PellinCommonLib/PellinCommonConstants.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "PrivatePidNamespace.h"
#include "TemporaryHome.h"
#include "TestCases.h"
#include "support/InstalledTree.h"
#include "support/TemporaryUser.h"
#include "support/Uninstaller.h"
#include "support/VirtualDisplay.h"

namespace {

namespace fs = std::filesystem;
using namespace pellin::test;
using ::testing::HasSubstr;
using ::testing::Not;
using Row = std::vector<std::string>;
// The rows of flows.tsv; each test is given its row's index.
const std::vector<Row> kFlows = casesIn("uninstaller/flows.tsv");

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// The value of "<key>=<value>" among the set-up's words; "" for a bare "<key>"; none without.
std::optional<std::string> setting(const Row& row, const std::string& key) {
    for (const std::string& word : words(row[6])) {
        if (word == key || word.starts_with(key + "=")) {
            return word.substr(std::min(word.size(), key.size() + 1));
        }
    }
    return std::nullopt;
}

std::string bigEndian(std::uint64_t value, int bytes) {
    std::string out;
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) {
        out += static_cast<char>((value >> shift) & 0xFF);
    }
    return out;
}

// "bplist00": object i is a list holding object i + 1, the last an empty list; 4-byte object
// references and offsets, then the trailer: the two sizes, the count, the top object (0) and
// where the offsets start.
std::string deeplyNestedBinaryPropertyList(std::uint64_t depth) {
    std::string list = "bplist00";
    std::string offsets;
    for (std::uint64_t i = 0; i <= depth; ++i) {
        offsets += bigEndian(list.size(), 4);
        list += i < depth ? '\xA1' + bigEndian(i + 1, 4) : "\xA0";
    }
    return list + offsets + std::string(6, '\0') + "\x04\x04" + bigEndian(depth + 1, 8) +
           bigEndian(0, 8) + bigEndian(list.size(), 8);
}

// Info.plists planted to stall or crash whoever reads them: 0 a binary list of 110,000 nested
// lists in less than 1 MiB, 1 30 GB that take no room on the disk, 2 a pipe nobody writes to.
void writeHostileInfoPlist(const fs::path& bundle, char kind) {
    const fs::path plist = bundle / "Contents/Info.plist";
    fs::remove(plist);
    if (kind == '0') {
        std::ofstream(plist, std::ios::binary) << deeplyNestedBinaryPropertyList(110'000);
    } else if (kind == '1') {
        std::ofstream{plist};
        fs::resize_file(plist, 30ULL << 30);
    } else {
        mkfifo(plist.c_str(), 0644);
    }
}

// chattr +i for the object's lifetime, which needs root and a file system that keeps the flag
// (tmpfs and overlay do not).
struct ImmutableFile {
    explicit ImmutableFile(const fs::path& path)
        : path(path), applied(runQuietly({"/usr/bin/chattr", "+i", path.string()}).exitedWith(0)) {}
    ~ImmutableFile() {
        if (applied) {
            runQuietly({"/usr/bin/chattr", "-i", path.string()});
        }
    }
    const fs::path path;
    const bool applied;
};

class EndToEndFlow : public ::testing::TestWithParam<std::size_t> {
  protected:
    // The processes a row may start, by name.
    FakeProcess start(const std::string& name, const fs::path& home) {
        const ProductPaths product(home);
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
        if (name == "reader") {  // an argument naming a pipe nobody writes to
            mkfifo((home / "pipe").c_str(), 0644);
            return FakeProcess({"/bin/cat", (home / "pipe").string()});
        }
        // A bundle of its own: "<folder in the home>/<name>=<identifier>[=script|=hostile<kind>]".
        if (std::vector<std::string> parts = words(std::regex_replace(name, std::regex("="), " "));
            parts.size() > 1) {
            parts.resize(3);
            const fs::path bundle = home / parts[0];
            const fs::path program =
                createFakeBundle(bundle.parent_path(), bundle.filename(), parts[1],
                                 parts[2] == "script" ? ProgramKind::Script : ProgramKind::Binary);
            if (parts[2].starts_with("hostile")) {
                writeHostileInfoPlist(bundle.string() + ".app", parts[2].back());
            }
            return FakeProcess::start(program);
        }
        return FakeProcess({"/bin/sleep", "3600"});
    }
};

TEST_P(EndToEndFlow, LeavesWhatItMustAndQuitsOnlyTheFirstInstances) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    const Row& flow = kFlows[GetParam()];
    ASSERT_EQ(flow.size(), 7U);
    ASSERT_TRUE(fs::exists(uninstallerProgram())) << uninstallerProgram();
    const ExclusiveRun exclusive;
    const TemporaryHome home(
        setting(flow, "hostile-home")
            ? "it's a \"home\"; touch pwned $(touch pwned2) `touch pwned3` & ~ *"
            : "home");
    const ProductPaths product(home.path());
    if (!setting(flow, "not-installed")) {
        ASSERT_TRUE(installTrialProduct(home.path()));
    } else {
        home.writeFile("Library/Preferences/com.brenvik.mac.Pellin.common.plist",
                       "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict/></plist>\n");
    }
    const std::optional<std::string> during = setting(flow, "during");
    if (during == "updater-binary") {
        createFakeBundle(product.residentFolder, "BRENVIKUPDATE",
                         std::string(PellinUpdaterBundleIdentifier));
    }
    // Files beside and around the product's items, which an uninstall must leave alone.
    const char* const sentinels[] = {
        "Library/LaunchAgents/com.example.other.plist",
        "Library/Preferences/com.example.other.plist",
        "Library/Preferences/com.brenvik.mac.Pellin.common.plist.backup",
        "Library/PellinNotes.txt",
        "Library/Application Support/Pellin/keep.txt",
        "Applications/Other.app/Contents/Info.plist",
        "Applications/KickPellin.app copy/Contents/Info.plist",
        "sentinel.txt",
        "../beside-home.txt"};
    for (const char* sentinel : sentinels) {
        home.writeFile(sentinel, "keep\n");
    }
    if (const auto level = setting(flow, "level")) {
        home.writeFile("Library/Preferences/com.brenvik.bvlog.plist",
                       "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>level</key>"
                       "<string>" +
                           *level + "</string></dict></plist>\n");
    }
    std::optional<ImmutableFile> stuck;
    if (const auto file = setting(flow, "stuck");
        file && !stuck.emplace(home.path() / *file).applied) {
        GTEST_SKIP() << "chattr +i is refused here (it needs root and a file system that keeps "
                        "the immutable flag)";
    }
    std::map<std::string, FakeProcess> processes;
    for (const std::string& name : words(flow[1])) {
        processes.emplace(name, start(name, home.path()));
    }

    const std::map<std::string, const char*> keys = {
        {"1", "1\n"}, {"2", "2\n"}, {"return", "\n"}, {"eof", "\x04"}};
    ProgramSession session(uninstallerSession(home.path(), {}, flow[2] != "none"));
    const int status =
        flow[2] == "none" ? session.finish() : answerDialogs(session, keys.at(flow[2]), [&] {
            if (during) {
                processes.emplace("late", start(*during, home.path()));
            }
        });

    EXPECT_TRUE(exitedWith(status, std::stoi(flow[3]))) << status << "\n" << session.shown();
    std::vector<fs::path> remains;
    for (const std::string& item : words(flow[5])) {
        remains.push_back(item == "agent"      ? product.launchAgent
                          : item == "resident" ? product.residentFolder
                          : item == "launcher" ? product.launcher
                                               : product.sharedDomain);
    }
    EXPECT_EQ(product.remaining(), remains);
    for (const char* sentinel : sentinels) {
        EXPECT_TRUE(fs::exists(home.path() / sentinel)) << sentinel;
    }
    const std::vector<std::string> killed = words(flow[4]);
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
    if (setting(flow, "golden")) {
        std::string transcript = session.shown() + "--- log\n";
        // Its files are named after the time they were started, so the names sort by age.
        std::error_code none;  // no log at all
        const std::set<fs::path> logs(
            fs::directory_iterator(home.path() / "Library/Logs/PellinUninstaller", none),
            fs::directory_iterator());
        // "<date> <time> [LEVEL] [queue] [File.cpp:12 +[Class selector]] message" reads
        // "LEVEL +[Class selector] | message".
        static const std::regex format(R"(\S+ \S+ \[(\w+)\] \[[^\]]*\] \[\S+ ([^\]]*\])\] (.*))");
        for (const fs::path& log : logs) {
            std::istringstream lines(readFile(log));
            for (std::string line, parsed; std::getline(lines, line); transcript += parsed + "\n") {
                std::smatch parts;
                parsed = std::regex_match(line, parts, format) ? parts.format("$1 $2 | $3")
                                                               : "UNPARSED " + line;
            }
        }
        std::erase(transcript, '\r');
        for (std::size_t at; (at = transcript.find(home.path().string())) != std::string::npos;) {
            transcript.replace(at, home.path().string().size(), "$HOME");
        }
        expectGolden("uninstaller/" + flow[0] + ".txt", transcript);
    }
}

INSTANTIATE_TEST_SUITE_P(Flows, EndToEndFlow, ::testing::Range<std::size_t>(0, kFlows.size()),
                         [](const auto& info) { return kFlows[info.param][0]; });

// --- The command line is checked before anything else --------------------------------------

TEST(EndToEndTest, OnlyHelpAndVersionAreTakenAndAnythingElseIsRefusedBeforeAnyDialog) {
    const TemporaryHome home;
    ASSERT_TRUE(installTrialProduct(home.path()));
    for (const auto& row : casesIn("uninstaller/command-lines.tsv")) {
        SessionOptions options = uninstallerSession(home.path());
        for (const std::string& argument : words(row[0])) {
            options.arguments.push_back(argument == "''" ? "" : argument);
        }
        ProgramSession session(std::move(options));
        EXPECT_TRUE(exitedWith(session.finish(kFirstDialogLimit), std::stoi(row[1])))
            << session.shown();
        EXPECT_NE(session.shown().find(row[2]), std::string::npos) << session.shown();
        EXPECT_EQ(session.shown().find(kConfirmationMessage), std::string::npos);
    }
    EXPECT_EQ(ProductPaths(home.path()).remaining().size(), 4U);
    EXPECT_FALSE(fs::exists(home.path() / "Library/Logs/PellinUninstaller"));
}

// --- The trial that users are pointed to works as documented ---------------------------------

// The trial's programs, found by the test itself, not through the code under test: the oldest
// shell running each of them (a shell forks copies of itself, for "sleep", that look like it
// until they exec).
std::vector<std::string> trialPrograms(const ProductPaths& product) {
    std::vector<std::string> found;
    for (const fs::path& program : {product.residentProgram, product.updaterProgram}) {
        const ProgramRun oldest =
            runQuietly({"/usr/bin/pgrep", "-o", "-x", "-f", "/bin/sh " + program.string()});
        if (!oldest.output.empty()) {
            found.push_back(oldest.output);
        }
    }
    return found;
}

// The resident started as the launch agent, through our launchctl, and the updater beside it.
TEST(EndToEndTest, TheTrialProductIsRemovedItsAgentUnloadedAndItsProgramsQuit) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    const ExclusiveRun exclusive;
    const TemporaryHome home;
    const ProductPaths product(home.path());
    const std::vector<std::string> environment = userEnvironment(home.path().string());
    const std::string launchctl = (buildDirectory() / "bin/launchctl").string();
    const std::string trial = (scriptsDirectory() / "install-trial-product.sh").string();
    const ProgramRun installed =
        runQuietly({"/bin/bash", trial, "--launchctl", launchctl}, environment);
    ASSERT_TRUE(exitedWith(installed.status, 0)) << installed.output;
    // The script hands its programs to setsid and returns, possibly before they have started.
    for (int i = 0; i < 2000 && trialPrograms(product).size() < 2; ++i) {
        nextClockTick();
    }
    // Whatever is left ends with the namespace.
    ASSERT_EQ(trialPrograms(product).size(), 2U);
    const ProgramRun again = runQuietly({"/bin/bash", trial}, environment);
    EXPECT_NE(again.output.find("already running"), std::string::npos) << again.output;
    const ProgramRun loaded = runQuietly({launchctl, "list"}, environment);
    ASSERT_NE(loaded.output.find("\t-\tjp.brenvik.mac.Pellin"), std::string::npos) << loaded.output;

    ProgramSession session(uninstallerSession(home.path()));
    ASSERT_TRUE(exitedWith(answerDialogs(session), kExitUninstalled)) << session.shown();

    for (int i = 0; i < 1000 && !trialPrograms(product).empty(); ++i) {
        nextClockTick();
    }
    EXPECT_EQ(trialPrograms(product), std::vector<std::string>{});
    EXPECT_EQ(product.remaining(), std::vector<fs::path>{});
    const ProgramRun after = runQuietly({launchctl, "list"}, environment);
    EXPECT_EQ(after.output.find("jp.brenvik.mac.Pellin"), std::string::npos) << after.output;
}

// --- The real uninstaller, shell and sudo, for an ordinary user made for the test -----------
// What the user can write (the folder of their own copy of the program) never makes root run
// the user's programs.

TEST(PrivilegedPathEndToEndTest, AnOrdinaryUsersRemovalGoesThroughSudoAndRunsNothingOfTheirs) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    if (!TemporaryUser::possibleHere()) {
        GTEST_SKIP() << "making a user with sudo needs root, useradd, userdel and sudo";
    }
    const ExclusiveRun exclusive;
    const TemporaryHome rootsTestHome;
    TemporaryUser user;
    ASSERT_TRUE(user.ready());
    // What must not change in root's own home.
    const ProductPaths rootsProduct(getpwuid(0)->pw_dir);
    const std::vector<fs::path> rootsItemsBefore = rootsProduct.remaining();
    ASSERT_TRUE(installTrialProduct(user.home(), user.runAs()));
    const ProductPaths product(user.home());
    // Only administrator rights can remove a launcher that root owns: its removal proves that
    // the elevation happened, and with the user's home.
    ASSERT_TRUE(giveTo(product.launcher, RunAs{0, 0}));
    const fs::path outside = user.besideHome() / "outside.txt";
    std::ofstream(outside) << "keep\n";

    // The installed programs copied to the user's own ~/.local, as README suggests, with
    // programs of the user's beside it. Only root can write beside the home: a line there was
    // written by a planted program as root.
    const InstalledTree installed;
    ASSERT_TRUE(installed.installed()) << installed.output();
    fs::copy(installed.prefix(), user.home() / ".local", fs::copy_options::recursive);
    const fs::path program = user.home() / ".local/bin/PellinUninstaller";
    const fs::path marker = user.besideHome() / "planted-program-ran";
    // Each leaves the marker behind and then does what the real one does.
    for (const char* name : {"sudo", "rm", "stat"}) {
        std::ofstream(program.parent_path() / name)
            << "#!/bin/sh\necho \"$(id -u)\" >>'" << marker.string() << "'\nexec /usr/bin/" << name
            << " \"$@\"\n";
        fs::permissions(program.parent_path() / name, fs::perms(0755));
    }
    ASSERT_TRUE(giveTo(user.home() / ".local", user.runAs()));

    FakeProcess resident = FakeProcess::start(product.residentProgram, user.runAs());
    nextClockTick();
    FakeProcess secondResident = FakeProcess::start(product.residentProgram, user.runAs());
    FakeProcess updater = FakeProcess::start(product.updaterProgram, user.runAs());
    // Root's own instance is not the user's application.
    FakeProcess rootsResident = FakeProcess::start(
        createFakeBundle(rootsTestHome.path() / "Apps", "Pellin", "com.brenvik.mac.Pellin"));

    SessionOptions options = uninstallerSession(user.home(), {}, true, user.runAs());
    options.arguments = {program.string()};
    ProgramSession session(std::move(options));
    EXPECT_TRUE(exitedWith(answerDialogs(session), kExitUninstalled)) << session.shown();
    EXPECT_FALSE(fs::exists(marker)) << readFile(marker);
    EXPECT_EQ(product.remaining(), std::vector<fs::path>{});
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_TRUE(resident.diedOfKill());
    EXPECT_TRUE(updater.diedOfKill());
    EXPECT_TRUE(secondResident.survives());
    EXPECT_TRUE(rootsResident.survives());
    EXPECT_EQ(rootsProduct.remaining(), rootsItemsBefore);
}

// --- The installed uninstaller and its Qt presenter module ---------------------------------

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
