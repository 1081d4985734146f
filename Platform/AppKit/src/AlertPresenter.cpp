#include <PellinAppKit/AlertPresenter.h>

#include <mutex>

#include <PellinAppKit/QtAlertPresenter.h>
#include <PellinAppKit/TerminalAlertPresenter.h>
#include <PellinAppKit/UnavailableAlertPresenter.h>

namespace appkit {

namespace {

std::mutex& replacementMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<AlertPresenter>& replacement() {
    static std::shared_ptr<AlertPresenter> presenter;
    return presenter;
}

}  // namespace

std::shared_ptr<AlertPresenter> AlertPresenter::current() {
    {
        std::lock_guard lock(replacementMutex());
        if (replacement()) {
            return replacement();
        }
    }
    // Chosen anew at every run: a test or a program may gain or lose its display meanwhile.
    if (QtAlertPresenter::displayAvailable()) {
        return std::make_shared<QtAlertPresenter>();
    }
    if (TerminalAlertPresenter::terminalAvailable()) {
        return std::make_shared<TerminalAlertPresenter>();
    }
    return std::make_shared<UnavailableAlertPresenter>();
}

void AlertPresenter::setReplacement(std::shared_ptr<AlertPresenter> presenter) {
    std::lock_guard lock(replacementMutex());
    replacement() = std::move(presenter);
}

}  // namespace appkit
