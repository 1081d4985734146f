#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <PellinAppKit/Alert.h>
#include <PellinAppKit/Image.h>
#include <PellinFoundation/Bundle.h>
#include <PellinFoundation/Export.h>

// Builds the Pellin programs' modal alerts from texts or from localised string keys, and shows
// the standard alert for a missing network connection. Only class operations; the alerts it
// returns belong to the caller, which runs them with runModal().
//
// Absent texts and keys are foundation::NullableString: nullptr or std::nullopt, as nil.
class PELLIN_EXPORT PellinAlert {
  public:
    PellinAlert() = delete;

    // An alert with the given icon (none: the style's standard icon), texts and buttons, one
    // per title in order; the first button answers Return. The style is always set.
    static std::unique_ptr<appkit::Alert> createAlertWithIcon(
        std::shared_ptr<const appkit::Image> icon, appkit::AlertStyle style,
        const foundation::NullableString& messageText,
        const foundation::NullableString& informativeText,
        const std::optional<std::vector<std::string>>& buttonTitle);

    // The same, with button number `defaultButtonNumber` (counted from 1) answering Return
    // instead of the first, when it is at least 2 and the alert has that many buttons.
    static std::unique_ptr<appkit::Alert> createAlertWithDefaultButtonNumber(
        std::int32_t defaultButtonNumber, std::shared_ptr<const appkit::Image> icon,
        appkit::AlertStyle style, const foundation::NullableString& messageText,
        const foundation::NullableString& informativeText,
        const std::optional<std::vector<std::string>>& buttonTitle);

    // An alert whose texts are `bundle`'s localised strings for the keys (a key the tables lack
    // shows as itself, a nil key as ""). A non-empty `error` is appended to the informative
    // text as "(error)". `buttonTitleKey` is the original's nil-terminated argument list: the
    // keys up to the first nullptr are the buttons, in order, so {"OKButtonTitle", nullptr} and
    // {"OKButtonTitle"} both make one button and {nullptr} none. A null bundle has no tables.
    static std::unique_ptr<appkit::Alert> createAlertWithBundle(
        const std::shared_ptr<const foundation::Bundle>& bundle, std::int32_t defaultButtonNumber,
        std::shared_ptr<const appkit::Image> icon, const foundation::NullableString& messageTextKey,
        const foundation::NullableString& informativeTextKey, appkit::AlertStyle style,
        const foundation::NullableString& error,
        std::initializer_list<foundation::NullableString> buttonTitleKey);

    // Shows the framework's own "no network connection" alert with Retry and Cancel and answers
    // with the modal response: 1000 Retry (also the Return key), 1001 Cancel.
    static long showNetworkConnectionErrorAlertWithRetryButton();
};
