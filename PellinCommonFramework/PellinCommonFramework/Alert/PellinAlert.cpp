#include <PellinCommonFramework/PellinAlert.h>

#include <PellinLog/PellinLogCall.h>

namespace {

// Leads to the framework's own bundle. An object of internal linkage: an exported one, such as
// the version number, may have been moved into a program that uses it (a copy relocation), and
// its address would then lead to the program's bundle.
const char kBundleAnchor = 0;

// Lookups as the builder makes them: the empty text as default value, the default table. A
// null bundle has no tables, so every key shows as itself.
std::string localizedString(const std::shared_ptr<const foundation::Bundle>& bundle,
                            const foundation::NullableString& key) {
    if (!bundle) {
        return std::string(key.textOrEmpty());
    }
    return bundle->localizedStringForKey(key, "", nullptr);
}

}  // namespace

std::unique_ptr<appkit::Alert> PellinAlert::createAlertWithIcon(
    std::shared_ptr<const appkit::Image> icon, appkit::AlertStyle style,
    const foundation::NullableString& messageText,
    const foundation::NullableString& informativeText,
    const std::optional<std::vector<std::string>>& buttonTitle) {
    PELLIN_METHOD(
        "+[PellinAlert createAlertWithIcon:style:messageText:informativeText:buttonTitle:]");
    DDLogDebug("Start %@", pellinMethod.selector());
    auto alert = std::make_unique<appkit::Alert>();
    if (icon) {
        alert->setIcon(std::move(icon));
    }
    if (!messageText.isNil()) {
        alert->setMessageText(*messageText.value());
    }
    if (!informativeText.isNil()) {
        alert->setInformativeText(*informativeText.value());
    }
    if (buttonTitle) {
        for (const auto& title : *buttonTitle) {
            alert->addButtonWithTitle(title);
        }
    }
    alert->setAlertStyle(style);
    DDLogDebug("End %@", pellinMethod.selector());
    return alert;
}

std::unique_ptr<appkit::Alert> PellinAlert::createAlertWithDefaultButtonNumber(
    std::int32_t defaultButtonNumber, std::shared_ptr<const appkit::Image> icon,
    appkit::AlertStyle style, const foundation::NullableString& messageText,
    const foundation::NullableString& informativeText,
    const std::optional<std::vector<std::string>>& buttonTitle) {
    PELLIN_METHOD(
        "+[PellinAlert "
        "createAlertWithDefaultButtonNumber:icon:style:messageText:informativeText:buttonTitle:]");
    DDLogDebug("Start %@", pellinMethod.selector());
    auto alert =
        createAlertWithIcon(std::move(icon), style, messageText, informativeText, buttonTitle);
    auto& buttons = alert->buttons();
    if (defaultButtonNumber >= 2 &&
        buttons.size() >= static_cast<std::size_t>(defaultButtonNumber)) {
        buttons.front().setKeyEquivalent(appkit::kNoKeyEquivalent);
        buttons[static_cast<std::size_t>(defaultButtonNumber) - 1].setKeyEquivalent(
            appkit::kReturnKeyEquivalent);
    }
    DDLogDebug("End %@", pellinMethod.selector());
    return alert;
}

std::unique_ptr<appkit::Alert> PellinAlert::createAlertWithBundle(
    const std::shared_ptr<const foundation::Bundle>& bundle, std::int32_t defaultButtonNumber,
    std::shared_ptr<const appkit::Image> icon, const foundation::NullableString& messageTextKey,
    const foundation::NullableString& informativeTextKey, appkit::AlertStyle style,
    const foundation::NullableString& error,
    std::initializer_list<foundation::NullableString> buttonTitleKey) {
    PELLIN_METHOD(
        "+[PellinAlert "
        "createAlertWithBundle:defaultButtonNumber:icon:messageTextKey:informativeTextKey:style:"
        "error:buttonTitleKey:]");
    DDLogDebug("Start %@", pellinMethod.selector());
    std::vector<foundation::NullableString> keys;
    for (const auto& key : buttonTitleKey) {
        if (key.isNil()) {
            break;
        }
        keys.push_back(key);
    }
    const std::string messageText = localizedString(bundle, messageTextKey);
    std::string informativeText = localizedString(bundle, informativeTextKey);
    if (!error.textOrEmpty().empty()) {
        informativeText += foundation::stringWithFormat("(%@)", error.textOrEmpty());
    }
    std::vector<std::string> titles;
    for (const auto& key : keys) {
        titles.push_back(localizedString(bundle, key));
    }
    std::unique_ptr<appkit::Alert> alert;
    if (defaultButtonNumber > 1) {
        alert = createAlertWithDefaultButtonNumber(defaultButtonNumber, std::move(icon), style,
                                                   messageText, informativeText, titles);
    } else {
        alert = createAlertWithIcon(std::move(icon), style, messageText, informativeText, titles);
    }
    DDLogDebug("End %@", pellinMethod.selector());
    return alert;
}

long PellinAlert::showNetworkConnectionErrorAlertWithRetryButton() {
    PELLIN_METHOD("+[PellinAlert showNetworkConnectionErrorAlertWithRetryButton]");
    DDLogDebug("Start %@", pellinMethod.selector());
    // The texts are the framework's own, whichever program shows the alert.
    const auto bundle = foundation::Bundle::bundleForAddress(&kBundleAnchor);
    const auto alert = createAlertWithBundle(
        bundle, 0, nullptr, "OfflineErrorAlertMessageText", "OfflineErrorAlertInformativeText",
        appkit::AlertStyle::Warning, nullptr, {"RetryButtonTitle", "CancelButtonTitle", nullptr});
    DDLogDebug("End %@", pellinMethod.selector());
    return alert->runModal();
}
