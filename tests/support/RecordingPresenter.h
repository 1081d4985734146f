#pragma once

#include <PellinAppKit/Alert.h>
#include <PellinAppKit/AlertPresenter.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pellin::test {

// Style, texts and buttons, with the one Return presses and the one Escape presses.
inline std::string describe(const appkit::Alert& alert) {
    std::string line = std::to_string(static_cast<int>(alert.alertStyle())) + " \"" +
                       alert.messageText() + "\" \"" + alert.informativeText() + "\"";
    for (std::size_t i = 0; i < alert.buttons().size(); ++i) {
        line += " [" + alert.buttons()[i].title() +
                (alert.buttons()[i].answersReturn() ? " (Return)" : "") +
                (alert.cancelButtonIndex() == i ? " (Escape)" : "") + "]";
    }
    return line + (alert.icon() ? " with its icon" : "");
}

// In place of every presenter until setReplacement(nullptr): keeps each alert, calls onShow.
struct RecordingPresenter : appkit::AlertPresenter {
    static std::shared_ptr<RecordingPresenter> install(appkit::ModalResponse answer = 1000) {
        auto presenter = std::make_shared<RecordingPresenter>();
        presenter->answer = answer;
        appkit::AlertPresenter::setReplacement(presenter);
        return presenter;
    }
    appkit::ModalResponse runModal(const appkit::Alert& alert) override {
        shown.push_back(alert);
        if (onShow) {
            onShow();
        }
        return answer;
    }
    appkit::ModalResponse answer = 1000;
    std::function<void()> onShow;
    std::vector<appkit::Alert> shown;
};

}  // namespace pellin::test
