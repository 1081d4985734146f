#include "Alert/PellinUninstallerAlert.h"

#include <optional>
#include <string>

#include <PellinCommonFramework/PellinAlert.h>
#include <PellinFoundation/Bundle.h>
#include <PellinLog/PellinLogCall.h>

std::unique_ptr<appkit::Alert> PellinUninstallerAlert::createUninstallAlert() {
    PELLIN_METHOD("+[PellinUninstallerAlert createUninstallAlert]");
    DDLogDebug("Start %@", pellinMethod.selector());
    // Return answers Cancel: removing the product must take a deliberate click on OK.
    auto alert = PellinAlert::createAlertWithBundle(
        foundation::Bundle::mainBundle(), 2, nullptr, "UninstallAlertMessageText",
        "UnistallAlertInformativeText", appkit::AlertStyle::Warning, nullptr,
        {"OKButtonTitle", "CancelButtonTitle", nullptr});
    DDLogDebug("End %@", pellinMethod.selector());
    return alert;
}

std::unique_ptr<appkit::Alert> PellinUninstallerAlert::createUninstallErrorAlert(
    std::int16_t errorNumber) {
    PELLIN_METHOD("+[PellinUninstallerAlert createUninstallErrorAlert:]");
    DDLogDebug("Start %@", pellinMethod.selector());
    std::optional<std::string> errorText;
    if (errorNumber != 0) {
        errorText = foundation::stringWithFormat("%hd", errorNumber);
    }
    auto alert = PellinAlert::createAlertWithBundle(
        foundation::Bundle::mainBundle(), 0, nullptr, "UninstallErrorAlertMessageText",
        "UninstallErrorAlertInformativeText", appkit::AlertStyle::Warning, errorText,
        {"OKButtonTitle", nullptr});
    DDLogDebug("End %@", pellinMethod.selector());
    return alert;
}

std::unique_ptr<appkit::Alert> PellinUninstallerAlert::createUninstallCompAlert() {
    PELLIN_METHOD("+[PellinUninstallerAlert createUninstallCompAlert]");
    DDLogDebug("Start %@", pellinMethod.selector());
    auto alert = PellinAlert::createAlertWithBundle(
        foundation::Bundle::mainBundle(), 0, nullptr, "UninstallCompAlertMessageText", nullptr,
        appkit::AlertStyle::Warning, nullptr, {"OKButtonTitle", nullptr});
    DDLogDebug("End %@", pellinMethod.selector());
    return alert;
}
