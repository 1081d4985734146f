// The uninstaller's three dialogs as its string tables make them, in each language: their exact
// texts, buttons, keys and log lines are one transcript under tests/data/.

#include "Alert/PellinUninstallerAlert.h"

#include <PellinFoundation/Bundle.h>

#include <gtest/gtest.h>

#include "CapturedLog.h"
#include "RecordingPresenter.h"
#include "ScopedEnvironment.h"
#include "TemporaryHome.h"
#include "TestCases.h"

namespace {

using namespace pellin::test;

TEST(UninstallerAlert, EachDialogInEachLanguageIsExactlyAsTheTranscriptSays) {
    ScopedEnvironment environment;
    const TemporaryHome home;
    foundation::Bundle::setMainBundle(foundation::Bundle::bundleWithPath(
        buildDirectory() / "share/pellin/PellinUninstaller/Resources"));
    std::string transcript;
    for (const char* language : {"en_US.UTF-8", "ja_JP.UTF-8", "xx_YY.UTF-8", "C", ""}) {
        environment.language(language);
        for (const std::string name :
             {"confirmation", "error -1", "error 0", "error -32768", "error 32767", "completion"}) {
            const CapturedLog log;
            const auto alert =
                name == "confirmation" ? PellinUninstallerAlert::createUninstallAlert()
                : name == "completion" ? PellinUninstallerAlert::createUninstallCompAlert()
                                       : PellinUninstallerAlert::createUninstallErrorAlert(
                                             static_cast<std::int16_t>(std::stoi(name.substr(6))));
            transcript += "=== " + name + " in '" + language + "'\n" + describe(*alert) + "\n";
            if (language == std::string("C")) {
                for (const auto& message : log.messages()) {
                    transcript += "log: " + message.function + " | " + message.message + "\n";
                }
            }
        }
    }
    foundation::Bundle::setMainBundle(nullptr);
    expectGolden("uninstaller/dialogs.txt", transcript);
}

}  // namespace
