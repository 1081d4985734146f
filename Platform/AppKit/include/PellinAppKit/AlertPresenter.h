#pragma once

#include <memory>

#include <PellinAppKit/ModalResponse.h>
#include <PellinFoundation/Export.h>

namespace appkit {

class Alert;

// Shows an alert modally and answers with the pressed button. Which presenter runs is decided
// at each modal run, from what the process has:
//   1. a Qt platform verified to start (a server on DISPLAY or WAYLAND_DISPLAY that answers in
//      time, or a platform in QT_QPA_PLATFORM such as "offscreen" in tests): a Qt window, which
//      answers kModalResponseAbort when another program destroys it;
//   2. otherwise standard input is a terminal: a dialog on the terminal;
//   3. otherwise no dialog can run, and the answer is kModalResponseAbort.
class PELLIN_EXPORT AlertPresenter {
  public:
    virtual ~AlertPresenter() = default;
    virtual ModalResponse runModal(const Alert& alert) = 0;

    // The presenter for this process now (or the replacement, when one is set).
    static std::shared_ptr<AlertPresenter> current();
    // Replaces the choice for the whole process (tests that observe alerts without showing
    // them); nullptr returns to choosing at each run.
    static void setReplacement(std::shared_ptr<AlertPresenter> presenter);
};

}  // namespace appkit
