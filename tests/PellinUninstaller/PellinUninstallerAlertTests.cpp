// The uninstaller's three dialogs as its string tables make them, in each language: their exact
// texts, buttons, keys and log lines are one transcript under tests/data/.

#include "Alert/PellinUninstallerAlert.h"

#include <PellinFoundation/Bundle.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "CapturedLog.h"
#include "Golden.h"
#include "ScopedEnvironment.h"
#include "TemporaryHome.h"

namespace {

using namespace pellin::test;

std::string describe(const appkit::Alert& alert) {
    std::string text = "message: " + alert.messageText() +
                       "\ninformative: " + alert.informativeText() +
                       "\nstyle: " + std::to_string(static_cast<int>(alert.alertStyle())) +
                       (alert.icon() != nullptr ? " with an icon" : "") + "\n";
    for (const appkit::Button& button : alert.buttons()) {
        text += "button: " + button.title() + (button.keyEquivalent() == "\r" ? " [Return]" : "") +
                "\n";
    }
    return text;
}

class UninstallerAlertTest : public ::testing::Test {
  protected:
    void SetUp() override {
        foundation::Bundle::setMainBundle(foundation::Bundle::bundleWithPath(
            buildDirectory() / "share/pellin/PellinUninstaller/Resources"));
    }
    void TearDown() override { foundation::Bundle::setMainBundle(nullptr); }
    ScopedEnvironment env_;
    TemporaryHome home_;
};

TEST_F(UninstallerAlertTest, EachDialogInEachLanguageIsExactlyAsTheTranscriptSays) {
    const std::vector<std::pair<std::string, std::function<std::unique_ptr<appkit::Alert>()>>>
        dialogs = {
            {"confirmation", [] { return PellinUninstallerAlert::createUninstallAlert(); }},
            {"error -1", [] { return PellinUninstallerAlert::createUninstallErrorAlert(-1); }},
            {"error 0", [] { return PellinUninstallerAlert::createUninstallErrorAlert(0); }},
            {"error -32768",
             [] { return PellinUninstallerAlert::createUninstallErrorAlert(-32768); }},
            {"error 32767",
             [] { return PellinUninstallerAlert::createUninstallErrorAlert(32767); }},
            {"completion", [] { return PellinUninstallerAlert::createUninstallCompAlert(); }},
        };
    std::string transcript;
    for (const char* language : {"en_US.UTF-8", "ja_JP.UTF-8", "xx_YY.UTF-8", "C", ""}) {
        env_.language(language);
        for (const auto& [name, create] : dialogs) {
            const CapturedLog log;
            transcript += "=== " + name + " in '" + language + "'\n" + describe(*create());
            if (language == std::string("C")) {
                for (const std::string& line : log.functionsAndTexts()) {
                    transcript += "log: " + line + "\n";
                }
            }
        }
    }
    expectGolden("uninstaller/dialogs.txt", transcript);
}

}  // namespace
