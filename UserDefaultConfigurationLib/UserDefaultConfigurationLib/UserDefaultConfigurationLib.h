#pragma once

// The product's shared settings domain, "com.brenvik.mac.Pellin.common", which every Pellin
// program of the same user reads and writes. All operations are class-level and keep no state:
// each one opens its own defaults object and lets it go before it returns. Nothing throws; a
// domain that cannot be opened makes getters answer false, no value or the empty text, and
// makes setters and removals do nothing (their log lines are written all the same). A value of
// the domain's file that cannot be read costs only itself: it reads as absent, a warning names
// it once, and the next write leaves it out.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <PellinFoundation/UserDefaults.h>
#include <PellinFoundation/Value.h>

#include <UserDefaultConfigurationLib/UserNotificationModel.h>

class UserDefaultConfigurationLib {
  public:
    UserDefaultConfigurationLib() = delete;

    static constexpr std::string_view kDomainName = "com.brenvik.mac.Pellin.common";

    // --- The domain as a whole ---------------------------------------------------------------

    // A new defaults object on the shared domain, owned by the caller; nullptr when the store
    // cannot open the domain. Warns about each value of the file that could not be read.
    static std::unique_ptr<foundation::UserDefaults> findPellinUserDefault();

    // Makes every change durable now. False when the store cannot, or when a set or removal of
    // the domain failed in this process since the last synchronize (a value without a
    // property-list form included); the first such failure is logged as an error, with its
    // errno value, step and path.
    static bool synchronize();
    // Deletes every key of the shared domain; other programs see it gone at once.
    static void removePersistentDomain();
    // Deletes one key's stored value; an absent key is no error.
    static void removeKey(std::string_view key);
    // Deletes the three credential keys "userId", "password" and "certkey".
    static void removeUserInfo();

    // --- Plain keys --------------------------------------------------------------------------
    // Getters register their key's default before each read (for this process only; nothing is
    // written), so an absent key answers with it. Setters do not force a write: the store
    // writes every change through before it returns. A value the store cannot hold (a text with
    // a control character, a date beyond the year 9999) removes the key instead, and the next
    // synchronize answers false.

    // Boolean keys. A stored number or Boolean reads as true when non-zero, a text as true
    // when it says "YES", "true" or a non-zero number; anything else reads as false.
    static bool getProductInformation();  // default true
    static void setProductInformation(bool value);
    static bool getEshopInformation();  // default "NO", that is false
    static void setEshopInformation(bool value);
    static bool getInstalledKickApp();  // default false
    static void setInstalledKickApp(bool value);

    // Keys holding any property-list value, returned of whatever kind it was stored in; no
    // value (Kind::None) when absent and without a default. Setting no value removes the key.
    static foundation::Value getNextAutoUpdate();  // default ""
    static void setNextAutoUpdate(const foundation::Value& value);
    static foundation::Value getSuccessAddTime();  // default 0
    static void setSuccessAddTime(const foundation::Value& value);
    static foundation::Value getFailureAddTime();  // default 0
    static void setFailureAddTime(const foundation::Value& value);
    // Key "checkUpdateTimeInerval" (sic, shared with the other programs); default 0.
    static foundation::Value getCheckUpdateTimeInervalb();
    static void setCheckUpdateTimeInerval(const foundation::Value& value);
    static foundation::Value getMessageDelayRandomValue();  // no default
    static void setMessageDelayRandomValue(const foundation::Value& value);

    // Keys that other programs write and this library only reads; no default.
    static foundation::Value getCheckAutoUpdateTimeInterval();
    static foundation::Value getCheckDisplayNotificationInterval();
    static foundation::Value getCheckMessageDownloadInterval();
    static foundation::Value getCheckRegularTimeInterval();
    static foundation::Value getCheckMessageXMLDownloadUrl();
    static foundation::Value getCheckDomain();
    static foundation::Value getCheckAutoUpdateServerUrl();

    // --- Notification records ----------------------------------------------------------------
    // One key per message, "userNotification.<messageId>", holding a dictionary with the
    // entries "lastView" (date) and "count" (number).

    // A new record, or nullptr when the message has no record (no key, a value that is not a
    // dictionary, or an empty dictionary). An entry that is missing or of another kind leaves
    // its property absent.
    static std::unique_ptr<UserNotificationModel> getUserNotification(std::string_view messageId);
    // Replaces the message's record whole and writes it to disk at once; a failure is left for
    // the next synchronize. A record always holds both entries: without a date, or without a
    // number, nothing is written and the record stored before stays as it was.
    static void setUserNotification(std::string_view messageId,
                                    std::optional<foundation::Date> dateValue,
                                    std::optional<foundation::Value> numberValue);

    // --- Credentials ---------------------------------------------------------------------------
    // The user identifier and password are stored enciphered (see CryptUtil), the cert key as
    // plain text. Getters never fail: a missing key and every reading failure (text that is not
    // Base64 or not of this cipher, a value of another kind) answer the empty text, and the
    // stored value is left as it is. Setters do not force a write.

    static std::string getUserId();
    static void setUserId(std::string_view userId);
    static std::string getPassword();
    static void setPassword(std::string_view password);
    static std::string getCertkey();
    static void setCertkey(std::string_view certkey);
};
