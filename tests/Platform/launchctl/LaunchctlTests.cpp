// Our launchctl, run as the Pellin programs run it: through the script runner, which finds it
// first on the shell's PATH, beside the running program.

#include <PellinAppleScript/AppleScript.h>
#include <PellinAppleScript/Quoting.h>
#include <PellinAppleScript/ShellHost.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "PrivatePidNamespace.h"
#include "ProcessIdentity.h"
#include "TemporaryHome.h"

namespace {

namespace fs = std::filesystem;
using applescript::quotedForm;
using pellin::test::processExecutable;
using pellin::test::processIsLive;
using pellin::test::processStartTime;

struct ToolRun {
    std::optional<std::string> output;
    foundation::Dictionary error;

    std::int64_t status() const {
        const auto found = error.find(applescript::NSAppleScriptErrorNumber);
        return found == error.end() ? 0 : *found->second.integer();
    }
    std::string message() const {
        const auto found = error.find(applescript::NSAppleScriptErrorMessage);
        return found == error.end() ? "" : *found->second.text();
    }
};

ToolRun launchctl(const std::string& arguments, const std::string& wrapper = "") {
    ToolRun run;
    run.output =
        applescript::AppleScript("do shell script " +
                                 applescript::stringLiteral(wrapper + "launchctl " + arguments))
            .executeAndReturnError(&run.error);
    return run;
}

// Waits, without a time limit of its own (the test's timeout bounds it), until the agent has
// written `file`, so that it is known to be past its start-up.
std::string awaitFile(const fs::path& file) {
    while (!fs::exists(file) || fs::file_size(file) == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::ifstream in(file);
    std::string content;
    std::getline(in, content);
    return content;
}

// The pid `list` shows for `label`; nullopt when it lists no such agent, 0 for "-".
std::optional<int> listedPid(const std::string& label) {
    const ToolRun run = launchctl("list");
    EXPECT_TRUE(run.output) << run.message();
    std::istringstream lines(run.output.value_or(""));
    std::string line;
    while (std::getline(lines, line, '\r')) {
        if (line.ends_with("\t" + label)) {
            return line.starts_with("-") ? 0 : std::atoi(line.c_str());
        }
    }
    return std::nullopt;
}

class Launchctl : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* state = std::getenv("XDG_STATE_HOME")) {
            previousStateHome_ = state;
        }
        unsetenv("XDG_STATE_HOME");
    }
    void TearDown() override {
        for (const fs::path& plist : written_) {
            launchctl("unload " + quotedForm(plist.string()));
        }
        if (previousStateHome_) {
            setenv("XDG_STATE_HOME", previousStateHome_->c_str(), 1);
        }
    }

    fs::path writeAgent(const std::string& label, const std::vector<std::string>& arguments) {
        std::string body =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n"
            "<dict>\n<key>Label</key><string>" +
            label + "</string>\n<key>ProgramArguments</key><array>\n";
        for (const std::string& argument : arguments) {
            body += "<string>" + argument + "</string>\n";
        }
        body += "</array>\n</dict>\n</plist>\n";
        const fs::path plist = home_.writeFile("Library/LaunchAgents/" + label + ".plist", body);
        written_.push_back(plist);
        return plist;
    }

    pellin::test::TemporaryHome home_{"agent home"};
    std::vector<fs::path> written_;
    std::optional<std::string> previousStateHome_;
};

TEST_F(Launchctl, TheRunnerFindsOurToolBeforeAnyOther) {
    foundation::Dictionary error;
    const auto found = applescript::AppleScript("do shell script \"command -v launchctl\"")
                           .executeAndReturnError(&error);
    EXPECT_EQ(found, applescript::toolsFolder() + "/launchctl");
}

TEST_F(Launchctl, LoadStartsTheAgentAndListShowsItByLabelUntilUnload) {
    const fs::path plist = writeAgent("test.agent.sleeper", {"sleep", "300"});
    const ToolRun load = launchctl("load " + quotedForm(plist.string()));
    ASSERT_TRUE(load.output) << load.message();
    const std::optional<int> pid = listedPid("test.agent.sleeper");
    ASSERT_TRUE(pid.has_value());
    ASSERT_GT(*pid, 0);
    EXPECT_TRUE(processIsLive(*pid));
    EXPECT_EQ(::getpgid(*pid), *pid);  // a group of its own, so it can be stopped as one

    const ToolRun unload = launchctl("unload " + quotedForm(plist.string()));
    ASSERT_TRUE(unload.output) << unload.message();
    EXPECT_FALSE(processIsLive(*pid));
    EXPECT_FALSE(listedPid("test.agent.sleeper").has_value());
}

