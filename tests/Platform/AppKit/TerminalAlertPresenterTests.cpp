#include <PellinAppKit/Alert.h>
#include <PellinAppKit/TerminalAlertPresenter.h>

#include <pty.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "PseudoTerminal.h"
#include "ScopedEnvironment.h"

using appkit::Alert;
using appkit::TerminalAlertPresenter;
using pellin::test::PseudoTerminal;
using ::testing::HasSubstr;

namespace {

Alert confirmation() {
    Alert alert;
    alert.setMessageText("Do you want to uninstall Pellin?");
    alert.setInformativeText("Everything will be removed.");
    alert.addButtonWithTitle("OK").setKeyEquivalent("");
    alert.addButtonWithTitle("Cancel").setKeyEquivalent("\r");
    return alert;
}

// Types `keys` on a fresh terminal, runs `alert` on it, and returns the answer and the screen.
std::pair<long, std::string> answer(const Alert& alert, std::string_view keys) {
    PseudoTerminal pty;
    pty.type(keys);
    TerminalAlertPresenter presenter(pty.terminal(), pty.terminal());
    const long response = presenter.runModal(alert);
    // The terminal turns each line feed into CR LF on the way out.
    std::string screen = pty.shown();
    std::erase(screen, '\r');
    return {response, screen};
}

class TerminalAlertPresenterTest : public ::testing::Test {
  protected:
    void SetUp() override { env_.language("en_US.UTF-8"); }
    pellin::test::ScopedEnvironment env_;
};

}  // namespace

TEST_F(TerminalAlertPresenterTest, TheDialogShowsTheTextsAndNumberedButtonsWithReturnMarked) {
    const auto [response, screen] = answer(confirmation(), "\n");
    EXPECT_EQ(response, 1001);
    EXPECT_THAT(screen, HasSubstr("Do you want to uninstall Pellin?\n"));
    EXPECT_THAT(screen, HasSubstr("Everything will be removed.\n"));
    EXPECT_THAT(screen, HasSubstr("  1) OK\n  2) Cancel  [Return]\n"));
    EXPECT_THAT(screen, HasSubstr("Type 1-2, or press Return for Cancel: "));
}

TEST_F(TerminalAlertPresenterTest, ANumberPressesThatButton) {
    EXPECT_EQ(answer(confirmation(), "1\n").first, 1000);
    EXPECT_EQ(answer(confirmation(), " 2 \n").first, 1001);
    Alert three;
    for (const char* title : {"One", "Two", "Three"}) {
        three.addButtonWithTitle(title);
    }
    EXPECT_EQ(answer(three, "3\n").first, 1002);
}

TEST_F(TerminalAlertPresenterTest, AnythingElseAsksAgain) {
    // A line longer than an answer can be is refused whole, never cut down to its first part.
    const std::string overLong = "1" + std::string(300, ' ') + "NO-DO-NOT-UNINSTALL\n";
    const auto [response, screen] =
        answer(confirmation(), "9\nyes\n0\n-1\n" + overLong + "1x\n2\n");
    EXPECT_EQ(response, 1001);
    std::size_t complaints = 0;
    for (std::size_t at = screen.find("Please type a number from 1 to 2."); at != std::string::npos;
         at = screen.find("Please type a number from 1 to 2.", at + 1)) {
        ++complaints;
    }
    EXPECT_EQ(complaints, 6u);
}

TEST_F(TerminalAlertPresenterTest, ReturnDoesNothingWithoutAReturnButton) {
    Alert alert;
    alert.addButtonWithTitle("OK").setKeyEquivalent("");
    alert.addButtonWithTitle("Later");
    const auto [response, screen] = answer(alert, "\n\n2\n");
    EXPECT_EQ(response, 1001);
    EXPECT_THAT(screen, HasSubstr("Type 1-2 and press Return: "));
    EXPECT_THAT(screen, ::testing::Not(HasSubstr("[Return]")));
}

TEST_F(TerminalAlertPresenterTest, TheEndOfInputPressesNothing) {
    EXPECT_EQ(answer(confirmation(), "\x04").first, appkit::kModalResponseAbort);
    EXPECT_EQ(answer(confirmation(), "7\n\x04").first, appkit::kModalResponseAbort);

    // A terminal that goes away (the user closed its window) is the end of input too.
    int controller = -1;
    int terminal = -1;
    ASSERT_EQ(openpty(&controller, &terminal, nullptr, nullptr, nullptr), 0);
    close(controller);
    EXPECT_EQ(TerminalAlertPresenter(terminal, terminal).runModal(confirmation()),
              appkit::kModalResponseAbort);
    close(terminal);
}

TEST_F(TerminalAlertPresenterTest, ALoneEscapePressesTheCancelButton) {
    Alert alert;
    alert.addButtonWithTitle("Retry");
    alert.addButtonWithTitle("Cancel");
    EXPECT_EQ(answer(alert, "\x1b\n").first, 1001);
}

TEST_F(TerminalAlertPresenterTest, AnAlertWithoutButtonsOffersOk) {
    const auto [response, screen] = answer(Alert(), "\n");
    EXPECT_EQ(response, 1000);
    EXPECT_THAT(screen, HasSubstr("1) OK  [Return]"));
}

TEST_F(TerminalAlertPresenterTest, ThePromptSpeaksTheUsersLanguage) {
    env_.language("ja_JP.UTF-8");
    const auto [response, screen] = answer(confirmation(), "\n");
    EXPECT_EQ(response, 1001);
    EXPECT_THAT(screen, HasSubstr("\u756A\u53F7"));  // 番号
}
