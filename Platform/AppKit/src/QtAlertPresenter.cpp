#include <PellinAppKit/QtAlertPresenter.h>

#include <optional>
#include <string>

#include <PellinAppKit/TerminalAlertPresenter.h>
#include <PellinAppKit/UnavailableAlertPresenter.h>

#include "DisplayProbe.h"
#include "QtModule.h"

namespace appkit {

bool QtAlertPresenter::displayAvailable() {
    return verifiedQtPlatform().has_value();
}

ModalResponse QtAlertPresenter::runModal(const Alert& alert) {
    // A verified platform has the Qt module loaded already.
    const std::optional<std::string> platform = verifiedQtPlatform();
    const detail::QtModuleInterface* module = platform ? detail::qtModule() : nullptr;
    if (module != nullptr) {
        if (const std::optional<ModalResponse> answer = module->runModal(alert, *platform)) {
            return *answer;
        }
    }
    if (TerminalAlertPresenter::terminalAvailable()) {
        return TerminalAlertPresenter().runModal(alert);
    }
    return UnavailableAlertPresenter().runModal(alert);
}

}  // namespace appkit
