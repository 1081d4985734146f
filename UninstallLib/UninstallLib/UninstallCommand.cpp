#include "UninstallCommand.h"

#include <PellinAppleScript/Quoting.h>
#include <PellinCommonLib/PellinCommonConstants.h>
#include <PellinCommonLib/PellinCommonFileManager.h>
#include <PellinFoundation/FileManager.h>
#include <PellinFoundation/Format.h>
#include <PellinLog/PellinLogCall.h>
#include <UserDefaultConfigurationLib/UserDefaultConfigurationLib.h>

#include "CheckedRemoval.h"
#include "ScriptErrorRecord.h"
#include "ShellWord.h"

using uninstall_detail::errorMessage;
using uninstall_detail::errorNumber;
using uninstall_detail::isFilled;
using uninstall_detail::shellWord;

namespace {

// What the removal script removes, as absolute paths: the launch agent's property list, the
// resident application's whole folder (Library/Pellin, not only the application) and the
// launcher application.
struct RemovalItems {
    std::string launchAgent = foundation::stringByExpandingTildeInPath(PellinLaunchAgentPath);
    std::string residentFolder = foundation::stringByDeletingLastPathComponent(
        foundation::stringByExpandingTildeInPath(PellinAppPath));
    std::string launcher = foundation::stringByExpandingTildeInPath(KickPellinAppPath);

    std::vector<std::string> all() const { return {launchAgent, residentFolder, launcher}; }
};

// The removal script's shell text: the three removals joined by ";", so that one failing
// command does not keep the next from running. Each path is one quoted shell word; the launch
// agent's keeps its "~/" for the elevated shell to expand with the user's HOME.
std::string removalScriptSource(const RemovalItems& items) {
    const std::string launchAgent =
        foundation::stringWithFormat("sudo rm -f %@", shellWord(PellinLaunchAgentPath));
    const std::string residentFolder =
        foundation::stringWithFormat("sudo rm -rf %@", shellWord(items.residentFolder));
    const std::string launcher =
        foundation::stringWithFormat("sudo rm -rf %@", shellWord(items.launcher));
    return foundation::stringWithFormat(
        "do shell script \" %@; %@; %@;\" with administrator privileges",
        applescript::escapeStringLiteral(launchAgent),
        applescript::escapeStringLiteral(residentFolder),
        applescript::escapeStringLiteral(launcher));
}

std::string unloadScriptSource(std::string_view path) {
    const std::string command =
        foundation::stringWithFormat("launchctl unload %@", shellWord(path));
    return foundation::stringWithFormat("do shell script \"%@\"",
                                        applescript::escapeStringLiteral(command));
}

}  // namespace

UninstallResult UninstallCommand::executeUninstallCommand() {
    return executeUninstallCommand(nullptr);
}

UninstallResult UninstallCommand::executeUninstallCommand(
    const std::shared_ptr<applescript::ScriptExecutor>& executor) {
    PELLIN_METHOD("+[UninstallCommand executeUninstallCommand]");
    DDLogDebug("Start %@", pellinMethod.selector());
    UninstallResult result;

    if (!PellinCommonFileManager::existsAutoStartSettingFileOrPellinApp() &&
        !PellinCommonFileManager::existsKickPellinApp()) {
        DDLogInfo("Not exists AutoSatrtSettingFile And PellinApp");
        DDLogDebug("End %@ result : OK", pellinMethod.selector());
        result.setError_result(0);
        return result;
    }

    const RemovalItems items;
    const applescript::AppleScript script(
        removalScriptSource(items),
        std::make_shared<uninstall_detail::CheckedRemoval>(executor, items.all()));
    result = repeatUninstallProcWithAppleScript(script);

    if (result.error_result() != 1) {
        UserDefaultConfigurationLib::removePersistentDomain();
        // The removal has already deleted the property list this names; a failure is only
        // logged.
        commandLaunchUnload(PellinLaunchAgentPath, executor);
        DDLogDebug("End %@ result : OK", pellinMethod.selector());
    } else {
        DDLogDebug("End %@ result : NG", pellinMethod.selector());
    }
    return result;
}

UninstallResult UninstallCommand::repeatUninstallProcWithAppleScript(
    const applescript::AppleScript& script) {
    PELLIN_METHOD("+[UninstallCommand repeatUninstallProcWithAppleScript:]");
    DDLogDebug("Start %@", pellinMethod.selector());
    UninstallResult result;
    // One record for both runs: it keeps the first run's error until a later run writes its own.
    foundation::Dictionary errorInfo;

    const auto runFailed = [&script, &errorInfo] {
        const std::optional<std::string> answer = script.executeAndReturnError(&errorInfo);
        return !answer && isFilled(errorInfo);
    };
    const auto logFailedRun = [&errorInfo] {
        DDLogWarn("Error executeUninstallCommand  Error_Number : %d  Error_Message : %@",
                  static_cast<int>(errorNumber(errorInfo)), errorMessage(errorInfo));
    };

    if (runFailed()) {
        logFailedRun();
        if (runFailed()) {
            logFailedRun();
            result.setError_number(errorNumber(errorInfo));
            result.setError_result(1);
            DDLogInfo("Unistall NG");
            DDLogDebug("End %@", pellinMethod.selector());
            return result;
        }
    }
    result.setError_result(0);
    DDLogDebug("End %@", pellinMethod.selector());
    return result;
}

bool UninstallCommand::commandLaunchUnload(std::string_view path) {
    return commandLaunchUnload(path, nullptr);
}

bool UninstallCommand::commandLaunchUnload(
    std::string_view path, const std::shared_ptr<applescript::ScriptExecutor>& executor) {
    PELLIN_METHOD("+[UninstallCommand commandLaunchUnload:]");
    DDLogDebug("Start commandLaunchUnload");
    foundation::Dictionary errorInfo;
    applescript::AppleScript(unloadScriptSource(path), executor).executeAndReturnError(&errorInfo);
    bool unloaded = true;
    if (isFilled(errorInfo)) {
        DDLogWarn("Error commandLaunchUnload  Error_Number : %d",
                  static_cast<int>(errorNumber(errorInfo)));
        unloaded = false;
    }
    DDLogDebug("End commandLaunchUnload result : %hhd", unloaded);
    return unloaded;
}
