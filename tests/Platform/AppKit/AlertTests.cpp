// The alert model, its two presenters (a Qt window, the terminal) and the choice between them.

#include <PellinAppKit/Alert.h>
#include <PellinAppKit/TerminalAlertPresenter.h>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "ScopedEnvironment.h"
#include "Subprocess.h"
#include "TemporaryHome.h"
#include "TestCases.h"
#include "support/FakeDisplay.h"

namespace {

using appkit::Alert;
using namespace pellin::test;

Alert alertWith(std::initializer_list<const char*> titles, bool returnOnFirst = true) {
    Alert alert;
    alert.setMessageText("Do you want to uninstall Pellin?");
    alert.setInformativeText("Everything will be removed.");
    for (const char* title : titles) {
        alert.addButtonWithTitle(title);
    }
    if (!returnOnFirst) {
        alert.buttons()[0].setKeyEquivalent("");
    }
    return alert;
}

// OK first, Cancel second holding Return: the shape of the uninstall confirmation.
Alert confirmation() {
    Alert alert = alertWith({"OK", "Cancel"}, false);
    alert.buttons()[1].setKeyEquivalent("\r");
    return alert;
}

class AlertTest : public ::testing::Test {
  protected:
    void SetUp() override { env_.language("en_US.UTF-8"); }
    ScopedEnvironment env_;
    const TemporaryHome home_;
};

TEST_F(AlertTest, ReturnAndEscapeBelongToTheRightButtons) {
    Alert alert = alertWith({"Retry", "\u30AD\u30E3\u30F3\u30BB\u30EB", "Cancel", "Help"});
    EXPECT_EQ(alert.returnButtonIndex(), 0U);
    EXPECT_EQ(alert.cancelButtonIndex(), 2U);
    env_.language("ja_JP.UTF-8");
    EXPECT_EQ(alert.cancelButtonIndex(), 1U);
    alert.buttons()[0].setKeyEquivalent("");
    EXPECT_EQ(alert.returnButtonIndex(), std::nullopt);
    alert.buttons()[3].setKeyEquivalent("\r");
    EXPECT_EQ(alert.returnButtonIndex(), 3U);
    EXPECT_EQ(alertWith({"Retry"}).cancelButtonIndex(), std::nullopt);
    const Alert plain;
    EXPECT_EQ(plain.alertStyle(), appkit::AlertStyle::Warning);
    EXPECT_EQ(plain.messageText() + plain.informativeText(), "");
    EXPECT_EQ(plain.icon(), nullptr);

    const auto file = home_.writeFile("icon.png", "not really a picture");
    ASSERT_NE(appkit::Image::imageWithContentsOfFile(file), nullptr);
    EXPECT_EQ(appkit::Image::imageWithContentsOfFile(file)->path(), file);
    EXPECT_EQ(appkit::Image::imageWithContentsOfFile(home_.path() / "missing.png"), nullptr);
    EXPECT_EQ(appkit::Image::imageWithContentsOfFile(home_.path()), nullptr);
}

// --- In a window (Qt's offscreen platform): keys and clicks as a user gives them --------------

using Action = std::function<void(QDialog&)>;

// Runs `alert` on Qt's offscreen platform (a display, so the alert chooses a window), doing
// `action` to the dialog once it shows; returns the answer.
long inWindow(const Alert& alert, const Action& action) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "AppKitAlertTests";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) {
        new QApplication(argc, argv);
    }
    auto* timer = new QTimer(QApplication::instance());
    timer->setInterval(1);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            action(*dialog);
        }
    });
    timer->start();
    return alert.runModal();
}

QPushButton* button(QDialog& dialog, int index) {
    return dialog.findChild<QPushButton*>(QString("alertButton%1").arg(index));
}

// Presses `keys` on the focused widget, as a keyboard would, closes the window when asked, then
// clicks the button at `index`.
Action pressThenClick(std::vector<Qt::Key> keys, bool close, int index) {
    return [=](QDialog& dialog) {
        for (const Qt::Key key : keys) {
            QTest::keyClick(dialog.focusWidget() != nullptr ? dialog.focusWidget() : &dialog, key);
        }
        if (close) {
            dialog.close();
        }
        QTest::mouseClick(button(dialog, index), Qt::LeftButton);
    };
}

