#include <PellinAppKit/Alert.h>

#include <algorithm>
#include <string_view>

#include <PellinAppKit/AlertPresenter.h>
#include <PellinFoundation/Bundle.h>

namespace appkit {

namespace {

// Any object of this library: its address leads to the library's own bundle.
const char kBundleAnchor = 0;

std::string localized(const char* key) {
    return foundation::Bundle::bundleForAddress(&kBundleAnchor)
        ->localizedStringForKey(key, key, nullptr);
}

bool isCancelTitle(std::string_view title) {
    return title == "Cancel" || title == localized("Cancel");
}

}  // namespace

Button& Alert::addButtonWithTitle(std::string title) {
    Button& button = buttons_.emplace_back(std::move(title));
    if (buttons_.size() == 1) {
        button.setKeyEquivalent(kReturnKeyEquivalent);
    }
    return button;
}

std::vector<Button> Alert::buttonsToShow() const {
    if (!buttons_.empty()) {
        return buttons_;
    }
    Button ok(localized("OK"));
    ok.setKeyEquivalent(kReturnKeyEquivalent);
    return {ok};
}

std::optional<std::size_t> Alert::returnButtonIndex() const {
    const auto found = std::find_if(buttons_.begin(), buttons_.end(),
                                    [](const Button& b) { return b.answersReturn(); });
    if (found == buttons_.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(found - buttons_.begin());
}

std::optional<std::size_t> Alert::cancelButtonIndex() const {
    const auto found = std::find_if(buttons_.begin(), buttons_.end(),
                                    [](const Button& b) { return isCancelTitle(b.title()); });
    if (found == buttons_.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(found - buttons_.begin());
}

ModalResponse Alert::runModal() const {
    return AlertPresenter::current()->runModal(*this);
}

}  // namespace appkit
