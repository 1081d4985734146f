#pragma once

#include <PellinAppKit/AlertPresenter.h>

namespace appkit {

// For a process with neither a display nor a terminal: nobody can answer, so the run ends at
// once with kModalResponseAbort, and a line on standard error says which alert was not shown.
class PELLIN_EXPORT UnavailableAlertPresenter : public AlertPresenter {
  public:
    ModalResponse runModal(const Alert& alert) override;
};

}  // namespace appkit
