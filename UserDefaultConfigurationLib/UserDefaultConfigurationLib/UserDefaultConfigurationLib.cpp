#include "UserDefaultConfigurationLib.h"

#include <cerrno>
#include <cstdint>
#include <type_traits>
#include <variant>

#include <PellinFoundation/Format.h>
#include <PellinLog/PellinLogCall.h>

#include "util/CryptUtil.h"

// Every operation logs from this file, under its own full name: the public accessors declare
// their name and hand it to the helper of their shape, whose log calls then carry it.

namespace {

using foundation::Dictionary;
using foundation::FormatString;
using foundation::Value;
using pellinlog::MethodName;

constexpr std::string_view kUserIdKey = "userId";
constexpr std::string_view kPasswordKey = "password";
constexpr std::string_view kCertkeyKey = "certkey";
constexpr std::string_view kUserNotificationPrefix = "userNotification";
constexpr std::string_view kLastViewEntry = "lastView";
constexpr std::string_view kCountEntry = "count";

// --- The plain keys' table -------------------------------------------------------------------

// A registered default as the key table gives it; monostate registers nothing.
using RegisteredDefault = std::variant<std::monostate, bool, std::int32_t, std::string_view>;

struct BooleanKey {
    std::string_view key;
    RegisteredDefault registeredDefault;
    FormatString<> getterEntry;
    FormatString<bool> getterExit;
    FormatString<bool> setterEntry;
    FormatString<> setterExit;
};

struct ObjectKey {
    std::string_view key;
    RegisteredDefault registeredDefault;
    FormatString<> getterEntry;
    FormatString<Value> getterExit;
    FormatString<Value> setterEntry;
    FormatString<> setterExit;
};

// Keys that other programs write; their getters log "Start %@" and "End %@" with their name.
struct ReadOnlyKey {
    std::string_view key;
};

constexpr BooleanKey kProductInformation{
    .key = "productInformation",
    .registeredDefault = true,
    .getterEntry = "Start getProductInformation",
    .getterExit = "End getProductInformation: productInformation=%hhd",
    .setterEntry = "Start setProductInformation: value=%hhd",
    .setterExit = "End setProductInformation",
};
constexpr BooleanKey kEshopInformation{
    .key = "eshopInformation",
    // A text, as the other programs register it; it reads as false.
    .registeredDefault = std::string_view("NO"),
    .getterEntry = "Start getEshopInformation",
    .getterExit = "End getEshopInformation: eshopInformation=%hhd",
    .setterEntry = "Start setEshopInformation: value=%hhd",
    .setterExit = "End setEshopInformation",
};
constexpr BooleanKey kInstalledKickApp{
    .key = "installedKickApp",
    .registeredDefault = false,
    .getterEntry = "Start getInstalledKickApp",
    .getterExit = "End getInstalledKickApp: installedKickApp=%hhd",
    .setterEntry = "Start setInstalledKickApp: value=%hhd",
    .setterExit = "End setInstalledKickApp",
};
constexpr ObjectKey kNextAutoUpdate{
    .key = "nextAutoUpdate",
    .registeredDefault = std::string_view(""),
    .getterEntry = "Start getNextAutoUpdate",
    .getterExit = "End getNextAutoUpdate: nextAutoUpdate=%@",
    .setterEntry = "Start setNextAutoUpdate: value=%@",
    .setterExit = "End setNextAutoUpdate",
};
constexpr ObjectKey kSuccessAddTime{
    .key = "successAddTime",
    .registeredDefault = std::int32_t{0},
    .getterEntry = "Start getSuccessAddTime",
    .getterExit = "End getSuccessAddTime: successAddTime=%@",
    .setterEntry = "Start setSuccessAddTime: value=%@",
    .setterExit = "End setSuccessAddTime",
};
constexpr ObjectKey kFailureAddTime{
    .key = "failureAddTime",
    .registeredDefault = std::int32_t{0},
    .getterEntry = "Start getFailureAddTime",
    .getterExit = "End getFailureAddTime: failureAddTime=%@",
    .setterEntry = "Start setFailureAddTime: value=%@",
    .setterExit = "End setFailureAddTime",
};
constexpr ObjectKey kCheckUpdateTimeInerval{
    .key = "checkUpdateTimeInerval",
    .registeredDefault = std::int32_t{0},
    .getterEntry = "Start getCheckUpdateTimeInervalb",
    .getterExit = "End getCheckUpdateTimeInervalb: checkUpdateTimeInerval=%@",
    .setterEntry = "Start setCheckUpdateTimeInerval: value=%@",
    .setterExit = "End setCheckUpdateTimeInerval",
};
// Its lines put the operation's and the key's names in through "%@" ("Start %@",
// "End %@ : %@=%@", "Start %@ : value=%@", "End %@"); written out, they are these.
constexpr ObjectKey kMessageDelayRandomValue{
    .key = "messageDelayRandomValue",
    .registeredDefault = std::monostate{},
    .getterEntry = "Start getMessageDelayRandomValue",
    .getterExit = "End getMessageDelayRandomValue : messageDelayRandomValue=%@",
    .setterEntry = "Start setMessageDelayRandomValue: : value=%@",
    .setterExit = "End setMessageDelayRandomValue:",
};
constexpr ReadOnlyKey kCheckAutoUpdateTimeInterval{"checkAutoUpdateTimeInterval"};
constexpr ReadOnlyKey kCheckDisplayNotificationInterval{"checkDisplayNotificationInterval"};
constexpr ReadOnlyKey kCheckMessageDownloadInterval{"checkMessageDownloadInterval"};
constexpr ReadOnlyKey kCheckRegularTimeInterval{"checkRegularTimeInterval"};
constexpr ReadOnlyKey kCheckMessageXMLDownloadUrl{"checkMessageXMLDownloadUrl"};
constexpr ReadOnlyKey kCheckDomain{"checkDomain"};
constexpr ReadOnlyKey kCheckAutoUpdateServerUrl{"checkAutoUpdateServerUrl"};

Value registeredValue(const RegisteredDefault& registered) {
    return std::visit(
        [](const auto& value) -> Value {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return Value();
            } else {
                return Value(value);
            }
        },
        registered);
}

