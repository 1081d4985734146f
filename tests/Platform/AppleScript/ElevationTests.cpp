// The elevation paths run for real where the machine allows: as root, sudo lets us through
// without a password, so a host that pretends to be an ordinary user exercises the whole sudo
// command line. pkexec needs a desktop session; small stand-in programs play its exits.

#include <PellinAppleScript/AppleScript.h>
#include <PellinAppleScript/DoShellScriptExecutor.h>
#include <PellinAppleScript/Quoting.h>
#include <PellinAppleScript/ShellHost.h>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "TemporaryHome.h"

namespace {

using namespace applescript;

ShellHost pretendOrdinaryUser(const pellin::test::TemporaryHome& home) {
    ShellHost host = ShellHost::current();
    host.isRoot = false;
    host.hasDisplay = false;
    host.hasTerminal = true;
    host.pkexecPath.reset();
    host.home = home.path().string();
    host.owner = ::getuid();
    return host;
}

// A stand-in for pkexec: a shell script with `body`.
std::string fakeProgram(const pellin::test::TemporaryHome& home, const std::string& name,
                        const std::string& body) {
    const std::filesystem::path path = home.parent() / name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path.string();
}

struct PrivilegedRun {
    std::optional<std::string> result;
    foundation::Dictionary error;
};

PrivilegedRun runPrivileged(const ShellHost& host, const std::string& shellText) {
    PrivilegedRun run;
    const auto executor = std::make_shared<DoShellScriptExecutor>(host);
    run.result = AppleScript("do shell script " + stringLiteral(shellText) +
                                 " with administrator privileges",
                             executor)
                     .executeAndReturnError(&run.error);
    return run;
}

bool sudoWorksWithoutPassword() {
    return ::geteuid() == 0 && findSystemProgram("sudo").has_value();
}

TEST(Elevation, UnderSudoTildeNamesTheInvokingUsersHomeNotRoots) {
    if (!sudoWorksWithoutPassword()) {
        GTEST_SKIP() << "needs root and sudo";
    }
    pellin::test::TemporaryHome home("user home; $(x) 'q'");
    const PrivilegedRun run = runPrivileged(pretendOrdinaryUser(home),
                                            "cd ~ && pwd && printf '%s|%s' \"$HOME\" \"$PATH\"");
    ASSERT_TRUE(run.result) << foundation::Value(run.error).description();
    EXPECT_EQ(*run.result, home.path().string() + "\r" + home.path().string() + "|" +
                               std::string(kElevatedSearchPath));
}

TEST(Elevation, UnderSudoTheScriptsOwnFailureKeepsItsNumberAndMessage) {
    if (!sudoWorksWithoutPassword()) {
        GTEST_SKIP() << "needs root and sudo";
    }
    pellin::test::TemporaryHome home;
    const PrivilegedRun run = runPrivileged(pretendOrdinaryUser(home), "echo denied >&2; exit 1");
    EXPECT_FALSE(run.result);
    EXPECT_EQ(run.error.at("NSAppleScriptErrorNumber"), foundation::Value(1));
    EXPECT_EQ(run.error.at("NSAppleScriptErrorMessage"), foundation::Value("denied"));
}

TEST(Elevation, OnlyADismissalIsUserCanceledAndEveryOtherRefusalKeepsItsOwnMessage) {
    pellin::test::TemporaryHome home;
    const std::string marker = (home.path() / "ran").string();
    struct Refusal {
        const char* tool;
        bool hasTerminal;
        const char* body;
        int number;
        const char* message;
    };
    const Refusal refusals[] = {
        // Ctrl-C at sudo's prompt: the terminal signals us as well as sudo.
        {"sudo", true, "kill -INT $PPID; echo 'sudo: a password is required' >&2; exit 1", -128,
         "User canceled."},
        {"sudo", true, "echo 'sudo: 3 incorrect password attempts' >&2; exit 1", -10004,
         "sudo: 3 incorrect password attempts"},
        {"sudo", true, "echo 'pat is not in the sudoers file.' >&2; exit 1", -10004,
         "pat is not in the sudoers file."},
        {"sudo", false,
         "echo 'sudo: a terminal is required to read the password' >&2; "
         "echo 'sudo: a password is required' >&2; exit 1",
         -1713, "sudo: a terminal is required to read the password\rsudo: a password is required"},
        {"sudo", true, "exit 1", -10004, "did not grant administrator privileges (status 1)."},
        {"pkexec", true, "exit 126", -128, "User canceled."},
        {"pkexec", true,
         "echo 'Error executing command as another user: Not authorized' >&2; exit 127", -10004,
         "Error executing command as another user: Not authorized"},
    };
    for (const Refusal& refusal : refusals) {
        ShellHost host = pretendOrdinaryUser(home);
        host.hasTerminal = refusal.hasTerminal;
        const std::string tool = fakeProgram(home, refusal.tool, refusal.body);
        if (std::string(refusal.tool) == "pkexec") {
            host.hasDisplay = true;
            host.pkexecPath = tool;
        } else {
            host.sudoPath = tool;
        }
        const PrivilegedRun run = runPrivileged(host, "touch " + quotedForm(marker));
        EXPECT_FALSE(run.result) << refusal.body;
        EXPECT_EQ(run.error.at("NSAppleScriptErrorNumber"), foundation::Value(refusal.number))
            << refusal.body;
        const std::string* message = run.error.at("NSAppleScriptErrorMessage").text();
        ASSERT_NE(message, nullptr);
        EXPECT_TRUE(message->ends_with(refusal.message)) << *message;
    }
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST(Elevation, ARealSudoWithoutATerminalSaysItCouldNotAsk) {
    if (!sudoWorksWithoutPassword()) {
        GTEST_SKIP() << "needs root and sudo";
    }
    // A user without sudo rights, in a session without a terminal: sudo needs a password.
    int answer[2];
    ASSERT_EQ(::pipe(answer), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(answer[0]);
        ::setenv("HOME", "/", 1);
        if (::setsid() < 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(1);
        }
        foundation::Dictionary error;
        AppleScript("do shell script \"true\" with administrator privileges")
            .executeAndReturnError(&error);
        const std::string number = error.at("NSAppleScriptErrorNumber").description();
        [[maybe_unused]] const ssize_t written = ::write(answer[1], number.data(), number.size());
        ::_exit(0);
    }
    ::close(answer[1]);
    char buffer[32] = {};
    const ssize_t got = ::read(answer[0], buffer, sizeof buffer - 1);
    ::close(answer[0]);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(std::string(buffer, got > 0 ? static_cast<std::size_t>(got) : 0), "-1713");
}

TEST(Elevation, WhenPkexecLetsTheShellRunItsExitStatusesAreItsOwn) {
    pellin::test::TemporaryHome home;
    ShellHost host = pretendOrdinaryUser(home);
    host.hasDisplay = true;
    host.pkexecPath = fakeProgram(home, "pkexec-granting", "exec \"$@\"");
    // The script's own 126 stays 126, and the start marker never shows in the result.
    PrivilegedRun run = runPrivileged(host, "echo cannot >&2; exit 126");
    EXPECT_EQ(run.error.at("NSAppleScriptErrorNumber"), foundation::Value(126));
    run = runPrivileged(host, "printf '%s' ~");
    EXPECT_EQ(run.result, home.path().string());
}

}  // namespace
