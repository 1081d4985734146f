#include "AppDelegate.h"

#include <algorithm>
#include <array>
#include <memory>
#include <string_view>
#include <vector>

#include <PellinAppKit/Alert.h>
#include <PellinAppKit/Application.h>
#include <PellinAppKit/ModalResponse.h>
#include <PellinAppKit/RunningApplication.h>
#include <PellinCommonLib/PellinCommonConstants.h>
#include <PellinFoundation/FileManager.h>
#include <PellinLog/PellinLogCall.h>
#include <UninstallLib/UninstallLib.h>

#include "Alert/PellinUninstallerAlert.h"

void AppDelegate::applicationDidFinishLaunching(const appkit::Notification& /*notification*/) {
    // The product's folder as it is now: a program of the product started from it while the
    // dialog is open (an updater, say) is still known after the removal has deleted the folder.
    appkit::RunningApplication::rememberBundlesInFolder(
        foundation::stringByDeletingLastPathComponent(
            foundation::stringByExpandingTildeInPath(PellinAppPath)));

    const std::unique_ptr<appkit::Alert> alert = PellinUninstallerAlert::createUninstallAlert();
    // No dialog, a dialog that could not be shown (the abort code) and the second button, which
    // Return presses, all decline.
    const appkit::ModalResponse response = alert ? alert->runModal() : appkit::kModalResponseAbort;
    ExitStatus status = ExitStatus::Declined;
    if (response == appkit::kAlertFirstButtonReturn) {
        status = uninstallProc();
    }
    appkit::Application::terminate(static_cast<int>(status));
}

ExitStatus AppDelegate::uninstallProc() {
    PELLIN_METHOD("+[AppDelegate uninstallProc]");
    DDLogDebug("Start %@", pellinMethod.selector());
    DDLogInfo("Start Uninstall Pellin App");

    const UninstallResult result = UninstallLib::uninstall();
    std::unique_ptr<appkit::Alert> alert;
    // Only a success is reported as one; a result the engine never gives is not.
    ExitStatus status = ExitStatus::RemovalFailed;
    switch (result.error_result()) {
        case 0:
            status = ExitStatus::Uninstalled;
            // Nothing installed is a success too: whatever still runs of the product goes.
            terminatePellinAppAndPellinUIApp();
            DDLogInfo("Terminate BRENVIKUPDATE App from Uninstall");
            alert = PellinUninstallerAlert::createUninstallCompAlert();
            break;
        case 1:
            // A failed removal leaves the product's programs running: they may still be needed.
            alert = PellinUninstallerAlert::createUninstallErrorAlert(result.error_number());
            break;
        default:
            break;
    }
    if (alert) {
        alert->runModal();
    }

    DDLogDebug("End %@", pellinMethod.selector());
    return status;
}

void AppDelegate::terminatePellinAppAndPellinUIApp() {
    PELLIN_METHOD("+[AppDelegate terminatePellinAppAndPellinUIApp]");
    constexpr std::array<std::string_view, 2> bundleIdentifiers = {PellinBundleIdentifier,
                                                                   PellinUpdaterBundleIdentifier};
    // One look at the process table serves both identifiers: it reads every process's files.
    const std::vector<appkit::RunningApplication> running =
        appkit::RunningApplication::runningApplications();
    for (const std::string_view bundleIdentifier : bundleIdentifiers) {
        // In launch order, so only the first: further instances of it keep running.
        const auto first = std::find_if(running.begin(), running.end(),
                                        [bundleIdentifier](const appkit::RunningApplication& app) {
                                            return app.bundleIdentifier() == bundleIdentifier;
                                        });
        if (first != running.end()) {
            DDLogInfo("Terminate Pellin App from Uninstall");
            first->forceTerminate();
        }
    }
}
