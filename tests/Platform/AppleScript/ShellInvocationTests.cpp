#include <PellinAppleScript/ShellInvocation.h>

#include <gtest/gtest.h>

namespace {

using namespace applescript;

using Arguments = std::vector<std::string>;

constexpr const char* kElevatedScript = "printf '\\036' && exec /bin/sh -c \"$1\"";

ShellHost ordinaryUser() {
    ShellHost host;
    host.isRoot = false;
    host.hasDisplay = true;
    host.pkexecPath = "/usr/bin/pkexec";
    host.sudoPath = "/usr/bin/sudo";
    host.envPath = "/usr/bin/env";
    host.home = "/home/a b/it's $(x)";
    host.searchPath = "/opt/pellin/bin:/usr/bin:/bin:/usr/sbin:/sbin";
    return host;
}

TEST(ShellInvocation, AnUnprivilegedRunHandsTheTextToTheShellAsOneArgument) {
    const auto plan = planShellInvocation({"echo 'a b'; ls", false}, ordinaryUser());
    ASSERT_TRUE(plan.invocation);
    EXPECT_EQ(plan.invocation->elevation, Elevation::None);
    EXPECT_EQ(plan.invocation->arguments, (Arguments{"/bin/sh", "-c", "echo 'a b'; ls"}));
    EXPECT_EQ(plan.invocation->searchPath, "/opt/pellin/bin:/usr/bin:/bin:/usr/sbin:/sbin");
}

TEST(ShellInvocation, RootRunsAPrivilegedTextDirectlyWithItsOwnHome) {
    ShellHost host = ordinaryUser();
    host.isRoot = true;
    const auto plan = planShellInvocation({"rm -f x", true}, host);
    ASSERT_TRUE(plan.invocation);
    EXPECT_EQ(plan.invocation->elevation, Elevation::None);
    EXPECT_EQ(plan.invocation->arguments, (Arguments{"/bin/sh", "-c", "rm -f x"}));
}

TEST(ShellInvocation, WithADisplayPkexecRunsTheShellWithTheUsersHomeAndTheFixedPath) {
    const auto plan = planShellInvocation({"rm -f ~/x", true}, ordinaryUser());
    ASSERT_TRUE(plan.invocation);
    EXPECT_EQ(plan.invocation->elevation, Elevation::Pkexec);
    EXPECT_EQ(plan.invocation->arguments,
              (Arguments{"/usr/bin/pkexec", "/usr/bin/env", "HOME=/home/a b/it's $(x)",
                         "PATH=/opt/pellin/bin:/usr/bin:/bin:/usr/sbin:/sbin", "/bin/sh", "-c",
                         kElevatedScript, "sh", "rm -f ~/x"}));
}

TEST(ShellInvocation, WithoutADisplayOrWithoutPkexecSudoAsksOnTheTerminal) {
    ShellHost host = ordinaryUser();
    host.hasDisplay = false;
    const Arguments expected{"/usr/bin/sudo",
                             "--",
                             "/usr/bin/env",
                             "HOME=/home/a b/it's $(x)",
                             "PATH=/opt/pellin/bin:/usr/bin:/bin:/usr/sbin:/sbin",
                             "/bin/sh",
                             "-c",
                             kElevatedScript,
                             "sh",
                             "-x; y"};
    auto plan = planShellInvocation({"-x; y", true}, host);
    ASSERT_TRUE(plan.invocation);
    EXPECT_EQ(plan.invocation->elevation, Elevation::Sudo);
    EXPECT_EQ(plan.invocation->arguments, expected);

    host.hasDisplay = true;
    host.pkexecPath.reset();
    plan = planShellInvocation({"-x; y", true}, host);
    ASSERT_TRUE(plan.invocation);
    EXPECT_EQ(plan.invocation->arguments, expected);
}

TEST(ShellInvocation, APrivilegedRunThatCannotKeepTheUsersHomeDoesNotStart) {
    ShellHost host = ordinaryUser();
    host.pkexecPath.reset();
    host.sudoPath.reset();
    auto plan = planShellInvocation({"true", true}, host);
    EXPECT_FALSE(plan.invocation);
    EXPECT_NE(plan.failure.find("sudo"), std::string::npos);

    for (const char* home : {"", "relative/home"}) {
        host = ordinaryUser();
        host.home = home;
        plan = planShellInvocation({"rm -rf ~/x", true}, host);
        EXPECT_FALSE(plan.invocation) << home;
        EXPECT_NE(plan.failure.find("home folder"), std::string::npos);
    }
}

TEST(ShellInvocation, TheFixedPathStartsWithOurToolsAndNeverTakesTheCallersPath) {
    const std::string tools = toolsFolder();
    ASSERT_FALSE(tools.empty());
    EXPECT_EQ(fixedSearchPath(), tools + ":/usr/bin:/bin:/usr/sbin:/sbin");
    EXPECT_EQ(findSystemProgram("sh").value_or("").substr(0, 1), "/");
    EXPECT_FALSE(findSystemProgram("no-such-program-anywhere"));
}

}  // namespace