TEST_F(AlertTest, InAWindowOnlyReturnAndEscapeAnswerAndButtonsStayInOrderWithPlainTexts) {
    // Titles to which Qt's own button boxes would give roles and reorder.
    Alert ordered = alertWith({"Cancel", "OK", "Apply", "Help", "Discard"});
    ordered.setMessageText("<b>Pellin</b> & co");
    std::string shown;
    const auto look = [&](QDialog& dialog) {
        for (int i = 0; i < 5; ++i) {
            shown += " " + button(dialog, i)->text().toStdString();
            EXPECT_TRUE(i == 0 || button(dialog, i - 1)->x() < button(dialog, i)->x()) << i;
        }
        const auto* label = dialog.findChild<QLabel*>("alertMessageText");
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        shown += " | " + label->text().toStdString();
        pressThenClick({}, false, 3)(dialog);
    };
    const std::vector<std::tuple<Alert, Action, long>> rows = {
        {ordered, look, 1003},
        {confirmation(), pressThenClick({Qt::Key_Return}, false, 0), 1001},
        {confirmation(), pressThenClick({Qt::Key_Enter}, false, 0), 1001},
        {confirmation(),
         [](QDialog& dialog) {
             button(dialog, 0)->setFocus();
             pressThenClick({Qt::Key_Return}, false, 0)(dialog);
         },
         1001},
        {confirmation(), pressThenClick({}, false, 0), 1000},
        {alertWith({"One", "Two", "Three"}), pressThenClick({}, false, 2), 1002},
        {alertWith({"OK", "Cancel"}, false), pressThenClick({Qt::Key_Return}, false, 1), 1001},
        {alertWith({"Retry", "Cancel"}), pressThenClick({Qt::Key_Escape}, false, 0), 1001},
        {alertWith({"Retry", "Cancel"}), pressThenClick({}, true, 0), 1001},
        {alertWith({"OK", "Later"}), pressThenClick({Qt::Key_Escape}, true, 1), 1001},
        // accept() ends the dialog with Qt's own code 1; no button was pressed.
        {confirmation(), [](QDialog& dialog) { dialog.accept(); }, appkit::kModalResponseAbort},
        {Alert(), pressThenClick({Qt::Key_Return}, false, 0), 1000},
    };
    for (std::size_t row = 0; row < rows.size(); ++row) {
        const auto& [alert, action, expected] = rows[row];
        EXPECT_EQ(inWindow(alert, action), expected) << "row " << row;
    }
    EXPECT_EQ(shown, " Cancel OK Apply Help Discard | <b>Pellin</b> & co");
}

// --- On the terminal ----------------------------------------------------------------------------

// Types `keys` on a fresh pseudo-terminal (none: the terminal goes away at once, as when the user
// closes its window), runs `alert` on it; the answer and the screen.
std::pair<long, std::string> onTerminal(const Alert& alert,
                                        const std::optional<std::string>& keys) {
    int controller = -1;
    int terminal = -1;
    termios settings{};
    if (openpty(&controller, &terminal, nullptr, nullptr, nullptr) != 0 ||
        tcgetattr(terminal, &settings) != 0) {
        return {-1, ""};
    }
    // No echo of what was typed: the terminal would mix it into the screen at any moment.
    settings.c_lflag &= ~tcflag_t{ECHO};
    if (tcsetattr(terminal, TCSANOW, &settings) != 0 ||
        (keys && write(controller, keys->data(), keys->size()) != std::ssize(*keys))) {
        return {-1, ""};
    }
    if (!keys) {
        close(std::exchange(controller, -1));
    }
    const long response = appkit::TerminalAlertPresenter(terminal, terminal).runModal(alert);
    close(terminal);
    fcntl(controller, F_SETFL, O_NONBLOCK);
    std::string screen;
    char buffer[4096];
    for (ssize_t got; (got = read(controller, buffer, sizeof buffer)) > 0;) {
        screen.append(buffer, static_cast<std::size_t>(got));
    }
    close(controller);
    // The terminal turns each line feed into CR LF.
    std::erase(screen, '\r');
    return {response, screen};
}

