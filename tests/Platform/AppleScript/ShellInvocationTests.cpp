#include <PellinAppleScript/ShellInvocation.h>

#include <gtest/gtest.h>

namespace {

using namespace applescript;

using Arguments = std::vector<std::string>;

constexpr const char* kHome = "/home/a b/it's $(x)";
constexpr const char* kToolsFirst = "/opt/pellin/bin:/usr/bin:/bin:/usr/sbin:/sbin";

ShellHost ordinaryUser() {
    ShellHost host;
    host.isRoot = false;
    host.hasDisplay = true;
    host.pkexecPath = "/usr/bin/pkexec";
    host.sudoPath = "/usr/bin/sudo";
    host.envPath = "/usr/bin/env";
    host.home = kHome;
    host.owner = 1000;
    host.searchPath = kToolsFirst;
    return host;
}

TEST(ShellInvocation, AnUnprivilegedRunHandsTheTextToTheShellWithOurToolsFirstAndTheHome) {
    const auto plan = planShellInvocation({"echo 'a b'; ls", false}, ordinaryUser());
    ASSERT_TRUE(plan.invocation);
    EXPECT_EQ(plan.invocation->elevation, Elevation::None);
    EXPECT_FALSE(plan.invocation->administrator);
    EXPECT_EQ(plan.invocation->arguments, (Arguments{"/bin/sh", "-c", "echo 'a b'; ls"}));
    EXPECT_EQ(plan.invocation->environment,
              (Arguments{std::string("PATH=") + kToolsFirst, std::string("HOME=") + kHome}));
}

TEST(ShellInvocation, EveryPrivilegedRunIsTheGuardedShellWithOnlySystemFoldersOnItsPath) {
    struct Way {
        bool isRoot;
        bool hasDisplay;
        Elevation elevation;
        Arguments program;
        std::string marker;
    };
    const Way ways[] = {
        {true, true, Elevation::None, {}, ""},
        {false, true, Elevation::Pkexec, {"/usr/bin/pkexec"}, "\036"},
        {false, false, Elevation::Sudo, {"/usr/bin/sudo", "--"}, "\036"},
    };
    const std::string path = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
    for (const Way& way : ways) {
        ShellHost host = ordinaryUser();
        host.isRoot = way.isRoot;
        host.hasDisplay = way.hasDisplay;
        const auto plan = planShellInvocation({"-x; rm -rf ~/y", true}, host);
        ASSERT_TRUE(plan.invocation) << plan.failure;
        EXPECT_EQ(plan.invocation->elevation, way.elevation);
        EXPECT_TRUE(plan.invocation->administrator);
        Arguments expected = way.program;
        if (!way.program.empty()) {
            expected.insert(expected.end(), {"/usr/bin/env", std::string("HOME=") + kHome, path});
        }
        expected.insert(expected.end(), {"/bin/sh", "-c", std::string(elevatedShellScript()), "sh",
                                         way.marker, "1000", "-x; rm -rf ~/y"});
        EXPECT_EQ(plan.invocation->arguments, expected);
        EXPECT_EQ(plan.invocation->environment, (Arguments{path, std::string("HOME=") + kHome}));
    }
    // Without pkexec a display does not help: sudo asks on the terminal.
    ShellHost host = ordinaryUser();
    host.pkexecPath.reset();
    EXPECT_EQ(planShellInvocation({"true", true}, host).invocation->elevation, Elevation::Sudo);
}

TEST(ShellInvocation, APrivilegedRunWithoutAnAbsoluteHomeOrItsOwnerDoesNotStartEvenAsRoot) {
    ShellHost host = ordinaryUser();
    host.pkexecPath.reset();
    host.sudoPath.reset();
    auto plan = planShellInvocation({"true", true}, host);
    EXPECT_FALSE(plan.invocation);
    EXPECT_NE(plan.failure.find("sudo"), std::string::npos);

    for (const bool isRoot : {false, true}) {
        for (const char* home : {"", "relative/home", "-rf"}) {
            host = ordinaryUser();
            host.isRoot = isRoot;
            host.home = home;
            plan = planShellInvocation({"rm -rf ~/x", true}, host);
            EXPECT_FALSE(plan.invocation) << home;
            EXPECT_NE(plan.failure.find("home folder"), std::string::npos);
        }
        host = ordinaryUser();
        host.isRoot = isRoot;
        host.owner.reset();
        EXPECT_FALSE(planShellInvocation({"rm -rf ~/x", true}, host).invocation);
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
