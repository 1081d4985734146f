#include <PellinAppKit/TerminalAlertPresenter.h>

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>

#include <PellinAppKit/Alert.h>
#include <PellinFoundation/Bundle.h>
#include <PellinFoundation/Format.h>
#include <PellinFoundation/WriteAll.h>

namespace appkit {

namespace {

// Any object of this library: its address leads to the library's own bundle.
const char kBundleAnchor = 0;

// A terminal line longer than this is no button number, whatever it begins with.
constexpr std::size_t kLongestAnswer = 256;

std::string localized(const char* key, const char* english) {
    return foundation::Bundle::bundleForAddress(&kBundleAnchor)
        ->localizedStringForKey(key, english, nullptr);
}

// A closed terminal is no failure here: the answer will be the end of input.
void writeAll(int fd, std::string_view text) {
    foundation::detail::writeAll(fd, text.data(), text.size());
}

struct Line {
    std::string text;      // without its line break
    bool tooLong = false;  // longer than kLongestAnswer: read to its end, kept only in part
};

// One line; none at the end of input.
std::optional<Line> readLine(int fd) {
    Line line;
    bool sawAnything = false;
    while (true) {
        char c = 0;
        const ssize_t got = read(fd, &c, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            if (sawAnything && !line.text.empty()) {
                return line;
            }
            return std::nullopt;
        }
        sawAnything = true;
        if (c == '\n') {
            return line;
        }
        if (line.text.size() < kLongestAnswer) {
            line.text += c;
        } else {
            line.tooLong = true;
        }
    }
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string describe(const Alert& alert, const std::vector<Button>& buttons,
                     std::optional<std::size_t> returnIndex) {
    std::string text = "\n";
    if (alert.alertStyle() == AlertStyle::Critical) {
        text += localized("TerminalCriticalPrefix", "(!) ");
    }
    text += alert.messageText() + "\n";
    if (!alert.informativeText().empty()) {
        text += alert.informativeText() + "\n";
    }
    text += "\n";
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        text += "  " + std::to_string(i + 1) + ") " + buttons[i].title();
        if (returnIndex == i) {
            text += "  " + localized("TerminalReturnMark", "[Return]");
        }
        text += "\n";
    }
    return text;
}

}  // namespace

TerminalAlertPresenter::TerminalAlertPresenter()
    : input_(STDIN_FILENO), output_(isatty(STDOUT_FILENO) == 1 ? STDOUT_FILENO : STDERR_FILENO) {}

ModalResponse TerminalAlertPresenter::runModal(const Alert& alert) {
    const std::vector<Button> buttons = alert.buttonsToShow();
    std::optional<std::size_t> returnIndex;
    for (std::size_t i = 0; i < buttons.size() && !returnIndex; ++i) {
        if (buttons[i].answersReturn()) {
            returnIndex = i;
        }
    }
    const std::optional<std::size_t> cancelIndex = alert.cancelButtonIndex();
    const long count = static_cast<long>(buttons.size());
    writeAll(output_, describe(alert, buttons, returnIndex));

    // Prompts are localised templates: a broken translation prints "%!d" rather than failing.
    const std::string prompt =
        returnIndex
            ? foundation::stringWithRuntimeFormat(
                  localized("TerminalPromptWithReturn", "Type 1-%ld, or press Return for %@: "),
                  count, buttons[*returnIndex].title())
            : foundation::stringWithRuntimeFormat(
                  localized("TerminalPrompt", "Type 1-%ld and press Return: "), count);
    while (true) {
        writeAll(output_, prompt);
        const std::optional<Line> line = readLine(input_);
        if (!line) {
            writeAll(output_, "\n");
            return kModalResponseAbort;
        }
        const std::string_view answer = trimmed(line->text);
        std::optional<std::size_t> chosen;
        if (line->tooLong) {
            // Refused whole: what it begins with is not what was typed.
        } else if (answer.empty()) {
            chosen = returnIndex;
        } else if (answer == "\x1b") {
            chosen = cancelIndex;
        } else {
            long number = 0;
            const auto [end, error] =
                std::from_chars(answer.data(), answer.data() + answer.size(), number);
            if (error == std::errc() && end == answer.data() + answer.size() && number >= 1 &&
                number <= count) {
                chosen = static_cast<std::size_t>(number - 1);
            }
        }
        if (chosen) {
            return kAlertFirstButtonReturn + static_cast<ModalResponse>(*chosen);
        }
        if (!answer.empty() || line->tooLong) {
            writeAll(output_, foundation::stringWithRuntimeFormat(
                                  localized("TerminalInvalidChoice",
                                            "Please type a number from 1 to %ld.\n"),
                                  count));
        }
    }
}

}  // namespace appkit