TEST_F(Launchctl, UnloadStopsTheAgentsChildrenToo) {
    const fs::path childFile = home_.path() / "child";
    const fs::path plist =
        writeAgent("test.agent.parent",
                   {"/bin/sh", "-c",
                    "sleep 300 &amp; echo $! &gt; " + quotedForm(childFile.string()) + "; wait"});
    ASSERT_TRUE(launchctl("load " + quotedForm(plist.string())).output);
    const int child = std::stoi(awaitFile(childFile));
    const int parent = listedPid("test.agent.parent").value_or(0);
    ASSERT_TRUE(processIsLive(child));
    ASSERT_TRUE(launchctl("unload " + quotedForm(plist.string())).output);
    EXPECT_FALSE(processIsLive(child));
    EXPECT_FALSE(processIsLive(parent));
}

TEST_F(Launchctl, AnAgentThatIgnoresTerminationIsKilled) {
    const fs::path readyFile = home_.path() / "ready";
    const fs::path plist = writeAgent(
        "test.agent.stubborn", {"/bin/sh", "-c",
                                "trap '' TERM; echo ready &gt; " + quotedForm(readyFile.string()) +
                                    "; while :; do sleep 1; done"});
    ASSERT_TRUE(launchctl("load " + quotedForm(plist.string())).output);
    awaitFile(readyFile);
    const int pid = listedPid("test.agent.stubborn").value_or(0);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(launchctl("unload " + quotedForm(plist.string())).output);
    EXPECT_FALSE(processIsLive(pid));
}

TEST_F(Launchctl, AnUnloadOfAPathThatNoLongerExistsStillStopsAndForgetsItsAgent) {
    const fs::path plist = writeAgent("test.agent.gone", {"sleep", "300"});
    ASSERT_TRUE(launchctl("load " + quotedForm(plist.string())).output);
    const int pid = listedPid("test.agent.gone").value_or(0);
    ASSERT_GT(pid, 0);
    fs::remove(plist);
    const ToolRun unload = launchctl("unload " + quotedForm(plist.string()));
    EXPECT_TRUE(unload.output) << unload.message();
    EXPECT_FALSE(processIsLive(pid));
    EXPECT_FALSE(listedPid("test.agent.gone").has_value());
}

TEST_F(Launchctl, ASecondLoadOfARunningAgentIsRefused) {
    const fs::path plist = writeAgent("test.agent.once", {"sleep", "300"});
    ASSERT_TRUE(launchctl("load " + quotedForm(plist.string())).output);
    const int pid = listedPid("test.agent.once").value_or(0);
    const ToolRun again = launchctl("load " + quotedForm(plist.string()));
    EXPECT_FALSE(again.output);
    EXPECT_NE(again.message().find("already loaded"), std::string::npos) << again.message();
    EXPECT_EQ(listedPid("test.agent.once"), pid);
}

TEST_F(Launchctl, WhatIsNotALaunchAgentIsRejectedAndNothingStarts) {
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"garbage.plist", "this is not a property list"},
        {"nolabel.plist",
         "<plist><dict><key>ProgramArguments</key><array><string>sleep</string></array></dict>"
         "</plist>"},
        {"badlabel.plist",
         "<plist><dict><key>Label</key><string>../escape</string><key>ProgramArguments</key>"
         "<array><string>sleep</string></array></dict></plist>"},
        {"noprogram.plist", "<plist><dict><key>Label</key><string>x</string></dict></plist>"},
        {"notalist.plist",
         "<plist><dict><key>Label</key><string>x</string><key>ProgramArguments</key>"
         "<string>sleep</string></dict></plist>"},
        {"missingprogram.plist",
         "<plist><dict><key>Label</key><string>x</string><key>ProgramArguments</key>"
         "<array><string>/no/such/program</string></array></dict></plist>"},
    };
    for (const auto& [name, content] : bad) {
        const fs::path plist = home_.writeFile(name, content);
        const ToolRun load = launchctl("load " + quotedForm(plist.string()));
        EXPECT_FALSE(load.output) << name;
        EXPECT_EQ(load.status(), 1) << name;
        EXPECT_TRUE(load.message().starts_with("launchctl: load: ")) << load.message();
    }
    EXPECT_EQ(launchctl("list").output, "PID\tStatus\tLabel");
}

TEST_F(Launchctl, AnUnloadOfAnAgentThatIsNotLoadedFails) {
    const fs::path plist = writeAgent("test.agent.never", {"sleep", "300"});
    const ToolRun unload = launchctl("unload " + quotedForm(plist.string()));
    EXPECT_EQ(unload.status(), 1);
    EXPECT_NE(unload.message().find("Could not find specified service"), std::string::npos);
    // Commands that only look leave no state folder in a home where nothing was ever loaded.
    EXPECT_EQ(launchctl("list").output, "PID\tStatus\tLabel");
    EXPECT_FALSE(fs::exists(home_.path() / ".local"));
}

