// The script runner as the programs use it: its one statement, the quoting that embeds a text in
// it, and the real shell behind it, unprivileged and through sudo or pkexec; what a shell with
// administrator rights removes; and our launchctl, which the runner finds beside the running
// program, with real agents and real processes that forged records name.

#include <PellinAppleScript/AppleScript.h>
#include <PellinAppleScript/DoShellScriptExecutor.h>
#include <PellinAppleScript/DoShellScriptStatement.h>
#include <PellinAppleScript/Quoting.h>
#include <PellinAppleScript/ShellHost.h>
#include <PellinAppleScript/ShellInvocation.h>

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "PrivatePidNamespace.h"
#include "ScopedEnvironment.h"
#include "Subprocess.h"
#include "TemporaryHome.h"
#include "TestCases.h"

namespace {

namespace fs = std::filesystem;
using namespace applescript;
using foundation::Value;
using pellin::test::runQuietly;

struct ScriptRun {
    std::optional<std::string> result;
    foundation::Dictionary error{{"Other", Value("kept")}};

    Value at(std::string_view key) const {
        const auto found = error.find(key);
        return found == error.end() ? Value() : found->second;
    }
    Value number() const { return at(NSAppleScriptErrorNumber); }
    std::string message() const {
        return at(NSAppleScriptErrorMessage).text() ? *at(NSAppleScriptErrorMessage).text() : "";
    }
};

// Runs `text` through the runner: as it runs for the programs, or for `host`, told that the text
// removes in `folders`.
ScriptRun shell(const std::string& text, const std::optional<ShellHost>& host = std::nullopt,
                bool administrator = false, const std::vector<std::string>& folders = {}) {
    const std::string source = "do shell script " + stringLiteral(text) +
                               (administrator ? " with administrator privileges" : "");
    ScriptRun run;
    run.result =
        AppleScript(source, host ? std::make_shared<DoShellScriptExecutor>(host, folders) : nullptr)
            .executeAndReturnError(&run.error);
    return run;
}

TEST(DoShellScriptStatement, OnlyTheOneStatementIsReadAndAnythingElseFailsWithMinus2740Unrun) {
    // The clause makes the run privileged; case and blanks around the words do not matter.
    EXPECT_EQ(parseDoShellScript("\n DO Shell\tSCRIPT \"a\\rb\" With  Administrator Privileges ")
                  .statement,
              (DoShellScriptStatement{"a\rb", true}));
    pellin::test::TemporaryHome home;
    const std::string touch = "touch " + quotedForm((home.path() / "ran").string());
    const std::string sources[] = {
        "do shell script " + stringLiteral(touch) + " & \"\"",
        "do shell script " + quotedForm(touch),
        "do shell script " + stringLiteral(touch) + " with administrator privileges, please",
        "do shell script " + stringLiteral(touch) + " with administrator",
        "do shell script \"a\"\ndo shell script " + stringLiteral(touch),
        std::string(),
        "do shell scripts \"x\"",
        "do shell script \"unterminated",
        "do shell script \"bad \\q\"",
        "do shell script \"trailing\\",
        "display dialog \"x\""};
    for (const std::string& source : sources) {
        ScriptRun ran;
        ran.result = AppleScript(source).executeAndReturnError(&ran.error);
        EXPECT_EQ(ran.number(), Value(-2740)) << source;
        EXPECT_NE(ran.message().find("Expected"), std::string::npos) << ran.message();
    }
    EXPECT_FALSE(fs::exists(home.path() / "ran"));
}

TEST(Quoting, AnyTextComesBackFromTheLiteralAndReachesTheShellAsOneUninterpretedWord) {
    pellin::test::TemporaryHome home;
    for (const std::string text :
         {"plain", "two words", "it's", "''", "say \"hi\"", "back\\slash \\\" \\\\",
          "$(touch pwned) `touch pwned` ; touch pwned & | > < * ? [a] {b,c} ~ # !",
          "$HOME ${HOME} $0 $1 \"$@\"", "line\nbreak\ttab", "-rf", ""}) {
        const auto parse = parseDoShellScript("do shell script " + stringLiteral(text));
        ASSERT_TRUE(parse.statement) << text << ": " << parse.failure;
        EXPECT_EQ(parse.statement->shellText, text);
        // printf prints its second argument only when the word did not split.
        std::string expected = text + "|end";
        std::replace(expected.begin(), expected.end(), '\n', '\r');
        EXPECT_EQ(shell("printf '%s|%s' " + quotedForm(text) + " end").result, expected);
    }
    EXPECT_FALSE(fs::exists("pwned"));
    EXPECT_FALSE(fs::exists(home.path() / "pwned"));
}

TEST(DoShellScript, TheResultIsStandardOutputAndAFailureKeepsStatusAndStandardError) {
    pellin::test::TemporaryHome home;
    const std::tuple<const char*, std::optional<std::string>, Value, const char*> runs[] = {
        {"printf 'a\\nb\\n'", "a\rb", Value(), ""},
        {"printf 'a\\n\\n'", "a\r", Value(), ""},
        {"printf 'a\\r\\nb'", "a\rb", Value(), ""},
        {"echo out; echo 'oops: bad' >&2; exit 3", std::nullopt, Value(3), "oops: bad"},
        {"echo 'only out'; exit 4", std::nullopt, Value(4), "only out"},
        {"kill -KILL $$", std::nullopt, Value(128 + 9), ""},
    };
    for (const auto& [text, result, number, message] : runs) {
        const ScriptRun ran = shell(text);
        EXPECT_EQ(ran.result, result) << text;
        EXPECT_EQ(ran.number(), number) << text;  // a success leaves the record alone
        EXPECT_EQ(ran.message(), message) << text;
        EXPECT_EQ(ran.at("Other"), Value("kept"));
    }
    // Both outputs are drained together, so a big one cannot block the run.
    EXPECT_EQ(shell("i=0; while [ $i -lt 4000 ]; do echo 0123456789; echo 0123456789 >&2; "
                    "i=$((i+1)); done")
                  .result.value_or("")
                  .size(),
              4000u * 11u - 1u);
}

// As root, sudo lets a host that pretends to be an ordinary user through without a password.
ShellHost ordinaryUser(const pellin::test::TemporaryHome& home) {
    ShellHost host = ShellHost::current();
    host.isRoot = false;
    host.hasDisplay = false;
    host.hasTerminal = true;
    host.home = home.path().string();
    host.owner = ::getuid();
    return host;
}

TEST(Elevation, UnderSudoTheShellHasTheUsersHomeAndOnlyTheSystemsPath) {
    if (::geteuid() != 0 || !findSystemProgram("sudo")) {
        GTEST_SKIP() << "needs root and sudo";
    }
    pellin::test::TemporaryHome home("user home; $(x) 'q'");
    const std::string h = home.path().string();
    EXPECT_EQ(
        shell("cd ~ && pwd && printf '%s|%s' \"$HOME\" \"$PATH\"", ordinaryUser(home), true).result,
        h + "\r" + h + "|" + std::string(kElevatedSearchPath));
}

// pkexec needs a desktop session, and sudo a password prompt: stand-ins play their exits.
TEST(Elevation, OnlyADismissalIsUserCanceledAndEveryOtherRefusalKeepsItsOwnMessage) {
    pellin::test::TemporaryHome home;
    const std::string marker = (home.path() / "ran").string();
    for (const auto& refusal : pellin::test::casesIn("elevation-refusals.tsv")) {
        ASSERT_EQ(refusal.size(), 5u);
        const auto& [tool, terminal, body, number, message] =
            std::tie(refusal[0], refusal[1], refusal[2], refusal[3], refusal[4]);
        const fs::path program = home.parent() / tool;
        std::ofstream(program) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(program, fs::perms::owner_all);
        ShellHost host = ordinaryUser(home);
        host.hasTerminal = terminal == "yes";
        host.hasDisplay = tool == "pkexec";
        (host.hasDisplay ? host.pkexecPath : host.sudoPath) = program.string();
        const ScriptRun ran =
            shell("touch " + quotedForm(marker) + "; echo ran >&2; exit 126", host, true);
        EXPECT_EQ(ran.number(), Value(std::stoi(number))) << body;
        EXPECT_TRUE(ran.message().ends_with(message)) << ran.message();
        EXPECT_EQ(fs::remove(marker), number == "126") << body;
    }
}

TEST(Elevation, APrivilegedRunWithoutAnAbsoluteHomeOrItsOwnerDoesNotStartEvenAsRoot) {
    ShellHost host;
    host.home = "/home/a b/it's $(x)";
    host.owner = 1000;
    EXPECT_NE(planShellInvocation({"true", true}, host).failure.find("sudo"), std::string::npos);
    host.sudoPath = "/usr/bin/sudo";
    for (const bool isRoot : {false, true}) {
        host.isRoot = isRoot;
        for (const char* home : {"", "relative/home", "-rf"}) {
            host.home = home;
            const auto plan = planShellInvocation({"rm ~/x", true}, host);
            EXPECT_FALSE(plan.invocation) << home;
            EXPECT_NE(plan.failure.find("home folder"), std::string::npos);
        }
        ShellHost noOwner = host;
        noOwner.home = "/home/a";
        noOwner.owner.reset();
        EXPECT_FALSE(planShellInvocation({"rm ~/x", true}, noOwner).invocation);
    }
}

// --- What a shell with administrator rights removes ----------------------------------------
// Only inside the home of the user it acts for, reached from the home through that user's own
// folders and no link, whatever the user changes in the home meanwhile. Run for real as root,
// which acts for the home's owner.

TEST(GuardedRemoval, OnlyWhatLiesInTheOwnersHomeReachedWithoutALinkIsRemovedEvenMidSwap) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "runs the privileged shell directly, which needs root";
    }
    const pellin::test::TemporaryHome home("user home");
    const fs::path h = home.path(), out = home.parent() / "outside";
    const std::string variables =
        "H=" + quotedForm(h.string()) + "; OUT=" + quotedForm(out.string()) + "; ";
    // A fresh home holding Documents/Pellin/keep, then `setUp` run in it; OUT holds Pellin/keep.
    const auto plant = [&](const std::string& setUp) {
        fs::remove_all(h);
        const std::string keep =
            "mkdir -p \"$H/Documents/Pellin\" \"$OUT/Pellin\" && cd \"$H\" && "
            "touch Documents/Pellin/keep \"$OUT/Pellin/keep\"; ";
        ASSERT_EQ(std::system((variables + keep + setUp).c_str()), 0) << setUp;
    };
    const auto kept = [&] {
        return fs::exists(out / "Pellin/keep") && fs::exists(h / "Documents/Pellin/keep");
    };
    // The folders the caller may name as those the text removes in: every operand's folder
    // below, and one outside the home, which must not count.
    const std::vector<std::string> folders = {(h / "Library").string(),
                                              (h / "Library/Agents").string(),
                                              (h / "Nothing").string(), out.string()};
    // Runs `command` in the privileged shell acting for `owner`. With `named`, the shell is told
    // the folders above, and proves them before the text runs.
    const auto removal = [&](const std::string& command, bool named, uid_t owner = 0) {
        ShellHost host = ShellHost::current();
        host.owner = owner ? owner : *host.owner;
        return shell(variables + command, host, true, named ? folders : std::vector<std::string>());
    };

    for (const bool named : {false, true}) {
        for (const auto& each : pellin::test::casesIn("guarded-removals.tsv")) {
            ASSERT_EQ(each.size(), 5U);
            const auto& [name, setUp, command, removed] =
                std::tie(each[0], each[1], each[2], each[3]);
            plant(setUp);
            const ScriptRun run =
                removal(command, named, each[4].empty() ? 0 : uid_t(std::stoul(each[4])));
            EXPECT_EQ(run.result.has_value(), removed != "-") << name << ": " << run.message();
            EXPECT_TRUE(run.result || run.message().find(h.string()) != std::string::npos)
                << run.message();
            EXPECT_TRUE(kept() && (removed == "-" || !fs::exists(fs::symlink_status(h / removed))))
                << name << (named ? ", its folder named" : "");
        }
    }
    // A folder swapped for a link to outside the home, or to another folder of the same user at
    // the same depth inside it, with the folder named beforehand and without.
    for (const auto& [elsewhere, named] : {std::pair{"\"$OUT\"", false},
                                           {"\"$OUT\"", true},
                                           {"Documents", false},
                                           {"Documents", true}}) {
        plant("mkdir -p Library/Pellin; ln -s " + std::string(elsewhere) + " Library.link");
        // Another program of the user exchanges the folder and the link as fast as it can.
        const std::jthread swapper([&](const std::stop_token& stop) {
            while (!stop.stop_requested()) {
                ::renameat2(AT_FDCWD, (h / "Library").c_str(), AT_FDCWD,
                            (h / "Library.link").c_str(), RENAME_EXCHANGE);
            }
        });
        for (int attempt = 0; attempt < 100 && kept(); ++attempt) {
            removal("sudo rm -rf \"$H/Library/Pellin\"", named);
        }
        EXPECT_TRUE(kept()) << elsewhere << (named ? ", its folder named" : "");
    }
}

