#include <PellinCommonFramework/PellinAlert.h>
#include <PellinFoundation/StringsFile.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AlertWindow.h"
#include "CapturedLog.h"
#include "RecordingPresenter.h"
#include "ScopedEnvironment.h"
#include "TemporaryHome.h"

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

namespace {

const std::string kOp1 = "createAlertWithIcon:style:messageText:informativeText:buttonTitle:";
const std::string kOp3 =
    "createAlertWithBundle:defaultButtonNumber:icon:messageTextKey:informativeTextKey:style:"
    "error:buttonTitleKey:";
const std::string kOp4 = "showNetworkConnectionErrorAlertWithRetryButton";

std::filesystem::path frameworkResources() {
    return pellin::test::buildDirectory() / "share/pellin/PellinCommonFramework/Resources";
}

std::vector<std::string> keysOf(const std::string& language) {
    std::vector<std::string> keys;
    std::string whyNot;
    const auto table = foundation::StringsFile::read(
        frameworkResources() / (language + ".lproj") / "Localizable.strings", &whyNot);
    EXPECT_TRUE(table) << whyNot;
    for (const auto& [key, value] : table.value_or(foundation::StringsTable{})) {
        EXPECT_FALSE(value.empty()) << key;
        keys.push_back(key);
    }
    return keys;
}

class NetworkErrorAlertTest : public ::testing::Test {
  protected:
    void SetUp() override { env_.language("en_US.UTF-8"); }
    pellin::test::ScopedEnvironment env_;
    pellin::test::PresenterReset reset_;
};

}  // namespace

TEST_F(NetworkErrorAlertTest, TheAlertOffersRetryWithReturnAndCancel) {
    const auto presenter = pellin::test::RecordingPresenter::install(1000);
    EXPECT_EQ(PellinAlert::showNetworkConnectionErrorAlertWithRetryButton(), 1000);
    ASSERT_EQ(presenter->shown.size(), 1u);
    const appkit::Alert& alert = presenter->shown.front();
    EXPECT_EQ(alert.messageText(), "Pellin can't connect to the internet.");
    EXPECT_EQ(alert.informativeText(),
              "Check that this computer is connected to a network, then click Retry.");
    EXPECT_THAT(pellin::test::titles(alert), ElementsAre("Retry", "Cancel"));
    EXPECT_THAT(pellin::test::keyEquivalents(alert), ElementsAre("\r", ""));
    EXPECT_EQ(alert.cancelButtonIndex(), 1u);
    EXPECT_EQ(alert.alertStyle(), appkit::AlertStyle::Warning);
    EXPECT_EQ(alert.icon(), nullptr);
}

TEST_F(NetworkErrorAlertTest, TheAnswerIsReturnedAsItComes) {
    pellin::test::RecordingPresenter::install(1001);
    EXPECT_EQ(PellinAlert::showNetworkConnectionErrorAlertWithRetryButton(), 1001);
    pellin::test::RecordingPresenter::install(appkit::kModalResponseAbort);
    EXPECT_EQ(PellinAlert::showNetworkConnectionErrorAlertWithRetryButton(),
              appkit::kModalResponseAbort);
}

TEST_F(NetworkErrorAlertTest, TheTextsAreTheFrameworksNotTheProgramsOwn) {
    pellin::test::TemporaryHome home;
    home.writeFile("Resources/en.lproj/Localizable.strings",
                   "\"OfflineErrorAlertMessageText\" = \"The program's own text\";");
    foundation::Bundle::setMainBundle(
        foundation::Bundle::bundleWithPath(home.path() / "Resources"));
    const auto presenter = pellin::test::RecordingPresenter::install();
    PellinAlert::showNetworkConnectionErrorAlertWithRetryButton();
    foundation::Bundle::setMainBundle(nullptr);
    ASSERT_EQ(presenter->shown.size(), 1u);
    EXPECT_EQ(presenter->shown.front().messageText(), "Pellin can't connect to the internet.");
}

TEST_F(NetworkErrorAlertTest, JapaneseUsersGetJapaneseTexts) {
    env_.language("ja_JP.UTF-8");
    const auto presenter = pellin::test::RecordingPresenter::install();
    PellinAlert::showNetworkConnectionErrorAlertWithRetryButton();
    ASSERT_EQ(presenter->shown.size(), 1u);
    const appkit::Alert& alert = presenter->shown.front();
    EXPECT_EQ(alert.messageText(),
              "Pellin \u304C\u30A4\u30F3\u30BF\u30FC\u30CD\u30C3\u30C8\u306B\u63A5\u7D9A"
              "\u3067\u304D\u307E\u305B\u3093\u3002");
    // 再試行, キャンセル
    EXPECT_THAT(pellin::test::titles(alert),
                ElementsAre("\u518D\u8A66\u884C", "\u30AD\u30E3\u30F3\u30BB\u30EB"));
    // Escape still finds the Cancel button under its Japanese title.
    EXPECT_EQ(alert.cancelButtonIndex(), 1u);
}

TEST_F(NetworkErrorAlertTest, TheExitLineIsWrittenBeforeTheAlertIsShown) {
    pellin::test::CapturedLog log;
    const auto presenter = pellin::test::RecordingPresenter::install();
    std::vector<std::string> linesWhenShown;
    presenter->onShow = [&] { linesWhenShown = log.functionsAndTexts(); };
    PellinAlert::showNetworkConnectionErrorAlertWithRetryButton();
    EXPECT_THAT(linesWhenShown, ElementsAre("+[PellinAlert " + kOp4 + "] | Start " + kOp4,
                                            "+[PellinAlert " + kOp3 + "] | Start " + kOp3,
                                            "+[PellinAlert " + kOp1 + "] | Start " + kOp1,
                                            "+[PellinAlert " + kOp1 + "] | End " + kOp1,
                                            "+[PellinAlert " + kOp3 + "] | End " + kOp3,
                                            "+[PellinAlert " + kOp4 + "] | End " + kOp4));
    EXPECT_EQ(log.texts().size(), 6u);
}

TEST_F(NetworkErrorAlertTest, BothLanguagesHoldEveryKeyOfTheAlert) {
    for (const std::string language : {"en", "ja"}) {
        EXPECT_THAT(keysOf(language), UnorderedElementsAre("OfflineErrorAlertMessageText",
                                                           "OfflineErrorAlertInformativeText",
                                                           "RetryButtonTitle", "CancelButtonTitle"))
            << language;
    }
}

TEST_F(NetworkErrorAlertTest, InARealWindowReturnRetriesAndEscapeCancels) {
    for (const auto& [key, expected] :
         {std::pair{Qt::Key_Return, 1000L}, {Qt::Key_Escape, 1001L}}) {
        EXPECT_EQ(pellin::test::runInWindow(
                      [] { return PellinAlert::showNetworkConnectionErrorAlertWithRetryButton(); },
                      [key = key](QDialog& d) { pellin::test::press(d, key); }),
                  expected);
    }
}