// A process the tool never started, leading a session and process group of its own, as `uid`.
class Stranger {
  public:
    explicit Stranger(uid_t uid) {
        pid_ = ::fork();
        if (pid_ == 0) {
            if (::setsid() < 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0) {
                ::_exit(126);
            }
            ::execl("/bin/sleep", "sleep", "300", nullptr);
            ::_exit(127);
        }
        // Until it runs sleep, it is still a copy of the test.
        while (pid_ > 0 && executable() != fs::canonical("/bin/sleep")) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    ~Stranger() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    Stranger(const Stranger&) = delete;
    Stranger& operator=(const Stranger&) = delete;

    int pid() const { return pid_; }
    fs::path executable() const {
        std::error_code error;
        return fs::read_symlink("/proc/" + std::to_string(pid_) + "/exe", error);
    }

  private:
    int pid_ = -1;
};

constexpr uid_t kNobody = 65534;

TEST_F(Launchctl, AForgedRecordNeverSignalsAnotherProcessOrItsGroup) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    const Stranger others(kNobody);
    const Stranger roots(0);
    struct Forgery {
        const char* name;
        int pid;
        uid_t homeOwner;
        bool reusedPid;  // the record's start time is not the process's
    };
    const Forgery forgeries[] = {
        {"pid 1, whose group -1 is every process", 1, 0, false},
        {"another user's process group", others.pid(), 0, false},
        {"root's process group, in a user's home", roots.pid(), kNobody, false},
        {"a pid another process took over", roots.pid(), 0, true},
    };
    for (const Forgery& forgery : forgeries) {
        const fs::path plist = writeAgent("test.agent.forged", {"sleep", "300"});
        const fs::path state = home_.path() / ".local/state/pellin-launchctl";
        fs::create_directories(state);
        std::ofstream(state / "test.agent.forged.agent")
            << "pid=" << forgery.pid
            << "\nstart=" << (forgery.reusedPid ? "1" : processStartTime(forgery.pid))
            << "\nexe=" << processExecutable(forgery.pid) << "\nplist=" << plist.string() << "\n";
        for (const fs::path& path :
             {home_.path(), home_.path() / ".local", home_.path() / ".local/state", state,
              state / "test.agent.forged.agent"}) {
            ASSERT_EQ(::chown(path.c_str(), forgery.homeOwner, forgery.homeOwner), 0) << path;
        }

        launchctl("unload " + quotedForm(plist.string()));
        EXPECT_TRUE(processIsLive(others.pid())) << forgery.name;
        EXPECT_TRUE(processIsLive(roots.pid())) << forgery.name;
        EXPECT_FALSE(listedPid("test.agent.forged").value_or(0) > 0) << forgery.name;
        fs::remove_all(home_.path() / ".local");
        ASSERT_EQ(::chown(home_.path().c_str(), 0, 0), 0);
    }
}

TEST_F(Launchctl, AnotherUsersProcessInTheRecordedGroupIsNeverSignalled) {
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    // The user's own process leads a group in which a process of root's runs too.
    const fs::path mateFile = home_.parent() / "mate";
    const pid_t leader = pellin::test::startProgram(
        {"/usr/bin/setsid", "/bin/sh", "-c",
         "sleep 300 & echo $! > " + quotedForm(mateFile.string()) +
             "; exec setpriv --reuid=65534 --regid=65534 --clear-groups sleep 300"});
    const int mate = std::stoi(awaitFile(mateFile));
    while (processExecutable(leader) != processExecutable(mate)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const fs::path plist = writeAgent("test.agent.forged", {"sleep", "300"});
    const fs::path state = home_.path() / ".local/state/pellin-launchctl";
    fs::create_directories(state);
    std::ofstream(state / "test.agent.forged.agent")
        << "pid=" << leader << "\nstart=" << processStartTime(leader)
        << "\nexe=" << processExecutable(leader) << "\nplist=" << plist.string() << "\n";
    for (const fs::path& path :
         {home_.path(), home_.path() / ".local", home_.path() / ".local/state", state,
          state / "test.agent.forged.agent"}) {
        ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0) << path;
    }
    launchctl("unload " + quotedForm(plist.string()));
    EXPECT_TRUE(processIsLive(mate));
    ::kill(mate, SIGKILL);
    ::kill(leader, SIGKILL);
    pellin::test::waitForExit(leader);
}

