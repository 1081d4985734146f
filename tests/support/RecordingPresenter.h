#pragma once

#include <PellinAppKit/Alert.h>
#include <PellinAppKit/AlertPresenter.h>

#include <functional>
#include <memory>
#include <vector>

namespace pellin::test {

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