// Registered at every read, not once per process: the library keeps no state of its own to
// remember that it already did.
void registerDefault(foundation::UserDefaults& defaults, std::string_view key,
                     const RegisteredDefault& registered) {
    if (!std::holds_alternative<std::monostate>(registered)) {
        defaults.registerDefaults(Dictionary{{std::string(key), registeredValue(registered)}});
    }
}

// --- One helper per accessor shape -----------------------------------------------------------

bool readBoolean(const MethodName& pellinMethod, const BooleanKey& row) {
    DDLogDebug(row.getterEntry);
    bool value = false;
    if (const auto defaults = UserDefaultConfigurationLib::findPellinUserDefault()) {
        registerDefault(*defaults, row.key, row.registeredDefault);
        value = defaults->boolForKey(row.key);
    }
    DDLogDebug(row.getterExit, value);
    return value;
}

void writeBoolean(const MethodName& pellinMethod, const BooleanKey& row, bool value) {
    DDLogDebug(row.setterEntry, value);
    if (const auto defaults = UserDefaultConfigurationLib::findPellinUserDefault()) {
        defaults->setBool(value, row.key);
    }
    DDLogDebug(row.setterExit);
}

Value readObject(const MethodName& pellinMethod, const ObjectKey& row) {
    DDLogDebug(row.getterEntry);
    Value value;
    if (const auto defaults = UserDefaultConfigurationLib::findPellinUserDefault()) {
        registerDefault(*defaults, row.key, row.registeredDefault);
        value = defaults->objectForKey(row.key);
    }
    DDLogDebug(row.getterExit, value);
    return value;
}

void writeObject(const MethodName& pellinMethod, const ObjectKey& row, const Value& value) {
    DDLogDebug(row.setterEntry, value);
    if (const auto defaults = UserDefaultConfigurationLib::findPellinUserDefault()) {
        defaults->setObject(value, row.key);
    }
    DDLogDebug(row.setterExit);
}

Value readOnly(const MethodName& pellinMethod, const ReadOnlyKey& row) {
    DDLogDebug("Start %@", pellinMethod.selector());
    Value value;
    if (const auto defaults = UserDefaultConfigurationLib::findPellinUserDefault()) {
        value = defaults->objectForKey(row.key);
    }
    DDLogDebug("End %@", pellinMethod.selector());
    return value;
}

// --- Notification records and credentials ----------------------------------------------------

std::string userNotificationKey(std::string_view messageId) {
    return foundation::stringWithFormat("%@.%@", kUserNotificationPrefix, messageId);
}

// "%@" of an optional date: its description, or "(null)".
Value describedDate(const std::optional<foundation::Date>& date) {
    return date ? Value(*date) : Value();
}