TEST_F(Launchctl, TheStateFolderIsPrivateAndNoLinkPlantedInItIsFollowed) {
    const fs::path plist = writeAgent("test.agent.linked", {"sleep", "300"});
    const fs::path state = home_.path() / ".local/state/pellin-launchctl";
    const fs::path victim = home_.parent() / "victim";
    const fs::path created = home_.parent() / "created";
    // Where the tool writes: its lock, its temporary record, the record itself.
    for (const char* name : {".lock", "test.agent.linked.agent.tmp", "test.agent.linked.agent"}) {
        std::ofstream(victim) << "keep\n";
        fs::create_directories(state);
        fs::create_symlink(name == std::string(".lock") ? created : victim, state / name);
        launchctl("load " + quotedForm(plist.string()));
        launchctl("unload " + quotedForm(plist.string()));
        EXPECT_EQ(pellin::test::readFile(victim), "keep\n") << name;
        EXPECT_FALSE(fs::exists(created)) << name;
        fs::remove_all(home_.path() / ".local");
    }
    // The folder itself.
    fs::create_directories(state.parent_path());
    fs::create_directory_symlink(home_.parent(), state);
    EXPECT_FALSE(launchctl("load " + quotedForm(plist.string())).output);
    EXPECT_FALSE(fs::exists(home_.parent() / "test.agent.linked.agent"));
    fs::remove_all(home_.path() / ".local");

    ASSERT_TRUE(launchctl("load " + quotedForm(plist.string())).output);
    EXPECT_EQ(fs::status(state).permissions(), fs::perms::owner_all);
    for (const char* name : {".lock", "test.agent.linked.agent"}) {
        EXPECT_EQ(fs::status(state / name).permissions(),
                  fs::perms::owner_read | fs::perms::owner_write)
            << name;
    }
}

// A binary property list of `depth` lists, each holding the next.
std::string deepBinaryList(std::uint32_t depth) {
    const auto bigEndian = [](std::uint64_t value, int width) {
        std::string out;
        for (int shift = 8 * (width - 1); shift >= 0; shift -= 8) {
            out += static_cast<char>((value >> shift) & 0xff);
        }
        return out;
    };
    std::string out = "bplist00";
    std::string offsets;
    for (std::uint32_t i = 0; i < depth; ++i) {
        offsets += bigEndian(out.size(), 3);
        out += i + 1 < depth ? '\xa1' + bigEndian(i + 1, 3) : std::string("\x08");
    }
    const std::size_t table = out.size();
    out += offsets + std::string(6, '\0') + "\x03\x03";
    return out + bigEndian(depth, 8) + bigEndian(0, 8) + bigEndian(table, 8);
}

TEST_F(Launchctl, AHostileAgentFileNeitherHangsNorCrashesTheTool) {
    const fs::path fifo = home_.path() / "fifo.plist";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path deep = home_.writeFile("deep.plist", deepBinaryList(110000));
    for (const fs::path& plist : {fifo, deep}) {
        for (const char* command : {"load ", "unload "}) {
            // "timeout" answers 124 for a hang; a crash would be 128 plus the signal.
            const ToolRun run = launchctl(command + quotedForm(plist.string()), "timeout 10 ");
            EXPECT_EQ(run.status(), 1) << command << plist << ": " << run.message();
        }
    }
}

TEST_F(Launchctl, RunAsRootInAUsersHomeItLeavesNothingOfRootsThereAndStartsNothing) {
    const fs::path plist = writeAgent("test.agent.users", {"sleep", "300"});
    const fs::path state = home_.path() / ".local/state/pellin-launchctl";
    fs::create_directories(state);
    for (const fs::path& path :
         {home_.path(), home_.path() / ".local", home_.path() / ".local/state", state}) {
        ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
    }
    EXPECT_FALSE(launchctl("load " + quotedForm(plist.string())).output);
    launchctl("unload " + quotedForm(plist.string()));
    launchctl("list");
    EXPECT_FALSE(listedPid("test.agent.users").has_value());
    for (const fs::directory_entry& entry :
         fs::recursive_directory_iterator(home_.path() / ".local")) {
        struct stat info {};
        ASSERT_EQ(::lstat(entry.path().c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, kNobody) << entry.path();
    }
}

TEST_F(Launchctl, AWrongCommandLineShowsTheUsage) {
    for (const char* arguments : {"", "frobnicate", "load", "list extra"}) {
        const ToolRun run = launchctl(arguments);
        EXPECT_EQ(run.status(), 64) << arguments;
        EXPECT_NE(run.message().find("usage: launchctl"), std::string::npos);
    }
}

}  // namespace
