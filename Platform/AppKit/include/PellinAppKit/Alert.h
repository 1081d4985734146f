#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <PellinAppKit/Button.h>
#include <PellinAppKit/Image.h>
#include <PellinAppKit/ModalResponse.h>
#include <PellinFoundation/Export.h>

namespace appkit {

// The platform's alert styles; the value is an unsigned machine word, and a value outside the
// three is shown as a warning.
enum class AlertStyle : unsigned long { Warning = 0, Informational = 1, Critical = 2 };

// The stand-in for NSAlert: the model of a modal alert, shown by whichever AlertPresenter suits
// the process when runModal is called (a window, a terminal dialog, or none at all).
//
// Keys: the first button added answers Return until another button is given the Return key
// equivalent. Escape presses the cancel button: the first whose title is "Cancel" or the
// localised "Cancel" of PellinAppKit's own string table (as NSAlert treats a button titled
// Cancel), whatever its key equivalent; without one Escape does nothing.
class PELLIN_EXPORT Alert {
  public:
    Alert() = default;

    const std::string& messageText() const { return messageText_; }
    void setMessageText(std::string text) { messageText_ = std::move(text); }
    const std::string& informativeText() const { return informativeText_; }
    void setInformativeText(std::string text) { informativeText_ = std::move(text); }

    // No icon means the standard icon of the style.
    const std::shared_ptr<const Image>& icon() const { return icon_; }
    void setIcon(std::shared_ptr<const Image> icon) { icon_ = std::move(icon); }

    AlertStyle alertStyle() const { return style_; }
    void setAlertStyle(AlertStyle style) { style_ = style; }

    // Appends a button; the first one added gets the Return key equivalent. The reference is
    // valid until the next button is added.
    Button& addButtonWithTitle(std::string title);
    std::vector<Button>& buttons() { return buttons_; }
    const std::vector<Button>& buttons() const { return buttons_; }

    // The buttons a presenter shows: the alert's own or, when none was added, a single OK
    // button that answers Return, as NSAlert shows.
    std::vector<Button> buttonsToShow() const;

    // Position of the button that Return presses (the first holding the Return key
    // equivalent), and of the one that Escape presses; none when no button qualifies.
    std::optional<std::size_t> returnButtonIndex() const;
    std::optional<std::size_t> cancelButtonIndex() const;

    // Shows the alert and waits for a button: 1000 plus its position, or kModalResponseAbort
    // when no dialog can be shown or it ended without a button.
    ModalResponse runModal() const;

  private:
    std::string messageText_;
    std::string informativeText_;
    std::shared_ptr<const Image> icon_;
    AlertStyle style_ = AlertStyle::Warning;
    std::vector<Button> buttons_;
};

}  // namespace appkit
