#pragma once

// The product's shared settings domain, "com.brenvik.mac.Pellin.common", which every Pellin
// program of the same user reads and writes. All operations are class-level and keep no state:
// each one opens its own defaults object and lets it go before it returns.

#include <memory>
#include <string_view>

#include <PellinFoundation/UserDefaults.h>

class UserDefaultConfigurationLib {
  public:
    UserDefaultConfigurationLib() = delete;

    static constexpr std::string_view kDomainName = "com.brenvik.mac.Pellin.common";

    // A new defaults object on the shared domain, owned by the caller; nullptr when the store
    // cannot open the domain (then every operation below does nothing but log).
    static std::unique_ptr<foundation::UserDefaults> findPellinUserDefault();

    // Makes every change durable now; false when the store cannot write.
    static bool synchronize();
    // Deletes every key of the shared domain; other programs see it gone at once.
    static void removePersistentDomain();
    // Deletes one key's stored value; an absent key is no error.
    static void removeKey(std::string_view key);
    // Deletes the three credential keys "userId", "password" and "certkey".
    static void removeUserInfo();
};
