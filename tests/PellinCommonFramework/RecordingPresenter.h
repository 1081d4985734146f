#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <PellinAppKit/Alert.h>
#include <PellinAppKit/AlertPresenter.h>

namespace pellin::test {

// Takes the place of every presenter while it lives: keeps a copy of each alert it is asked to
// show, runs `onShow` at that moment, and answers `answer`.
class RecordingPresenter : public appkit::AlertPresenter {
  public:
    static std::shared_ptr<RecordingPresenter> install(appkit::ModalResponse answer = 1000) {
        auto presenter = std::make_shared<RecordingPresenter>();
        presenter->answer = answer;
        appkit::AlertPresenter::setReplacement(presenter);
        return presenter;
    }
    ~RecordingPresenter() override = default;

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

// Puts the run-time choice of presenters back when a test ends.
struct PresenterReset {
    ~PresenterReset() { appkit::AlertPresenter::setReplacement(nullptr); }
};

}  // namespace pellin::test
