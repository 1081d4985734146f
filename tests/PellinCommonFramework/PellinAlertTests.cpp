// The alert framework: every alert its builders make, as the user would see it, and every line
// they log, in the words of tests/data/alerts.txt; and in a program that holds a copy of it.
#include <PellinCommonFramework/PellinAlert.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CapturedLog.h"
#include "RecordingPresenter.h"
#include "ScopedEnvironment.h"
#include "Subprocess.h"
#include "TemporaryHome.h"
#include "TestCases.h"

using appkit::AlertStyle;
using Titles = std::vector<std::string>;

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
    const auto fromBundle = [&](std::int32_t number, foundation::NullableString informative,
                                foundation::NullableString error,
                                std::initializer_list<foundation::NullableString> keys) {
        made("bundle " + std::to_string(number),
             PellinAlert::createAlertWithBundle(bundle, number, nullptr, "Message", informative,
                                                AlertStyle::Warning, error, keys));
    };
    fromBundle(0, "Informative", "12", {"OK", "Cancel", nullptr});
    fromBundle(1, "Informative", "-1", {"OK", nullptr, "Cancel"});
    fromBundle(2, "Informative", "", {"OK", "Cancel"});
    fromBundle(3, nullptr, nullptr, {"OK", "Cancel"});
    fromBundle(-1, nullptr, "7", {nullptr, "OK"});
    fromBundle(0, "Missing", nullptr, {"OK", "MissingTitle"});
    fromBundle(2, "Informative", nullptr, {});
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
    pellin::test::expectGolden("alerts.txt", transcript);
}

// The probe, built without position-independent code, holds a copy of the exported version
// number. Run with a copy of the library under another prefix, it shows the texts of that prefix,
// which the library finds from where it was loaded: keys the table there lacks show as the keys.
TEST(PellinCommonFrameworkLibrary, AProgramHoldingACopyOfTheVersionGetsItsLibrarysPrefixsTexts) {
    using namespace pellin::test;
    ScopedEnvironment env;
    env.language("en_US.UTF-8");
    const TemporaryHome home;
    const auto program = (buildDirectory() / "bin/AppKitProbe").string();
    EXPECT_THAT(runProgram({"/usr/bin/readelf", "-rW", program}).output,
                ::testing::ContainsRegex("COPY[^\n]*PellinCommonFrameworkVersionNum"));
    const auto copy = home.writeFile("prefix/lib/libPellinCommonFramework.so.1");
    std::filesystem::copy_file(buildDirectory() / "lib/libPellinCommonFramework.so.1.0.0", copy,
                               std::filesystem::copy_options::overwrite_existing);
    home.writeFile(
        "prefix/share/pellin/PellinCommonFramework/Resources/en.lproj/Localizable.strings",
        "\"OfflineErrorAlertMessageText\" = \"Text of the installed copy\";\n");
    const ProgramOptions options(ProgramOptions::Errors::Inherited, {},
                                 {"LD_LIBRARY_PATH=" + copy.parent_path().string()});
    EXPECT_EQ(runProgram({program, "network-alert"}, options).output,
              "version=1.0\n0 \"Text of the installed copy\" \"OfflineErrorAlertInformativeText\" "
              "[RetryButtonTitle (Return)] [CancelButtonTitle]\n");
}
