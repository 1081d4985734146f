#include <PellinAppKit/Application.h>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "TemporaryHome.h"
#include "support/FakeApplication.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// Bundle identifiers of this test process alone: tests run side by side (ctest -j), and a lookup
// sees every process of the user.
std::string id(std::string_view name) {
    return "com.test." + std::to_string(getpid()) + "." + std::string(name);
}

struct Outcome {
    int status = -1;  // the wait status
    std::string output;
};

// Runs the probe with the test's environment, less the display variables, plus `extra`; as
// `user` when given.
Outcome runProbe(const std::vector<std::string>& arguments,
                 const std::vector<std::string>& extra = {},
                 std::optional<pellin::test::RunAs> user = std::nullopt) {
    std::vector<std::string> words;
    if (user) {
        words = {"/usr/bin/setpriv", "--reuid=" + std::to_string(user->uid),
                 "--regid=" + std::to_string(user->gid), "--clear-groups"};
    }
    words.push_back((pellin::test::buildDirectory() / "bin/ApplicationProbe").string());
    const std::string program = words.front();
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        if (!text.starts_with("DISPLAY=") && !text.starts_with("WAYLAND_DISPLAY=") &&
            !text.starts_with("QT_QPA_PLATFORM=")) {
            environment.emplace_back(text);
        }
    }
    environment.insert(environment.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    Outcome outcome;
    int out[2];
    if (pipe(out) != 0) {
        return outcome;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned == 0) {
        char buffer[4096];
        ssize_t got;
        while ((got = read(out[0], buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
            if (got > 0) {
                outcome.output.append(buffer, static_cast<std::size_t>(got));
            }
        }
        while (waitpid(pid, &outcome.status, 0) < 0 && errno == EINTR) {
        }
    }
    close(out[0]);
    return outcome;
}

bool exitedWith(const Outcome& outcome, int code) {
    return WIFEXITED(outcome.status) && WEXITSTATUS(outcome.status) == code;
}

std::size_t countLines(const std::string& text) {
    std::size_t lines = 0;
    for (const char c : text) {
        lines += c == '\n' ? 1 : 0;
    }
    return lines;
}

class ApplicationTest : public ::testing::Test {
  protected:
    pellin::test::TemporaryHome home;
};

// --- The delegate hears of the finished launch exactly once ----------------------------------

TEST_F(ApplicationTest, WithoutADisplayThePlainLoopCallsTheDelegateOnceAndEndsWithIt) {
    const Outcome outcome = runProbe({"launch", "return"});

    EXPECT_TRUE(exitedWith(outcome, 0));
    EXPECT_EQ(outcome.output,
              "launched NSApplicationDidFinishLaunchingNotification count=1 graphical=no\n"
              "loop returned 0\n");
}

TEST_F(ApplicationTest, WithADisplayTheQtLoopCallsTheDelegateOnce) {
    const Outcome outcome = runProbe({"launch", "terminate"}, {"QT_QPA_PLATFORM=offscreen"});

    EXPECT_TRUE(exitedWith(outcome, 0));
    EXPECT_EQ(outcome.output,
              "launched NSApplicationDidFinishLaunchingNotification count=1 graphical=yes\n");
}

TEST_F(ApplicationTest, AStaleDisplayFallsBackToThePlainLoopInsteadOfAborting) {
    const Outcome outcome = runProbe({"launch", "return"}, {"DISPLAY=:93"});

    EXPECT_TRUE(exitedWith(outcome, 0));
    EXPECT_NE(outcome.output.find("count=1 graphical=no\n"), std::string::npos) << outcome.output;
}

TEST_F(ApplicationTest, AFactoryThatMakesNoDelegateEndsTheLoopWithAFailure) {
    const Outcome outcome = runProbe({"no-delegate"});

    EXPECT_TRUE(exitedWith(outcome, 1));
    EXPECT_EQ(outcome.output, "loop returned 1\n");
}

// --- Terminating ends the process, and no log line is lost -----------------------------------

TEST_F(ApplicationTest, TerminateEndsTheProcessSuccessfullyWithoutReturningToTheLoop) {
    const Outcome outcome = runProbe({"launch", "terminate"});

    EXPECT_TRUE(exitedWith(outcome, 0));
    EXPECT_EQ(outcome.output.find("loop returned"), std::string::npos) << outcome.output;
}

TEST_F(ApplicationTest, TerminateWritesEveryLogLineStillQueuedBeforeTheProcessEnds) {
    const Outcome outcome = runProbe({"launch", "terminate", "400"});

    ASSERT_TRUE(exitedWith(outcome, 0));
    const std::string log = pellin::test::readFile(home.path() / "probe.log");
    EXPECT_EQ(countLines(log), 400U);
    EXPECT_NE(log.find("line 400\n"), std::string::npos);
}

TEST_F(ApplicationTest, TerminateUnderTheQtLoopWritesEveryLogLineToo) {
    const Outcome outcome = runProbe({"launch", "terminate", "400"}, {"QT_QPA_PLATFORM=offscreen"});

    ASSERT_TRUE(exitedWith(outcome, 0));
    EXPECT_EQ(countLines(pellin::test::readFile(home.path() / "probe.log")), 400U);
}

// --- What ran at launch is still known after its bundle is gone ------------------------------

// As root, and as an ordinary user, whose launch takes every program file it can read for one of
// its own (and skips reading who runs it).
TEST_F(ApplicationTest, AnApplicationRunningAtLaunchIsFoundAfterTheDelegateRemovedItsBundle) {
    using pellin::test::RunAs;
    for (const std::optional<RunAs> user :
         {std::optional<RunAs>(), std::optional(RunAs{65534, 65534})}) {
        if (user && geteuid() != 0) {
            continue;  // only root can start programs as another user
        }
        const fs::path apps = home.path() / "Library/Pellin";
        const fs::path resident = pellin::test::createFakeBundle(apps, "Pellin", id("Pellin"));
        const fs::path updater = pellin::test::createFakeBundle(apps, "Updater", id("Pellin"),
                                                                pellin::test::ProgramKind::Script);
        if (user) {
            fs::permissions(home.parent(), fs::perms::owner_all | fs::perms::others_exec);
            for (const fs::directory_entry& entry : fs::recursive_directory_iterator(home.path())) {
                ASSERT_EQ(lchown(entry.path().c_str(), user->uid, user->gid), 0);
            }
            ASSERT_EQ(lchown(home.path().c_str(), user->uid, user->gid), 0);
        }
        pellin::test::FakeProcess residentProcess =
            pellin::test::FakeProcess::start(resident, user);
        pellin::test::FakeProcess updaterProcess = pellin::test::FakeProcess::start(updater, user);

        const Outcome outcome = runProbe({"remembers", apps.string(), id("Pellin")}, {}, user);

        EXPECT_TRUE(exitedWith(outcome, 0)) << outcome.output;
        EXPECT_FALSE(fs::exists(apps));
        EXPECT_EQ(outcome.output, "found " + std::to_string(residentProcess.pid()) + " " +
                                      std::to_string(updaterProcess.pid()) + "\n");
    }
}

}  // namespace