// The key's text with the empty text registered as its default. A value that is neither text
// nor number reads as the empty text too; it is left in the store as it is.
std::string readStoredText(std::string_view key) {
    const auto defaults = UserDefaultConfigurationLib::findPellinUserDefault();
    if (!defaults) {
        return {};
    }
    defaults->registerDefaults(Dictionary{{std::string(key), Value("")}});
    return defaults->stringForKey(key).value_or(std::string());
}

// Every failure to decipher reads as the empty text; an empty stored text is not deciphered.
std::string readEnciphered(std::string_view key) {
    const std::string stored = readStoredText(key);
    if (stored.empty()) {
        return {};
    }
    return CryptUtil::AES128DecryptWithKey(stored).value_or(std::string());
}

// Stores the stored form of `plainText`; when the cipher fails the key is removed, so that a
// stale credential never outlives the one meant to replace it, and the next synchronize says so.
void writeEnciphered(std::string_view key, std::string_view plainText) {
    const std::optional<std::string> stored = CryptUtil::AES128EncryptWithKey(plainText);
    if (const auto defaults = UserDefaultConfigurationLib::findPellinUserDefault()) {
        defaults->setObject(stored ? Value(*stored) : Value(), key);
        if (!stored) {
            defaults->recordFailedChange(
                {EINVAL, "Cannot encipher the value of \"" + std::string(key) + "\""});
        }
    }
}

}  // namespace

// --- The domain as a whole -------------------------------------------------------------------

std::unique_ptr<foundation::UserDefaults> UserDefaultConfigurationLib::findPellinUserDefault() {
    PELLIN_METHOD("+[UserDefaultConfigurationLib findPellinUserDefault]");
    auto defaults = foundation::UserDefaults::initWithSuiteName(kDomainName);
    // Every operation comes through here, so a value lost to a damaged file is told once,
    // whichever operation first reads that version of the file.
    if (defaults) {
        for (const foundation::DroppedEntry& dropped : defaults->takeDroppedEntries()) {
            DDLogWarn("Dropped the unreadable value of %@ in %@: %@", dropped.key, defaults->path(),
                      dropped.reason);
        }
    }
    return defaults;
}

bool UserDefaultConfigurationLib::synchronize() {
    PELLIN_METHOD("+[UserDefaultConfigurationLib synchronize]");
    DDLogDebug("Start %@", pellinMethod.selector());
    const auto defaults = findPellinUserDefault();
    foundation::Error cause;
    const bool result = defaults != nullptr && defaults->synchronize(&cause);
    // The one place a failed set, removal or flush of the domain is told, once, with its cause.
    if (defaults != nullptr && !result) {
        DDLogError("Settings not stored: %@ (%ld)", cause.localizedDescription, cause.code);
    }
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
    for (const std::string_view key : {kUserIdKey, kPasswordKey, kCertkeyKey}) {
        removeKey(key);
    }
}

// --- Plain keys ------------------------------------------------------------------------------

bool UserDefaultConfigurationLib::getProductInformation() {
    PELLIN_METHOD("+[UserDefaultConfigurationLib getProductInformation]");
    return readBoolean(pellinMethod, kProductInformation);
}
void UserDefaultConfigurationLib::setProductInformation(bool value) {
    PELLIN_METHOD("+[UserDefaultConfigurationLib setProductInformation:]");
    writeBoolean(pellinMethod, kProductInformation, value);
}
bool UserDefaultConfigurationLib::getEshopInformation() {
    PELLIN_METHOD("+[UserDefaultConfigurationLib getEshopInformation]");
    return readBoolean(pellinMethod, kEshopInformation);
}
void UserDefaultConfigurationLib::setEshopInformation(bool value) {
    PELLIN_METHOD("+[UserDefaultConfigurationLib setEshopInformation:]");
    writeBoolean(pellinMethod, kEshopInformation, value);
}
bool UserDefaultConfigurationLib::getInstalledKickApp() {
    PELLIN_METHOD("+[UserDefaultConfigurationLib getInstalledKickApp]");
    return readBoolean(pellinMethod, kInstalledKickApp);
}
void UserDefaultConfigurationLib::setInstalledKickApp(bool value) {
    PELLIN_METHOD("+[UserDefaultConfigurationLib setInstalledKickApp:]");
    writeBoolean(pellinMethod, kInstalledKickApp, value);
}