// --- Our launchctl, run as the Pellin programs run it -------------------------------------

constexpr uid_t kNobody = 65534;

// /proc/<pid>/stat after the command name, as the tool reads it: [0] is the state, [19] the
// start time in clock ticks since boot.
std::vector<std::string> statFields(pid_t pid) {
    const std::string line = pellin::test::readFile("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream in(line.substr(line.rfind(')') + 1));
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// Running: it exists and is not a zombie that nobody has reaped yet.
bool processIsLive(pid_t pid) {
    const std::vector<std::string> fields = statFields(pid);
    return !fields.empty() && fields[0] != "Z" && fields[0] != "X";
}

// "timeout" answers 124 for a hang; a crash would be 128 plus the signal.
ScriptRun launchctl(const std::string& command, const fs::path& plist = {}) {
    return shell("timeout 10 launchctl " + command +
                 (plist.empty() ? "" : " " + quotedForm(plist.string())));
}

// The pid `list` shows for `label`; nullopt when it lists no such agent, 0 for "-".
std::optional<int> listedPid(const std::string& label) {
    std::istringstream list(launchctl("list").result.value_or(""));
    for (std::string pid, status, name; list >> pid >> status >> name;) {
        if (name == label) {
            return pid == "-" ? 0 : std::stoi(pid);
        }
    }
    return std::nullopt;
}

// Waits (the test's timeout bounds it) until `check` holds.
template <class Check>
void await(const Check& check) {
    while (!check()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// A process the tool never started, leading a session and group of its own, once `shell` has
// brought it to run sleep.
struct Stranger : pellin::test::Subprocess {
    explicit Stranger(const std::string& shell)
        : Subprocess({{"/bin/sh", "-c", shell}, {}, false, std::nullopt, false}) {
        await([this] {
            std::error_code error;
            return fs::read_symlink("/proc/" + std::to_string(pid()) + "/exe", error) ==
                   fs::canonical("/bin/sleep");
        });
    }
};
constexpr const char* kSleepAsNobody =
    "exec /usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups sleep 300";

class Launchctl : public ::testing::Test {
  protected:
    void SetUp() override { environment_.unset("XDG_STATE_HOME"); }
    void TearDown() override {
        for (const fs::path& plist : written_) {
            launchctl("unload", plist);
        }
    }

    fs::path writeAgent(const std::string& label, const std::vector<std::string>& arguments) {
        std::string body = "<plist version=\"1.0\"><dict><key>Label</key><string>" + label +
                           "</string><key>ProgramArguments</key><array>";
        for (const std::string& argument : arguments) {
            body += "<string>" + argument + "</string>";
        }
        written_.push_back(home_.writeFile("Library/LaunchAgents/" + label + ".plist",
                                           body + "</array></dict></plist>"));
        return written_.back();
    }

    pellin::test::ScopedEnvironment environment_;
    pellin::test::TemporaryHome home_{"agent home"};
    fs::path state_ = home_.path() / ".local/state/pellin-launchctl";
    std::vector<fs::path> written_;
};

TEST_F(Launchctl, UnloadEndsTheAgentsWholeGroupEvenIgnoringTermOrWithItsFileGone) {
    const fs::path childFile = home_.path() / "child";
    const fs::path stubborn =
        writeAgent("test.agent.stubborn", {"/bin/sh", "-c",
                                           "trap '' TERM; sleep 300 &amp; echo $! &gt; " +
                                               quotedForm(childFile.string()) + "; wait"});
    const fs::path plain = writeAgent("test.agent.plain", {"sleep", "300"});
    ASSERT_TRUE(launchctl("load", stubborn).result);
    ASSERT_TRUE(launchctl("load", plain).result);
    await([&] { return fs::exists(childFile) && fs::file_size(childFile) > 0; });
    const int child = std::stoi(pellin::test::readFile(childFile));
    const int agent = listedPid("test.agent.stubborn").value_or(0);
    const int other = listedPid("test.agent.plain").value_or(0);
    ASSERT_GT(agent, 1);
    EXPECT_NE(launchctl("load", stubborn).message().find("already loaded"), std::string::npos);
    EXPECT_EQ(listedPid("test.agent.stubborn"), agent);

    fs::remove(plain);
    for (const fs::path& plist : {stubborn, plain}) {
        const ScriptRun unload = launchctl("unload", plist);
        EXPECT_TRUE(unload.result) << plist << unload.message();
    }
    for (const int pid : {agent, child, other}) {
        EXPECT_FALSE(processIsLive(pid)) << pid;
    }
    EXPECT_EQ(launchctl("list").result, "PID\tStatus\tLabel");
}

TEST_F(Launchctl, WhatIsNotALoadableAgentIsRefusedAndStartsNothing) {
    ASSERT_EQ(::mkfifo((home_.path() / "fifo").c_str(), 0600), 0);
    for (const auto& refusal : pellin::test::casesIn("launchctl-refusals.tsv")) {
        ASSERT_EQ(refusal.size(), 4u);
        const auto& [command, status, message, file] =
            std::tie(refusal[0], refusal[1], refusal[2], refusal[3]);
        const fs::path plist = file.empty()     ? fs::path()
                               : file == "fifo" ? home_.path() / "fifo"
                                                : home_.writeFile("agent.plist", file);
        const ScriptRun run = launchctl(command, plist);
        EXPECT_EQ(run.number(), Value(std::stoi(status))) << command << " " << file;
        EXPECT_TRUE(run.message().starts_with(message)) << run.message();
        // Commands that only look leave no state folder where nothing was ever loaded.
        EXPECT_TRUE(command == "load" || !fs::exists(state_)) << command << " " << file;
    }
    EXPECT_EQ(launchctl("list").result, "PID\tStatus\tLabel");
}

// Run as root in a user's home, it also starts nothing and leaves nothing of root's there.
TEST_F(Launchctl, AForgedRecordNeverSignalsAnotherProcessOrItsGroup) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    const Stranger others(kSleepAsNobody);
    const Stranger roots("exec sleep 300");
    // The user's own process leads a group in which one of root's runs as well.
    const fs::path mateFile = home_.parent() / "mate";
    const Stranger leader("sleep 300 & echo $! > " + quotedForm(mateFile.string()) + "; " +
                          kSleepAsNobody);
    const pid_t mate = std::stoi(pellin::test::readFile(mateFile));
    const auto processStartTime = [](pid_t pid) { return statFields(pid).at(19); };
    // What the record names, the owner of the home that holds it, the start time it gives.
    const std::tuple<const char*, pid_t, uid_t, std::string> forgeries[] = {
        {"pid 1, whose group -1 is every process", 1, 0, processStartTime(1)},
        {"another user's process group", others.pid(), 0, processStartTime(others.pid())},
        {"root's process group, in a user's home", roots.pid(), kNobody,
         processStartTime(roots.pid())},
        {"a pid another process took over", roots.pid(), 0, "1"},
        {"the user's own process, with root's in its group", leader.pid(), kNobody,
         processStartTime(leader.pid())},
    };
    for (const auto& [name, pid, owner, start] : forgeries) {
        const fs::path plist = writeAgent("test.agent.forged", {"sleep", "300"});
        fs::create_directories(state_);
        struct stat exe {};
        ASSERT_EQ(::stat(("/proc/" + std::to_string(pid) + "/exe").c_str(), &exe), 0) << name;
        std::ofstream(state_ / "test.agent.forged.agent")
            << "pid=" << pid << "\nstart=" << start << "\nexe=" << exe.st_dev << ":" << exe.st_ino
            << "\nplist=" << plist.string();
        const std::string local = (home_.path() / ".local").string(), uid = std::to_string(owner);
        ASSERT_TRUE(pellin::test::giveTo(local, {owner, owner}));
        ASSERT_EQ(::chown(home_.path().c_str(), owner, owner), 0);
        // Root loads nothing in a user's home: the agent would run as root there.
        EXPECT_TRUE(owner == 0 || !launchctl("load", plist).result) << name;
        launchctl("unload", plist);
        for (const pid_t stranger : {others.pid(), roots.pid(), mate}) {
            EXPECT_TRUE(processIsLive(stranger)) << name << ": " << stranger;
        }
        EXPECT_FALSE(listedPid("test.agent.forged").value_or(0) > 0) << name;
        EXPECT_EQ(runQuietly({"/usr/bin/find", local, "!", "-uid", uid}).output, "") << name;
        fs::remove_all(local);
        ASSERT_EQ(::chown(home_.path().c_str(), 0, 0), 0);
    }
    ::kill(mate, SIGKILL);
}

TEST_F(Launchctl, TheStateFolderIsPrivateAndNoLinkPlantedInItIsFollowed) {
    const fs::path plist = writeAgent("test.agent.linked", {"sleep", "300"});
    const fs::path victim = home_.parent() / "victim";
    const fs::path created = home_.parent() / "created";
    // Where the tool writes: its lock, its temporary record, the record itself.
    for (const std::string name :
         {".lock", "test.agent.linked.agent.tmp", "test.agent.linked.agent"}) {
        std::ofstream(victim) << "keep\n";
        fs::create_directories(state_);
        fs::create_symlink(name == ".lock" ? created : victim, state_ / name);
        launchctl("load", plist);
        launchctl("unload", plist);
        EXPECT_EQ(pellin::test::readFile(victim), "keep\n") << name;
        EXPECT_FALSE(fs::exists(created)) << name;
        fs::remove_all(home_.path() / ".local");
    }
    // The folder itself.
    fs::create_directories(state_.parent_path());
    fs::create_directory_symlink(home_.parent(), state_);
    EXPECT_FALSE(launchctl("load", plist).result);
    EXPECT_FALSE(fs::exists(home_.parent() / "test.agent.linked.agent"));
    fs::remove_all(home_.path() / ".local");

    ASSERT_TRUE(launchctl("load", plist).result);
    EXPECT_EQ(fs::status(state_).permissions(), fs::perms(0700));
    for (const char* name : {".lock", "test.agent.linked.agent"}) {
        EXPECT_EQ(fs::status(state_ / name).permissions(), fs::perms(0600)) << name;
    }
}

}  // namespace
