#include <PellinCommonFramework/PellinAlert.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AlertWindow.h"
#include "CapturedLog.h"
#include "ScopedEnvironment.h"
#include "TemporaryHome.h"

using appkit::AlertStyle;
using pellin::test::keyEquivalents;
using pellin::test::titles;
using ::testing::ElementsAre;

namespace {

const std::string kOp1 = "createAlertWithIcon:style:messageText:informativeText:buttonTitle:";
const std::string kOp2 =
    "createAlertWithDefaultButtonNumber:icon:style:messageText:informativeText:buttonTitle:";
const std::string kOp3 =
    "createAlertWithBundle:defaultButtonNumber:icon:messageTextKey:informativeTextKey:style:"
    "error:buttonTitleKey:";

// A bundle of the test's own with English texts for the keys the tests use.
class BuilderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        env_.language("en_US.UTF-8");
        home_.writeFile("Resources/en.lproj/Localizable.strings",
                        "\"Message\" = \"The message\";\n"
                        "\"Informative\" = \"The explanation.\";\n"
                        "\"OKButtonTitle\" = \"OK\";\n"
                        "\"CancelButtonTitle\" = \"Cancel\";\n");
        bundle_ = std::make_shared<foundation::Bundle>(home_.path() / "Resources");
    }

    std::unique_ptr<appkit::Alert> fromBundle(
        std::int32_t defaultButtonNumber, const foundation::NullableString& error,
        std::initializer_list<foundation::NullableString> keys,
        const foundation::NullableString& informativeKey = "Informative") {
        return PellinAlert::createAlertWithBundle(bundle_, defaultButtonNumber, nullptr, "Message",
                                                  informativeKey, AlertStyle::Warning, error, keys);
    }

    pellin::test::ScopedEnvironment env_;
    pellin::test::TemporaryHome home_;
    std::shared_ptr<foundation::Bundle> bundle_;
};

}  // namespace

TEST(PellinAlertFromTexts, ButtonsFollowTheTitlesInOrder) {
    const auto alert = PellinAlert::createAlertWithIcon(
        nullptr, AlertStyle::Informational, "Message", "Informative",
        std::vector<std::string>{"First", "Second", "Third"});
    EXPECT_THAT(titles(*alert), ElementsAre("First", "Second", "Third"));
    EXPECT_THAT(keyEquivalents(*alert), ElementsAre("\r", "", ""));
    EXPECT_EQ(alert->messageText(), "Message");
    EXPECT_EQ(alert->informativeText(), "Informative");
    EXPECT_EQ(alert->alertStyle(), AlertStyle::Informational);
}

TEST(PellinAlertFromTexts, NoTitlesMeanNoButtons) {
    EXPECT_TRUE(PellinAlert::createAlertWithIcon(nullptr, AlertStyle::Warning, "M", "I",
                                                 std::vector<std::string>{})
                    ->buttons()
                    .empty());
    EXPECT_TRUE(
        PellinAlert::createAlertWithIcon(nullptr, AlertStyle::Warning, "M", "I", std::nullopt)
            ->buttons()
            .empty());
}

TEST(PellinAlertFromTexts, TheStyleIsSetEvenWithoutIconOrTexts) {
    const auto alert =
        PellinAlert::createAlertWithIcon(nullptr, AlertStyle::Critical, nullptr, nullptr, {});
    EXPECT_EQ(alert->alertStyle(), AlertStyle::Critical);
    EXPECT_EQ(alert->messageText(), "");
    EXPECT_EQ(alert->informativeText(), "");
    EXPECT_EQ(alert->icon(), nullptr);
}

TEST(PellinAlertFromTexts, AGivenIconIsKept) {
    pellin::test::TemporaryHome home;
    const auto icon = appkit::Image::imageWithContentsOfFile(home.writeFile("icon.png", "x"));
    const auto alert =
        PellinAlert::createAlertWithIcon(icon, AlertStyle::Warning, "M", nullptr, std::nullopt);
    EXPECT_EQ(alert->icon(), icon);
}

TEST(PellinAlertDefaultButton, NumberTwoMovesReturnFromOkToCancel) {
    const auto alert = PellinAlert::createAlertWithDefaultButtonNumber(
        2, nullptr, AlertStyle::Warning, "M", "I", std::vector<std::string>{"OK", "Cancel"});
    EXPECT_THAT(keyEquivalents(*alert), ElementsAre("", "\r"));
    EXPECT_EQ(alert->returnButtonIndex(), 1u);
}

TEST(PellinAlertDefaultButton, ANumberOutsideTheButtonsChangesNoKey) {
    for (const std::int32_t number : {3, 1, 0, -1, INT32_MIN, INT32_MAX}) {
        const auto alert = PellinAlert::createAlertWithDefaultButtonNumber(
            number, nullptr, AlertStyle::Warning, "M", "I",
            std::vector<std::string>{"OK", "Cancel"});
        EXPECT_THAT(keyEquivalents(*alert), ElementsAre("\r", "")) << number;
    }
}

TEST_F(BuilderTest, TextsAndTitlesAreTheBundlesLocalisedStrings) {
    const auto alert = fromBundle(0, nullptr, {"OKButtonTitle", "CancelButtonTitle", nullptr});
    EXPECT_EQ(alert->messageText(), "The message");
    EXPECT_EQ(alert->informativeText(), "The explanation.");
    EXPECT_THAT(titles(*alert), ElementsAre("OK", "Cancel"));
    EXPECT_THAT(keyEquivalents(*alert), ElementsAre("\r", ""));
}

