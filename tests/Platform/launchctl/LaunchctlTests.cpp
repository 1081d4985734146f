// Our launchctl, run as the Pellin programs run it: through the script runner, which finds it
// first on the shell's PATH, beside the running program.

#include <PellinAppleScript/AppleScript.h>
#include <PellinAppleScript/Quoting.h>
#include <PellinAppleScript/ShellHost.h>

#include <signal.h>
#include <spawn.h>
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

#include "TemporaryHome.h"

namespace {

namespace fs = std::filesystem;
using applescript::quotedForm;

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

ToolRun launchctl(const std::string& arguments) {
    ToolRun run;
    run.output = applescript::AppleScript("do shell script " +
                                          applescript::stringLiteral("launchctl " + arguments))
                     .executeAndReturnError(&run.error);
    return run;
}

// Whether the process runs; a zombie that nobody has reaped yet has ended.
bool isLive(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line) || line.rfind(')') == std::string::npos) {
        return false;
    }
    const char state = line[line.rfind(')') + 2];
    return state != 'Z' && state != 'X';
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
    EXPECT_TRUE(isLive(*pid));
    EXPECT_EQ(::getpgid(*pid), *pid);  // a group of its own, so it can be stopped as one

    const ToolRun unload = launchctl("unload " + quotedForm(plist.string()));
    ASSERT_TRUE(unload.output) << unload.message();
    EXPECT_FALSE(isLive(*pid));
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
    ASSERT_TRUE(isLive(child));
    ASSERT_TRUE(launchctl("unload " + quotedForm(plist.string())).output);
    EXPECT_FALSE(isLive(child));
    EXPECT_FALSE(isLive(parent));
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
    EXPECT_FALSE(isLive(pid));
}

TEST_F(Launchctl, AnUnloadOfAPathThatNoLongerExistsFailsWithAClearMessage) {
    const fs::path plist = writeAgent("test.agent.gone", {"sleep", "300"});
    ASSERT_TRUE(launchctl("load " + quotedForm(plist.string())).output);
    const int pid = listedPid("test.agent.gone").value_or(0);
    fs::remove(plist);
    const ToolRun unload = launchctl("unload " + quotedForm(plist.string()));
    EXPECT_FALSE(unload.output);
    EXPECT_EQ(unload.status(), 1);
    EXPECT_NE(unload.message().find(plist.string() + ": No such file or directory"),
              std::string::npos)
        << unload.message();
    // The agent keeps running, as it would on the original platform; stop it here.
    EXPECT_TRUE(isLive(pid));
    ::kill(-pid, SIGKILL);
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

TEST_F(Launchctl, AProcessThatTookOverARememberedPidIsNeverSignalled) {
    const fs::path plist = writeAgent("test.agent.reused", {"sleep", "300"});
    // A stranger: a process of ours that the tool never started.
    char sleep[] = "/bin/sleep";
    char seconds[] = "300";
    char* argv[] = {sleep, seconds, nullptr};
    pid_t stranger = -1;
    ASSERT_EQ(::posix_spawn(&stranger, sleep, nullptr, nullptr, argv, nullptr), 0);
    // A record that names its pid with another start time, as after the pid was reused.
    const fs::path state = home_.path() / ".local/state/pellin-launchctl";
    fs::create_directories(state);
    std::ofstream(state / "test.agent.reused.agent") << "pid=" << stranger << "\nstart=1\n";

    EXPECT_TRUE(launchctl("unload " + quotedForm(plist.string())).output);
    EXPECT_TRUE(isLive(stranger));
    EXPECT_FALSE(listedPid("test.agent.reused").has_value());
    ::kill(stranger, SIGKILL);
    ::waitpid(stranger, nullptr, 0);
}

TEST_F(Launchctl, AWrongCommandLineShowsTheUsage) {
    for (const char* arguments : {"", "frobnicate", "load", "list extra"}) {
        const ToolRun run = launchctl(arguments);
        EXPECT_EQ(run.status(), 64) << arguments;
        EXPECT_NE(run.message().find("usage: launchctl"), std::string::npos);
    }
}

}  // namespace
