#include "Alert/PellinUninstallerAlert.h"

#include <PellinFoundation/Bundle.h>
#include <PellinFoundation/StringsFile.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AlertWindow.h"
#include "CapturedLog.h"
#include "ScopedEnvironment.h"
#include "TemporaryHome.h"

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;
using namespace pellin::test;

namespace {

const std::string kConfirmation = "Do you want to uninstall Pellin?";
const std::string kErrorExplanation = "Some of its files could not be removed. Please try again. ";

std::filesystem::path uninstallerResources() {
    return pellin::test::buildDirectory() / "share/pellin/PellinUninstaller/Resources";
}

// The tests run from a test program: the uninstaller's bundle is made the main bundle, as it
// is the running uninstaller's.
class UninstallerAlertTest : public ::testing::Test {
  protected:
    void SetUp() override {
        env_.language("en_US.UTF-8");
        foundation::Bundle::setMainBundle(
            foundation::Bundle::bundleWithPath(uninstallerResources()));
    }
    void TearDown() override { foundation::Bundle::setMainBundle(nullptr); }
    pellin::test::ScopedEnvironment env_;
    pellin::test::TemporaryHome home_;
};

}  // namespace

TEST_F(UninstallerAlertTest, TheConfirmationHasOkThenCancelAndReturnBelongsToCancel) {
    const auto alert = PellinUninstallerAlert::createUninstallAlert();
    EXPECT_EQ(alert->messageText(), kConfirmation);
    EXPECT_THAT(alert->informativeText(), ::testing::StartsWith("Pellin, the KickPellin launcher"));
    EXPECT_THAT(titles(*alert), ElementsAre("OK", "Cancel"));
    EXPECT_THAT(keyEquivalents(*alert), ElementsAre("", "\r"));
    EXPECT_EQ(alert->alertStyle(), appkit::AlertStyle::Warning);
    EXPECT_EQ(alert->icon(), nullptr);
}

TEST_F(UninstallerAlertTest, InTheConfirmationWindowReturnDeclinesAndOnlyAClickConfirms) {
    EXPECT_EQ(runInWindow(*PellinUninstallerAlert::createUninstallAlert(),
                          [](QDialog& d) { press(d, Qt::Key_Return); }),
              1001);
    EXPECT_EQ(runInWindow(*PellinUninstallerAlert::createUninstallAlert(),
                          [](QDialog& d) { click(d, 0); }),
              1000);
    EXPECT_EQ(runInWindow(*PellinUninstallerAlert::createUninstallAlert(),
                          [](QDialog& d) { press(d, Qt::Key_Escape); }),
              1001);
}

TEST_F(UninstallerAlertTest, TheErrorNumberFollowsTheExplanationInParentheses) {
    const struct {
        std::int16_t number;
        std::string suffix;
    } cases[] = {{-1, "(-1)"}, {12, "(12)"}, {-32768, "(-32768)"}, {32767, "(32767)"}, {0, ""}};
    for (const auto& c : cases) {
        const auto alert = PellinUninstallerAlert::createUninstallErrorAlert(c.number);
        EXPECT_EQ(alert->messageText(), "Pellin could not be uninstalled.");
        EXPECT_EQ(alert->informativeText(), kErrorExplanation + c.suffix) << c.number;
        EXPECT_THAT(titles(*alert), ElementsAre("OK"));
        EXPECT_THAT(keyEquivalents(*alert), ElementsAre("\r"));
    }
}

TEST_F(UninstallerAlertTest, TheCompletionHasNoInformativeTextAndOneOkButton) {
    const auto alert = PellinUninstallerAlert::createUninstallCompAlert();
    EXPECT_EQ(alert->messageText(), "Pellin has been uninstalled.");
    EXPECT_EQ(alert->informativeText(), "");
    EXPECT_THAT(titles(*alert), ElementsAre("OK"));
    EXPECT_THAT(keyEquivalents(*alert), ElementsAre("\r"));
    EXPECT_EQ(runInWindow(*alert, [](QDialog& d) { press(d, Qt::Key_Return); }), 1000);
}