// Each row's answer, and what the alert wrote, are tests/data/terminal-alerts.txt.
TEST_F(AlertTest, OnTheTerminalANumberOrReturnAnswersAndAnythingElseAsksAgain) {
    // A line longer than an answer can be is refused whole, never cut down to its first part.
    const std::string overLong = "1" + std::string(300, ' ') + "NO-DO-NOT-UNINSTALL\n";
    const std::vector<std::pair<Alert, std::optional<std::string>>> rows = {
        {confirmation(), "1\n"},
        {confirmation(), " 2 \n"},
        {confirmation(), "\n"},
        {alertWith({"One", "Two", "Three"}), "3\n"},
        {confirmation(), "9\nyes\n0\n-1\n" + overLong + "1x\n2\n"},
        {alertWith({"OK", "Later"}, false), "\n\n2\n"},
        {alertWith({"Retry", "Cancel"}), "\x1b\n"},
        {confirmation(), "\x04"},
        {confirmation(), "7\n\x04"},
        {Alert(), "\n"},
        {confirmation(), std::nullopt},  // the end of input too
    };
    std::string transcript;
    for (const auto& [alert, keys] : rows) {
        const auto [response, screen] = onTerminal(alert, keys);
        transcript += "=== answer " + std::to_string(response) + "\n" + screen + "\n";
    }
    env_.language("ja_JP.UTF-8");
    transcript += "=== in Japanese\n" + onTerminal(confirmation(), "\n").second;
    expectGolden("terminal-alerts.txt", transcript);
}

// --- Which presenter runs: a program of its own, in the environment under test -----------------

TEST(PresenterChoice, WithoutAUsableDisplayTheTerminalAsksAndWithoutEitherNoDialogRuns) {
    const FakeXDisplay stale(FakeXDisplay::Behaviour::Stale);
    const FakeXDisplay refusing(FakeXDisplay::Behaviour::Refusing);
    const FakeXDisplay silent(FakeXDisplay::Behaviour::Silent);
    ASSERT_TRUE(stale.available() && refusing.available() && silent.available());
    // A Qt platform that cannot start here would end the process (xcb, wayland, eglfs) or wait
    // for a viewer forever (vnc); a server that refuses or never answers the handshake, likewise.
    for (std::vector<std::string> environment : std::vector<std::vector<std::string>>{
             {},
             {stale.environmentEntry(), "WAYLAND_DISPLAY=gone", "XDG_RUNTIME_DIR=/nonexistent"},
             {refusing.environmentEntry()},
             {silent.environmentEntry()},
             {"QT_QPA_PLATFORM=xcb"},
             {"QT_QPA_PLATFORM=wayland;xcb"},
             {"QT_QPA_PLATFORM=eglfs"},
             {"QT_QPA_PLATFORM=vnc"}}) {
        const std::string what = environment.empty() ? "nothing" : environment.front();
        environment.insert(environment.end(),
                           {"HOME=/nonexistent", "LANG=en_US.UTF-8", "PATH=/usr/bin:/bin"});
        // The probe shows one alert with whatever presenter its environment leads to.
        for (const bool terminal : {false, true}) {
            Subprocess probe({{(buildDirectory() / "bin/AppKitProbe").string(), "alert",
                               "Continue?", "OK", "Cancel"},
                              environment,
                              terminal});
            if (terminal) {
                EXPECT_TRUE(probe.waitFor("  1) OK  [Return]", std::chrono::seconds(10))) << what;
                probe.type("\x04");
            }
            EXPECT_TRUE(exitedWith(probe.finish(std::chrono::seconds(30)), 0)) << what;
            EXPECT_NE(probe.shown().find("response=-1000"), std::string::npos) << what;
            EXPECT_EQ(probe.shown().find("not shown: Continue?") == std::string::npos, terminal)
                << what;
        }
    }
}

}  // namespace
