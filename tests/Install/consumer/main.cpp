// A program of another project that uses every installed Pellin library, as the product's
// other programs do. It prints what fails and exits non-zero.
#include <PellinCommonFramework/PellinAlert.h>
#include <PellinCommonLib/PellinCommonConstants.h>
#include <PellinCommonLib/PellinCommonFileManager.h>
#include <PellinLog/PellinLogCall.h>
#include <PellinLog/PellinLogger.h>
#include <UninstallLib/UninstallResult.h>
#include <UserDefaultConfigurationLib/UserDefaultConfigurationLib.h>

#include <cstdio>
#include <string>

namespace {

int failures = 0;

void expect(bool condition, const char* what) {
    if (!condition) {
        std::printf("FAIL: %s\n", what);
        ++failures;
    }
}

}  // namespace

int main() {
    PELLIN_METHOD("+[Consumer main]");
    static_assert(pellinMethod.selector() == "main");
    DDLogInfo("Consumer %@ %d", "ready", 1);
    lumberjack::DDLog::flushLog();
    expect(ddLogLevel == 7, "the level mask starts at 7");
    expect(PellinLogger::formatLogLevelToInt(foundation::Value("DEBUG")) == 15,
           "PellinLogger maps DEBUG to 15");

    // The framework's alert reads the framework's own, installed string table.
    const auto alert =
        PellinAlert::createAlertWithBundle(nullptr, 2, nullptr, "Message", nullptr,
                                           appkit::AlertStyle{}, "12", {"OK", "Cancel", nullptr});
    expect(alert && alert->buttons().size() == 2, "an alert with two buttons");
    expect(alert && alert->informativeText() == "(12)", "the error suffix");

    UserDefaultConfigurationLib::setUserId("consumer");
    expect(UserDefaultConfigurationLib::getUserId() == "consumer", "the user id reads back");
    UserDefaultConfigurationLib::removePersistentDomain();
    expect(UserDefaultConfigurationLib::getUserId().empty(), "the domain is removed");

    expect(PellinBundleIdentifier == "com.brenvik.mac.Pellin", "the shared constants");
    expect(!PellinCommonFileManager::existsKickPellinApp(), "nothing is installed here");
    expect(UninstallResult().error_result() == 0, "a fresh uninstall result is 0");

    std::printf("%s\n", failures == 0 ? "consumer: every check passed" : "consumer: failed");
    return failures == 0 ? 0 : 1;
}
