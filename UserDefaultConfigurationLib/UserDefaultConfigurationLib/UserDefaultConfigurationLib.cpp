#include "UserDefaultConfigurationLib.h"

#include <PellinLog/PellinLogCall.h>

std::unique_ptr<foundation::UserDefaults> UserDefaultConfigurationLib::findPellinUserDefault() {
    return foundation::UserDefaults::initWithSuiteName(kDomainName);
}

bool UserDefaultConfigurationLib::synchronize() {
    PELLIN_METHOD("+[UserDefaultConfigurationLib synchronize]");
    DDLogDebug("Start %@", pellinMethod.selector());
    const auto defaults = findPellinUserDefault();
    const bool result = defaults != nullptr && defaults->synchronize();
    DDLogDebug("End %@", pellinMethod.selector());
    return result;
}

void UserDefaultConfigurationLib::removePersistentDomain() {
    PELLIN_METHOD("+[UserDefaultConfigurationLib removePersistentDomain]");
    DDLogDebug("Start %@", pellinMethod.selector());
    if (const auto defaults = findPellinUserDefault()) {
        defaults->removePersistentDomainForName(kDomainName);
    }
    DDLogDebug("End %@", pellinMethod.selector());
}

void UserDefaultConfigurationLib::removeKey(std::string_view key) {
    PELLIN_METHOD("+[UserDefaultConfigurationLib removeKey:]");
    DDLogDebug("Start %@", pellinMethod.selector());
    if (const auto defaults = findPellinUserDefault()) {
        defaults->removeObjectForKey(key);
    }
    DDLogDebug("End %@", pellinMethod.selector());
}

void UserDefaultConfigurationLib::removeUserInfo() {
    // Writes no line of its own: each removal logs its own Start and End pair.
    for (const std::string_view key : {"userId", "password", "certkey"}) {
        removeKey(key);
    }
}
