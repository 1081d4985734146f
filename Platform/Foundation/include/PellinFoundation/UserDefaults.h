#pragma once

// Per-user settings domains. Domain NAME lives in $HOME/Library/Preferences/NAME.plist as an XML
// property list (XML and binary files are read), HOME being read when the domain is opened.
// Every set or removal reaches the file before the call returns: under an exclusive lock the
// file is read again, only this change is applied, and the result is written to a temporary
// file that is renamed into place. So another process sees a change at once, concurrent writers
// never lose each other's keys, and a crash never leaves a damaged file. A damaged or foreign
// file reads as an empty domain and is kept aside (renamed to NAME.plist.damaged-<UTC time>)
// before the first write replaces it. Reads of an unchanged file cost one stat(2): parsed
// domains are cached for the whole process. Objects may be used from several threads.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <PellinFoundation/Export.h>
#include <PellinFoundation/Value.h>

namespace foundation {

class PELLIN_EXPORT UserDefaults {
  public:
    // Opens the current user's domain `suiteName`; nullptr when there is no home folder to keep
    // it in, or the name cannot be a file name.
    static std::unique_ptr<UserDefaults> initWithSuiteName(std::string_view suiteName);
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // The stored value, else the value registered in this process, else no value.
    Value objectForKey(std::string_view key) const;
    // A Boolean or number is true when non-zero; a text is true when it reads as "YES"/"true"
    // or a non-zero number and false otherwise (so "NO" is false); no value is false.
    bool boolForKey(std::string_view key) const;
    // A text as it is, a number as its text; any other kind gives nothing.
    std::optional<std::string> stringForKey(std::string_view key) const;
    // The value when it is a dictionary, otherwise nothing.
    std::optional<Dictionary> dictionaryForKey(std::string_view key) const;

    // Storing no value removes the key. A failure (the store cannot write, or the value has no
    // property-list form) leaves the file as it was and makes the next synchronize false.
    void setObject(const Value& value, std::string_view key);
    void setBool(bool value, std::string_view key);
    // An absent key is no error.
    void removeObjectForKey(std::string_view key);
    // Deletes every stored key of the domain `name` for the current user: its file in the
    // Preferences folder this object was opened in. Kept-aside damaged files stay.
    void removePersistentDomainForName(std::string_view name);

    // Makes every change durable now (fsync of the file and the folder); false when the store
    // cannot write, or when a set or removal through this object failed since the last call.
    bool synchronize();

    // Adds to the registered defaults of this process (never written to any file), replacing
    // earlier registrations of the same keys. Thread-safe; shared by every domain.
    void registerDefaults(const Dictionary& defaults);

    // Where the domain is stored.
    const std::string& path() const;

  private:
    struct State;
    explicit UserDefaults(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace foundation