Value UserDefaultConfigurationLib::getNextAutoUpdate() {
    PELLIN_METHOD("+[UserDefaultConfigurationLib getNextAutoUpdate]");
    return readObject(pellinMethod, kNextAutoUpdate);
}
void UserDefaultConfigurationLib::setNextAutoUpdate(const Value& value) {
    PELLIN_METHOD("+[UserDefaultConfigurationLib setNextAutoUpdate:]");
    writeObject(pellinMethod, kNextAutoUpdate, value);
}
Value UserDefaultConfigurationLib::getSuccessAddTime() {
    PELLIN_METHOD("+[UserDefaultConfigurationLib getSuccessAddTime]");
    return readObject(pellinMethod, kSuccessAddTime);
}
void UserDefaultConfigurationLib::setSuccessAddTime(const Value& value) {
    PELLIN_METHOD("+[UserDefaultConfigurationLib setSuccessAddTime:]");
    writeObject(pellinMethod, kSuccessAddTime, value);
}
Value UserDefaultConfigurationLib::getFailureAddTime() {
    PELLIN_METHOD("+[UserDefaultConfigurationLib getFailureAddTime]");
    return readObject(pellinMethod, kFailureAddTime);
}
void UserDefaultConfigurationLib::setFailureAddTime(const Value& value) {
    PELLIN_METHOD("+[UserDefaultConfigurationLib setFailureAddTime:]");
    writeObject(pellinMethod, kFailureAddTime, value);
}
Value UserDefaultConfigurationLib::getCheckUpdateTimeInervalb() {
    PELLIN_METHOD("+[UserDefaultConfigurationLib getCheckUpdateTimeInervalb]");
    return readObject(pellinMethod, kCheckUpdateTimeInerval);
}
void UserDefaultConfigurationLib::setCheckUpdateTimeInerval(const Value& value) {
    PELLIN_METHOD("+[UserDefaultConfigurationLib setCheckUpdateTimeInerval:]");
    writeObject(pellinMethod, kCheckUpdateTimeInerval, value);
}
Value UserDefaultConfigurationLib::getMessageDelayRandomValue() {
    PELLIN_METHOD("+[UserDefaultConfigurationLib getMessageDelayRandomValue]");
    return readObject(pellinMethod, kMessageDelayRandomValue);
}
void UserDefaultConfigurationLib::setMessageDelayRandomValue(const Value& value) {
    PELLIN_METHOD("+[UserDefaultConfigurationLib setMessageDelayRandomValue:]");
    writeObject(pellinMethod, kMessageDelayRandomValue, value);
}

Value UserDefaultConfigurationLib::getCheckAutoUpdateTimeInterval() {
    PELLIN_METHOD("+[UserDefaultConfigurationLib getCheckAutoUpdateTimeInterval]");
    return readOnly(pellinMethod, kCheckAutoUpdateTimeInterval);
}
Value UserDefaultConfigurationLib::getCheckDisplayNotificationInterval() {
    PELLIN_METHOD("+[UserDefaultConfigurationLib getCheckDisplayNotificationInterval]");
    return readOnly(pellinMethod, kCheckDisplayNotificationInterval);
}
Value UserDefaultConfigurationLib::getCheckMessageDownloadInterval() {
    PELLIN_METHOD("+[UserDefaultConfigurationLib getCheckMessageDownloadInterval]");
    return readOnly(pellinMethod, kCheckMessageDownloadInterval);
}
Value UserDefaultConfigurationLib::getCheckRegularTimeInterval() {
    PELLIN_METHOD("+[UserDefaultConfigurationLib getCheckRegularTimeInterval]");
    return readOnly(pellinMethod, kCheckRegularTimeInterval);
}
Value UserDefaultConfigurationLib::getCheckMessageXMLDownloadUrl() {
    PELLIN_METHOD("+[UserDefaultConfigurationLib getCheckMessageXMLDownloadUrl]");
    return readOnly(pellinMethod, kCheckMessageXMLDownloadUrl);
}
Value UserDefaultConfigurationLib::getCheckDomain() {
    PELLIN_METHOD("+[UserDefaultConfigurationLib getCheckDomain]");
    return readOnly(pellinMethod, kCheckDomain);
}
Value UserDefaultConfigurationLib::getCheckAutoUpdateServerUrl() {
    PELLIN_METHOD("+[UserDefaultConfigurationLib getCheckAutoUpdateServerUrl]");
    return readOnly(pellinMethod, kCheckAutoUpdateServerUrl);
}

// --- Notification records --------------------------------------------------------------------

