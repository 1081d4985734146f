#pragma once

#include <PellinAppKit/AlertPresenter.h>

namespace appkit {

// Shows the alert in a modal Qt window: the style's icon (or the alert's image), the message in
// bold, the informative text, and the buttons from left to right in the order of adding. Return
// and Enter press the button holding the Return key equivalent and no other; Escape and the
// window's close request press the cancel button, or do nothing without one. The answer comes
// from the button that was clicked; a window that another program destroys answers
// kModalResponseAbort. Creates the QApplication when the process has none. The window comes from
// the Qt presenter module, loaded once a display has been verified; without a display or the
// module, or on a thread that cannot show windows, the alert asks on the terminal instead (or
// nowhere, as UnavailableAlertPresenter).
class PELLIN_EXPORT QtAlertPresenter : public AlertPresenter {
  public:
    ModalResponse runModal(const Alert& alert) override;

    // Whether a Qt window can be shown at all: a Qt platform verified to start (a display
    // server that answers in time, or a platform named in QT_QPA_PLATFORM that starts here).
    static bool displayAvailable();
};

}  // namespace appkit
