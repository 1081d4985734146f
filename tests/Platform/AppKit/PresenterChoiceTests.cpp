#include <PellinAppKit/Alert.h>
#include <PellinAppKit/AlertPresenter.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "PseudoTerminal.h"
#include "TemporaryHome.h"
#include "support/FakeDisplay.h"

using ::testing::HasSubstr;

namespace {

std::string probe() {
    return (pellin::test::buildDirectory() / "bin" / "PellinAlertProbe").string();
}

// An environment without any display, so that only the terminal (or nothing) is left.
std::vector<std::string> withoutDisplay(std::vector<std::string> extra = {}) {
    std::vector<std::string> env{"HOME=/nonexistent", "LANG=en_US.UTF-8", "PATH=/usr/bin:/bin"};
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

// Runs the probe with standard input from /dev/null and output into `out`; returns the status.
int runWithoutTerminal(const std::vector<std::string>& environment, std::string& out) {
    pellin::test::TemporaryHome home;
    const auto outputFile = home.path() / "output";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    std::string program = probe();
    std::string message = "Continue?";
    std::string ok = "OK";
    char* argv[] = {program.data(), message.data(), ok.data(), nullptr};
    std::vector<std::string> env = environment;
    std::vector<char*> envp;
    for (auto& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    pid_t child = 0;
    int status = -1;
    if (posix_spawn(&child, argv[0], &actions, nullptr, argv, envp.data()) == 0) {
        // Killed after 30 s, which only keeps a stalled probe from hanging the suite.
        for (int waited = 0; waitpid(child, &status, WNOHANG) == 0; ++waited) {
            if (waited == 3000) {
                kill(child, SIGKILL);
            }
            usleep(10'000);
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    out = pellin::test::readFile(outputFile);
    return status;
}

}  // namespace

TEST(PresenterChoice, WithoutADisplayTheDialogRunsOnTheTerminalWhereTheEndOfInputIsAnAbort) {
    for (const auto& [answer, response] :
         {std::pair{"2\n", "response=1001"}, {"\x04", "response=-1000"}}) {
        pellin::test::PseudoTerminal pty;
        const pid_t child = pty.spawn(probe(), {"Uninstall?", "OK", "Cancel"}, withoutDisplay());
        pty.closeTerminal();
        pty.type(answer);
        int status = -1;
        const std::string screen = pty.waitAndCollect(child, &status);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << screen;
        EXPECT_THAT(screen, HasSubstr("  1) OK  [Return]"));
        EXPECT_THAT(screen, HasSubstr(response));
    }
}

// No X server listens on display 97 or Wayland socket "gone", and a Qt platform named in
// QT_QPA_PLATFORM that cannot start here would end the process (xcb, wayland, eglfs) or wait for a
// viewer forever (vnc).
TEST(PresenterChoice,
     WithNeitherDisplayNorTerminalOrAStaleDisplayNoDialogRunsAndTheAnswerIsAnAbort) {
    for (const auto& environment :
         {withoutDisplay(),
          withoutDisplay({"DISPLAY=:97", "WAYLAND_DISPLAY=gone", "XDG_RUNTIME_DIR=/nonexistent"}),
          withoutDisplay({"QT_QPA_PLATFORM=xcb"}), withoutDisplay({"QT_QPA_PLATFORM=wayland;xcb"}),
          withoutDisplay({"QT_QPA_PLATFORM=eglfs"}), withoutDisplay({"QT_QPA_PLATFORM=vnc"})}) {
        std::string out;
        const int status = runWithoutTerminal(environment, out);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
        EXPECT_THAT(out, HasSubstr("response=-1000"));
        EXPECT_THAT(out, HasSubstr("not shown: Continue?"));
    }
}

// Only a server that completes the X handshake is a display: Qt would end the program on one that
// refuses the client's authorisation, and wait forever on one that never answers.
TEST(PresenterChoice, AServerThatRefusesOrNeverAnswersTheHandshakeIsNoDisplay) {
    using pellin::test::FakeXDisplay;
    for (const auto behaviour :
         {FakeXDisplay::Behaviour::Refusing, FakeXDisplay::Behaviour::Silent}) {
        const FakeXDisplay display(behaviour);
        ASSERT_TRUE(display.available());
        std::string out;
        const int status = runWithoutTerminal(withoutDisplay({display.environmentEntry()}), out);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
        EXPECT_THAT(out, HasSubstr("response=-1000"));
    }
}

TEST(PresenterChoice, AReplacementPresenterTakesEveryRun) {
    struct Recording : appkit::AlertPresenter {
        appkit::ModalResponse runModal(const appkit::Alert& alert) override {
            seen = alert.messageText();
            return 1001;
        }
        std::string seen;
    };
    const auto recording = std::make_shared<Recording>();
    appkit::AlertPresenter::setReplacement(recording);
    appkit::Alert alert;
    alert.setMessageText("Observed");
    EXPECT_EQ(alert.runModal(), 1001);
    EXPECT_EQ(recording->seen, "Observed");
    appkit::AlertPresenter::setReplacement(nullptr);
    EXPECT_NE(appkit::AlertPresenter::current(), recording);
}
