#include "PellinCommonFileManager.h"

#include <string_view>

#include <PellinFoundation/FileManager.h>
#include <PellinLog/PellinLogCall.h>

#include "PellinCommonConstants.h"

namespace {

std::string_view yesOrNo(bool answer) {
    return answer ? "YES" : "NO";
}

// The file manager fills the error it is given only when an operation fails.
bool wasReported(const foundation::Error& error) {
    return error.code != 0 || !error.localizedDescription.empty();
}

// The three single checks differ only in the path and in the name they log under; the
// parameter carries that name to the log calls.
bool existsAtInstallPath(const pellinlog::MethodName& pellinMethod, std::string_view path) {
    DDLogDebug("Start %@", pellinMethod.selector());
    const bool exists =
        foundation::FileManager::fileExistsAtPath(foundation::stringByExpandingTildeInPath(path));
    DDLogInfo("%@ isExist=%@", pellinMethod.selector(), yesOrNo(exists));
    DDLogDebug("End %@", pellinMethod.selector());
    return exists;
}

}  // namespace

bool PellinCommonFileManager::existsAutoStartSettingFileOrPellinApp() {
    PELLIN_METHOD("+[PellinCommonFileManager existsAutoStartSettingFileOrPellinApp]");
    DDLogDebug("Start %@", pellinMethod.selector());
    const bool exists = existsAutoStartSettingFile() || existsPellinApp();
    DDLogInfo("%@ isExist=%@", pellinMethod.selector(), yesOrNo(exists));
    DDLogDebug("End %@", pellinMethod.selector());
    return exists;
}

bool PellinCommonFileManager::existsAutoStartSettingFile() {
    PELLIN_METHOD("+[PellinCommonFileManager existsAutoStartSettingFile]");
    return existsAtInstallPath(pellinMethod, PellinLaunchAgentPath);
}

bool PellinCommonFileManager::existsPellinApp() {
    PELLIN_METHOD("+[PellinCommonFileManager existsPellinApp]");
    return existsAtInstallPath(pellinMethod, PellinAppPath);
}

bool PellinCommonFileManager::existsKickPellinApp() {
    PELLIN_METHOD("+[PellinCommonFileManager existsKickPellinApp]");
    return existsAtInstallPath(pellinMethod, KickPellinAppPath);
}

bool PellinCommonFileManager::makeUsersApplications() {
    PELLIN_METHOD("+[PellinCommonFileManager makeUsersApplications]");
    DDLogDebug("Start %@", pellinMethod.selector());
    const std::string folder = foundation::stringByExpandingTildeInPath(
        foundation::stringByDeletingLastPathComponent(KickPellinAppPath));
    // Success is judged by the error alone; the Boolean answer is not used.
    foundation::Error error;
    foundation::FileManager::createDirectoryAtPath(folder, true, &error);
    const bool success = !wasReported(error);
    DDLogDebug("End %@ isSuccess = %@", pellinMethod.selector(), yesOrNo(success));
    return success;
}

bool PellinCommonFileManager::removeKickPellinApp() {
    PELLIN_METHOD("+[PellinCommonFileManager removeKickPellinApp]");
    DDLogDebug("Start %@", pellinMethod.selector());
    foundation::Error error;
    const bool removed = foundation::FileManager::removeItemAtPath(
        foundation::stringByExpandingTildeInPath(KickPellinAppPath), &error);
    if (wasReported(error)) {
        DDLogError("Error %@ code = %ld description = %@", pellinMethod.selector(), error.code,
                   error.localizedDescription);
    }
    DDLogDebug("End %@", pellinMethod.selector());
    return removed;
}