TEST_F(BuilderTest, AnErrorTextFollowsTheInformativeTextDirectlyInParentheses) {
    EXPECT_EQ(fromBundle(0, "12", {"OKButtonTitle"})->informativeText(), "The explanation.(12)");
    EXPECT_EQ(fromBundle(0, std::string("-1"), {"OKButtonTitle"})->informativeText(),
              "The explanation.(-1)");
    EXPECT_EQ(fromBundle(0, "", {"OKButtonTitle"})->informativeText(), "The explanation.");
    EXPECT_EQ(fromBundle(0, nullptr, {"OKButtonTitle"})->informativeText(), "The explanation.");
}

TEST_F(BuilderTest, NoInformativeKeyGivesAnEmptyInformativeText) {
    EXPECT_EQ(fromBundle(0, nullptr, {"OKButtonTitle"}, nullptr)->informativeText(), "");
    EXPECT_EQ(fromBundle(0, "7", {"OKButtonTitle"}, nullptr)->informativeText(), "(7)");
}

TEST_F(BuilderTest, AKeyTheTableLacksShowsAsTheKeyItself) {
    const auto alert = fromBundle(0, nullptr, {"OKButtonTitle", "MissingButtonTitle"}, "Missing");
    EXPECT_THAT(titles(*alert), ElementsAre("OK", "MissingButtonTitle"));
    EXPECT_EQ(alert->informativeText(), "Missing");
}

TEST_F(BuilderTest, TheButtonKeysEndAtTheFirstNil) {
    EXPECT_THAT(titles(*fromBundle(0, nullptr, {"OKButtonTitle", nullptr, "CancelButtonTitle"})),
                ElementsAre("OK"));
    EXPECT_THAT(titles(*fromBundle(0, nullptr, {"OKButtonTitle"})), ElementsAre("OK"));
    EXPECT_TRUE(fromBundle(0, nullptr, {nullptr, "OKButtonTitle"})->buttons().empty());
    EXPECT_TRUE(fromBundle(0, nullptr, {})->buttons().empty());
}

TEST_F(BuilderTest, TheDefaultButtonNumberGivesReturnToThatButton) {
    EXPECT_THAT(keyEquivalents(*fromBundle(2, nullptr, {"OKButtonTitle", "CancelButtonTitle"})),
                ElementsAre("", "\r"));
    for (const std::int32_t number : {-1, 0, 1, 3}) {
        EXPECT_THAT(
            keyEquivalents(*fromBundle(number, nullptr, {"OKButtonTitle", "CancelButtonTitle"})),
            ElementsAre("\r", ""))
            << number;
    }
}

TEST_F(BuilderTest, ANilBundleOrMessageKeyNeverCrashes) {
    const auto alert = PellinAlert::createAlertWithBundle(
        nullptr, 0, nullptr, "Message", nullptr, AlertStyle::Warning, nullptr, {"OKButtonTitle"});
    EXPECT_EQ(alert->messageText(), "Message");
    EXPECT_THAT(titles(*alert), ElementsAre("OKButtonTitle"));
    EXPECT_EQ(PellinAlert::createAlertWithBundle(bundle_, 0, nullptr, nullptr, nullptr,
                                                 AlertStyle::Warning, nullptr, {})
                  ->messageText(),
              "");
}

TEST_F(BuilderTest, DefaultButtonTwoGoesThroughTheDefaultButtonBuilder) {
    pellin::test::CapturedLog log;
    fromBundle(2, nullptr, {"OKButtonTitle", "CancelButtonTitle", nullptr});
    EXPECT_THAT(log.texts(), ElementsAre("Start " + kOp3, "Start " + kOp2, "Start " + kOp1,
                                         "End " + kOp1, "End " + kOp2, "End " + kOp3));
    const auto messages = log.messages();
    EXPECT_EQ(messages.front().function, "+[PellinAlert " + kOp3 + "]");
    EXPECT_EQ(messages[1].function, "+[PellinAlert " + kOp2 + "]");
    EXPECT_EQ(messages[2].function, "+[PellinAlert " + kOp1 + "]");
    for (const auto& message : messages) {
        EXPECT_EQ(message.flag, lumberjack::DDLogFlagDebug);
        EXPECT_EQ(message.fileName, "PellinAlert.cpp");
    }
}

TEST_F(BuilderTest, DefaultButtonZeroOrOneGoesStraightToTheTextBuilder) {
    for (const std::int32_t number : {0, 1}) {
        pellin::test::CapturedLog log;
        fromBundle(number, nullptr, {"OKButtonTitle", "CancelButtonTitle", nullptr});
        EXPECT_THAT(log.texts(),
                    ElementsAre("Start " + kOp3, "Start " + kOp1, "End " + kOp1, "End " + kOp3))
            << number;
    }
}

TEST_F(BuilderTest, AtTheDefaultLevelTheBuilderWritesNoLine) {
    pellin::test::CapturedLog log(7);
    fromBundle(2, nullptr, {"OKButtonTitle", "CancelButtonTitle", nullptr});
    EXPECT_TRUE(log.texts().empty());
}

TEST_F(BuilderTest, TheThirdOfThreeButtonsAnswers1002InARealWindow) {
    const auto alert = PellinAlert::createAlertWithIcon(
        nullptr, AlertStyle::Warning, "M", "I", std::vector<std::string>{"One", "Two", "Three"});
    EXPECT_EQ(pellin::test::runInWindow(*alert, [](QDialog& d) { pellin::test::click(d, 2); }),
              1002);
}
