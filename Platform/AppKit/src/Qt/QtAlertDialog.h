#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include <QDialog>

class QPushButton;

namespace appkit {

class Alert;

// The window of one alert. Built by hand rather than with QMessageBox, which reorders buttons
// by their roles and answers custom buttons with an opaque code: here the buttons stay in the
// order of adding and the answer is the button that was pressed.
class QtAlertDialog : public QDialog {
  public:
    explicit QtAlertDialog(const Alert& alert);

    // The position of the pressed button; none while no button has been pressed.
    std::optional<std::size_t> pressedButton() const { return pressed_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Escape and the window's close request land here: only a cancel button ends the alert.
    void reject() override;

  private:
    void press(std::size_t index);

    std::vector<QPushButton*> buttons_;
    std::optional<std::size_t> returnIndex_;
    std::optional<std::size_t> cancelIndex_;
    std::optional<std::size_t> pressed_;
};

}  // namespace appkit
