#include <PellinAppleScript/ShellInvocation.h>

namespace applescript {

namespace {

constexpr const char* kShell = "/bin/sh";

// Runs as root after the authentication: reports that the shell started, then becomes the
// shell that runs the text. The text arrives as "$1", so it is never re-read by this shell.
constexpr const char* kElevatedShellScript = "printf '\\036' && exec /bin/sh -c \"$1\"";

}  // namespace

ShellInvocationPlan planShellInvocation(const DoShellScriptStatement& statement,
                                        const ShellHost& host) {
    ShellInvocation invocation;
    invocation.searchPath = host.searchPath;
    if (!statement.withAdministratorPrivileges || host.isRoot) {
        invocation.arguments = {kShell, "-c", statement.shellText};
        return {std::move(invocation), {}};
    }
    // Without an absolute home the elevated shell would expand "~" to root's home, or to "/".
    if (host.home.empty() || host.home.front() != '/') {
        return {std::nullopt,
                "The home folder of the current user is unknown, so the command cannot run with "
                "administrator privileges."};
    }
    if (host.hasDisplay && host.pkexecPath) {
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
    invocation.arguments.insert(invocation.arguments.end(),
                                {host.envPath, "HOME=" + host.home, "PATH=" + host.searchPath,
                                 kShell, "-c", kElevatedShellScript, "sh", statement.shellText});
    return {std::move(invocation), {}};
}

}  // namespace applescript
