#pragma once

// The steps of an uninstall: decide whether anything is installed, remove the launch agent's
// property list, the resident application's folder and the launcher application in one shell
// command with administrator privileges (retried once), then remove the shared settings domain
// and unload the launch agent. Class operations only; nothing is kept between calls.

#include <memory>
#include <string_view>

#include <PellinAppleScript/AppleScript.h>

#include "UninstallResult.h"

class UninstallCommand {
  public:
    UninstallCommand() = delete;

    // Error numbers a removal run gets from the engine itself rather than from the shell. The
    // shell would act through a link or for another user (a folder between the home and an
    // item is a link or not the user's, the home is not the user's or not absolute): the run
    // is refused before anything is removed.
    static constexpr int kRemovalRefusedErrorNumber = 1001;
    // The shell reported success, but an item is still there.
    static constexpr int kItemsRemainErrorNumber = 1002;

    // The whole uninstall, with the scripts run by the real shell.
    static UninstallResult executeUninstallCommand();
    // The same with every script run by `executor`, so that tests can play back failures.
    static UninstallResult executeUninstallCommand(
        const std::shared_ptr<applescript::ScriptExecutor>& executor);

    // Runs the removal script at most twice: a failed first run is retried once with the same
    // error record, so a second run that writes no error of its own fails with the first one's.
    // executeUninstallCommand's script checks each run: refused before the shell starts, or
    // failed afterwards when an item remains, with the numbers above.
    static UninstallResult repeatUninstallProcWithAppleScript(
        const applescript::AppleScript& script);

    // Runs "launchctl unload <path>" without privileges; true when no error was reported.
    // A leading "~/" of `path` is left for the shell to expand.
    static bool commandLaunchUnload(std::string_view path);
    static bool commandLaunchUnload(std::string_view path,
                                    const std::shared_ptr<applescript::ScriptExecutor>& executor);
};