TEST_F(UninstallerAlertTest, EachDialogWritesItsEntryAndExitLinesAroundTheBuilder) {
    const std::string op1 = "createAlertWithIcon:style:messageText:informativeText:buttonTitle:";
    const std::string op2 =
        "createAlertWithDefaultButtonNumber:icon:style:messageText:informativeText:buttonTitle:";
    const std::string op3 =
        "createAlertWithBundle:defaultButtonNumber:icon:messageTextKey:informativeTextKey:style:"
        "error:buttonTitleKey:";
    {
        pellin::test::CapturedLog log;
        PellinUninstallerAlert::createUninstallAlert();
        const auto lines = log.functionsAndTexts();
        ASSERT_EQ(lines.size(), 8u);
        EXPECT_EQ(lines.front(),
                  "+[PellinUninstallerAlert createUninstallAlert] | Start createUninstallAlert");
        EXPECT_THAT(log.texts(),
                    ElementsAre("Start createUninstallAlert", "Start " + op3, "Start " + op2,
                                "Start " + op1, "End " + op1, "End " + op2, "End " + op3,
                                "End createUninstallAlert"));
        EXPECT_EQ(lines.back(),
                  "+[PellinUninstallerAlert createUninstallAlert] | End createUninstallAlert");
    }
    {
        pellin::test::CapturedLog log;
        PellinUninstallerAlert::createUninstallErrorAlert(-1);
        EXPECT_THAT(log.functionsAndTexts(),
                    ElementsAre("+[PellinUninstallerAlert createUninstallErrorAlert:] | Start "
                                "createUninstallErrorAlert:",
                                ::testing::_, ::testing::_, ::testing::_, ::testing::_,
                                "+[PellinUninstallerAlert createUninstallErrorAlert:] | End "
                                "createUninstallErrorAlert:"));
    }
    {
        pellin::test::CapturedLog log;
        PellinUninstallerAlert::createUninstallCompAlert();
        EXPECT_THAT(log.texts(),
                    ElementsAre("Start createUninstallCompAlert", "Start " + op3, "Start " + op1,
                                "End " + op1, "End " + op3, "End createUninstallCompAlert"));
    }
}

TEST_F(UninstallerAlertTest, JapaneseUsersGetJapaneseDialogs) {
    env_.language("ja_JP.UTF-8");
    const auto alert = PellinUninstallerAlert::createUninstallAlert();
    // Pellin をアンインストールしますか?
    EXPECT_EQ(alert->messageText(),
              "Pellin \u3092\u30A2\u30F3\u30A4\u30F3\u30B9\u30C8\u30FC\u30EB\u3057\u307E\u3059"
              "\u304B?");
    EXPECT_THAT(titles(*alert), ElementsAre("OK", "\u30AD\u30E3\u30F3\u30BB\u30EB"));
    EXPECT_THAT(PellinUninstallerAlert::createUninstallErrorAlert(5)->informativeText(),
                ::testing::EndsWith("\u304F\u3060\u3055\u3044\u3002(5)"));  // ください。(5)
    // Escape declines in Japanese too: the Cancel button is found by its Japanese title.
    EXPECT_EQ(runInWindow(*alert, [](QDialog& d) { press(d, Qt::Key_Escape); }), 1001);
}

TEST_F(UninstallerAlertTest, AnUnknownLanguageAndTheCLocaleGetEnglish) {
    for (const char* lang : {"xx_YY.UTF-8", "C", "POSIX", ""}) {
        env_.language(lang);
        EXPECT_EQ(PellinUninstallerAlert::createUninstallAlert()->messageText(), kConfirmation)
            << lang;
    }
}

TEST_F(UninstallerAlertTest, AKeyMissingInTheChosenLanguageFallsBackToEnglishThenTheKey) {
    home_.writeFile("Resources/en.lproj/Localizable.strings",
                    "\"UninstallAlertMessageText\" = \"English message\";\n"
                    "\"OKButtonTitle\" = \"OK\";\n");
    home_.writeFile("Resources/ja.lproj/Localizable.strings", "\"OKButtonTitle\" = \"JA-OK\";\n");
    foundation::Bundle::setMainBundle(
        foundation::Bundle::bundleWithPath(home_.path() / "Resources"));
    env_.language("ja_JP.UTF-8");
    const auto alert = PellinUninstallerAlert::createUninstallAlert();
    EXPECT_EQ(alert->messageText(), "English message");
    EXPECT_EQ(alert->informativeText(), "UnistallAlertInformativeText");
    EXPECT_THAT(titles(*alert), ElementsAre("JA-OK", "CancelButtonTitle"));
}

TEST_F(UninstallerAlertTest, BothLanguagesHoldEveryKeyOfTheDialogs) {
    for (const std::string language : {"en", "ja"}) {
        std::string whyNot;
        const auto table = foundation::StringsFile::read(
            uninstallerResources() / (language + ".lproj") / "Localizable.strings", &whyNot);
        ASSERT_TRUE(table) << whyNot;
        std::vector<std::string> keys;
        for (const auto& [k, text] : *table) {
            EXPECT_FALSE(text.empty()) << language << " " << k;
            keys.push_back(k);
        }
        EXPECT_THAT(keys,
                    UnorderedElementsAre(
                        "UninstallAlertMessageText", "UnistallAlertInformativeText",
                        "UninstallErrorAlertMessageText", "UninstallErrorAlertInformativeText",
                        "UninstallCompAlertMessageText", "OKButtonTitle", "CancelButtonTitle"))
            << language;
    }
}
