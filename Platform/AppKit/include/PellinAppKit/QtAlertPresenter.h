#pragma once

#include <PellinAppKit/AlertPresenter.h>

namespace appkit {

// Shows the alert in a modal Qt window: the style's icon (or the alert's image), the message in
// bold, the informative text, and the buttons from left to right in the order of adding. Return
// and Enter press the button holding the Return key equivalent and no other; Escape and the
// window's close request press the cancel button, or do nothing without one. The answer comes
// from the button that was clicked. Creates the QApplication when the process has none.
class PELLIN_EXPORT QtAlertPresenter : public AlertPresenter {
  public:
    ModalResponse runModal(const Alert& alert) override;

    // Whether a Qt window can be shown at all: a display server that answers, or a platform
    // chosen through QT_QPA_PLATFORM.
    static bool displayAvailable();
};

}  // namespace appkit