std::unique_ptr<UserNotificationModel> UserDefaultConfigurationLib::getUserNotification(
    std::string_view messageId) {
    PELLIN_METHOD("+[UserDefaultConfigurationLib getUserNotification:]");
    DDLogDebug("Start getUserNotification: messageId=%@", messageId);
    const auto defaults = findPellinUserDefault();
    if (!defaults) {
        return nullptr;
    }
    const std::optional<Dictionary> stored =
        defaults->dictionaryForKey(userNotificationKey(messageId));
    if (!stored || stored->empty()) {
        return nullptr;
    }
    // Entries of another kind than the record expects are left out rather than handed on
    // under a type they do not have.
    auto record = std::make_unique<UserNotificationModel>();
    if (const auto entry = stored->find(kLastViewEntry); entry != stored->end()) {
        if (const foundation::Date* date = entry->second.date()) {
            record->setLastView(*date);
        }
    }
    if (const auto entry = stored->find(kCountEntry); entry != stored->end()) {
        record->setCount(entry->second);
    }
    DDLogDebug("End getUserNotification: lastView=%@, count=%@", describedDate(record->lastView()),
               record->count());
    return record;
}

void UserDefaultConfigurationLib::setUserNotification(std::string_view messageId,
                                                      std::optional<foundation::Date> dateValue,
                                                      std::optional<Value> numberValue) {
    PELLIN_METHOD("+[UserDefaultConfigurationLib setUserNotification:dateValue:numberValue:]");
    DDLogDebug("Start setUserNotification: messageId=%@, dateValue=%@, numberValue=%@", messageId,
               describedDate(dateValue), numberValue);
    // A half record would replace a whole one; the caller's earlier record is kept instead.
    if (!dateValue || !numberValue || !numberValue->isNumber()) {
        DDLogDebug("setUserNotification: record of %@ not written: it needs a date and a number",
                   messageId);
    } else {
        Dictionary record;
        record.emplace(kLastViewEntry, *dateValue);
        record.emplace(kCountEntry, *numberValue);
        if (const auto defaults = findPellinUserDefault()) {
            defaults->setObject(Value(std::move(record)), userNotificationKey(messageId));
            // The one writer that forces the write at once. Its result is not looked at here:
            // a failure, this one's or an earlier one's, is left for the caller's synchronize.
            foundation::Error cause;
            if (!defaults->synchronize(&cause)) {
                defaults->recordFailedChange(cause);
            }
        }
    }
    DDLogDebug("End setUserNotification");
}

// --- Credentials -----------------------------------------------------------------------------

std::string UserDefaultConfigurationLib::getUserId() {
    PELLIN_METHOD("+[UserDefaultConfigurationLib getUserId]");
    DDLogDebug("Start getUserId");
    std::string userId = readEnciphered(kUserIdKey);
    DDLogDebug("End getUserId: decryptStr-%@", userId);
    return userId;
}

void UserDefaultConfigurationLib::setUserId(std::string_view userId) {
    PELLIN_METHOD("+[UserDefaultConfigurationLib setUserId:]");
    DDLogDebug("Start setUserId: value=%@", userId);
    writeEnciphered(kUserIdKey, userId);
    DDLogDebug("End setUserId");
}

std::string UserDefaultConfigurationLib::getPassword() {
    PELLIN_METHOD("+[UserDefaultConfigurationLib getPassword]");
    // The password never appears in a log line.
    DDLogDebug("Start getPassword");
    std::string password = readEnciphered(kPasswordKey);
    DDLogDebug("End getPassword");
    return password;
}

void UserDefaultConfigurationLib::setPassword(std::string_view password) {
    PELLIN_METHOD("+[UserDefaultConfigurationLib setPassword:]");
    DDLogDebug("Start setPassword");
    writeEnciphered(kPasswordKey, password);
    DDLogDebug("End setPassword");
}

std::string UserDefaultConfigurationLib::getCertkey() {
    PELLIN_METHOD("+[UserDefaultConfigurationLib getCertkey]");
    DDLogDebug("Start getCertkey");
    std::string certkey = readStoredText(kCertkeyKey);
    DDLogDebug("End getCertkey: certkey=%@", certkey);
    return certkey;
}

void UserDefaultConfigurationLib::setCertkey(std::string_view certkey) {
    PELLIN_METHOD("+[UserDefaultConfigurationLib setCertkey:]");
    DDLogDebug("Start setCertkey: value=%@", certkey);
    if (const auto defaults = findPellinUserDefault()) {
        defaults->setObject(Value(certkey), kCertkeyKey);
    }
    DDLogDebug("End setCertkey");
}
