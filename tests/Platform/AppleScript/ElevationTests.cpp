// The elevation paths run for real where the machine allows: as root, sudo lets us through
// without a password, so a host that pretends to be an ordinary user exercises the whole sudo
// command line. pkexec needs a desktop session; small stand-in programs play its exits.

#include <PellinAppleScript/AppleScript.h>
#include <PellinAppleScript/DoShellScriptExecutor.h>
#include <PellinAppleScript/Quoting.h>
#include <PellinAppleScript/ShellHost.h>

#include <gtest/gtest.h>

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
    host.pkexecPath.reset();
    host.home = home.path().string();
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
    EXPECT_EQ(*run.result,
              home.path().string() + "\r" + home.path().string() + "|" + fixedSearchPath());
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

TEST(Elevation, AFailedAuthenticationIsUserCanceled) {
    pellin::test::TemporaryHome home;
    ShellHost host = pretendOrdinaryUser(home);
    const std::string marker = (home.path() / "ran").string();

    host.sudoPath = fakeProgram(home, "sudo", "echo 'Sorry, try again.' >&2; exit 1");
    PrivilegedRun run = runPrivileged(host, "touch " + quotedForm(marker));
    EXPECT_FALSE(run.result);
    EXPECT_EQ(run.error.at("NSAppleScriptErrorNumber"), foundation::Value(-128));
    EXPECT_EQ(run.error.at("NSAppleScriptErrorMessage"), foundation::Value("User canceled."));

    host.hasDisplay = true;
    host.pkexecPath = fakeProgram(home, "pkexec", "exit 126");
    run = runPrivileged(host, "touch " + quotedForm(marker));
    EXPECT_EQ(run.error.at("NSAppleScriptErrorNumber"), foundation::Value(-128));
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST(Elevation, PkexecsOwnFailuresAndTheScriptsExitStatusesAreNotMistakenForACancel) {
    pellin::test::TemporaryHome home;
    ShellHost host = pretendOrdinaryUser(home);
    host.hasDisplay = true;

    host.pkexecPath = fakeProgram(home, "pkexec", "echo 'Not authorized' >&2; exit 127");
    PrivilegedRun run = runPrivileged(host, "true");
    EXPECT_EQ(run.error.at("NSAppleScriptErrorNumber"), foundation::Value(127));
    EXPECT_EQ(run.error.at("NSAppleScriptErrorMessage"), foundation::Value("Not authorized"));

    // A pkexec that lets the command through: the script's own 126 stays 126, and the start
    // marker never shows in the result.
    host.pkexecPath = fakeProgram(home, "pkexec-granting", "exec \"$@\"");
    run = runPrivileged(host, "echo cannot >&2; exit 126");
    EXPECT_EQ(run.error.at("NSAppleScriptErrorNumber"), foundation::Value(126));
    run = runPrivileged(host, "printf '%s' ~");
    EXPECT_EQ(run.result, home.path().string());
}

}  // namespace
