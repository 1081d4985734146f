// Our launchctl, run as the Pellin programs run it: through the script runner, which finds it
// beside the running program. Agents, and the processes forged records name, are real.

#include <PellinAppleScript/AppleScript.h>
#include <PellinAppleScript/Quoting.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "PrivatePidNamespace.h"
#include "ScopedEnvironment.h"
#include "Subprocess.h"
#include "TemporaryHome.h"
#include "TestCases.h"

namespace {

namespace fs = std::filesystem;
using applescript::quotedForm;
using pellin::test::runQuietly;

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

struct ToolRun {
    std::optional<std::string> output;
    std::int64_t status = 0;
    std::string message;
};

// "timeout" answers 124 for a hang; a crash would be 128 plus the signal.
ToolRun launchctl(const std::string& command, const fs::path& plist = {}) {
    const std::string text =
        "timeout 10 launchctl " + command + (plist.empty() ? "" : " " + quotedForm(plist.string()));
    foundation::Dictionary error;
    ToolRun run{applescript::AppleScript("do shell script " + applescript::stringLiteral(text))
                    .executeAndReturnError(&error),
                0, ""};
    if (!run.output) {
        run.status = *error.at("NSAppleScriptErrorNumber").integer();
        run.message = *error.at("NSAppleScriptErrorMessage").text();
    }
    return run;
}

// The pid `list` shows for `label`; nullopt when it lists no such agent, 0 for "-".
std::optional<int> listedPid(const std::string& label) {
    std::istringstream list(launchctl("list").output.value_or(""));
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
struct Stranger {
    explicit Stranger(const std::string& shell)
        : pid(pellin::test::startProgram({"/usr/bin/setsid", "/bin/sh", "-c", shell})) {
        await([this] {
            std::error_code error;
            return fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", error) ==
                   fs::canonical("/bin/sleep");
        });
    }
    ~Stranger() {
        ::kill(pid, SIGKILL);
        pellin::test::waitForExit(pid);
    }
    pid_t pid;
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
    ASSERT_TRUE(launchctl("load", stubborn).output);
    ASSERT_TRUE(launchctl("load", plain).output);
    await([&] { return fs::exists(childFile) && fs::file_size(childFile) > 0; });
    const int child = std::stoi(pellin::test::readFile(childFile));
    const int agent = listedPid("test.agent.stubborn").value_or(0);
    const int other = listedPid("test.agent.plain").value_or(0);
    ASSERT_GT(agent, 1);
    EXPECT_NE(launchctl("load", stubborn).message.find("already loaded"), std::string::npos);
    EXPECT_EQ(listedPid("test.agent.stubborn"), agent);

    fs::remove(plain);
    for (const fs::path& plist : {stubborn, plain}) {
        const ToolRun unload = launchctl("unload", plist);
        EXPECT_TRUE(unload.output) << plist << unload.message;
    }
    for (const int pid : {agent, child, other}) {
        EXPECT_FALSE(processIsLive(pid)) << pid;
    }
    EXPECT_EQ(launchctl("list").output, "PID\tStatus\tLabel");
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
        const ToolRun run = launchctl(command, plist);
        EXPECT_EQ(run.status, std::stoi(status)) << command << " " << file;
        EXPECT_TRUE(run.message.starts_with(message)) << run.message;
        // Commands that only look leave no state folder where nothing was ever loaded.
        EXPECT_TRUE(command == "load" || !fs::exists(state_)) << command << " " << file;
    }
    EXPECT_EQ(launchctl("list").output, "PID\tStatus\tLabel");
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
        {"another user's process group", others.pid, 0, processStartTime(others.pid)},
        {"root's process group, in a user's home", roots.pid, kNobody, processStartTime(roots.pid)},
        {"a pid another process took over", roots.pid, 0, "1"},
        {"the user's own process, with root's in its group", leader.pid, kNobody,
         processStartTime(leader.pid)},
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
        ASSERT_EQ(runQuietly({"/bin/chown", "-hR", uid + ":" + uid, local}).status, 0);
        ASSERT_EQ(::chown(home_.path().c_str(), owner, owner), 0);
        // Root loads nothing in a user's home: the agent would run as root there.
        EXPECT_TRUE(owner == 0 || !launchctl("load", plist).output) << name;
        launchctl("unload", plist);
        for (const pid_t stranger : {others.pid, roots.pid, mate}) {
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
    EXPECT_FALSE(launchctl("load", plist).output);
    EXPECT_FALSE(fs::exists(home_.parent() / "test.agent.linked.agent"));
    fs::remove_all(home_.path() / ".local");

    ASSERT_TRUE(launchctl("load", plist).output);
    EXPECT_EQ(fs::status(state_).permissions(), fs::perms(0700));
    for (const char* name : {".lock", "test.agent.linked.agent"}) {
        EXPECT_EQ(fs::status(state_ / name).permissions(), fs::perms(0600)) << name;
    }
}

}  // namespace
