// The alert framework: every alert its builders make, as the user would see it, and every line
// they log, in the words of tests/data/alerts.txt; and in a program that holds a copy of it.
#include <PellinCommonFramework/PellinAlert.h>

#include <gtest/gtest.h>

#include "CapturedLog.h"
#include "RecordingPresenter.h"
#include "ScopedEnvironment.h"
#include "Subprocess.h"
#include "TemporaryHome.h"

using appkit::AlertStyle;
using Titles = std::vector<std::string>;

namespace {

std::string shell(const std::string& command) {
    return pellin::test::runProgram({"/bin/sh", "-c", command}).output;
}

}  // namespace

TEST(PellinAlert, TheAlertsAndTheirLinesFollowTheTranscript) {
    pellin::test::ScopedEnvironment env;
    env.language("en_US.UTF-8");
    pellin::test::TemporaryHome home;
    home.writeFile("Resources/en.lproj/Localizable.strings",
                   "\"Message\" = \"The message\";\n\"Informative\" = \"The explanation.\";\n"
                   "\"OK\" = \"OK\";\n\"Cancel\" = \"Cancel\";\n"
                   "\"OfflineErrorAlertMessageText\" = \"The program's own text\";\n");
    const auto bundle = foundation::Bundle::bundleWithPath(home.path() / "Resources");
    const auto icon = appkit::Image::imageWithContentsOfFile(home.writeFile("icon.png", "x"));
    pellin::test::CapturedLog log;
    std::string transcript;
    const auto add = [&](const std::string& line) {
        for (const auto& message : log.messages()) {
            EXPECT_EQ(message.flag, lumberjack::DDLogFlagDebug) << message.message;
            transcript +=
                "  " + message.fileName + " " + message.function + " | " + message.message + "\n";
        }
        log.clear();
        transcript += line + "\n";
    };
    const auto made = [&](const std::string& name, const std::unique_ptr<appkit::Alert>& alert) {
        add(name + ": " + pellin::test::describe(*alert));
    };
    made("texts", PellinAlert::createAlertWithIcon(icon, AlertStyle::Informational, "Message",
                                                   "Informative", Titles{"1", "2", "3"}));
    made("none", PellinAlert::createAlertWithIcon(nullptr, AlertStyle::Critical, nullptr, nullptr,
                                                  std::nullopt));
    for (const std::int32_t number : {2, 3, 1, 0, -1, 4, INT32_MIN, INT32_MAX}) {
        made("default " + std::to_string(number),
             PellinAlert::createAlertWithDefaultButtonNumber(number, nullptr, AlertStyle::Warning,
                                                             "M", "I", Titles{"1", "2", "3"}));
    }
    const struct {
        std::int32_t number;
        foundation::NullableString informative, error;
        std::initializer_list<foundation::NullableString> keys;
    } cases[] = {
        {0, "Informative", "12", {"OK", "Cancel", nullptr}},
        {1, "Informative", "-1", {"OK", nullptr, "Cancel"}},
        {2, "Informative", "", {"OK", "Cancel"}},
        {3, nullptr, nullptr, {"OK", "Cancel"}},
        {-1, nullptr, "7", {nullptr, "OK"}},
        {0, "Missing", nullptr, {"OK", "MissingTitle"}},
        {2, "Informative", nullptr, {}},
    };
    for (const auto& c : cases) {
        made("bundle " + std::to_string(c.number),
             PellinAlert::createAlertWithBundle(bundle, c.number, nullptr, "Message", c.informative,
                                                AlertStyle::Warning, c.error, c.keys));
    }
    made("no bundle", PellinAlert::createAlertWithBundle(nullptr, 0, nullptr, "Message", nullptr,
                                                         AlertStyle::Warning, "5", {"OK"}));
    // The network alert, in a program whose own table has a text of the same key: the texts
    // are the framework's. The alert shows after its exit line.
    foundation::Bundle::setMainBundle(bundle);
    const auto presenter = pellin::test::RecordingPresenter::install(1001);
    presenter->onShow = [&] { add("shown: " + pellin::test::describe(presenter->shown.back())); };
    for (const char* language : {"en_US.UTF-8", "ja_JP.UTF-8"}) {
        env.language(language);
        add("answer " +
            std::to_string(PellinAlert::showNetworkConnectionErrorAlertWithRetryButton()));
    }
    foundation::Bundle::setMainBundle(nullptr);
    appkit::AlertPresenter::setReplacement(nullptr);
    EXPECT_EQ(transcript, pellin::test::readFile(ALERTS_TRANSCRIPT));
}

// The probe, built without position-independent code, holds a copy of the exported version
// number; its alert's texts must still be the framework's, found from the library itself.
TEST(PellinCommonFrameworkLibrary, AProgramHoldingACopyOfTheVersionGetsTheFrameworksTexts) {
    const auto program = (pellin::test::buildDirectory() / "bin/AppKitProbe").string();
    ASSERT_NE(shell("readelf -rW " + program + " | grep 'COPY.*PellinCommonFrameworkVersionNum'"),
              "");
    EXPECT_EQ(
        shell("LANG=en_US.UTF-8 LANGUAGE= LC_ALL= LC_MESSAGES= " + program + " network-alert"),
        "version=1.0\nmessage=Pellin can't connect to the internet.\n");
}
