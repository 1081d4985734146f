#pragma once

#include <unistd.h>

#include <PellinAppKit/AlertPresenter.h>

namespace appkit {

// Asks on a terminal: the texts, then the buttons numbered in the order of adding with the
// Return button marked. A number presses that button, an empty line the Return button, a lone
// Escape the cancel button; anything else asks again, a line longer than any answer included
// (however it begins); the end of input presses nothing
// (kModalResponseAbort).
class PELLIN_EXPORT TerminalAlertPresenter : public AlertPresenter {
  public:
    // Reads from `input` and writes to `output`: by default standard input and standard output,
    // or standard error when standard output is not a terminal.
    TerminalAlertPresenter();
    TerminalAlertPresenter(int input, int output) : input_(input), output_(output) {}

    ModalResponse runModal(const Alert& alert) override;

    static bool terminalAvailable() { return isatty(STDIN_FILENO) == 1; }

  private:
    int input_;
    int output_;
};

}  // namespace appkit
