#include <PellinAppleScript/ShellInvocation.h>

#include <gtest/gtest.h>

namespace {

using namespace applescript;
using Arguments = std::vector<std::string>;

const std::string kHome = "/home/a b/it's $(x)";
const std::string kToolsFirst = "/opt/pellin/bin:/usr/bin:/bin:/usr/sbin:/sbin";

ShellHost user(bool isRoot = false, bool display = true, bool pkexec = true,
               const std::string& home = kHome) {
    ShellHost host;
    std::tie(host.isRoot, host.hasDisplay, host.sudoPath, host.home, host.owner, host.searchPath) =
        std::tuple(isRoot, display, "/usr/bin/sudo", home, 1000, kToolsFirst);
    host.pkexecPath = pkexec ? std::optional<std::string>("/usr/bin/pkexec") : std::nullopt;
    return host;
}

// The user's text is never part of the script: it comes last, as the guarded shell's operand.
TEST(ShellInvocation, OnlyAPrivilegedRunIsTheGuardedShellWithOnlySystemFoldersOnItsPath) {
    const std::string path = "PATH=/usr/sbin:/usr/bin:/sbin:/bin", home = "HOME=" + kHome;
    EXPECT_EQ(planShellInvocation({"-x; rm ~/y", false}, user()).invocation->environment,
              (Arguments{"PATH=" + kToolsFirst, home}));
    const Arguments sudo = {"/usr/bin/sudo", "--", "/usr/bin/env", home, path};
    const std::tuple<ShellHost, Elevation, Arguments> ways[] = {
        {user(true), Elevation::None, {}},
        {user(), Elevation::Pkexec, {"/usr/bin/pkexec", "/usr/bin/env", home, path}},
        {user(false, false), Elevation::Sudo, sudo},
        {user(false, true, false), Elevation::Sudo, sudo}};  // a display needs pkexec
    for (auto [host, elevation, arguments] : ways) {
        const auto plan = planShellInvocation({"-x; rm ~/y", true}, host);
        ASSERT_TRUE(plan.invocation) << plan.failure;
        EXPECT_EQ(plan.invocation->elevation, elevation);
        arguments.insert(arguments.end(), {"/bin/sh", "-c", std::string(elevatedShellScript()),
                                           "sh", host.isRoot ? "" : "\036", "1000", "-x; rm ~/y"});
        EXPECT_EQ(plan.invocation->arguments, arguments);
        EXPECT_EQ(plan.invocation->environment, (Arguments{path, home}));
    }
}

TEST(ShellInvocation, APrivilegedRunWithoutAnAbsoluteHomeOrItsOwnerDoesNotStartEvenAsRoot) {
    ShellHost host = user(false, true, false);
    host.sudoPath.reset();
    EXPECT_NE(planShellInvocation({"true", true}, host).failure.find("sudo"), std::string::npos);
    for (const bool isRoot : {false, true}) {
        for (const char* home : {"", "relative/home", "-rf"}) {
            const auto plan = planShellInvocation({"rm ~/x", true}, user(isRoot, true, true, home));
            EXPECT_FALSE(plan.invocation) << home;
            EXPECT_NE(plan.failure.find("home folder"), std::string::npos);
        }
        host = user(isRoot);
        host.owner.reset();
        EXPECT_FALSE(planShellInvocation({"rm ~/x", true}, host).invocation);
    }
}

}  // namespace
