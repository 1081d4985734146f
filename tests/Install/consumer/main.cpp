// A program of another project that uses every installed Pellin library, as the product's
// other programs do. It exits non-zero when one of them answers wrongly.
#include <PellinCommonFramework/PellinAlert.h>
#include <PellinCommonLib/PellinCommonConstants.h>
#include <PellinCommonLib/PellinCommonFileManager.h>
#include <PellinLog/PellinLogCall.h>
#include <PellinLog/PellinLogger.h>
#include <UninstallLib/UninstallResult.h>
#include <UserDefaultConfigurationLib/UserDefaultConfigurationLib.h>

#include <cstdio>

int main() {
    PELLIN_METHOD("+[Consumer main]");
    static_assert(pellinMethod.selector() == "main");
    DDLogInfo("Consumer %@ %d", "ready", 1);
    lumberjack::DDLog::flushLog();
    const auto alert =
        PellinAlert::createAlertWithBundle(nullptr, 2, nullptr, "Message", nullptr,
                                           appkit::AlertStyle{}, "12", {"OK", "Cancel", nullptr});
    UserDefaultConfigurationLib::setUserId("consumer");
    const bool ok =
        ddLogLevel == 7 && PellinLogger::formatLogLevelToInt(foundation::Value("DEBUG")) == 15 &&
        alert && alert->buttons().size() == 2 && alert->informativeText() == "(12)" &&
        UserDefaultConfigurationLib::getUserId() == "consumer" &&
        PellinBundleIdentifier == "com.brenvik.mac.Pellin" &&
        !PellinCommonFileManager::existsKickPellinApp() && UninstallResult().error_result() == 0;
    UserDefaultConfigurationLib::removePersistentDomain();
    std::puts(ok ? "consumer: every check passed" : "consumer: failed");
    return ok ? 0 : 1;
}
