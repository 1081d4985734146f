#include <PellinAppleScript/ShellInvocation.h>

namespace applescript {

namespace {

constexpr const char* kShell = "/bin/sh";

}  // namespace

ShellInvocationPlan planShellInvocation(const DoShellScriptStatement& statement,
                                        const ShellHost& host,
                                        const std::vector<std::string>& removalFolders) {
    ShellInvocation invocation;
    const std::string home = host.home.empty() ? std::string() : "HOME=" + host.home;
    if (!statement.withAdministratorPrivileges) {
        invocation.arguments = {kShell, "-c", statement.shellText};
        invocation.environment = {"PATH=" + host.searchPath};
        if (!home.empty()) {
            invocation.environment.push_back(home);
        }
        return {std::move(invocation), {}};
    }
    // Without an absolute home "~" would name root's home, "/" or the working folder.
    if (host.home.empty() || host.home.front() != '/' || !host.owner) {
        return {std::nullopt,
                "The home folder of the current user is unknown or not an absolute path, so the "
                "command cannot run with administrator privileges."};
    }
    invocation.administrator = true;
    const std::string elevatedPath = "PATH=" + std::string(kElevatedSearchPath);
    invocation.environment = {elevatedPath, home};
    if (host.isRoot) {
        invocation.elevation = Elevation::None;
    } else if (host.hasDisplay && host.pkexecPath) {
        invocation.elevation = Elevation::Pkexec;
        invocation.arguments = {*host.pkexecPath};
    } else if (host.sudoPath) {
        invocation.elevation = Elevation::Sudo;
        // "--" so that nothing after it is ever read as an option of sudo.
        invocation.arguments = {*host.sudoPath, "--"};
    } else {
        return {std::nullopt,
                "Neither pkexec nor sudo is available to gain administrator privileges."};
    }
    const std::string marker = invocation.elevation == Elevation::None
                                   ? std::string()
                                   : std::string(1, kElevatedShellStartMarker);
    // pkexec and sudo reset the environment, so env sets HOME and PATH again behind them; a
    // shell we start ourselves gets them from `environment`, one program fewer.
    if (invocation.elevation != Elevation::None) {
        invocation.arguments.insert(invocation.arguments.end(), {host.envPath, home, elevatedPath});
    }
    invocation.arguments.insert(invocation.arguments.end(),
                                {kShell, "-c", std::string(elevatedShellScript()), "sh", marker,
                                 std::to_string(*host.owner), statement.shellText});
    invocation.arguments.insert(invocation.arguments.end(), removalFolders.begin(),
                                removalFolders.end());
    return {std::move(invocation), {}};
}

}  // namespace applescript
