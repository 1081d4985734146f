#include <PellinAppKit/Alert.h>

#include <gtest/gtest.h>

#include "ScopedEnvironment.h"
#include "TemporaryHome.h"

using appkit::Alert;

TEST(AlertModel, TheFirstButtonAddedAnswersReturnAndNoOther) {
    Alert alert;
    alert.addButtonWithTitle("OK");
    alert.addButtonWithTitle("Cancel");
    alert.addButtonWithTitle("Help");
    ASSERT_EQ(alert.buttons().size(), 3u);
    EXPECT_EQ(alert.buttons()[0].keyEquivalent(), "\r");
    EXPECT_EQ(alert.buttons()[1].keyEquivalent(), "");
    EXPECT_EQ(alert.buttons()[2].keyEquivalent(), "");
    EXPECT_EQ(alert.returnButtonIndex(), 0u);
}

TEST(AlertModel, ReturnMovesWithTheKeyEquivalent) {
    Alert alert;
    alert.addButtonWithTitle("OK");
    alert.addButtonWithTitle("Cancel");
    alert.buttons()[0].setKeyEquivalent("");
    EXPECT_EQ(alert.returnButtonIndex(), std::nullopt);
    alert.buttons()[1].setKeyEquivalent("\r");
    EXPECT_EQ(alert.returnButtonIndex(), 1u);
}

TEST(AlertModel, ButtonsKeepTheOrderOfAdding) {
    Alert alert;
    for (const char* title : {"Cancel", "OK", "Apply", "Help"}) {
        alert.addButtonWithTitle(title);
    }
    std::vector<std::string> titles;
    for (const auto& button : alert.buttons()) {
        titles.push_back(button.title());
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"Cancel", "OK", "Apply", "Help"}));
}

TEST(AlertModel, EscapeBelongsToTheButtonTitledCancelInTheCurrentLanguage) {
    pellin::test::ScopedEnvironment env;
    env.language("en_US.UTF-8");
    Alert alert;
    alert.addButtonWithTitle("Retry");
    EXPECT_EQ(alert.cancelButtonIndex(), std::nullopt);
    alert.addButtonWithTitle("\u30AD\u30E3\u30F3\u30BB\u30EB");  // キャンセル
    EXPECT_EQ(alert.cancelButtonIndex(), std::nullopt);
    alert.addButtonWithTitle("Cancel");
    EXPECT_EQ(alert.cancelButtonIndex(), 2u);

    env.language("ja_JP.UTF-8");
    EXPECT_EQ(alert.cancelButtonIndex(), 1u);
}

TEST(AlertModel, AnAlertWithoutButtonsShowsOneOkButtonThatAnswersReturn) {
    pellin::test::ScopedEnvironment env;
    env.language("en_US.UTF-8");
    Alert alert;
    const auto shown = alert.buttonsToShow();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title(), "OK");
    EXPECT_TRUE(shown[0].answersReturn());
}

TEST(AlertModel, TheDefaultsAreAWarningWithoutTextsOrIcon) {
    Alert alert;
    EXPECT_EQ(alert.alertStyle(), appkit::AlertStyle::Warning);
    EXPECT_EQ(alert.messageText(), "");
    EXPECT_EQ(alert.informativeText(), "");
    EXPECT_EQ(alert.icon(), nullptr);
}

TEST(AlertImage, AnImageIsMadeOnlyFromAReadableFile) {
    pellin::test::TemporaryHome home;
    const auto file = home.writeFile("icon.png", "not really a picture");
    const auto image = appkit::Image::imageWithContentsOfFile(file);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->path(), file);
    EXPECT_EQ(appkit::Image::imageWithContentsOfFile(home.path() / "missing.png"), nullptr);
    EXPECT_EQ(appkit::Image::imageWithContentsOfFile(home.path()), nullptr);
}
